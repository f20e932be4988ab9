// `osl action`: any menu action by identifier or name, as a person picks it
// from the menu (the item's state is asked first; a disabled item is
// refused).
#include <cstdio>
#include <iostream>
#include <memory>

#include "standin/app/host.h"
#include "standin/cli/cli_context.h"
#include "standin/cli/plugin_views.h"
#include "standin/core/resource_ids.h"
#include "standin/core/terminal_text.h"

namespace osl_cli {

namespace {

// Prints the plug-ins' menu actions: identifier, name, caption and whether
// the item is enabled for this document now.
int ListActions(CliContext& context, standin::Document* doc) {
  standin::Host& host = *context.host();
  standin::Menu& menu = host.GetMenu();
  for (const standin::MenuAction* action : menu.Actions()) {
    const std::string line = standin::HexID(action->id) + "  " + action->name + "  " +
                             host.Strings().Lookup(action->caption) +
                             (menu.IsEnabled(*action) ? "" : "  (disabled)");
    std::printf("%s\n", standin::EscapeForTerminal(line).c_str());
  }
  return context.FinishDocument(doc);
}

int RunAction(CliContext& context, const std::string& path, const std::string& ref) {
  int status = kExitOk;
  standin::Document* doc = context.OpenDocument(path, &status);
  if (!doc) return status;
  if (ref == "list") return ListActions(context, doc);
  standin::Menu& menu = context.host()->GetMenu();
  const standin::MenuAction* action = menu.Find(ref);
  if (!action) return context.UsageError("no menu action " + ref);
  std::string error;
  if (menu.Run(action->id, &error) != standin::Menu::Outcome::kRan) {
    std::cerr << "osl: " << error << std::endl;
    context.FinishDocument(doc);
    return kExitErrorAlert;
  }
  return context.FinishDocument(doc);
}

}  // namespace

void AddMenuCommands(CLI::App& app, CliContext& context, int* exitStatus) {
  struct Arguments {
    std::string path, action;
  };
  auto args = std::make_shared<Arguments>();
  auto* action = app.add_subcommand(
      "action",
      "Run a menu action of the plug-in (its identifier or name, as `osl action DOC list` "
      "shows them); ID list: list the actions");
  action->add_option("DOC", args->path, "a .tlvd document")->required();
  action->add_option("ID", args->action, "the action's identifier or name, or list")->required();
  action->callback(
      [&context, exitStatus, args] { *exitStatus = RunAction(context, args->path, args->action); });
}

}  // namespace osl_cli
