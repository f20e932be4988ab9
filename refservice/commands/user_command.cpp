#include "refservice/commands/user_command.h"

#include <CLI/CLI.hpp>
#include <string>

namespace refservice {

CLI::App* AddUserCommand(CLI::App* app, UserCommandOptions* options) {
  CLI::App* user = app->add_subcommand(
      "user", "manage accounts: add, passwd, remove (safe while the service runs)");
  user->require_subcommand(1);
  struct Action {
    const char* name;
    const char* help;
  };
  for (const Action& action :
       {Action{"add", "create an account; the password is read from the terminal or stdin"},
        Action{"passwd", "set an account's password (read from the terminal or stdin)"},
        Action{"remove",
               "remove an account (refused while it owns templates, unless "
               "--with-templates)"}}) {
    CLI::App* command = user->add_subcommand(action.name, action.help);
    CLI::Option* data = command->add_option("--data", options->dataDir, "the data folder");
    CLI::Option* database = command->add_option("--database", options->databaseUrl,
                                                "the PostgreSQL database (postgresql://...)");
    data->excludes(database);
    database->excludes(data);
    command->add_option("EMAIL", options->email, "the account's e-mail address")->required();
    if (std::string(action.name) == "remove") {
      command->add_flag("--with-templates", options->withTemplates,
                        "also remove the templates the account owns");
    }
    std::string name = action.name;
    command->callback([options, name] { options->action = name; });
  }
  return user;
}

}  // namespace refservice
