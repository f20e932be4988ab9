#include "refservice/storage/sqlite_store.h"

#include <sqlite3.h>

#include "refservice/common/identifiers.h"

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
#define OSL_NOW_MS "CAST((julianday('now') - 2440587.5) * 86400000.0 AS INTEGER)"

// One prepared statement, finalised on destruction.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    if (db == nullptr || sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
      stmt_ = nullptr;
    }
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, const std::string& text) {
    if (stmt_)
      sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& Bind(int index, const std::optional<std::string>& text) {
    if (!text) {
      if (stmt_) sqlite3_bind_null(stmt_, index);
      return *this;
    }
    return Bind(index, *text);
  }
  Statement& Bind(int index, int64_t value) {
    if (stmt_) sqlite3_bind_int64(stmt_, index, value);
    return *this;
  }
  Statement& Bind(int index, int value) { return Bind(index, static_cast<int64_t>(value)); }
  Statement& Bind(int index, bool value) {
    return Bind(index, static_cast<int64_t>(value ? 1 : 0));
  }

  // True while a result row is available.
  bool Row() {
    if (stmt_ == nullptr) return false;
    rc_ = sqlite3_step(stmt_);
    return rc_ == SQLITE_ROW;
  }
  // Runs a statement that returns no rows; true on success.
  bool Run() { return Row() || rc_ == SQLITE_DONE; }
  // Makes the statement ready to run again with new values (one prepared statement for a batch).
  Statement& Reset() {
    if (stmt_) {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    }
    rc_ = SQLITE_OK;
    return *this;
  }
  // After Row() returned false: true when the rows ended normally, false on an error.
  bool Done() const { return stmt_ != nullptr && rc_ == SQLITE_DONE; }

  std::string Text(int column) const {
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    int size = sqlite3_column_bytes(stmt_, column);
    return text == nullptr
               ? std::string()
               : std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(size));
  }
  std::optional<std::string> OptionalText(int column) const {
    if (sqlite3_column_type(stmt_, column) == SQLITE_NULL) return std::nullopt;
    return Text(column);
  }
  int64_t Int64(int column) const { return sqlite3_column_int64(stmt_, column); }
  int Int(int column) const { return sqlite3_column_int(stmt_, column); }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_ = SQLITE_OK;
};

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}


constexpr const char* kTemplateColumns =
    "name, description, doc_id, doc_password, category, is_active, page_count, width, height, "
    "bleed, client_type, user_id, full_screen_window, committed";

TemplateData ReadTemplate(const Statement& row, int first) {
  TemplateData data;
  data.name = row.OptionalText(first);
  data.description = row.OptionalText(first + 1);
  data.docId = row.Text(first + 2);
  data.docPassword = row.Text(first + 3);
  data.category = row.OptionalText(first + 4);
  data.isActive = row.Int(first + 5) != 0;
  data.pageCount = row.Int(first + 6);
  data.width = row.Text(first + 7);
  data.height = row.Text(first + 8);
  data.bleed = row.Text(first + 9);
  data.clientType = row.Int(first + 10);
  data.userId = row.Int(first + 11);
  data.fullScreenWindow = row.Int(first + 12);
  data.committed = row.Int(first + 13) != 0;
  return data;
}

// Binds the fourteen template columns in kTemplateColumns order, starting at `first`.
void BindTemplate(Statement& statement, int first, const TemplateData& data) {
  statement.Bind(first, data.name)
      .Bind(first + 1, data.description)
      .Bind(first + 2, Lower(data.docId))
      .Bind(first + 3, Lower(data.docPassword))
      .Bind(first + 4, data.category)
      .Bind(first + 5, data.isActive)
      .Bind(first + 6, data.pageCount)
      .Bind(first + 7, data.width)
      .Bind(first + 8, data.height)
      .Bind(first + 9, data.bleed)
      .Bind(first + 10, data.clientType)
      .Bind(first + 11, data.userId)
      .Bind(first + 12, data.fullScreenWindow)
      .Bind(first + 13, data.committed);
}

}  // namespace

SqliteStore::~SqliteStore() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
}

int SqliteSchemaVersion() { return kVersions; }

bool SqliteStore::Exec(const char* sql) {
  return db_ != nullptr && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool SqliteStore::CheckApplicationId(const std::string& path, std::string* error) {
  int applicationId = 0;
  {
    Statement query(db_, "PRAGMA application_id");
    if (!query.Row()) {
      *error = "cannot read database " + path + ": " + sqlite3_errmsg(db_);
      sqlite3_close_v2(db_);
      db_ = nullptr;
      return false;
    }
    applicationId = query.Int(0);
  }
  if (applicationId != 0 && applicationId != kApplicationId) {
    *error = "not a database of this service: " + path;
    sqlite3_close_v2(db_);
    db_ = nullptr;
    return false;
  }
  return true;
}

bool SqliteStore::Migrate(const std::string& path, std::string* error) {
  for (;;) {
    // The version is read inside the write transaction, so a migration never runs twice.
    if (!Exec("BEGIN IMMEDIATE")) break;
    int version = -1;
    {
      Statement query(db_, "PRAGMA user_version");
      if (query.Row()) version = query.Int(0);
    }
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

bool SqliteStore::Open(const std::string& path, std::string* error) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  int rc = sqlite3_open_v2(
      path.c_str(), &db_,
      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_NOFOLLOW,
      nullptr);
  auto fail = [&](const std::string& what) {
    *error = what + " " + path + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory");
    if (db_ != nullptr) sqlite3_close_v2(db_);
    db_ = nullptr;
    return false;
  };
  if (rc != SQLITE_OK) return fail("cannot open database");
  sqlite3_busy_timeout(db_, 5000);
  if (!CheckApplicationId(path, error)) return false;
  if (!Exec("PRAGMA journal_mode=WAL") || !Exec("PRAGMA synchronous=FULL") ||
      !Exec("PRAGMA foreign_keys=ON") ||
      !Exec(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str())) {
    return fail("cannot prepare database");
  }
  if (!Migrate(path, error)) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
    return false;
  }
  return true;
}

bool SqliteStore::OpenReadOnly(const std::string& path, std::string* error) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  int rc =
      sqlite3_open_v2(path.c_str(), &db_,
                      SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_NOFOLLOW, nullptr);
  if (rc != SQLITE_OK) {
    *error = "cannot open database " + path + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory");
    if (db_ != nullptr) sqlite3_close_v2(db_);
    db_ = nullptr;
    return false;
  }
  // A writer holds its locks only briefly; wait for it rather than fail.
  sqlite3_busy_timeout(db_, 5000);
  if (!CheckApplicationId(path, error)) return false;
  Statement tables(db_,
                   "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                   "('users', 'templates', 'fields', 'logic_groups', 'assets', 'commits')");
  if (!tables.Row() || tables.Int(0) != 6) {
    *error = "not a database of this service: " + path;
    sqlite3_close_v2(db_);
    db_ = nullptr;
    return false;
  }
  return true;
}

bool SqliteStore::BeginTransaction() {
  mutex_.lock();
  if (Exec("SAVEPOINT osl_txn")) return true;
  mutex_.unlock();
  return false;
}

bool SqliteStore::CommitTransaction() {
  bool ok = Exec("RELEASE osl_txn");
  if (!ok) {
    Exec("ROLLBACK TO osl_txn");
    Exec("RELEASE osl_txn");
  }
  mutex_.unlock();
  return ok;
}

void SqliteStore::RollbackTransaction() {
  Exec("ROLLBACK TO osl_txn");
  Exec("RELEASE osl_txn");
  mutex_.unlock();
}

bool SqliteStore::SetUserCredential(const std::string& email, const std::string& credential) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement upsert(db_,
                   "INSERT INTO users(email, credential) VALUES(?1, ?2) "
                   "ON CONFLICT(email) DO UPDATE SET credential = ?2");
  return upsert.Bind(1, email).Bind(2, credential).Run();
}

bool SqliteStore::FindUser(const std::string& email, std::optional<UserRecord>* out) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  out->reset();
  Statement query(db_, "SELECT id, email, credential FROM users WHERE email = ?1");
  query.Bind(1, email);
  if (query.Row()) {
    *out = UserRecord{query.Int(0), query.Text(1), query.Text(2)};
    return true;
  }
  return query.Done();
}

bool SqliteStore::ReplaceUserCredential(int id, const std::string& expected,
                                        const std::string& credential, bool* replaced) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement update(db_, "UPDATE users SET credential = ?3 WHERE id = ?1 AND credential = ?2");
  bool ok = update.Bind(1, id).Bind(2, expected).Bind(3, credential).Run();
  *replaced = ok && sqlite3_changes(db_) == 1;
  return ok;
}

bool SqliteStore::RemoveUser(const std::string& email, bool* removed) {
  *removed = false;
  Transaction transaction(this);
  std::optional<UserRecord> user;
  if (!FindUser(email, &user)) return false;
  if (!user) return transaction.Commit();
  // The account's templates go with it, with everything that hangs on them.
  const char* statements[] = {
      "DELETE FROM fields WHERE template_id IN (SELECT id FROM templates WHERE user_id = ?1)",
      "DELETE FROM logic_groups WHERE template_id IN (SELECT id FROM templates WHERE user_id = ?1)",
      "DELETE FROM assets WHERE template_id IN (SELECT id FROM templates WHERE user_id = ?1)",
      "DELETE FROM commits WHERE template_id IN (SELECT id FROM templates WHERE user_id = ?1)",
      "DELETE FROM publish_leases WHERE template_id IN "
      "(SELECT id FROM templates WHERE user_id = ?1)",
      "DELETE FROM templates WHERE user_id = ?1",
      "DELETE FROM users WHERE id = ?1",
  };
  for (const char* sql : statements) {
    Statement remove(db_, sql);
    if (!remove.Bind(1, user->id).Run()) return false;
  }
  if (!transaction.Commit()) return false;
  *removed = true;
  return true;
}

int SqliteStore::UserCount() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement query(db_, "SELECT COUNT(*) FROM users");
  return query.Row() ? query.Int(0) : 0;
}

bool SqliteStore::ListTemplates(int userId, std::vector<TemplateData>* out) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  out->clear();
  std::string sql =
      std::string("SELECT ") + kTemplateColumns + " FROM templates WHERE user_id = ?1 ORDER BY id";
  Statement query(db_, sql.c_str());
  query.Bind(1, userId);
  while (query.Row()) out->push_back(ReadTemplate(query, 0));
  return query.Done();
}

std::optional<TemplateData> SqliteStore::FindTemplate(const std::string& docId, int64_t* rowId) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::string sql =
      std::string("SELECT id, ") + kTemplateColumns + " FROM templates WHERE doc_id = ?1";
  Statement query(db_, sql.c_str());
  query.Bind(1, Lower(docId));
  if (!query.Row()) return std::nullopt;
  *rowId = query.Int64(0);
  return ReadTemplate(query, 1);
}

int64_t SqliteStore::InsertTemplate(const TemplateData& data) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::string sql = std::string("INSERT INTO templates(") + kTemplateColumns +
                    ") VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)";
  Statement insert(db_, sql.c_str());
  BindTemplate(insert, 1, data);
  if (!insert.Run()) return 0;
  return sqlite3_last_insert_rowid(db_);
}

bool SqliteStore::UpdateTemplate(int64_t rowId, const TemplateData& data) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement update(db_,
                   "UPDATE templates SET name = ?1, description = ?2, doc_id = ?3, "
                   "doc_password = ?4, category = ?5, is_active = ?6, page_count = ?7, "
                   "width = ?8, height = ?9, bleed = ?10, client_type = ?11, user_id = ?12, "
                   "full_screen_window = ?13, committed = ?14, updated_at = CURRENT_TIMESTAMP "
                   "WHERE id = ?15");
  BindTemplate(update, 1, data);
  update.Bind(15, rowId);
  return update.Run() && sqlite3_changes(db_) == 1;
}

namespace {

constexpr const char* kSummarySelect =
    "SELECT u.email, t.id, "
    "(SELECT COUNT(*) FROM fields f WHERE f.template_id = t.id), "
    "(SELECT COUNT(*) FROM logic_groups g WHERE g.template_id = t.id), "
    "(SELECT COUNT(*) FROM assets a WHERE a.template_id = t.id), "
    "(SELECT COUNT(*) FROM commits c WHERE c.template_id = t.id), "
    "t.name, t.description, t.doc_id, t.doc_password, t.category, t.is_active, t.page_count, "
    "t.width, t.height, t.bleed, t.client_type, t.user_id, t.full_screen_window, t.committed "
    "FROM templates t JOIN users u ON u.id = t.user_id ";

TemplateSummary ReadSummary(const Statement& row) {
  TemplateSummary summary;
  summary.owner = row.Text(0);
  summary.row = row.Int64(1);
  summary.fieldCount = row.Int(2);
  summary.groupCount = row.Int(3);
  summary.assetCount = row.Int(4);
  summary.commitCount = row.Int(5);
  summary.data = ReadTemplate(row, 6);
  return summary;
}

}  // namespace

bool SqliteStore::ListAllTemplates(std::vector<TemplateSummary>* out) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  out->clear();
  std::string sql = std::string(kSummarySelect) +
                    "ORDER BY u.email COLLATE BINARY, t.name COLLATE BINARY, t.doc_id";
  Statement query(db_, sql.c_str());
  while (query.Row()) out->push_back(ReadSummary(query));
  return query.Done();
}

bool SqliteStore::FindTemplateSummary(const std::string& docId, std::optional<TemplateSummary>* out) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  out->reset();
  std::string sql = std::string(kSummarySelect) + "WHERE t.doc_id = ?1";
  Statement query(db_, sql.c_str());
  query.Bind(1, Lower(docId));
  if (query.Row()) {
    *out = ReadSummary(query);
    return true;
  }
  return query.Done();
}

// A data folder has one service, and every transaction holds the store's lock: nothing else can
// write the template meanwhile.
bool SqliteStore::LockTemplate(int64_t /*templateRow*/) { return true; }

bool SqliteStore::GetFields(int64_t templateRow, std::vector<FieldData>* out) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  out->clear();
  Statement query(db_, "SELECT name, record FROM fields WHERE template_id = ?1 ORDER BY position");
  query.Bind(1, templateRow);
  while (query.Row()) out->push_back(FieldData{query.Text(0), query.Text(1)});
  return query.Done();
}

bool SqliteStore::ReplaceFields(int64_t templateRow, const std::vector<FieldData>& fields) {
  Transaction transaction(this);
  Statement remove(db_, "DELETE FROM fields WHERE template_id = ?1");
  if (!remove.Bind(1, templateRow).Run()) return false;
  int position = 0;
  Statement insert(db_,
                   "INSERT INTO fields(template_id, position, name, record) "
                   "VALUES(?1, ?2, ?3, ?4)");
  for (const FieldData& field : fields) {
    if (!insert.Reset()
             .Bind(1, templateRow)
             .Bind(2, position++)
             .Bind(3, field.name)
             .Bind(4, field.record)
             .Run()) {
      return false;
    }
  }
  return transaction.Commit();
}

bool SqliteStore::GetLogicGroups(int64_t templateRow, std::vector<LogicGroupData>* out) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  out->clear();
  Statement query(db_,
                  "SELECT id, name, move_direction FROM logic_groups WHERE template_id = ?1 "
                  "ORDER BY id");
  query.Bind(1, templateRow);
  while (query.Row()) out->push_back(LogicGroupData{query.Int(0), query.Text(1), query.Int(2)});
  return query.Done();
}

int SqliteStore::AddLogicGroup(int64_t templateRow, const std::string& name, int moveDirection) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement insert(db_,
                   "INSERT INTO logic_groups(template_id, name, move_direction) "
                   "VALUES(?1, ?2, ?3)");
  if (!insert.Bind(1, templateRow).Bind(2, name).Bind(3, moveDirection).Run()) return 0;
  int64_t id = sqlite3_last_insert_rowid(db_);
  return id > 0 && id <= INT32_MAX ? static_cast<int>(id) : 0;
}

bool SqliteStore::UpdateLogicGroup(int64_t templateRow, int id, const std::string& name,
                             int moveDirection) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement update(db_,
                   "UPDATE logic_groups SET name = ?1, move_direction = ?2 "
                   "WHERE id = ?3 AND template_id = ?4");
  return update.Bind(1, name).Bind(2, moveDirection).Bind(3, id).Bind(4, templateRow).Run() &&
         sqlite3_changes(db_) == 1;
}

bool SqliteStore::GetAssets(int64_t templateRow, std::vector<AssetData>* out) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  out->clear();
  Statement query(db_,
                  "SELECT url, name, type, image_picker_num FROM assets WHERE template_id = ?1 "
                  "ORDER BY position");
  query.Bind(1, templateRow);
  while (query.Row()) {
    out->push_back(
        AssetData{query.OptionalText(0), query.OptionalText(1), query.Int(2), query.Int(3)});
  }
  return query.Done();
}

bool SqliteStore::ReplaceAssets(int64_t templateRow, const std::vector<AssetData>& assets) {
  Transaction transaction(this);
  Statement remove(db_, "DELETE FROM assets WHERE template_id = ?1");
  if (!remove.Bind(1, templateRow).Run()) return false;
  int position = 0;
  Statement insert(db_,
                   "INSERT INTO assets(template_id, position, url, name, type, "
                   "image_picker_num) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
  for (const AssetData& asset : assets) {
    if (!insert.Reset()
             .Bind(1, templateRow)
             .Bind(2, position++)
             .Bind(3, asset.url)
             .Bind(4, asset.name)
             .Bind(5, asset.type)
             .Bind(6, asset.imagePickerNum)
             .Run()) {
      return false;
    }
  }
  return transaction.Commit();
}

bool SqliteStore::AddCommit(int64_t templateRow) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement insert(db_,
                   "INSERT INTO commits(template_id, field_count, asset_count, group_count) "
                   "VALUES(?1, (SELECT COUNT(*) FROM fields WHERE template_id = ?1), "
                   "(SELECT COUNT(*) FROM assets WHERE template_id = ?1), "
                   "(SELECT COUNT(*) FROM logic_groups WHERE template_id = ?1))");
  return insert.Bind(1, templateRow).Run();
}

int SqliteStore::CommitCount(int64_t templateRow) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement query(db_, "SELECT COUNT(*) FROM commits WHERE template_id = ?1");
  query.Bind(1, templateRow);
  return query.Row() ? query.Int(0) : 0;
}

std::string SqliteStore::LastCommitTime(int64_t templateRow) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement query(db_, "SELECT MAX(committed_at) FROM commits WHERE template_id = ?1");
  query.Bind(1, templateRow);
  return query.Row() ? query.Text(0) : std::string();
}

bool SqliteStore::FindUncommittedNamesake(int userId, const std::string& name,
                                    std::optional<std::string>* out) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  out->reset();
  Statement query(db_,
                  "SELECT doc_id FROM templates t WHERE user_id = ?1 AND name = ?2 "
                  "AND NOT EXISTS (SELECT 1 FROM commits c WHERE c.template_id = t.id) "
                  "ORDER BY id LIMIT 1");
  query.Bind(1, userId).Bind(2, name);
  if (query.Row()) {
    *out = query.Text(0);
    return true;
  }
  return query.Done();
}

LeaseResult SqliteStore::TakePublishLease(int64_t templateRow, const std::string& owner,
                                    int64_t durationMs, int64_t* remainingMs) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement take(db_,
                 "INSERT INTO publish_leases(template_id, owner, taken_at_ms, expires_at_ms) "
                 "VALUES(?1, ?2, " OSL_NOW_MS ", " OSL_NOW_MS
                 " + ?3) "
                 "ON CONFLICT(template_id) DO UPDATE SET owner = excluded.owner, "
                 "taken_at_ms = excluded.taken_at_ms, expires_at_ms = excluded.expires_at_ms "
                 "WHERE publish_leases.expires_at_ms <= excluded.taken_at_ms");
  if (!take.Bind(1, templateRow).Bind(2, owner).Bind(3, durationMs).Run()) {
    return LeaseResult::kError;
  }
  if (sqlite3_changes(db_) == 1) return LeaseResult::kTaken;
  Statement left(
      db_, "SELECT expires_at_ms - " OSL_NOW_MS " FROM publish_leases WHERE template_id = ?1");
  left.Bind(1, templateRow);
  if (!left.Row()) return LeaseResult::kError;
  if (remainingMs != nullptr) *remainingMs = left.Int64(0);
  return LeaseResult::kHeld;
}

bool SqliteStore::RenewPublishLease(int64_t templateRow, int64_t durationMs) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement renew(db_, "UPDATE publish_leases SET expires_at_ms = " OSL_NOW_MS
                       " + ?2 WHERE template_id = ?1 AND expires_at_ms > " OSL_NOW_MS);
  return renew.Bind(1, templateRow).Bind(2, durationMs).Run();
}

bool SqliteStore::ReleasePublishLease(int64_t templateRow) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement release(db_, "DELETE FROM publish_leases WHERE template_id = ?1");
  return release.Bind(1, templateRow).Run();
}

bool SqliteStore::BeginUpload(const UploadData& upload) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement insert(db_,
                   "INSERT INTO pending_files(session, token, name, instance) "
                   "VALUES(?1, ?2, ?3, ?4)");
  return insert.Bind(1, upload.session)
      .Bind(2, upload.token)
      .Bind(3, upload.name)
      .Bind(4, upload.instance)
      .Run();
}

bool SqliteStore::AbandonUpload(const UploadData& upload) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement remove(db_,
                   "DELETE FROM pending_files WHERE session = ?1 AND token = ?2 AND name = ?3");
  return remove.Bind(1, upload.session).Bind(2, upload.token).Bind(3, upload.name).Run();
}

bool SqliteStore::PendingUploads(std::vector<UploadData>* out) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  out->clear();
  Statement query(db_,
                  "SELECT session, token, name, instance FROM pending_files ORDER BY started_at");
  while (query.Row()) {
    UploadData upload;
    upload.session = query.Text(0);
    upload.token = query.Text(1);
    upload.name = query.Text(2);
    upload.instance = query.Text(3);
    out->push_back(std::move(upload));
  }
  return query.Done();
}

bool SqliteStore::RecordUpload(const UploadData& upload) {
  Transaction transaction(this);
  Statement insert(db_,
                   "INSERT INTO files(session, token, name, size, sha256) "
                   "VALUES(?1, ?2, ?3, ?4, ?5)");
  if (!insert.Bind(1, upload.session)
           .Bind(2, upload.token)
           .Bind(3, upload.name)
           .Bind(4, static_cast<int64_t>(upload.size))
           .Bind(5, upload.sha256)
           .Run()) {
    return false;
  }
  Statement reservation(db_, "DELETE FROM upload_reservations WHERE id = ?1");
  return AbandonUpload(upload) && reservation.Bind(1, upload.token).Run() &&
         transaction.Commit();
}

std::optional<UploadData> SqliteStore::FindUpload(const std::string& session,
                                                  const std::string& token,
                                                  const std::string& name) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  // Files stored before addresses had tokens are in the older table "uploads".
  Statement query(db_, token.empty()
                           ? "SELECT size, sha256 FROM uploads WHERE session = ?1 AND name = ?3"
                           : "SELECT size, sha256 FROM files WHERE session = ?1 AND token = ?2 "
                             "AND name = ?3");
  query.Bind(1, session).Bind(2, token).Bind(3, name);
  if (!query.Row()) return std::nullopt;
  UploadData upload;
  upload.session = session;
  upload.token = token;
  upload.name = name;
  upload.size = static_cast<uint64_t>(query.Int64(0));
  upload.sha256 = query.Text(1);
  return upload;
}

bool SqliteStore::AddressKnown(const std::string& session, const std::string& token,
                               const std::string& name, bool* known) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement query(db_,
                  "SELECT EXISTS(SELECT 1 FROM files WHERE session = ?1 AND token = ?2 AND "
                  "name = ?3) OR EXISTS(SELECT 1 FROM pending_files WHERE session = ?1 AND "
                  "token = ?2 AND name = ?3)");
  query.Bind(1, session).Bind(2, token).Bind(3, name);
  if (!query.Row()) return false;
  *known = query.Int(0) != 0;
  return true;
}

QuotaResult SqliteStore::ReserveUploadBytes(const std::string& reservation,
                                            const std::string& instance,
                                            const std::string& session, uint64_t bytes,
                                            const QuotaLimits& limits) {
  if (bytes > static_cast<uint64_t>(INT64_MAX) / 2) {
    return limits.perSession != 0 ? QuotaResult::kSessionFull : QuotaResult::kTotalFull;
  }
  // The transaction holds the store's lock: the sums cannot change before the reservation.
  Transaction transaction(this);
  if (limits.perSession != 0 || limits.total != 0) {
    uint64_t sessionBytes = 0;
    uint64_t totalBytes = 0;
    if (!UsedBytes(session, &sessionBytes, &totalBytes)) return QuotaResult::kError;
    if (limits.perSession != 0 &&
        (bytes > limits.perSession || sessionBytes > limits.perSession - bytes)) {
      return QuotaResult::kSessionFull;
    }
    if (limits.total != 0 && (bytes > limits.total || totalBytes > limits.total - bytes)) {
      return QuotaResult::kTotalFull;
    }
  }
  Statement reserve(db_,
                    "INSERT INTO upload_reservations(id, instance, session, bytes) "
                    "VALUES(?1, ?2, ?3, ?4) ON CONFLICT(id) DO UPDATE "
                    "SET bytes = upload_reservations.bytes + excluded.bytes");
  if (!reserve.Bind(1, reservation)
           .Bind(2, instance)
           .Bind(3, session)
           .Bind(4, static_cast<int64_t>(bytes))
           .Run() ||
      !transaction.Commit()) {
    return QuotaResult::kError;
  }
  return QuotaResult::kReserved;
}

bool SqliteStore::ReleaseReservation(const std::string& reservation) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement remove(db_, "DELETE FROM upload_reservations WHERE id = ?1");
  return remove.Bind(1, reservation).Run();
}

bool SqliteStore::UsedBytes(const std::string& session, uint64_t* sessionBytes,
                            uint64_t* totalBytes) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement query(db_,
                  "SELECT (SELECT COALESCE(SUM(size), 0) FROM files WHERE session = ?1) + "
                  "(SELECT COALESCE(SUM(size), 0) FROM uploads WHERE session = ?1) + "
                  "(SELECT COALESCE(SUM(bytes), 0) FROM upload_reservations WHERE session = ?1), "
                  "(SELECT COALESCE(SUM(size), 0) FROM files) + "
                  "(SELECT COALESCE(SUM(size), 0) FROM uploads) + "
                  "(SELECT COALESCE(SUM(bytes), 0) FROM upload_reservations)");
  query.Bind(1, session);
  if (!query.Row()) return false;
  *sessionBytes = static_cast<uint64_t>(query.Int64(0));
  *totalBytes = static_cast<uint64_t>(query.Int64(1));
  return true;
}

bool SqliteStore::RegisterInstance(const std::string& id, const std::string& description) {
  return Heartbeat(id, description);
}

bool SqliteStore::Heartbeat(const std::string& id, const std::string& description) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement beat(db_,
                 "INSERT INTO instances(id, description, heartbeat_ms) VALUES(?1, ?2, " OSL_NOW_MS
                 ") ON CONFLICT(id) DO UPDATE SET heartbeat_ms = excluded.heartbeat_ms");
  return beat.Bind(1, id).Bind(2, description).Run();
}

bool SqliteStore::ListInstances(std::vector<InstanceData>* out) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  out->clear();
  Statement query(db_, "SELECT id, description, " OSL_NOW_MS
                       " - heartbeat_ms FROM instances ORDER BY id");
  while (query.Row()) out->push_back(InstanceData{query.Text(0), query.Text(1), query.Int64(2)});
  return query.Done();
}

bool SqliteStore::ForgetInstance(const std::string& id) {
  Transaction transaction(this);
  Statement reservations(db_, "DELETE FROM upload_reservations WHERE instance = ?1");
  Statement instance(db_, "DELETE FROM instances WHERE id = ?1");
  return reservations.Bind(1, id).Run() && instance.Bind(1, id).Run() && transaction.Commit();
}

}  // namespace refservice
