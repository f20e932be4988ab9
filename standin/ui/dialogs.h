// Dialogs of the headless host: made from view resources (IDialogMgr) or the
// host's own preferences dialog (IServiceRegistry), opened, run by dialog
// scripts, confirmed through the standard OK path and reported on stderr.
//
// Report lines (one per event, also kept in a log):
//   [dialog] <id> opened
//   [dialog] <id> invalid <widget>      OK refused: the controller named a widget
//   [dialog] <id> ok | cancel           closed, applied or not
//   [dialog] <id> no script             a modal dialog without script (then cancel)
//   [dialog] <id> script error: <why>   a step failed (then cancel)
//   [dialog] <id> still open after its script   (then cancel)
// where <id> is the resource identifier in decimal or "preferences".
//
// Modal dialogs the plug-in opens run when it calls IDialog::Wait, or when
// the host returns to its command loop (RunOpenDialogs): the next script
// queued for the dialog's <id> is played; without one the dialog is asked
// about on the terminal when the host is interactive and stdin is a
// terminal (steps typed one line at a time, in the script syntax; end of
// input cancels), and otherwise cancelled.
#pragma once

#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/IActiveContext.h"
#include "host/IDialog.h"
#include "standin/core/boss.h"
#include "standin/ui/dialog_script.h"
#include "standin/ui/widgets.h"

namespace standin {

class ServiceRegistry;
class ViewRegistry;

class DialogHost {
 public:
  static constexpr char kAnyDialog[] = "*";

  // `views` and `toolkit` must outlive the dialog host.
  DialogHost(const ViewRegistry& views, const WidgetToolkit& toolkit);
  // Cancels (closes) every open dialog and destroys all of them.
  ~DialogHost();
  DialogHost(const DialogHost&) = delete;
  DialogHost& operator=(const DialogHost&) = delete;

  // Gives the session boss the host's dialog services (IDialogMgr,
  // IApplication) and registers the preferences dialog's provider.
  void InstallServices(Boss& session, ServiceRegistry& services);

  // A new, closed dialog from view `rsrc` of `plugin`. Null with *error
  // when there is no such view or it is not a dialog.
  IDialog* CreateDialog(PluginID plugin, RsrcID rsrc, IDialog::DialogType type, std::string* error);
  // The host's preferences dialog: one panel per panel view shown under
  // kPreferencesPanelService (made by its boss's panel creator when it has
  // one), the first one showing.
  IDialog* CreatePreferencesDialog(std::string* error);

  // Opens dialog `rsrc` of `plugin` as the command line does, plays `script`
  // on it (when given; else the next queued script, as a modal dialog would)
  // and returns how it ended. kNoResult with *error when it cannot be made.
  IDialog::Result RunDialog(PluginID plugin, RsrcID rsrc, const DialogScript* script,
                            std::string* error);

  // Queues `script` for the next opening of dialog `key` ("250",
  // "preferences"); each opening takes one script, in order. Scripts queued
  // under kAnyDialog go to the next dialog that opens with no script queued
  // under its own key.
  void QueueScript(const std::string& key, DialogScript script);
  // Parses and queues "KEY:STEPS" (see dialog_script.h). False with *error.
  bool QueueScriptSpec(const std::string& spec, std::string* error);
  size_t QueuedScripts() const;
  void ClearScripts() { scripts_.clear(); }

  // Ask on the terminal for modal dialogs without script (default false):
  // steps are read from stdin when it is a terminal, or from `input` (not
  // owned; tests pass a stream) when given.
  void SetInteractive(bool interactive, FILE* input = nullptr) {
    interactive_ = interactive;
    input_ = input;
  }
  // Print report lines on stderr (default true); they are logged either way.
  void SetEcho(bool echo) { echo_ = echo; }
  const std::vector<std::string>& Log() const { return log_; }
  std::vector<std::string> TakeLog();

  // Runs every open modal dialog nobody waits for (as Wait does) and
  // destroys closed dialogs. The host calls it when control returns to its
  // command loop.
  void RunOpenDialogs();

  // The standard OK path of the dialog that holds `node`: every controller
  // validates, in tree order; the first answer other than kDefaultWidgetId
  // gives that widget the focus, is reported ("invalid") and ends the path
  // with false; else every controller applies and the dialog counts as
  // applied (true). The caller closes the dialog.
  bool ConfirmDialog(WidgetNode& node);
  // Tells every controller of the dialog that holds `node` that the user
  // cancelled.
  void CancelDialog(WidgetNode& node);

  // The session's active context now (front document and active
  // selection), for the host's own calls into plug-ins such as action
  // components. No reference is added; it is recaptured on every call.
  IActiveContext* SessionContext();

 private:
  struct Record;
  friend class DialogImpl;

  Record* Adopt(std::unique_ptr<Boss> boss, const std::string& key, IDialog::DialogType type);
  Record* RecordOf(WidgetNode& node);
  void Open(Record& record);
  void Close(Record& record);
  IDialog::Result Wait(Record& record);
  void Play(Record& record);
  void Prompt(Record& record);
  void Report(const std::string& key, const std::string& what);
  // Destroys closed dialogs nobody waits for (and, with `unopened`, those
  // created but never opened), unless a notification is running.
  void ReapClosed(bool unopened = false);

  const ViewRegistry& views_;
  const WidgetToolkit& toolkit_;
  std::vector<std::unique_ptr<Record>> dialogs_;
  std::map<std::string, std::deque<DialogScript>> scripts_;
  std::unique_ptr<Boss> preferencesProvider_;
  std::unique_ptr<Boss> context_;  // the session-wide active context
  std::vector<std::string> log_;
  bool interactive_ = false;
  FILE* input_ = nullptr;
  bool echo_ = true;
};

}  // namespace standin
