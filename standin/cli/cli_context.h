// What every `osl` command shares: the common options, the running host
// (session with the plug-in loaded) and the exit status rule.
//
// Exit status: 0 when no error alert was shown, 1 when one was, 2 for usage
// errors (unknown document, unknown uid, bad option, a question no one can
// answer), 130 when interrupted (Ctrl-C).
//
// A question that neither a scripted answer (--yes, --no, --answers) nor a
// person at a terminal can answer ends the command before it is answered:
// its default button never decides for nobody. Nothing is saved then.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace standin {
class Document;
class Host;
}  // namespace standin

namespace osl_cli {

constexpr int kExitOk = 0;
constexpr int kExitErrorAlert = 1;
constexpr int kExitUsage = 2;

struct CommonOptions {
  std::string pluginPath;            // --plugin; empty = Osl.pln beside osl
  bool yes = false;                  // --yes
  bool no = false;                   // --no
  std::vector<std::string> answers;  // --answers yes,no,...
  std::vector<std::string> select;   // --select UID...
  bool verbose = false;              // --verbose: the dialogs' own report lines too
};

// What `osl` prints when a question comes that no one can answer (no
// terminal, no answer left from --yes, --no or --answers): the question and
// the options that answer it. Two lines, each starting "osl: ".
std::string UnansweredQuestionMessage(const std::string& question,
                                      const std::vector<std::string>& buttons);

class CliContext {
 public:
  explicit CliContext(std::string argv0);
  ~CliContext();

  CommonOptions& options() { return options_; }

  // Makes the host and loads the plug-in (once). Returns false after
  // printing a clear message to stderr when the plug-in cannot be loaded.
  bool StartHost();
  // The host; null before StartHost succeeded.
  standin::Host* host() { return host_.get(); }

  // Status for a command that ran to its end: 1 when an error alert was
  // shown, else 0.
  int FinishStatus() const;

  // Prints "osl: <message>" to stderr and returns kExitUsage. The message
  // is kept as LastUsageError().
  int UsageError(const std::string& message) const;
  const std::string& LastUsageError() const { return lastUsageError_; }
  void ClearLastUsageError() { lastUsageError_.clear(); }

  // Called once, after the message, when a question finds nobody to answer
  // it and the process is about to end (nothing saved): a command that
  // reports on several documents prints what it has so far. Null: nothing.
  void SetUnansweredHook(std::function<void(const std::string& question)> hook) {
    unansweredHook_ = std::move(hook);
  }

  // Starts the host, opens the document at `path` as the front document and
  // applies --select. Null after printing a usage error (*status set) when
  // the document cannot be opened or a selected uid is unknown.
  standin::Document* OpenDocument(const std::string& path, int* status);

  // Ends a command on `document`: saves it (atomically) when the command
  // changed it, then returns the exit status. A failed save is reported and
  // gives status 1; the file on disk is then unchanged.
  int FinishDocument(standin::Document* document);

 private:
  std::string DefaultPluginPath() const;

  std::string argv0_;
  CommonOptions options_;
  std::unique_ptr<standin::Host> host_;
  mutable std::string lastUsageError_;
  std::function<void(const std::string& question)> unansweredHook_;
};

// Each adds its commands to `app`; a command stores its exit status in
// *exitStatus when it runs.
void AddDocumentCommands(CLI::App& app, CliContext& context, int* exitStatus);
void AddMenuCommands(CLI::App& app, CliContext& context, int* exitStatus);
// tag, group create, group add, prefs, dialog.
void AddUiCommands(CLI::App& app, CliContext& context, int* exitStatus);
void AddExportCommands(CLI::App& app, CliContext& context, int* exitStatus);
void AddPublishCommands(CLI::App& app, CliContext& context, int* exitStatus);

}  // namespace osl_cli
