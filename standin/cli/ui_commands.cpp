// `osl tag`, `osl group create`, `osl group add`, `osl prefs` and `osl
// dialog`: the plug-in's panel and dialogs, driven as a designer drives
// them. Each command turns its options into the steps a person would take
// (select the item, show the panel, fill its widgets; pick a menu item, fill
// the dialog, press OK) and plays them through the host's widgets, so the
// plug-in's own observers and controllers decide what is stored.
//
// Exit status as every command: 0 when the steps ran and no error alert was
// shown; 1 when the plug-in refused (a disabled menu item, a dialog that
// stayed open because a value was refused, a panel whose controls are
// disabled for the item) or an error alert was shown; 2 for usage errors
// (unknown document or uid, an option value the dialog or panel does not
// offer).
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/IPlugIn.h"
#include "standin/app/host.h"
#include "standin/cli/cli_context.h"
#include "standin/cli/designer_commands.h"
#include "standin/cli/list_option.h"
#include "standin/cli/plugin_views.h"
#include "standin/cli/server_address.h"
#include "standin/core/resource_ids.h"
#include "standin/core/terminal_text.h"
#include "standin/ui/dialog_script.h"
#include "standin/ui/views.h"

namespace osl_cli {

namespace {

// What the commands know of the plug-in: the names its resources give its
// menu actions, views and widgets.
constexpr char kCreateGroupAction[] = "create-group";
constexpr char kAddToGroupAction[] = "add-to-group";
constexpr char kPreferencesAction[] = "preferences";
constexpr char kFieldPanelView[] = "kOslFieldPanelRsrcID";
constexpr char kCreateGroupView[] = "kCreateStackingGroupDialogRsrcID";
constexpr char kAddToGroupView[] = "kAddFieldToStackingGroupDialogRsrcID";
constexpr char kPreferencesView[] = "kOslPrefPanelID";
constexpr char kControlTypeList[] = "kOslControlTypeWidgetID";
constexpr char kFieldNameBox[] = "kOslFieldNameWidgetID";
constexpr char kPromptBox[] = "kOslPromptTextWidgetID";
constexpr char kDirectionList[] = "kOslMoveDirectionWidgetID";
constexpr char kGroupNameBox[] = "kOslGroupNameWidgetID";
constexpr char kGroupList[] = "kOslMemberOfGroupWidgetID";
constexpr char kDependsOnList[] = "kOslDependsOnWidgetID";
constexpr char kServerBox[] = "kOslServerWidgetID";
constexpr char kUserBox[] = "kOslUserWidgetID";
constexpr char kPasswordBox[] = "kOslPasswordWidgetID";

std::string Shown(const std::string& text) { return standin::EscapeForTerminal(text); }

// One step of a script built by a command, with the option it comes from
// (empty for steps no option chose).
struct PlannedStep {
  standin::ScriptStep step;
  std::string option;
};

// A step `verb` on widget `id` with `value` (text, pick) or `number`
// (select) for `option`; `id` 0 for steps on no widget.
PlannedStep Step(standin::ScriptStep::Verb verb, WidgetID id = 0, const std::string& value = "",
                 int32 number = 0, const std::string& option = "") {
  PlannedStep planned;
  planned.step.verb = verb;
  if (id != 0) planned.step.widget = standin::HexID(id);
  planned.step.value = value;
  planned.step.number = number;
  planned.option = option;
  return planned;
}

PlannedStep TextStep(WidgetID id, const std::string& text, const std::string& option) {
  return Step(standin::ScriptStep::Verb::kText, id, text, 0, option);
}

PlannedStep SelectStep(WidgetID id, int32 position, const std::string& option) {
  return Step(standin::ScriptStep::Verb::kSelect, id, "", position, option);
}

PlannedStep PickStep(WidgetID id, const std::string& entry, const std::string& option) {
  return Step(standin::ScriptStep::Verb::kPick, id, entry, 0, option);
}

standin::DialogScript ScriptOf(const std::vector<PlannedStep>& planned) {
  standin::DialogScript script;
  for (const auto& p : planned) script.steps.push_back(p.step);
  return script;
}

// The step number and reason of a script error "step N: why"; 0 when the
// text has no step number.
size_t FailedStep(const std::string& error, std::string* why) {
  const std::string prefix = "step ";
  *why = error;
  if (error.compare(0, prefix.size(), prefix) != 0) return 0;
  char* end = nullptr;
  const unsigned long n = std::strtoul(error.c_str() + prefix.size(), &end, 10);
  if (!end || end[0] != ':' || end[1] != ' ') return 0;
  *why = end + 2;
  return static_cast<size_t>(n);
}

// The view of dialog `key` ("1056", "preferences") that holds widget `id`.
const standin::WidgetSpec* FindDialogWidget(standin::Host& host, const std::string& key,
                                            WidgetID id) {
  auto& views = host.Views();
  if (key == "preferences") {
    for (const standin::ViewSpec* view : views.PanelsOfService(kPreferencesPanelService)) {
      if (const standin::WidgetSpec* found = FindSpec(view->root, id)) return found;
    }
    return nullptr;
  }
  const RsrcID rsrc = static_cast<RsrcID>(std::strtol(key.c_str(), nullptr, 10));
  for (const auto& plugin : host.PlugIns().Loaded()) {
    if (const standin::ViewSpec* view = views.Find(plugin.id, rsrc)) {
      if (const standin::WidgetSpec* found = FindSpec(view->root, id)) return found;
    }
  }
  return nullptr;
}

// How the widget `id` of dialog `key` is named in messages.
std::string WidgetDescription(standin::Host& host, const std::string& key, WidgetID id) {
  const standin::WidgetSpec* spec = FindDialogWidget(host, key, id);
  std::string text = "widget " + standin::HexID(id);
  if (spec && !spec->name.empty()) text += " (" + spec->name + ")";
  return text;
}

// A dialog run through a menu action: the script to play on it and what the
// widgets and steps stand for in the command's terms.
struct DialogRun {
  const char* command = "";  // "group create", for messages
  std::string action;        // the menu action's name or identifier
  std::string key;           // the dialog the script is for, or kAnyDialog
  std::vector<PlannedStep> steps;
  std::map<WidgetID, std::string> fields;          // widget -> "the group name \"x\""
  std::string disabledHint;                        // why a disabled menu item is so
  std::function<void(standin::WidgetNode&)> show;  // the script's "show" steps
  // Scripts for the dialogs that open after the first one, by key.
  std::vector<std::pair<std::string, standin::DialogScript>> later;
};

// Plays `run`: queues its script, picks the menu item and reads the
// dialog's report. Returns the exit status of the dialog part (0 when every
// dialog that opened was confirmed or cancelled by its script).
int PlayDialog(CliContext& context, const DialogRun& run) {
  standin::Host& host = *context.host();
  auto& dialogs = host.Dialogs();
  const size_t logStart = dialogs.Log().size();
  standin::DialogScript script = ScriptOf(run.steps);
  script.show = run.show;
  dialogs.QueueScript(run.key, std::move(script));
  for (const auto& next : run.later) dialogs.QueueScript(next.first, next.second);

  std::string error;
  const auto outcome = host.GetMenu().Run(run.action, &error);
  const bool leftOver = dialogs.QueuedScripts() > 0;
  dialogs.ClearScripts();
  if (outcome != standin::Menu::Outcome::kRan) {
    std::cerr << "osl: " << run.command << ": " << error;
    if (outcome == standin::Menu::Outcome::kDisabled && !run.disabledHint.empty())
      std::cerr << " (" << run.disabledHint << ")";
    std::cerr << std::endl;
    return kExitErrorAlert;
  }

  int status = kExitOk;
  const std::vector<std::string>& log = dialogs.Log();
  const std::string prefix = "[dialog] ";
  for (size_t i = logStart; i < log.size(); ++i) {
    const std::string& line = log[i];
    if (line.compare(0, prefix.size(), prefix) != 0) continue;
    const size_t space = line.find(' ', prefix.size());
    if (space == std::string::npos) continue;
    const std::string key = line.substr(prefix.size(), space - prefix.size());
    const std::string what = line.substr(space + 1);
    if (what.compare(0, 8, "invalid ") == 0) {
      const WidgetID id = static_cast<WidgetID>(std::strtoul(what.c_str() + 8, nullptr, 16));
      auto field = run.fields.find(id);
      std::cerr << "osl: " << run.command << ": the dialog refused "
                << (field != run.fields.end() ? field->second + " at "
                                              : std::string("the value of "))
                << WidgetDescription(host, key, id) << " and stayed open" << std::endl;
      status = kExitErrorAlert;
    } else if (what.compare(0, 14, "script error: ") == 0) {
      std::string why;
      const size_t step = FailedStep(what.substr(14), &why);
      if (step >= 1 && step <= run.steps.size() && !run.steps[step - 1].option.empty()) {
        std::cerr << "osl: " << run.command << ": " << run.steps[step - 1].option << ": " << why
                  << std::endl;
        return kExitUsage;
      }
      std::cerr << "osl: " << run.command << ": the dialog script failed: " << what.substr(14)
                << std::endl;
      status = kExitErrorAlert;
    } else if (what == "still open after its script" && status == kExitOk) {
      std::cerr << "osl: " << run.command << ": the dialog was still open after its script"
                << std::endl;
      status = kExitErrorAlert;
    }
  }
  if (leftOver) {
    std::cerr << "osl: " << run.command << ": the menu action opened no dialog" << std::endl;
    status = kExitErrorAlert;
  }
  return status;
}

// Parses a uid argument and checks that `doc` has such an item; prints a
// usage error otherwise.
bool ParseUID(CliContext& context, standin::Document* doc, const std::string& text, UID* uid,
              int* status) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value > UINT32_MAX ||
      !doc->FindItem(static_cast<UID>(value))) {
    *status = context.UsageError("no page item with uid " + text + " in " + doc->Path());
    return false;
  }
  *uid = static_cast<UID>(value);
  return true;
}

// ---- osl tag ----------------------------------------------------------------------

struct TagOptions {
  std::string path, uid;
  std::optional<std::string> name, prompt, type;
};

int RunTag(CliContext& context, const TagOptions& options) {
  int status = kExitOk;
  standin::Document* doc = context.OpenDocument(options.path, &status);
  if (!doc) return status;
  UID uid = kInvalidUID;
  if (!ParseUID(context, doc, options.uid, &uid, &status)) return status;
  standin::Host& host = *context.host();
  host.GetSession().ActiveSelection().SelectItems(doc, {uid});

  const standin::ViewSpec* view = host.Views().FindNamed(kFieldPanelView);
  std::string error;
  if (!view || !host.Panels().Show(view->plugin, view->rsrc, &error)) {
    std::cerr << "osl: tag: the plug-in has no field panel" << (error.empty() ? "" : ": ") << error
              << std::endl;
    return kExitErrorAlert;
  }
  standin::WidgetNode* panel = host.Panels().GetPanel(view->plugin, view->rsrc, &error);
  standin::ViewDriver driver(*panel);

  auto id = [&host](const char* widget) { return NamedWidgetID(host, kFieldPanelView, widget); };
  std::vector<PlannedStep> steps;
  if (options.name) steps.push_back(TextStep(id(kFieldNameBox), *options.name, "--name"));
  if (options.prompt) steps.push_back(TextStep(id(kPromptBox), *options.prompt, "--prompt"));
  if (options.type) {
    const standin::WidgetNode* list = panel->FindByName(kControlTypeList);
    std::vector<std::string> captions;
    if (list) {
      for (const PMString& entry : list->entries) captions.push_back(entry.GetUTF8String());
    }
    int32 position = 0;
    if (!ResolveListOption("--type", *options.type, ControlTypeNames(), captions, host.Strings(),
                           &position, &error)) {
      return context.UsageError("tag: " + error + " for uid " + options.uid);
    }
    steps.push_back(SelectStep(id(kControlTypeList), position, "--type"));
  }
  if (steps.empty()) {
    // Nothing to change: show the panel as the designer sees it.
    std::fputs(standin::EscapeForTerminal(driver.Describe(), "").c_str(), stdout);
    return context.FinishDocument(doc);
  }
  for (const PlannedStep& planned : steps) {
    if (!driver.Run(planned.step, &error)) {
      std::cerr << "osl: tag: " << planned.option << ": the field panel cannot be used for uid "
                << options.uid << " (" << error << "); select exactly one frame that is not a guide"
                << std::endl;
      context.FinishDocument(doc);
      return kExitErrorAlert;
    }
  }
  return context.FinishDocument(doc);
}

// ---- osl group ---------------------------------------------------------------------

int RunGroupCreate(CliContext& context, const std::string& path, const std::string& name,
                   const std::optional<std::string>& direction) {
  int status = kExitOk;
  standin::Document* doc = context.OpenDocument(path, &status);
  if (!doc) return status;
  standin::Host& host = *context.host();
  const WidgetID nameBox = NamedWidgetID(host, kCreateGroupView, kGroupNameBox);
  const WidgetID directionList = NamedWidgetID(host, kCreateGroupView, kDirectionList);
  DialogRun run;
  run.command = "group create";
  run.action = kCreateGroupAction;
  run.key = DialogKey(host, kCreateGroupView);
  run.steps.push_back(TextStep(nameBox, name, ""));
  if (direction) {
    const standin::WidgetSpec* list = FindDialogWidget(host, run.key, directionList);
    int32 position = 0;
    std::string error;
    if (!ResolveListOption("--direction", *direction, DirectionNames(), Captions(host, list),
                           host.Strings(), &position, &error)) {
      return context.UsageError("group create: " + error);
    }
    run.steps.push_back(SelectStep(directionList, position, "--direction"));
  }
  run.steps.push_back(Step(standin::ScriptStep::Verb::kOK));
  run.fields[nameBox] = "the group name \"" + Shown(name) + "\"";
  status = PlayDialog(context, run);
  const int finish = context.FinishDocument(doc);
  return status != kExitOk ? status : finish;
}

int RunGroupAdd(CliContext& context, const std::string& path, const std::string& uidText,
                const std::optional<std::string>& group, const std::optional<std::string>& field) {
  int status = kExitOk;
  standin::Document* doc = context.OpenDocument(path, &status);
  if (!doc) return status;
  UID uid = kInvalidUID;
  if (!ParseUID(context, doc, uidText, &uid, &status)) return status;
  standin::Host& host = *context.host();
  host.GetSession().ActiveSelection().SelectItems(doc, {uid});
  const WidgetID groupList = NamedWidgetID(host, kAddToGroupView, kGroupList);
  const WidgetID dependsOnList = NamedWidgetID(host, kAddToGroupView, kDependsOnList);

  DialogRun run;
  run.command = "group add";
  run.action = kAddToGroupAction;
  run.key = DialogKey(host, kAddToGroupView);
  // Position 0 of both lists is the none entry.
  run.steps.push_back(group ? PickStep(groupList, *group, "--group")
                            : SelectStep(groupList, 0, ""));
  run.steps.push_back(field ? PickStep(dependsOnList, *field, "--depends")
                            : SelectStep(dependsOnList, 0, ""));
  run.steps.push_back(Step(standin::ScriptStep::Verb::kOK));
  run.disabledHint = "uid " + uidText +
                     " must be a tagged field (a non-empty field name) and the document must have "
                     "a stacking group";
  status = PlayDialog(context, run);
  const int finish = context.FinishDocument(doc);
  return status != kExitOk ? status : finish;
}

// ---- osl prefs ---------------------------------------------------------------------

struct PrefsOptions {
  std::optional<std::string> server, user, password;
};

void PrintSettings(standin::WidgetNode& root) {
  auto text = [&root](const char* name) {
    const standin::WidgetNode* node = root.FindByName(name);
    return node ? node->text.GetUTF8String() : std::string();
  };
  const std::string password = text(kPasswordBox);
  std::printf("server: %s\nuser: %s\npassword: %s\n", Shown(text(kServerBox)).c_str(),
              Shown(text(kUserBox)).c_str(), password.empty() ? "(none)" : "********");
}

int RunPrefs(CliContext& context, const PrefsOptions& options) {
  if (options.server) {
    std::string why;
    if (!CheckServerAddress(*options.server, &why)) {
      return context.UsageError("prefs: --server " + Shown(*options.server) + ": " + why);
    }
  }
  if (!context.StartHost()) return kExitUsage;
  standin::Host& host = *context.host();
  auto id = [&host](const char* widget) { return NamedWidgetID(host, kPreferencesView, widget); };
  DialogRun run;
  run.command = "prefs";
  run.action = kPreferencesAction;
  run.key = "preferences";
  if (options.server) run.steps.push_back(TextStep(id(kServerBox), *options.server, ""));
  if (options.user) run.steps.push_back(TextStep(id(kUserBox), *options.user, ""));
  if (options.password) run.steps.push_back(TextStep(id(kPasswordBox), *options.password, ""));
  if (run.steps.empty()) {
    // The settings are read from the panel the plug-in filled.
    run.steps.push_back(Step(standin::ScriptStep::Verb::kShow));
    run.steps.push_back(Step(standin::ScriptStep::Verb::kCancel));
    run.show = PrintSettings;
  } else {
    run.steps.push_back(Step(standin::ScriptStep::Verb::kOK));
  }
  const int status = PlayDialog(context, run);
  const int finish = context.FinishStatus();
  if (status == kExitOk && finish == kExitOk && !run.show) {
    // Saying nothing after a change leaves a person guessing whether it took.
    std::string saved;
    if (options.server) saved += "server " + Shown(*options.server);
    if (options.user)
      saved += std::string(saved.empty() ? "" : ", ") + "user " + Shown(*options.user);
    if (options.password) saved += std::string(saved.empty() ? "" : ", ") + "password ********";
    std::printf("saved: %s; check the connection with `osl prefs --test`\n", saved.c_str());
  }
  return status != kExitOk ? status : finish;
}

// ---- osl dialog --------------------------------------------------------------------

int RunDialogCommand(CliContext& context, const std::string& path, const std::string& actionRef,
                     const std::vector<std::string>& scripts) {
  int status = kExitOk;
  standin::Document* doc = context.OpenDocument(path, &status);
  if (!doc) return status;
  standin::Host& host = *context.host();
  const standin::MenuAction* action = host.GetMenu().Find(actionRef);
  if (!action) return context.UsageError("dialog: no menu action " + actionRef);

  // Scripts are played in order on the dialogs that open; one written
  // "KEY:STEPS" waits for dialog KEY.
  std::vector<std::pair<std::string, standin::DialogScript>> queued;
  for (const std::string& text : scripts) {
    std::string key, error;
    standin::DialogScript script;
    if (!standin::ParseDialogScriptSpec(text, &key, &script, &error)) {
      std::string plainError;
      if (!standin::ParseDialogScript(text, &script, &plainError)) {
        return context.UsageError("dialog: --script: " + plainError);
      }
      key = standin::DialogHost::kAnyDialog;
    }
    queued.emplace_back(key, std::move(script));
  }
  DialogRun run;
  run.command = "dialog";
  run.action = standin::HexID(action->id);
  for (size_t i = 1; i < queued.size(); ++i) run.later.push_back(std::move(queued[i]));
  if (!queued.empty()) {
    run.key = queued.front().first;
    for (const auto& step : queued.front().second.steps) {
      PlannedStep planned;
      planned.step = step;
      run.steps.push_back(planned);
    }
  } else {
    run.key = standin::DialogHost::kAnyDialog;
    run.steps.push_back(Step(standin::ScriptStep::Verb::kCancel));
  }
  status = PlayDialog(context, run);
  const int finish = context.FinishDocument(doc);
  return status != kExitOk ? status : finish;
}

}  // namespace

void AddUiCommands(CLI::App& app, CliContext& context, int* exitStatus) {
  auto tag = std::make_shared<TagOptions>();
  auto* tagCommand = app.add_subcommand(
      "tag", "Select a page item and edit its field in the field panel, as a designer would");
  tagCommand->add_option("DOC", tag->path, "a .tlvd document")->required();
  tagCommand->add_option("UID", tag->uid, "the page item")->required();
  tagCommand->add_option("--name", tag->name, "field name (the panel keeps its letters)");
  tagCommand->add_option("--prompt", tag->prompt, "prompt text for the end user");
  tagCommand->add_option("--type", tag->type,
                         "control type: " + NameChoices(ControlTypeNames()) +
                             " (text frames: textbox, textarea, richtext, barcode; other "
                             "frames: image, advimage, nonprint), or the position in the "
                             "panel's list (from 0)");
  tagCommand->callback([&context, exitStatus, tag] { *exitStatus = RunTag(context, *tag); });

  struct GroupArguments {
    std::string createPath, name, addPath, uid;
    std::optional<std::string> direction;
    std::optional<std::string> group, depends;
  };
  auto group = std::make_shared<GroupArguments>();
  auto* groupCommand = app.add_subcommand("group", "Stacking groups");
  groupCommand->require_subcommand(1);
  auto* create = groupCommand->add_subcommand(
      "create", "Create a stacking group, or change the direction of the group of that name");
  create->add_option("DOC", group->createPath, "a .tlvd document")->required();
  create->add_option("NAME", group->name, "the group's name")->required();
  create->add_option("--direction", group->direction,
                     "move direction: " + NameChoices(DirectionNames()) +
                         ", or the position in the dialog's list (0 = up)");
  create->callback([&context, exitStatus, group] {
    *exitStatus = RunGroupCreate(context, group->createPath, group->name, group->direction);
  });
  auto* add = groupCommand->add_subcommand(
      "add", "Put a field into a stacking group (omitted options choose the none entry)");
  add->add_option("DOC", group->addPath, "a .tlvd document")->required();
  add->add_option("UID", group->uid, "the field's page item")->required();
  add->add_option("--group", group->group, "the stacking group");
  add->add_option("--depends", group->depends, "the field it depends on");
  add->callback([&context, exitStatus, group] {
    *exitStatus = RunGroupAdd(context, group->addPath, group->uid, group->group, group->depends);
  });

  auto prefs = std::make_shared<PrefsOptions>();
  auto* prefsCommand = app.add_subcommand(
      "prefs", "Edit the connection settings in the preferences; no option: show them");
  auto* server = prefsCommand->add_option(
      "--server", prefs->server,
      "base address of the service: http:// or https://, a host, an optional port, no blanks");
  auto* user = prefsCommand->add_option("--user", prefs->user, "user name");
  auto* password = prefsCommand->add_option("--password", prefs->password, "password");
  auto* test = prefsCommand->add_flag(
      "--test", "sign in with a read-only call and say in one line what is wrong");
  // The check tests the saved settings: change them first, then test.
  test->excludes(server)->excludes(user)->excludes(password);
  auto* json = prefsCommand->add_flag("--json", "with --test: one JSON document (schema 1)");
  json->needs(test);
  prefsCommand->callback([&context, exitStatus, prefs, test, json] {
    *exitStatus = *test ? RunPrefsTest(context, json->count() > 0) : RunPrefs(context, *prefs);
  });

  struct DialogArguments {
    std::string path, action;
    std::vector<std::string> scripts;
  };
  auto dialog = std::make_shared<DialogArguments>();
  auto* dialogCommand = app.add_subcommand(
      "dialog", "Run a menu action and drive the dialog it opens with a dialog script");
  dialogCommand->add_option("DOC", dialog->path, "a .tlvd document")->required();
  dialogCommand->add_option("ACTION", dialog->action, "the action's identifier or name")
      ->required();
  dialogCommand
      ->add_option("--script", dialog->scripts,
                   "steps for the dialog (\"text W V; select W N; ok\"), or KEY:STEPS for "
                   "dialog KEY; repeat for further dialogs")
      ->required()
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  dialogCommand->callback([&context, exitStatus, dialog] {
    *exitStatus = RunDialogCommand(context, dialog->path, dialog->action, dialog->scripts);
  });
}

}  // namespace osl_cli
