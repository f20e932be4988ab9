#include "standin/cli/cli_context.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "standin/app/host.h"
#include "standin/cli/interrupt.h"
#include "standin/cli/publish_result.h"
#include "standin/core/stderr_line.h"
#include "standin/core/terminal_text.h"

namespace osl_cli {

std::string UnansweredQuestionMessage(const std::string& question,
                                      const std::vector<std::string>& buttons) {
  // The question's last line holds what is asked ("... Replace it?").
  std::string asked = question;
  while (!asked.empty() && (asked.back() == '\n' || asked.back() == ' ')) asked.pop_back();
  const size_t lastBreak = asked.find_last_of('\n');
  if (lastBreak != std::string::npos) asked = asked.substr(lastBreak + 1);
  std::string options;
  const char* const kFlags[] = {"--yes", "--no"};
  for (size_t i = 0; i < buttons.size() && i < 2; ++i) {
    if (buttons[i].empty()) continue;
    if (!options.empty()) options += " or ";
    options += std::string(kFlags[i]) + " (" + buttons[i] + ")";
  }
  for (size_t i = 2; i < buttons.size(); ++i) {
    if (buttons[i].empty()) continue;
    options += ", --answers " + std::to_string(i + 1) + " (" + buttons[i] + ")";
  }
  return standin::EscapeForTerminal(
             "osl: stopped at the question \"" + asked +
             "\": there is no terminal to ask on and no answer was given for it; "
             "nothing was saved") +
         "\n" +
         standin::EscapeForTerminal("osl: answer it with " + options +
                                    "; --answers yes,no,... answers several questions in turn") +
         "\n";
}

CliContext::CliContext(std::string argv0) : argv0_(std::move(argv0)) {}

CliContext::~CliContext() = default;

std::string CliContext::DefaultPluginPath() const {
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
  std::string exe = n > 0 ? std::string(self, static_cast<size_t>(n)) : argv0_;
  const auto slash = exe.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : exe.substr(0, slash);
  return dir + "/Osl.pln";
}

bool CliContext::StartHost() {
  if (host_) return true;
  auto host = std::make_unique<standin::Host>();
  auto& alerts = host->AlertLog();
  std::vector<std::string> answers = options_.answers;
  if (options_.yes) answers.insert(answers.begin(), 64, "yes");
  if (options_.no) answers.insert(answers.begin(), 64, "no");
  alerts.SetAnswers(answers);
  // A person at the terminal answers what the scripted answers leave open.
  alerts.SetInteractive(isatty(STDIN_FILENO) != 0);
  alerts.SetUnansweredQuestionHandler(
      [this](const std::string& question, const std::vector<std::string>& buttons) {
        std::cerr << UnansweredQuestionMessage(question, buttons) << std::flush;
        if (unansweredHook_) {
          const auto hook = std::move(unansweredHook_);
          unansweredHook_ = nullptr;
          hook(question);
          std::fflush(stdout);
        }
        // The question stays unanswered and nothing is saved: the process
        // ends here, in the middle of the plug-in's action, on purpose.
        std::_Exit(kExitUsage);
      });
  host->Dialogs().SetEcho(options_.verbose);
  host->Publishes().SetListener(
      [](const PublishRecord& record) { SetInterruptNote(PublishInterruptNote(record)); });
  const std::string path = options_.pluginPath.empty() ? DefaultPluginPath() : options_.pluginPath;
  std::string error;
  if (!host->LoadPlugIn(path, &error)) {
    std::cerr << "osl: " << error << std::endl;
    return false;
  }
  host_ = std::move(host);
  return true;
}

int CliContext::FinishStatus() const {
  return host_ && host_->AlertLog().ErrorCount() > 0 ? kExitErrorAlert : kExitOk;
}

int CliContext::UsageError(const std::string& message) const {
  lastUsageError_ = message;
  std::cerr << "osl: " << message << std::endl;
  return kExitUsage;
}

standin::Document* CliContext::OpenDocument(const std::string& path, int* status) {
  if (!StartHost()) {
    *status = kExitUsage;
    return nullptr;
  }
  std::string error;
  standin::Document* doc = host_->OpenDocument(path, &error);
  if (!doc) {
    *status = UsageError(error);
    return nullptr;
  }
  auto& session = host_->GetSession();
  std::vector<UID> uids;
  for (const auto& text : options_.select) {
    char* end = nullptr;
    const unsigned long uid = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || uid > UINT32_MAX || !doc->FindItem(static_cast<UID>(uid))) {
      *status = UsageError("no page item with uid " + text + " in " + path);
      return nullptr;
    }
    uids.push_back(static_cast<UID>(uid));
  }
  session.ActiveSelection().SelectItems(doc, uids);
  return doc;
}

int CliContext::FinishDocument(standin::Document* document) {
  if (document && document->IsDirty()) {
    std::string error;
    if (!document->Save(host_->Files().Get(), &error)) {
      std::cerr << "osl: the document was not saved: " << error << std::endl;
      return kExitErrorAlert;
    }
  }
  return FinishStatus();
}

}  // namespace osl_cli
