// `osl publish`: the plug-in's publishing actions run from the menu as a
// person picks them, with the template properties dialog (view 250) filled
// from the options by a queued dialog script, as a person would fill it.
// `--dry-run` runs the plug-in's dry-run action through the same dialog; the
// document is then never saved back.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "standin/app/host.h"
#include "standin/cli/cli_context.h"
#include "standin/cli/designer_commands.h"
#include "standin/ui/dialog_script.h"

namespace osl_cli {

namespace {

constexpr ActionID kPublishAction = 0x199E03;
constexpr ActionID kPublishAsNewAction = 0x199E08;
constexpr char kTemplateDialog[] = "250";

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

struct PublishOptions {
  std::string path;
  std::string name;
  bool hasName = false;
  int clientType = -1;
  bool refresh = false;
  bool asNew = false;
  bool dryRun = false;
};

int RunPublish(CliContext& context, const PublishOptions& options) {
  int status = kExitOk;
  standin::Document* doc = context.OpenDocument(options.path, &status);
  if (!doc) return status;
  standin::Host& host = *context.host();

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
  const ActionID action =
      options.dryRun ? kDryRunAction : (options.asNew ? kPublishAsNewAction : kPublishAction);
  const standin::Menu::Outcome outcome = host.GetMenu().Run(action, &error);
  host.Dialogs().ClearScripts();
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
  if (DialogReported(host, dialogLogBefore, "script error") ||
      DialogReported(host, dialogLogBefore, "still open")) {
    return context.UsageError(
        "the template properties dialog did not take the options (see the [dialog] lines); "
        "nothing was published");
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
  publish
      ->add_option("--client-type", options->clientType,
                   "client type: position in the dialog's list (0, 1, 2)")
      ->check(CLI::Range(0, 1023));
  publish->add_flag("--refresh", options->refresh,
                    "refresh the service's fields from the document (published documents)");
  auto* asNew = publish->add_flag(
      "--as-new", options->asNew,
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
