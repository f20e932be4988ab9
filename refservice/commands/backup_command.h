// `osl-service backup --data DIR OUT`: a consistent copy of a data folder, taken while a
// service may be serving from it.
//
// The database is copied with SQLite's online backup in one step, so the copy is the database
// as it was at one instant (writers go on meanwhile; in WAL mode they are not blocked). Then
// every uploaded file that the copy records is hard-linked into the copy, or copied when
// linking is not possible (another file system): stored files never change, so a link is as
// good as a copy. Uploads that were pending at that instant and files stored later are not in
// the copy; the first service started on it reconciles the pending records as after any cut.
//
// OUT must not exist or be an empty folder. Everything is written into OUT.partial first,
// flushed to disk, and renamed to OUT only when complete: an interrupted backup never leaves
// anything at OUT (it leaves OUT.partial, which a later backup refuses until it is removed).
// Exit status: 0 done, 1 failed (nothing at OUT), 2 bad usage (OUT in the way).
#pragma once

#include <cstdint>
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

// What a backup copied.
struct BackupCounts {
  int64_t templates = 0;
  int64_t accounts = 0;
  int64_t linked = 0;   // files hard-linked
  int64_t copied = 0;   // files copied byte for byte
  int64_t missing = 0;  // files recorded but absent from the data folder (not in the copy)
};

// The backup itself. False with `error` set when it failed; OUT is then untouched.
// `progress` (may be null) gets a line now and then while files are copied.
bool BackupDataFolder(const std::string& dataDir, const std::string& out, BackupCounts* counts,
                      std::ostream* progress, std::string* error, bool* usageError);

// Adds the "backup" subcommand to `app`; returns it.
CLI::App* AddBackupCommand(CLI::App* app, BackupOptions* options);

// Takes the backup; says what it did on `out` and why not on `err`; returns the exit status.
int RunBackupCommand(const BackupOptions& options, std::ostream& out, std::ostream& err);

}  // namespace refservice
