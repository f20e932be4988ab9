#include "standin/cli/cli_context.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <iostream>

#include "standin/app/host.h"

namespace osl_cli {

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
  alerts.SetInteractive(answers.empty() && isatty(STDIN_FILENO));
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
