#include "refservice/commands/backup_command.h"

#include <CLI/CLI.hpp>
#include <ostream>

#include "refservice/backup/data_backup.h"

namespace refservice {

CLI::App* AddBackupCommand(CLI::App* app, BackupOptions* options) {
  CLI::App* backup = app->add_subcommand(
      "backup", "copy the data folder consistently, also while the service runs");
  backup->add_option("--data", options->dataDir, "the data folder")->required();
  backup->add_option("OUT", options->out, "the new backup folder (must not exist or be empty)")
      ->required();
  return backup;
}

int RunBackupCommand(const BackupOptions& options, std::ostream& out, std::ostream& err) {
  BackupCounts counts;
  std::string error;
  bool usageError = false;
  if (!BackupDataFolder(options.dataDir, options.out, &counts, &err, &error, &usageError)) {
    err << "osl-service: " << error << "\n";
    return usageError ? 2 : 1;
  }
  if (counts.missing > 0) {
    err << "osl-service: warning: " << counts.missing << " recorded file(s) are missing from "
        << options.dataDir << " and are not in the backup\n";
  }
  out << "osl-service: backed up " << options.dataDir << " into " << options.out << ": "
      << counts.templates << " template(s), " << counts.accounts << " account(s), "
      << counts.linked + counts.copied << " file(s) (" << counts.linked << " hard-linked, "
      << counts.copied << " copied)\n";
  return 0;
}

}  // namespace refservice
