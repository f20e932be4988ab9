#include "refservice/commands/backup_command.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <thread>
#include <vector>

#include "refservice/common/unique_fd.h"
#include "refservice/uploads/upload_names.h"

namespace refservice {
namespace {

// The application id every database of this service carries ("OSL1"); 0 in the oldest ones.
constexpr int kApplicationId = 0x4F534C31;

struct Sqlite {
  sqlite3* db = nullptr;
  ~Sqlite() {
    if (db != nullptr) sqlite3_close_v2(db);
  }
};

struct UploadPath {
  std::string session;
  std::string token;  // empty for files stored before addresses had tokens
  std::string name;
};

std::string SystemError(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// Runs a query returning one integer.
bool QueryInt(sqlite3* db, const char* sql, int64_t* out) {
  sqlite3_stmt* stmt = nullptr;
  bool ok = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW;
  if (ok) *out = sqlite3_column_int64(stmt, 0);
  sqlite3_finalize(stmt);
  return ok;
}

std::string ColumnText(sqlite3_stmt* stmt, int column) {
  const unsigned char* text = sqlite3_column_text(stmt, column);
  return text == nullptr ? std::string()
                         : std::string(reinterpret_cast<const char*>(text),
                                       static_cast<size_t>(sqlite3_column_bytes(stmt, column)));
}

// The uploaded files the database records. False on a database error.
bool RecordedFiles(sqlite3* db, std::vector<UploadPath>* out) {
  struct Source {
    const char* sql;
    bool tokens;
  };
  for (const Source& source : {Source{"SELECT session, token, name FROM files", true},
                               Source{"SELECT session, '', name FROM uploads", false}}) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, source.sql, -1, &stmt, nullptr) != SQLITE_OK) return false;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      out->push_back(UploadPath{ColumnText(stmt, 0), ColumnText(stmt, 1), ColumnText(stmt, 2)});
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) return false;
  }
  return true;
}

// Copies the database at `from` into a new file `to` as it is at one instant.
bool CopyDatabase(const std::string& from, const std::string& to, std::string* error) {
  Sqlite source;
  if (sqlite3_open_v2(from.c_str(), &source.db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW,
                      nullptr) != SQLITE_OK) {
    *error = "cannot open database " + from + ": " +
             (source.db ? sqlite3_errmsg(source.db) : "out of memory");
    return false;
  }
  sqlite3_busy_timeout(source.db, 5000);
  int64_t applicationId = -1;
  if (!QueryInt(source.db, "PRAGMA application_id", &applicationId)) {
    *error = "cannot read database " + from + ": " + sqlite3_errmsg(source.db);
    return false;
  }
  if (applicationId != 0 && applicationId != kApplicationId) {
    *error = "not a database of this service: " + from;
    return false;
  }
  Sqlite target;
  if (sqlite3_open_v2(to.c_str(), &target.db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW,
                      nullptr) != SQLITE_OK) {
    *error =
        "cannot create " + to + ": " + (target.db ? sqlite3_errmsg(target.db) : "out of memory");
    return false;
  }
  sqlite3_backup* backup = sqlite3_backup_init(target.db, "main", source.db, "main");
  if (backup == nullptr) {
    *error = "cannot start the copy of " + from + ": " + sqlite3_errmsg(target.db);
    return false;
  }
  // All pages in one step: one read transaction, so one instant of the database. A writer
  // holding the lock only delays the start (bounded).
  int rc = SQLITE_OK;
  for (int attempt = 0; attempt < 300; ++attempt) {
    rc = sqlite3_backup_step(backup, -1);
    if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  sqlite3_backup_finish(backup);
  if (rc != SQLITE_DONE) {
    *error = "cannot copy database " + from + ": " + sqlite3_errstr(rc);
    return false;
  }
  std::string check;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(target.db, "PRAGMA quick_check", -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW) {
    check = ColumnText(stmt, 0);
  }
  sqlite3_finalize(stmt);
  if (check != "ok") {
    *error = "the copy of " + from + " fails its check: " + (check.empty() ? "unreadable" : check);
    return false;
  }
  return true;
}

// Copies the regular file `from` to the new file `to`, flushed to disk.
bool CopyFile(const std::string& from, const std::string& to, std::string* error) {
  UniqueFd in(::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!in.valid()) {
    *error = SystemError("cannot open", from);
    return false;
  }
  UniqueFd outFd(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!outFd.valid()) {
    *error = SystemError("cannot create", to);
    return false;
  }
  std::vector<char> buffer(1 << 16);
  while (true) {
    ssize_t got = ::read(in.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *error = SystemError("cannot read", from);
      return false;
    }
    if (got == 0) break;
    for (ssize_t done = 0; done < got;) {
      ssize_t put = ::write(outFd.get(), buffer.data() + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) {
        *error = SystemError("cannot write", to);
        return false;
      }
      done += put;
    }
  }
  if (::fsync(outFd.get()) != 0) {
    *error = SystemError("cannot flush", to);
    return false;
  }
  return true;
}

// True when `path` is missing or an empty folder.
bool FreeForBackup(const std::string& path, std::string* why) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT;
  if (!S_ISDIR(info.st_mode)) {
    *why = path + " exists and is not a folder";
    return false;
  }
  std::error_code ec;
  if (!std::filesystem::is_empty(path, ec) || ec) {
    *why = path + " is not empty; back up into a new or empty folder";
    return false;
  }
  return true;
}

// `path` as an absolute path with every symbolic link of its existing part resolved (the rest,
// which does not exist yet, appended as written, without "." or ".." steps).
std::filesystem::path ResolvedPath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(path, ec).lexically_normal();
  std::filesystem::path existing = absolute;
  std::filesystem::path rest;
  while (!existing.empty() && !std::filesystem::exists(existing, ec)) {
    rest = rest.empty() ? existing.filename() : existing.filename() / rest;
    if (existing == existing.parent_path()) break;
    existing = existing.parent_path();
  }
  std::filesystem::path resolved = std::filesystem::canonical(existing, ec);
  if (ec) resolved = existing;
  return (rest.empty() ? resolved : resolved / rest).lexically_normal();
}

// Whether `path` is `folder` or lies inside it, after resolving links.
bool InsideFolder(const std::string& path, const std::string& folder) {
  std::string inner = ResolvedPath(path).string();
  std::string outer = ResolvedPath(folder).string();
  while (inner.size() > 1 && inner.back() == '/') inner.pop_back();
  while (outer.size() > 1 && outer.back() == '/') outer.pop_back();
  if (outer == "/") return true;
  return inner == outer || inner.rfind(outer + "/", 0) == 0;
}

bool SyncPath(const std::string& path, bool wholeFileSystem, std::string* error) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid() || (wholeFileSystem ? ::syncfs(fd.get()) : ::fsync(fd.get())) != 0) {
    *error = SystemError("cannot flush", path);
    return false;
  }
  return true;
}

}  // namespace

bool BackupDataFolder(const std::string& dataDir, const std::string& outPath, BackupCounts* counts,
                      std::ostream* progress, std::string* error, bool* usageError) {
  *usageError = false;
  *counts = BackupCounts{};
  std::string out = outPath;
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  const std::string database = dataDir + "/service.db";
  struct stat info {};
  if (::stat(database.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    *error = "no service database in " + dataDir + " (" + database + " is missing)";
    return false;
  }
  std::string why;
  if (!out.empty() && InsideFolder(out, dataDir)) {
    // The next service started on the data folder would take the copy for stray uploads (or
    // the copy would copy itself): a backup belongs elsewhere.
    *usageError = true;
    *error = out + " is inside the data folder " + dataDir + "; back up to another folder";
    return false;
  }
  if (out.empty() || !FreeForBackup(out, &why)) {
    *usageError = true;
    *error = out.empty() ? "the backup folder is missing" : why;
    if (why.empty()) *error = SystemError("cannot inspect", out);
    return false;
  }
  const std::string partial = out + ".partial";
  if (::lstat(partial.c_str(), &info) == 0 || errno != ENOENT) {
    *usageError = true;
    *error = partial + " exists (left by an interrupted backup?); remove it first";
    return false;
  }
  std::filesystem::path parent = std::filesystem::path(out).parent_path();
  if (parent.empty()) parent = ".";
  if (::mkdir(partial.c_str(), 0700) != 0) {
    *error = SystemError("cannot create", partial);
    return false;
  }
  // Whatever fails from here on leaves nothing behind.
  struct Cleanup {
    std::string path;
    bool keep = false;
    ~Cleanup() {
      std::error_code ignored;
      if (!keep) std::filesystem::remove_all(path, ignored);
    }
  } cleanup{partial};

  if (!CopyDatabase(database, partial + "/service.db", error)) return false;
  std::vector<UploadPath> files;
  {
    Sqlite copy;
    if (sqlite3_open_v2((partial + "/service.db").c_str(), &copy.db, SQLITE_OPEN_READWRITE,
                        nullptr) != SQLITE_OK ||
        !QueryInt(copy.db, "SELECT COUNT(*) FROM templates", &counts->templates) ||
        !QueryInt(copy.db, "SELECT COUNT(*) FROM users", &counts->accounts) ||
        !RecordedFiles(copy.db, &files)) {
      *error = "cannot read the copied database: " +
               std::string(copy.db ? sqlite3_errmsg(copy.db) : "out of memory");
      return false;
    }
  }

  size_t done = 0;
  for (const UploadPath& file : files) {
    // The record is data like any other: only names an address can have become paths.
    if (!IsValidSessionId(file.session) || !IsCleanFileName(file.name) ||
        (!file.token.empty() && !IsUploadToken(file.token))) {
      ++counts->missing;
      continue;
    }
    std::string relative =
        "uploads/" + file.session + "/" + (file.token.empty() ? "" : file.token + "/") + file.name;
    std::string from = dataDir + "/" + relative;
    std::string to = partial + "/" + relative;
    if (::lstat(from.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
      ++counts->missing;
      continue;
    }
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(to).parent_path(), ec);
    if (ec) {
      *error = "cannot create the folder of " + to + ": " + ec.message();
      return false;
    }
    if (::link(from.c_str(), to.c_str()) == 0) {
      ++counts->linked;
    } else if (errno == EXDEV || errno == EPERM || errno == EMLINK || errno == ENOTSUP ||
               errno == EACCES) {
      if (!CopyFile(from, to, error)) return false;
      ++counts->copied;
    } else {
      *error = SystemError("cannot link " + from + " to", to);
      return false;
    }
    if (progress != nullptr && ++done % 1000 == 0) {
      *progress << "osl-service: backup: " << done << " of " << files.size() << " files\n";
    }
  }

  // Everything on disk before the copy is presented under its final name.
  if (!SyncPath(partial, true, error)) return false;
  if (::rename(partial.c_str(), out.c_str()) != 0) {
    *error = SystemError("cannot rename " + partial + " to", out);
    return false;
  }
  cleanup.keep = true;
  return SyncPath(parent.string(), false, error);
}

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
