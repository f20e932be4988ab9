// osl: the stand-in layout application, headless. Loads Osl.pln and drives
// its menu actions, panels, dialogs and scripting from the command line.
#include <exception>
#include <iostream>

#include "standin/cli/cli_context.h"
#include "standin/cli/designer_commands.h"
#include "standin/cli/interrupt.h"

int main(int argc, char** argv) {
  osl_cli::CliContext context(argc > 0 ? argv[0] : "osl");
  CLI::App app{"osl - stand-in layout application for the template publisher plug-in"};
  app.require_subcommand(1);
  app.fallthrough();
  auto& options = context.options();
  app.add_option("--plugin", options.pluginPath, "plug-in to load (default: Osl.pln beside osl)");
  auto* yes = app.add_flag("--yes", options.yes, "answer every question with Yes");
  auto* no = app.add_flag("--no", options.no, "answer every question with No");
  yes->excludes(no);
  app.add_option("--answers", options.answers,
                 "answers for the questions, in order (yes, no or a button number)")
      ->delimiter(',');
  app.add_option("--select", options.select, "UIDs of the page items to select");
  app.add_flag("--verbose", options.verbose,
               "also print the dialogs' own report lines ([dialog] ... opened/ok)");
  osl_cli::InstallInterruptHandler();

  int status = osl_cli::kExitOk;
  osl_cli::AddDocumentCommands(app, context, &status);
  osl_cli::AddMenuCommands(app, context, &status);
  osl_cli::AddUiCommands(app, context, &status);
  osl_cli::AddExportCommands(app, context, &status);
  osl_cli::AddPublishCommands(app, context, &status);
  osl_cli::AddDesignerCommands(app, context, &status);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : osl_cli::kExitUsage;
  } catch (const std::exception& e) {
    // No exception leaves the program: whatever a command could not handle
    // is reported as a failure.
    std::cerr << "osl: " << e.what() << std::endl;
    return osl_cli::kExitErrorAlert;
  }
  return status;
}
