// `osl publish`: the plug-in's publishing actions run from the menu as a
// person picks them, with the template properties dialog filled
// from the options by a queued dialog script, as a person would fill it.
// The actions, the dialog and its widgets are found by the names the
// plug-in's resources give them.
// `--dry-run` runs the plug-in's dry-run action through the same dialog; the
// document is then never saved back.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "standin/app/host.h"
#include "standin/cli/cli_context.h"
#include "standin/cli/designer_commands.h"
#include "standin/cli/interrupt.h"
#include "standin/cli/list_option.h"
#include "standin/cli/plugin_views.h"
#include "standin/cli/publish_result.h"
#include "standin/core/resource_ids.h"
#include "standin/core/stderr_line.h"
#include "standin/core/terminal_text.h"
#include "standin/ui/dialog_script.h"

namespace osl_cli {

namespace {

constexpr char kPublishAction[] = "publish";
constexpr char kPublishAsNewAction[] = "publish-as-new";
constexpr char kTemplateDialog[] = "kOslTemplateDialogRsrcID";
constexpr char kNameBox[] = "kOslDocNameWidgetID";
constexpr char kClientTypeList[] = "kOslClientTypeWidgetID";
constexpr char kRefreshBox[] = "kOslRefreshBoxWidgetID";

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
  host.Dialogs().QueueScript(DialogKey(host, kTemplateDialog), script);
  return true;
}

// The dialog report lines about the properties dialog since `from`.
bool DialogReported(standin::Host& host, size_t from, const std::string& what) {
  const auto& log = host.Dialogs().Log();
  const std::string prefix = "[dialog] " + DialogKey(host, kTemplateDialog) + " " + what;
  for (size_t i = from; i < log.size(); ++i) {
    if (log[i].compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

struct PublishOptions {
  std::string path;
  std::string name;
  bool hasName = false;
  std::string clientTypeName;  // --client-type as given; empty when absent
  int clientType = -1;
  bool refresh = false;
  bool asNew = false;
  bool dryRun = false;
  bool json = false;  // stdout carries one JSON document: no result line
};

// The dialog's refusal of the name box since `from` (the name it would
// store is empty or blank).
bool NameRefused(standin::Host& host, size_t from) {
  char invalid[32];
  std::snprintf(invalid, sizeof invalid, "invalid 0x%x",
                static_cast<unsigned>(NamedWidgetID(host, kTemplateDialog, kNameBox)));
  return DialogReported(host, from, invalid);
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
    const standin::ViewSpec* view = host.Views().FindNamed(kTemplateDialog);
    const std::vector<std::string> captions =
        Captions(host, view ? FindSpec(view->root, std::string(kClientTypeList)) : nullptr);
    int32 position = 0;
    std::string error;
    if (!ResolveListOption("--client-type", options.clientTypeName, ClientTypeNames(), captions,
                           host.Strings(), &position, &error)) {
      context.FinishDocument(doc);
      return context.UsageError("publish: " + error);
    }
    options.clientType = position;
  }

  auto widget = [&host](const char* name) {
    return " " + standin::HexID(NamedWidgetID(host, kTemplateDialog, name)) + " ";
  };
  std::string steps;
  if (options.hasName) {
    steps += "text" + widget(kNameBox) + ScriptValue(options.name) + "\n";
  } else if (options.asNew) {
    // Publishing as new starts with an empty name: the document's own name
    // stands in for it.
    steps += "text" + widget(kNameBox) + ScriptValue(DocumentStem(doc)) + "\n";
  }
  if (options.clientType >= 0) {
    steps += "select" + widget(kClientTypeList) + std::to_string(options.clientType) + "\n";
  }
  if (options.refresh) steps += "check" + widget(kRefreshBox) + "on\n";
  steps += "ok\n";
  std::string error;
  if (!QueueDialogScript(host, steps, &error)) return context.UsageError(error);

  const size_t dialogLogBefore = host.Dialogs().Log().size();
  const char* action =
      options.dryRun ? kDryRunAction : (options.asNew ? kPublishAsNewAction : kPublishAction);
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
  // A dry run leaves the file as it was, whatever the dialog wrote.
  const int finished = options.dryRun ? context.FinishStatus() : context.FinishDocument(doc);
  standin::EndStderrLine();
  if (NameRefused(host, dialogLogBefore)) {
    if (!options.json) {
      std::printf("not published: the template needs a name; give it one with --name NAME\n");
      std::fflush(stdout);
    }
    return kExitUsage;
  }
  if (DialogReported(host, dialogLogBefore, "script error") ||
      DialogReported(host, dialogLogBefore, "still open")) {
    std::printf("not published: the template properties dialog did not take the options\n");
    std::fflush(stdout);
    return context.UsageError("the template properties dialog did not take the options:" +
                              standin::EscapeForTerminal(DialogLines(host, dialogLogBefore), ""));
  }
  if (const auto& record = host.Publishes().Last(); record && !options.json) {
    std::printf("%s\n", PublishResultLine(*record).c_str());
    std::fflush(stdout);
  }
  return finished;
}

}  // namespace

void AddPublishCommands(CLI::App& app, CliContext& context, int* exitStatus) {
  auto options = std::make_shared<PublishOptions>();
  auto many = std::make_shared<PublishManyOptions>();
  auto* publish = app.add_subcommand(
      "publish", "Publish documents as templates of the configured service, one after the other");
  publish->add_option("DOC", many->paths, "the .tlvd documents")->required();
  auto* name = publish->add_option("--name", options->name,
                                   "template name (default: what the document holds)");
  publish->add_option("--client-type", options->clientTypeName,
                      "client type: " + NameChoices(ClientTypeNames()) +
                          " (web: barcodes as text boxes), or the position in the dialog's list");
  publish->add_flag("--refresh", options->refresh,
                    "refresh the service's fields from the document (published documents)");
  auto* asNew =
      publish->add_flag("--as-new", options->asNew,
                        "publish as a new template (default name: the document's file name)");
  auto* dryRun = publish->add_flag(
      "--dry-run", many->dryRun,
      "show what a publish would change at the service; nothing is sent, nothing is saved");
  dryRun->excludes(asNew);
  publish->add_flag("--keep-going", many->keepGoing,
                    "with several documents: go on after one fails");
  publish->add_flag("--json", many->json, "one JSON document on stdout (schema 1)");
  publish->callback([&context, exitStatus, options, many, name] {
    options->hasName = name->count() > 0;
    options->dryRun = many->dryRun;
    options->json = many->json;
    if (options->hasName && many->paths.size() > 1) {
      *exitStatus = context.UsageError(
          "--name names one template: publish the documents one by one, or set each "
          "document's name");
      return;
    }
    *exitStatus = RunPublishMany(context, *many, [&context, options](const std::string& path) {
      options->path = path;
      return RunPublish(context, *options);
    });
  });
}

}  // namespace osl_cli
