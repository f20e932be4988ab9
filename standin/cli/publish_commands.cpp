// `osl check` and `osl publish`: the plug-in's publishing actions run from
// the menu as a person picks them, with the template properties dialog
// (view 250) filled from the options by a queued dialog script, as a person
// would fill it.
//
// `osl check` runs the publish action with a dialog script that cancels the
// properties dialog: the plug-in's own field-name check runs exactly as it
// does before every publish (its question answered from --yes/--no/
// --answers), and the publish ends at its dialog with nothing sent. The
// host has no other way into the check: it is the first part of the publish
// action, and the host does not read field tags itself.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "standin/app/host.h"
#include "standin/cli/cli_context.h"
#include "standin/cli/interrupt.h"
#include "standin/cli/list_option.h"
#include "standin/cli/publish_result.h"
#include "standin/core/stderr_line.h"
#include "standin/core/terminal_text.h"
#include "standin/ui/dialog_script.h"

namespace osl_cli {

namespace {

constexpr ActionID kPublishAction = 0x199E03;
constexpr ActionID kPublishAsNewAction = 0x199E08;
constexpr char kTemplateDialog[] = "250";

// The widget `id` in the tree of `spec`, or null.
const standin::WidgetSpec* FindSpec(const standin::WidgetSpec& spec, WidgetID id) {
  if (spec.id == id) return &spec;
  for (const auto& child : spec.children) {
    if (const standin::WidgetSpec* found = FindSpec(child, id)) return found;
  }
  return nullptr;
}

// `value` as the VALUE of a dialog-script step: kept exactly when replayed.
std::string ScriptValue(const std::string& value) {
  std::string escaped;
  for (char c : value) {
    switch (c) {
      case '\\':
        escaped += "\\\\";
        break;
      case ';':
        escaped += "\\;";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\t':
        escaped += "\\t";
        break;
      case ' ':
        escaped += "\\s";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

// The document's file name without its extension.
std::string DocumentStem(standin::Document* document) {
  std::string name = document->Name().GetUTF8String();
  const auto dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool QueueDialogScript(standin::Host& host, const std::string& steps, std::string* error) {
  standin::DialogScript script;
  if (!standin::ParseDialogScript(steps, &script, error)) return false;
  host.Dialogs().QueueScript(kTemplateDialog, script);
  return true;
}

// The dialog report lines about the properties dialog since `from`.
bool DialogReported(standin::Host& host, size_t from, const std::string& what) {
  const auto& log = host.Dialogs().Log();
  const std::string prefix = std::string("[dialog] ") + kTemplateDialog + " " + what;
  for (size_t i = from; i < log.size(); ++i) {
    if (log[i].compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

int RunCheck(CliContext& context, const std::string& path) {
  int status = kExitOk;
  standin::Document* doc = context.OpenDocument(path, &status);
  if (!doc) return status;
  standin::Host& host = *context.host();
  std::string error;
  if (!QueueDialogScript(host, "cancel", &error)) return context.UsageError(error);
  const size_t alertsBefore = host.AlertLog().Log().size();
  if (host.GetMenu().Run(kPublishAction, &error) != standin::Menu::Outcome::kRan) {
    host.Dialogs().ClearScripts();
    std::cerr << "osl: " << error << std::endl;
    context.FinishDocument(doc);
    return kExitErrorAlert;
  }
  host.Dialogs().ClearScripts();
  // The check's question is the only one the action asks before its
  // dialog; no question means no name is used twice.
  const standin::AlertRecord* question = nullptr;
  const auto& alerts = host.AlertLog().Log();
  for (size_t i = alertsBefore; i < alerts.size() && !question; ++i) {
    if (alerts[i].kind == standin::AlertKind::kAsk) question = &alerts[i];
  }
  const bool passed = !question || question->answer == 1;
  if (!question) {
    std::printf("field names: no name is used twice\n");
  } else {
    std::printf("field names: some are used more than once; publishing %s\n",
                passed ? "would go on" : "was declined");
  }
  // The status says how the check went; a changed document that could not
  // be saved (reported by FinishDocument) fails it too.
  const int finished = context.FinishDocument(doc);
  const bool saveFailed = finished != kExitOk && host.AlertLog().ErrorCount() == 0;
  return passed && !saveFailed ? kExitOk : kExitErrorAlert;
}

struct PublishOptions {
  std::string path;
  std::string name;
  bool hasName = false;
  std::string clientTypeName;  // --client-type as given; empty when absent
  int clientType = -1;
  bool refresh = false;
  bool asNew = false;
};

// The dialog's refusal of the name box since `from` (the name it would
// store is empty or blank).
bool NameRefused(standin::Host& host, size_t from) {
  return DialogReported(host, from, "invalid 0x199e07");
}

// The dialog report lines about the properties dialog since `from`, each
// on its own line, for a message.
std::string DialogLines(standin::Host& host, size_t from) {
  std::string lines;
  const auto& log = host.Dialogs().Log();
  for (size_t i = from; i < log.size(); ++i) lines += "\n  " + log[i];
  return lines;
}

int RunPublish(CliContext& context, PublishOptions options) {
  int status = kExitOk;
  standin::Document* doc = context.OpenDocument(options.path, &status);
  if (!doc) return status;
  standin::Host& host = *context.host();

  if (!options.clientTypeName.empty()) {
    // The dialog's list as its view declares it.
    const standin::WidgetSpec* list = nullptr;
    for (const auto& plugin : host.PlugIns().Loaded()) {
      if (const standin::ViewSpec* view = host.Views().Find(plugin.id, 250)) {
        list = FindSpec(view->root, 0x199E09);
        if (list) break;
      }
    }
    std::vector<std::string> captions;
    if (list) {
      for (const std::string& key : list->entries) captions.push_back(host.Strings().Lookup(key));
    }
    int32 position = 0;
    std::string error;
    if (!ResolveListOption("--client-type", options.clientTypeName, ClientTypeNames(), captions,
                           host.Strings(), &position, &error)) {
      context.FinishDocument(doc);
      return context.UsageError("publish: " + error);
    }
    options.clientType = position;
  }

  std::string steps;
  if (options.hasName) {
    steps += "text 0x199E07 " + ScriptValue(options.name) + "\n";
  } else if (options.asNew) {
    // Publishing as new starts with an empty name: the document's own name
    // stands in for it.
    steps += "text 0x199E07 " + ScriptValue(DocumentStem(doc)) + "\n";
  }
  if (options.clientType >= 0) {
    steps += "select 0x199E09 " + std::to_string(options.clientType) + "\n";
  }
  if (options.refresh) steps += "check 0x199E21 on\n";
  steps += "ok\n";
  std::string error;
  if (!QueueDialogScript(host, steps, &error)) return context.UsageError(error);

  const size_t dialogLogBefore = host.Dialogs().Log().size();
  const ActionID action = options.asNew ? kPublishAsNewAction : kPublishAction;
  host.Publishes().Clear();
  const standin::Menu::Outcome outcome = host.GetMenu().Run(action, &error);
  host.Dialogs().ClearScripts();
  SetInterruptNote("");
  if (outcome == standin::Menu::Outcome::kDisabled) {
    context.FinishDocument(doc);
    return context.UsageError("--as-new publishes a document that was published before: " + error);
  }
  if (outcome != standin::Menu::Outcome::kRan) {
    std::cerr << "osl: " << error << std::endl;
    context.FinishDocument(doc);
    return kExitErrorAlert;
  }
  const int finished = context.FinishDocument(doc);
  standin::EndStderrLine();
  if (NameRefused(host, dialogLogBefore)) {
    std::printf("not published: the template needs a name; give it one with --name NAME\n");
    std::fflush(stdout);
    return kExitUsage;
  }
  if (DialogReported(host, dialogLogBefore, "script error") ||
      DialogReported(host, dialogLogBefore, "still open")) {
    std::printf("not published: the template properties dialog did not take the options\n");
    std::fflush(stdout);
    return context.UsageError("the template properties dialog did not take the options:" +
                              standin::EscapeForTerminal(DialogLines(host, dialogLogBefore), ""));
  }
  if (const auto& record = host.Publishes().Last()) {
    std::printf("%s\n", PublishResultLine(*record).c_str());
    std::fflush(stdout);
  }
  return finished;
}

}  // namespace

void AddPublishCommands(CLI::App& app, CliContext& context, int* exitStatus) {
  auto checkPath = std::make_shared<std::string>();
  auto* check = app.add_subcommand(
      "check", "The field-name check that runs before every publish (nothing is published)");
  check->add_option("DOC", *checkPath, "a .tlvd document")->required();
  check->callback(
      [&context, exitStatus, checkPath] { *exitStatus = RunCheck(context, *checkPath); });

  auto options = std::make_shared<PublishOptions>();
  auto* publish =
      app.add_subcommand("publish", "Publish the document as a template of the configured service");
  publish->add_option("DOC", options->path, "a .tlvd document")->required();
  auto* name = publish->add_option("--name", options->name,
                                   "template name (default: what the document holds)");
  publish->add_option("--client-type", options->clientTypeName,
                      "client type: " + NameChoices(ClientTypeNames()) +
                          " (web: barcodes as text boxes), or the position in the dialog's list");
  publish->add_flag("--refresh", options->refresh,
                    "refresh the service's fields from the document (published documents)");
  publish->add_flag("--as-new", options->asNew,
                    "publish as a new template (default name: the document's file name)");
  publish->callback([&context, exitStatus, options, name] {
    options->hasName = name->count() > 0;
    *exitStatus = RunPublish(context, *options);
  });
}

}  // namespace osl_cli
