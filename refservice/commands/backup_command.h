// `osl-service backup --data DIR OUT`: a consistent copy of a data folder, taken while a
// service may be serving from it (see data_backup.h).
// Exit status: 0 done, 1 failed (nothing at OUT), 2 bad usage (OUT in the way).
#pragma once

#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace refservice {

struct BackupOptions {
  std::string dataDir;
  std::string out;
};

// Adds the "backup" subcommand to `app`; returns it.
CLI::App* AddBackupCommand(CLI::App* app, BackupOptions* options);

// Takes the backup; says what it did on `out` and why not on `err`; returns the exit status.
int RunBackupCommand(const BackupOptions& options, std::ostream& out, std::ostream& err);

}  // namespace refservice
