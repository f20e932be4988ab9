// `osl action`: any menu action by identifier or name, as a person picks it
// from the menu (the item's state is asked first; a disabled item is
// refused).
#include <cstdio>
#include <iostream>
#include <memory>

#include "standin/app/host.h"
#include "standin/cli/cli_context.h"

namespace osl_cli {

namespace {

int RunAction(CliContext& context, const std::string& path, const std::string& ref) {
  int status = kExitOk;
  standin::Document* doc = context.OpenDocument(path, &status);
  if (!doc) return status;
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
      "action", "Run a menu action of the plug-in (identifier such as 0x199E05, or its name)");
  action->add_option("DOC", args->path, "a .tlvd document")->required();
  action->add_option("ID", args->action, "the action's identifier or name")->required();
  action->callback([&context, exitStatus, args] {
    *exitStatus = RunAction(context, args->path, args->action);
  });
}

}  // namespace osl_cli
