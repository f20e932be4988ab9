#include "refservice/storage/sqlite_driver.h"

#include <sqlite3.h>

#include <mutex>

namespace refservice {
namespace {

// Marks a database as this service's ("OSL1").
constexpr int kApplicationId = 0x4F534C31;

// Every schema change in order; entry i brings the schema to version i + 1. Version 1 is the
// schema of files written before the schema had versions (user_version 0): its statements only
// create what is missing, so such a file is taken as it is.
constexpr const char* kMigrations[] = {
    // 1: accounts, templates with their fields, groups, assets and commits, uploaded and pending
    // files, publish leases.
    R"sql(
CREATE TABLE IF NOT EXISTS users(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  email TEXT NOT NULL UNIQUE COLLATE NOCASE,
  salt TEXT NOT NULL,
  password_hash TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS templates(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  user_id INTEGER NOT NULL REFERENCES users(id),
  doc_id TEXT NOT NULL UNIQUE,
  doc_password TEXT NOT NULL,
  name TEXT,
  description TEXT,
  category TEXT,
  is_active INTEGER NOT NULL,
  page_count INTEGER NOT NULL,
  width TEXT NOT NULL,
  height TEXT NOT NULL,
  bleed TEXT NOT NULL,
  client_type INTEGER NOT NULL,
  full_screen_window INTEGER NOT NULL,
  committed INTEGER NOT NULL DEFAULT 0,
  created_at TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP,
  updated_at TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP);
CREATE TABLE IF NOT EXISTS fields(
  template_id INTEGER NOT NULL REFERENCES templates(id),
  position INTEGER NOT NULL,
  name TEXT NOT NULL,
  record TEXT NOT NULL,
  PRIMARY KEY(template_id, position));
CREATE TABLE IF NOT EXISTS logic_groups(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  template_id INTEGER NOT NULL REFERENCES templates(id),
  name TEXT NOT NULL,
  move_direction INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS assets(
  template_id INTEGER NOT NULL REFERENCES templates(id),
  position INTEGER NOT NULL,
  url TEXT,
  name TEXT,
  type INTEGER NOT NULL,
  image_picker_num INTEGER NOT NULL,
  PRIMARY KEY(template_id, position));
CREATE TABLE IF NOT EXISTS commits(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  template_id INTEGER NOT NULL REFERENCES templates(id),
  committed_at TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP,
  field_count INTEGER NOT NULL,
  asset_count INTEGER NOT NULL,
  group_count INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS files(
  session TEXT NOT NULL,
  token TEXT NOT NULL,
  name TEXT NOT NULL,
  size INTEGER NOT NULL,
  sha256 TEXT NOT NULL,
  uploaded_at TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP,
  PRIMARY KEY(session, token, name));
CREATE TABLE IF NOT EXISTS uploads(
  session TEXT NOT NULL,
  name TEXT NOT NULL,
  size INTEGER NOT NULL,
  sha256 TEXT NOT NULL,
  uploaded_at TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP,
  PRIMARY KEY(session, name));
CREATE TABLE IF NOT EXISTS pending_files(
  session TEXT NOT NULL,
  token TEXT NOT NULL,
  name TEXT NOT NULL,
  started_at TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP,
  PRIMARY KEY(session, token, name));
CREATE TABLE IF NOT EXISTS publish_leases(
  template_id INTEGER PRIMARY KEY REFERENCES templates(id),
  owner TEXT NOT NULL,
  taken_at_ms INTEGER NOT NULL,
  expires_at_ms INTEGER NOT NULL);
)sql",
    // 2: an opaque credential text per account instead of a salted digest; an old record becomes
    // "sha256$SALT$DIGEST", which the accounts code still accepts.
    R"sql(
ALTER TABLE users ADD COLUMN credential TEXT NOT NULL DEFAULT '';
UPDATE users SET credential = 'sha256$' || salt || '$' || password_hash;
ALTER TABLE users DROP COLUMN salt;
ALTER TABLE users DROP COLUMN password_hash;
)sql",
    // 3: services sharing the state: their heartbeats, the instance that moves a pending upload,
    // and the bytes reserved for uploads in flight, so that quotas are counted in the database.
    R"sql(
CREATE TABLE instances(
  id TEXT PRIMARY KEY,
  description TEXT NOT NULL,
  heartbeat_ms INTEGER NOT NULL);
ALTER TABLE pending_files ADD COLUMN instance TEXT NOT NULL DEFAULT '';
CREATE TABLE upload_reservations(
  id TEXT PRIMARY KEY,
  instance TEXT NOT NULL,
  session TEXT NOT NULL,
  bytes INTEGER NOT NULL);
CREATE INDEX upload_reservations_by_session ON upload_reservations(session);
CREATE INDEX upload_reservations_by_instance ON upload_reservations(instance);
)sql",
};

constexpr int kVersions = static_cast<int>(sizeof(kMigrations) / sizeof(kMigrations[0]));

// The database's clock in milliseconds since 1970 (SQLite reads the system clock once per
// statement, so every use within one statement sees the same instant).
constexpr SqlDialect kDialect = {
    "CAST((julianday('now') - 2440587.5) * 86400000.0 AS INTEGER)",
    "BINARY",
    nullptr,  // the e-mail column compares with COLLATE NOCASE
    nullptr,  // a transaction holds the one connection: nothing else runs meanwhile
    true,
};

// SQLite's numbered placeholders are ?N where the shared query text writes $N.
std::string SqliteText(std::string sql) {
  bool quoted = false;
  for (size_t i = 0; i + 1 < sql.size(); ++i) {
    if (sql[i] == '\'') quoted = !quoted;
    if (!quoted && sql[i] == '$' && sql[i + 1] >= '0' && sql[i + 1] <= '9') sql[i] = '?';
  }
  return sql;
}

// Binds `count` values to ?1 ... (values beyond the statement's parameters are left out).
void BindAll(sqlite3_stmt* stmt, const SqlValue* values, size_t count) {
  const int limit = sqlite3_bind_parameter_count(stmt);
  for (int i = 1; i <= limit && static_cast<size_t>(i) <= count; ++i) {
    const SqlValue& value = values[i - 1];
    if (value.kind() == SqlValue::Kind::kNull) {
      sqlite3_bind_null(stmt, i);
    } else if (value.kind() == SqlValue::Kind::kText) {
      sqlite3_bind_text(stmt, i, value.text().data(), static_cast<int>(value.text().size()),
                        SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_int64(stmt, i, value.number());
    }
  }
}

// One prepared statement, run to its first row when made, finalised on destruction; it holds
// the connection's lock meanwhile.
class SqliteRows : public SqlRows {
 public:
  SqliteRows(std::recursive_mutex* mutex, sqlite3* db, const std::string& sql,
             const std::vector<SqlValue>& params)
      : lock_(*mutex), db_(db) {
    if (db == nullptr ||
        sqlite3_prepare_v2(db, SqliteText(sql).c_str(), -1, &stmt_, nullptr) != SQLITE_OK) {
      sqlite3_finalize(stmt_);
      stmt_ = nullptr;
      return;
    }
    BindAll(stmt_, params.data(), params.size());
    Step();
  }
  ~SqliteRows() override { sqlite3_finalize(stmt_); }

  bool Next() override {
    if (stmt_ == nullptr) return false;
    if (first_) {
      first_ = false;
    } else if (rc_ == SQLITE_ROW) {
      Step();
    }
    return rc_ == SQLITE_ROW;
  }
  bool ok() const override { return stmt_ != nullptr && (rc_ == SQLITE_ROW || rc_ == SQLITE_DONE); }
  int64_t changed() const override { return changed_; }
  bool IsNull(int column) const override {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
  }
  std::string Text(int column) const override {
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    int size = sqlite3_column_bytes(stmt_, column);
    return text == nullptr
               ? std::string()
               : std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(size));
  }
  int64_t Int64(int column) const override { return sqlite3_column_int64(stmt_, column); }
  bool Bool(int column) const override { return Int64(column) != 0; }

 private:
  void Step() {
    rc_ = sqlite3_step(stmt_);
    if (rc_ == SQLITE_DONE) changed_ = sqlite3_changes(db_);
  }

  std::unique_lock<std::recursive_mutex> lock_;
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
  int rc_ = SQLITE_OK;
  bool first_ = true;
  int64_t changed_ = 0;
};

}  // namespace

int SqliteSchemaVersion() { return kVersions; }

class SqliteDriver : public SqlDriver {
 public:
  ~SqliteDriver() override {
    if (db_ != nullptr) sqlite3_close_v2(db_);
  }

  const SqlDialect& dialect() const override { return kDialect; }

  std::unique_ptr<SqlRows> Run(const std::string& sql,
                               const std::vector<SqlValue>& params) override {
    return std::make_unique<SqliteRows>(&mutex_, db_, sql, params);
  }

  bool BulkInsert(const char* table, const char* columns, size_t width,
                  const std::vector<SqlValue>& values) override {
    std::string sql = std::string("INSERT INTO ") + table + "(" + columns + ") VALUES(";
    for (size_t i = 1; i <= width; ++i) sql += (i > 1 ? ", ?" : "?") + std::to_string(i);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, (sql + ")").c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      sqlite3_finalize(stmt);
      return false;
    }
    bool ok = true;
    for (size_t row = 0; ok && row + width <= values.size(); row += width) {
      sqlite3_reset(stmt);
      BindAll(stmt, values.data() + row, width);
      ok = sqlite3_step(stmt) == SQLITE_DONE;
    }
    sqlite3_finalize(stmt);
    return ok;
  }

  bool LockKey(int64_t /*key*/) override { return true; }  // see kDialect.forUpdate

  bool Begin() override {
    mutex_.lock();
    if (Exec("SAVEPOINT osl_txn")) return true;
    mutex_.unlock();
    return false;
  }

  bool Commit() override {
    if (!Exec("RELEASE osl_txn")) {
      Rollback();  // drops the changes and gives the connection back
      return false;
    }
    mutex_.unlock();
    return true;
  }

  void Rollback() override {
    Exec("ROLLBACK TO osl_txn");
    Exec("RELEASE osl_txn");
    mutex_.unlock();
  }

  bool Open(const std::string& path, std::string* error) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    int rc = sqlite3_open_v2(
        path.c_str(), &db_,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_NOFOLLOW,
        nullptr);
    if (rc != SQLITE_OK) return Fail("cannot open database " + path + ": ", error);
    sqlite3_busy_timeout(db_, 5000);
    if (!CheckApplicationId(path, error)) return false;
    if (!Exec("PRAGMA journal_mode=WAL") || !Exec("PRAGMA synchronous=FULL") ||
        !Exec("PRAGMA foreign_keys=ON") ||
        !Exec(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str())) {
      return Fail("cannot prepare database " + path + ": ", error);
    }
    if (!Migrate(path, error)) return Close();
    return true;
  }

  bool OpenReadOnly(const std::string& path, std::string* error) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    int rc = sqlite3_open_v2(path.c_str(), &db_,
                             SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_NOFOLLOW,
                             nullptr);
    if (rc != SQLITE_OK) return Fail("cannot open database " + path + ": ", error);
    // A writer holds its locks only briefly; wait for it rather than fail.
    sqlite3_busy_timeout(db_, 5000);
    if (!CheckApplicationId(path, error)) return false;
    std::unique_ptr<SqlRows> tables =
        Run("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name IN "
            "('users', 'templates', 'fields', 'logic_groups', 'assets', 'commits')",
            {});
    if (!tables->Next() || tables->Int(0) != 6) {
      tables.reset();
      *error = "not a database of this service: " + path;
      return Close();
    }
    return true;
  }

 private:
  bool Exec(const char* sql) {
    return db_ != nullptr && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
  }

  // Closes the database; always false, for the failure that closes it.
  bool Close() {
    if (db_ != nullptr) sqlite3_close_v2(db_);
    db_ = nullptr;
    return false;
  }

  // Sets `error` to `what` and SQLite's reason, and closes the database.
  bool Fail(const std::string& what, std::string* error) {
    *error = what + (db_ ? sqlite3_errmsg(db_) : "out of memory");
    return Close();
  }

  // Reads the open database's PRAGMA value `name`; false when it cannot be read.
  bool Pragma(const char* name, int* value) {
    std::unique_ptr<SqlRows> query = Run(std::string("PRAGMA ") + name, {});
    if (!query->Next()) return false;
    *value = query->Int(0);
    return true;
  }

  // Checks that the open database is one of this service's; closes it otherwise.
  bool CheckApplicationId(const std::string& path, std::string* error) {
    int applicationId = 0;
    if (!Pragma("application_id", &applicationId))
      return Fail("cannot read database " + path + ": ", error);
    if (applicationId != 0 && applicationId != kApplicationId) {
      *error = "not a database of this service: " + path;
      return Close();
    }
    return true;
  }

  // Runs the migrations the file lacks.
  bool Migrate(const std::string& path, std::string* error) {
    for (;;) {
      // The version is read inside the write transaction, so a migration never runs twice.
      if (!Exec("BEGIN IMMEDIATE")) break;
      int version = -1;
      Pragma("user_version", &version);
      if (version < 0 || version > kVersions) {
        Exec("ROLLBACK");
        *error = version < 0 ? "cannot read the schema version of " + path
                             : "database " + path + " has schema version " +
                                   std::to_string(version) + ", newer than this osl-service (" +
                                   std::to_string(kVersions) + ") knows; use a newer osl-service";
        return false;
      }
      if (version == kVersions) return Exec("COMMIT");
      std::string setVersion = "PRAGMA user_version=" + std::to_string(version + 1);
      if (!Exec(kMigrations[version]) || !Exec(setVersion.c_str()) || !Exec("COMMIT")) {
        *error = "schema migration of " + path + " to version " + std::to_string(version + 1) +
                 " failed: " + sqlite3_errmsg(db_);
        Exec("ROLLBACK");
        return false;
      }
    }
    *error = "cannot migrate the schema of " + path + ": " + sqlite3_errmsg(db_);
    return false;
  }

  std::recursive_mutex mutex_;
  sqlite3* db_ = nullptr;
};

SqliteStore::SqliteStore() : SqliteStore(new SqliteDriver) {}

SqliteStore::SqliteStore(SqliteDriver* driver)
    : SqlStore(std::unique_ptr<SqlDriver>(driver)), sqlite_(driver) {}

SqliteStore::~SqliteStore() = default;

bool SqliteStore::Open(const std::string& path, std::string* error) {
  return sqlite_->Open(path, error);
}

bool SqliteStore::OpenReadOnly(const std::string& path, std::string* error) {
  return sqlite_->OpenReadOnly(path, error);
}

}  // namespace refservice
