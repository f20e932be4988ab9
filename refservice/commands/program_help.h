// What `osl-service --help` says before the options: the addresses served, how the data folder
// is kept, the limits, and every command.
#pragma once

namespace refservice {

extern const char kProgramHelp[];

}  // namespace refservice
