// The options of `osl-service user add|passwd|remove` (the commands themselves: accounts/
// user_command.h).
#pragma once

#include "refservice/accounts/user_command.h"

namespace CLI {
class App;
}

namespace refservice {

// Adds the "user" subcommand with its three subcommands to `app`, filling `options` when
// parsed; returns the "user" subcommand.
CLI::App* AddUserCommand(CLI::App* app, UserCommandOptions* options);

}  // namespace refservice
