// The global entry points of the host API, reaching the current host:
// the execution context's session, the utilities, alerts, command
// sequences with the global error code, and the locale.
#include "host/CAlert.h"
#include "host/CmdUtils.h"
#include "host/IDialogMgr.h"
#include "host/ISession.h"
#include "host/Utils.h"
#include "standin/app/host.h"

ISession* GetExecutionContextSession() {
  standin::Host* host = standin::Host::CurrentOrNull();
  return host ? host->GetSession().SessionInterface() : nullptr;
}

IPMUnknown* UtilsBoss::QueryUtils(PMIID iid) {
  standin::Host* host = standin::Host::CurrentOrNull();
  return host ? host->GetSession().SessionBoss().QueryInterface(iid) : nullptr;
}

// ---- alerts -------------------------------------------------------------------

namespace {

std::string Shown(const PMString& message) {
  PMString copy = message;
  copy.Translate();
  return copy.GetUTF8String();
}

int ShowAlert(standin::AlertKind kind, const std::string& text,
              const std::vector<std::string>& buttons, int defaultButton) {
  standin::Host* host = standin::Host::CurrentOrNull();
  return host ? host->AlertService()->Show(kind, text, buttons, defaultButton) : defaultButton;
}

}  // namespace

void CAlert::ErrorAlert(const PMString& message) {
  ShowAlert(standin::AlertKind::kError, Shown(message), {"OK"}, 1);
}

void CAlert::WarningAlert(const PMString& message) {
  ShowAlert(standin::AlertKind::kWarning, Shown(message), {"OK"}, 1);
}

void CAlert::InformationAlert(const PMString& message) {
  ShowAlert(standin::AlertKind::kInfo, Shown(message), {"OK"}, 1);
}

int16 CAlert::ModalAlert(const PMString& message, const PMString& button1, const PMString& button2,
                         const PMString& button3, int16 defaultButton, int16 iconCode) {
  std::vector<std::string> buttons{Shown(button1), Shown(button2), Shown(button3)};
  while (!buttons.empty() && buttons.back().empty()) buttons.pop_back();
  if (buttons.empty()) buttons.push_back("OK");
  const auto kind = buttons.size() > 1 ? standin::AlertKind::kAsk : standin::AlertKind::kInfo;
  return static_cast<int16>(ShowAlert(kind, Shown(message), buttons, defaultButton));
}

// ---- commands -----------------------------------------------------------------

void ErrorUtils::PMSetGlobalErrorCode(ErrorCode code) {
  if (standin::Host* host = standin::Host::CurrentOrNull()) host->Commands().SetGlobalError(code);
}

ErrorCode ErrorUtils::PMGetGlobalErrorCode() {
  standin::Host* host = standin::Host::CurrentOrNull();
  return host ? host->Commands().GlobalError() : kSuccess;
}

ICommand* CmdUtils::CreateCommand(ClassID commandClass) {
  standin::Host* host = standin::Host::CurrentOrNull();
  return host ? host->CommandClasses().Create(commandClass) : nullptr;
}

ErrorCode CmdUtils::ProcessCommand(ICommand* command) {
  if (!command) return kFailure;
  const ErrorCode result = standin::CommandRegistry::Process(command);
  if (result != kSuccess) ErrorUtils::PMSetGlobalErrorCode(result);
  return result;
}

CmdUtils::SequenceContext::SequenceContext(const PMString*) {
  if (standin::Host* host = standin::Host::CurrentOrNull()) host->Commands().BeginSequence();
}

CmdUtils::SequenceContext::~SequenceContext() {
  if (standin::Host* host = standin::Host::CurrentOrNull()) host->Commands().EndSequence();
}

// ---- locale -------------------------------------------------------------------

PMLocaleId LocaleSetting::GetLocale() { return PMLocaleId(); }
