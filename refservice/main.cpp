// osl-service: the reference template service. Serves the template manager and document builder
// SOAP endpoints, the upload page and the uploaded files, storing everything under one folder;
// its subcommands read, back up and manage that folder. Each command lives in commands/.
#include <CLI/CLI.hpp>
#include <iostream>

#include "refservice/commands/backup_command.h"
#include "refservice/commands/program_help.h"
#include "refservice/commands/read_commands.h"
#include "refservice/commands/serve_command.h"
#include "refservice/commands/user_command.h"

int main(int argc, char** argv) {
  using namespace refservice;
  CLI::App app{kProgramHelp, "osl-service"};
  app.get_formatter()->column_width(40);
  ServeOptions serveOptions;
  AddServeOptions(&app, &serveOptions);
  ReadCommandOptions readOptions;
  AddReadCommands(&app, &readOptions);
  UserCommandOptions userOptions;
  CLI::App* userCommand = AddUserCommand(&app, &userOptions);
  BackupOptions backupOptions;
  CLI::App* backupCommand = AddBackupCommand(&app, &backupOptions);
  app.require_subcommand(0, 1);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return 2;
  }

  if (*userCommand) return RunUserCommand(userOptions, std::cout, std::cerr);
  if (*backupCommand) return RunBackupCommand(backupOptions, std::cout, std::cerr);
  if (!readOptions.command.empty()) return RunReadCommand(readOptions, std::cout, std::cerr);
  return RunServeCommand(std::move(serveOptions), std::cout, std::cerr);
}
