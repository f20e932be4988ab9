#include "refservice/storage/postgres_driver.h"

#include <cstdlib>
#include <cstring>
#include <iostream>

#include "refservice/storage/postgres_migrations.h"

namespace refservice {
namespace {

// The database's clock in milliseconds since 1970; clock_timestamp() is read anew by every call,
// so a lease taken late in a long transaction still starts when it is taken.
#define OSL_PG_NOW_MS "(extract(epoch FROM clock_timestamp()) * 1000)::bigint"

// Statement parameters as text; nullopt entries are SQL NULL.
class Params {
 public:
  Params& Add(const std::string& text) {
    values_.emplace_back(text);
    return *this;
  }
  Params& Add(const char* text) { return Add(std::string(text)); }
  Params& Add(const std::optional<std::string>& text) {
    values_.push_back(text);
    return *this;
  }
  Params& Add(int64_t value) { return Add(std::to_string(value)); }
  Params& Add(int value) { return Add(std::to_string(value)); }
  Params& Add(uint64_t value) { return Add(std::to_string(value)); }
  Params& Add(bool value) { return Add(std::string(value ? "true" : "false")); }
  std::vector<const std::string*> Pointers() const {
    std::vector<const std::string*> out;
    for (const auto& value : values_) out.push_back(value ? &*value : nullptr);
    return out;
  }

 private:
  std::vector<std::optional<std::string>> values_;
};

// Says why a statement failed on stderr: the operator's only clue to a database problem.
void Report(PGconn* conn, const PGresult* result) {
  std::string why = result != nullptr ? PQresultErrorMessage(result) : "";
  if (why.empty() && conn != nullptr) why = PQerrorMessage(conn);
  if (why.empty()) why = "no connection to the database";
  while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
  if (why.size() > 400) why.resize(400);
  std::cerr << "osl-service: database error: " << why << "\n";
}

// One statement on a borrowed (or this thread's pinned) connection.
class Query {
 public:
  Query(PgConnectionPool* pool, const char* sql, const Params& params = Params())
      : lease_(pool->Acquire()), result_(nullptr, &PQclear) {
    if (lease_.conn() == nullptr) {
      Report(nullptr, nullptr);
      return;
    }
    result_ = PgExec(lease_.conn(), sql, params.Pointers(), &ok_);
    if (!ok_) Report(lease_.conn(), result_.get());
  }
  bool ok() const { return ok_; }
  int rows() const { return ok_ ? PQntuples(result_.get()) : 0; }
  // Rows the statement changed.
  int64_t changed() const { return ok_ ? std::atoll(PQcmdTuples(result_.get())) : 0; }
  bool Null(int row, int column) const { return PQgetisnull(result_.get(), row, column) != 0; }
  std::string Text(int row, int column) const {
    return std::string(PQgetvalue(result_.get(), row, column),
                       static_cast<size_t>(PQgetlength(result_.get(), row, column)));
  }
  std::optional<std::string> OptionalText(int row, int column) const {
    if (Null(row, column)) return std::nullopt;
    return Text(row, column);
  }
  int64_t Int64(int row, int column) const {
    return std::atoll(PQgetvalue(result_.get(), row, column));
  }
  int Int(int row, int column) const { return static_cast<int>(Int64(row, column)); }
  bool Bool(int row, int column) const { return PQgetvalue(result_.get(), row, column)[0] == 't'; }

 private:
  PgConnectionPool::Lease lease_;
  PgResult result_;
  bool ok_ = false;
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

TemplateData ReadTemplate(const Query& q, int row, int first) {
  TemplateData data;
  data.name = q.OptionalText(row, first);
  data.description = q.OptionalText(row, first + 1);
  data.docId = q.Text(row, first + 2);
  data.docPassword = q.Text(row, first + 3);
  data.category = q.OptionalText(row, first + 4);
  data.isActive = q.Bool(row, first + 5);
  data.pageCount = q.Int(row, first + 6);
  data.width = q.Text(row, first + 7);
  data.height = q.Text(row, first + 8);
  data.bleed = q.Text(row, first + 9);
  data.clientType = q.Int(row, first + 10);
  data.userId = q.Int(row, first + 11);
  data.fullScreenWindow = q.Int(row, first + 12);
  data.committed = q.Bool(row, first + 13);
  return data;
}

// The fourteen template columns in kTemplateColumns order.
void AddTemplate(Params& params, const TemplateData& data) {
  params.Add(data.name)
      .Add(data.description)
      .Add(Lower(data.docId))
      .Add(Lower(data.docPassword))
      .Add(data.category)
      .Add(data.isActive)
      .Add(data.pageCount)
      .Add(data.width)
      .Add(data.height)
      .Add(data.bleed)
      .Add(data.clientType)
      .Add(data.userId)
      .Add(data.fullScreenWindow)
      .Add(data.committed);
}

constexpr const char* kSummarySelect =
    "SELECT u.email, t.id, "
    "(SELECT COUNT(*) FROM fields f WHERE f.template_id = t.id), "
    "(SELECT COUNT(*) FROM logic_groups g WHERE g.template_id = t.id), "
    "(SELECT COUNT(*) FROM assets a WHERE a.template_id = t.id), "
    "(SELECT COUNT(*) FROM commits c WHERE c.template_id = t.id), "
    "t.name, t.description, t.doc_id, t.doc_password, t.category, t.is_active, t.page_count, "
    "t.width, t.height, t.bleed, t.client_type, t.user_id, t.full_screen_window, t.committed "
    "FROM templates t JOIN users u ON u.id = t.user_id ";

TemplateSummary ReadSummary(const Query& q, int row) {
  TemplateSummary summary;
  summary.owner = q.Text(row, 0);
  summary.row = q.Int64(row, 1);
  summary.fieldCount = q.Int(row, 2);
  summary.groupCount = q.Int(row, 3);
  summary.assetCount = q.Int(row, 4);
  summary.commitCount = q.Int(row, 5);
  summary.data = ReadTemplate(q, row, 6);
  return summary;
}

// Big-endian integers for the binary COPY format.
void PutInt16(std::string* out, int16_t value) {
  auto v = static_cast<uint16_t>(value);
  out->push_back(static_cast<char>(v >> 8));
  out->push_back(static_cast<char>(v & 0xFF));
}
void PutInt32(std::string* out, int32_t value) {
  auto v = static_cast<uint32_t>(value);
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>((v >> shift) & 0xFF));
}
void PutInt64(std::string* out, int64_t value) {
  auto v = static_cast<uint64_t>(value);
  for (int shift = 56; shift >= 0; shift -= 8) out->push_back(static_cast<char>((v >> shift) & 0xFF));
}
void PutText(std::string* out, const std::string& text) {
  PutInt32(out, static_cast<int32_t>(text.size()));
  out->append(text);
}

// Streams the rows of `fields` into table fields with one binary COPY: one statement and one
// round trip for any number of records.
bool CopyFields(PGconn* conn, int64_t templateRow, const std::vector<FieldData>& fields) {
  PgResult start(PQexec(conn, "COPY fields(template_id, position, name, record) FROM STDIN "
                              "WITH (FORMAT binary)"),
                 &PQclear);
  if (PQresultStatus(start.get()) != PGRES_COPY_IN) {
    Report(conn, start.get());
    return false;
  }
  std::string buffer("PGCOPY\n\377\r\n\0", 11);
  PutInt32(&buffer, 0);  // flags
  PutInt32(&buffer, 0);  // header extension
  bool sent = true;
  int position = 0;
  auto flush = [&] {
    if (sent && PQputCopyData(conn, buffer.data(), static_cast<int>(buffer.size())) != 1) {
      sent = false;
    }
    buffer.clear();
  };
  for (const FieldData& field : fields) {
    if (field.name.size() > INT32_MAX / 2 || field.record.size() > INT32_MAX / 2) {
      sent = false;
      break;
    }
    PutInt16(&buffer, 4);
    PutInt32(&buffer, 8);
    PutInt64(&buffer, templateRow);
    PutInt32(&buffer, 4);
    PutInt32(&buffer, position++);
    PutText(&buffer, field.name);
    PutText(&buffer, field.record);
    if (buffer.size() >= (1u << 20)) flush();
  }
  PutInt16(&buffer, -1);
  flush();
  if (PQputCopyEnd(conn, sent ? nullptr : "the field records could not be sent") != 1) {
    sent = false;
  }
  bool ok = sent;
  while (PGresult* result = PQgetResult(conn)) {
    if (PQresultStatus(result) != PGRES_COMMAND_OK) {
      if (ok) Report(conn, result);
      ok = false;
    }
    PQclear(result);
  }
  return ok;
}

}  // namespace

bool PostgresStore::Open(const std::string& url, int connections, std::string* error) {
  if (!pool_.Open(url, connections, false, error)) return false;
  PgConnectionPool::Lease lease = pool_.Acquire();
  if (lease.conn() == nullptr) {
    *error = "cannot connect to the PostgreSQL database";
    return false;
  }
  return MigratePostgres(lease.conn(), error);
}

bool PostgresStore::OpenReadOnly(const std::string& url, std::string* error) {
  if (!pool_.Open(url, 1, true, error)) return false;
  readOnly_ = true;
  PgConnectionPool::Lease lease = pool_.Acquire();
  int version = lease.conn() == nullptr ? -1 : PostgresSchemaVersionOf(lease.conn());
  if (version < 0) {
    *error = "cannot read the PostgreSQL database";
    return false;
  }
  if (version == 0) {
    *error = "the PostgreSQL database holds no data of this service";
    return false;
  }
  if (version > PostgresSchemaVersion()) {
    *error = "the database's schema is at version " + std::to_string(version) +
             ", newer than this osl-service knows (" + std::to_string(PostgresSchemaVersion()) +
             ")";
    return false;
  }
  if (version < PostgresSchemaVersion()) {
    *error = "the database's schema is at version " + std::to_string(version) +
             "; start osl-service on it once to bring it up to date";
    return false;
  }
  return true;
}

bool PostgresStore::BeginTransaction() {
  PGconn* conn = nullptr;
  int depth = pool_.Pin(&conn);
  if (depth == 0) {
    Report(nullptr, nullptr);
    return false;
  }
  std::string sql = depth > 1 ? "SAVEPOINT osl_" + std::to_string(depth)
                    : readOnly_ ? "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"
                                : "BEGIN";
  PgResult result(PQexec(conn, sql.c_str()), &PQclear);
  if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
    Report(conn, result.get());
    pool_.Unpin();
    return false;
  }
  return true;
}

bool PostgresStore::CommitTransaction() {
  PGconn* conn = pool_.Pinned();
  if (conn == nullptr) return false;
  int depth = pool_.PinDepth();
  bool ok = false;
  if (depth > 1) {
    std::string name = "osl_" + std::to_string(depth);
    PgResult result(PQexec(conn, ("RELEASE SAVEPOINT " + name).c_str()), &PQclear);
    ok = PQresultStatus(result.get()) == PGRES_COMMAND_OK;
    if (!ok) {
      Report(conn, result.get());
      PQclear(PQexec(conn, ("ROLLBACK TO SAVEPOINT " + name).c_str()));
      PQclear(PQexec(conn, ("RELEASE SAVEPOINT " + name).c_str()));
    }
  } else {
    // COMMIT of a transaction that failed earlier answers "ROLLBACK" without an error.
    PgResult result(PQexec(conn, "COMMIT"), &PQclear);
    ok = PQresultStatus(result.get()) == PGRES_COMMAND_OK &&
         std::strcmp(PQcmdStatus(result.get()), "COMMIT") == 0;
    if (!ok) Report(conn, result.get());
  }
  pool_.Unpin();
  return ok;
}

void PostgresStore::RollbackTransaction() {
  PGconn* conn = pool_.Pinned();
  if (conn == nullptr) return;
  int depth = pool_.PinDepth();
  if (depth > 1) {
    std::string name = "osl_" + std::to_string(depth);
    PQclear(PQexec(conn, ("ROLLBACK TO SAVEPOINT " + name).c_str()));
    PQclear(PQexec(conn, ("RELEASE SAVEPOINT " + name).c_str()));
  } else {
    PQclear(PQexec(conn, "ROLLBACK"));
  }
  pool_.Unpin();
}

bool PostgresStore::SetUserCredential(const std::string& email, const std::string& credential) {
  Query upsert(&pool_,
               "INSERT INTO users(email, email_key, credential) VALUES($1, $2, $3) "
               "ON CONFLICT(email_key) DO UPDATE SET credential = excluded.credential",
               Params().Add(email).Add(Lower(email)).Add(credential));
  return upsert.ok();
}

bool PostgresStore::FindUser(const std::string& email, std::optional<UserRecord>* out) {
  out->reset();
  Query query(&pool_, "SELECT id, email, credential FROM users WHERE email_key = $1",
              Params().Add(Lower(email)));
  if (!query.ok()) return false;
  if (query.rows() == 1) *out = UserRecord{query.Int(0, 0), query.Text(0, 1), query.Text(0, 2)};
  return true;
}

bool PostgresStore::ReplaceUserCredential(int id, const std::string& expected,
                                          const std::string& credential, bool* replaced) {
  Query update(&pool_, "UPDATE users SET credential = $3 WHERE id = $1 AND credential = $2",
               Params().Add(id).Add(expected).Add(credential));
  *replaced = update.ok() && update.changed() == 1;
  return update.ok();
}

bool PostgresStore::RemoveUser(const std::string& email, bool* removed) {
  *removed = false;
  Transaction transaction(this);
  std::optional<UserRecord> user;
  if (!FindUser(email, &user)) return false;
  if (!user) return transaction.Commit();
  // The account's templates go with it, with everything that hangs on them.
  Params id = Params().Add(user->id);
  const char* statements[] = {
      "DELETE FROM fields WHERE template_id IN (SELECT id FROM templates WHERE user_id = $1)",
      "DELETE FROM logic_groups WHERE template_id IN (SELECT id FROM templates WHERE user_id = $1)",
      "DELETE FROM assets WHERE template_id IN (SELECT id FROM templates WHERE user_id = $1)",
      "DELETE FROM commits WHERE template_id IN (SELECT id FROM templates WHERE user_id = $1)",
      "DELETE FROM publish_leases WHERE template_id IN "
      "(SELECT id FROM templates WHERE user_id = $1)",
      "DELETE FROM templates WHERE user_id = $1",
      "DELETE FROM users WHERE id = $1",
  };
  for (const char* sql : statements) {
    if (!Query(&pool_, sql, id).ok()) return false;
  }
  *removed = true;
  if (transaction.Commit()) return true;
  *removed = false;
  return false;
}

int PostgresStore::UserCount() {
  Query query(&pool_, "SELECT COUNT(*) FROM users");
  return query.rows() == 1 ? query.Int(0, 0) : 0;
}

bool PostgresStore::ListTemplates(int userId, std::vector<TemplateData>* out) {
  out->clear();
  std::string sql =
      std::string("SELECT ") + kTemplateColumns + " FROM templates WHERE user_id = $1 ORDER BY id";
  Query query(&pool_, sql.c_str(), Params().Add(userId));
  for (int i = 0; i < query.rows(); ++i) out->push_back(ReadTemplate(query, i, 0));
  return query.ok();
}

std::optional<TemplateData> PostgresStore::FindTemplate(const std::string& docId, int64_t* rowId) {
  std::string sql =
      std::string("SELECT id, ") + kTemplateColumns + " FROM templates WHERE doc_id = $1";
  Query query(&pool_, sql.c_str(), Params().Add(Lower(docId)));
  if (query.rows() != 1) return std::nullopt;
  *rowId = query.Int64(0, 0);
  return ReadTemplate(query, 0, 1);
}

int64_t PostgresStore::InsertTemplate(const TemplateData& data) {
  std::string sql = std::string("INSERT INTO templates(") + kTemplateColumns +
                    ") VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14) "
                    "RETURNING id";
  Params params;
  AddTemplate(params, data);
  Query insert(&pool_, sql.c_str(), params);
  return insert.rows() == 1 ? insert.Int64(0, 0) : 0;
}

bool PostgresStore::UpdateTemplate(int64_t rowId, const TemplateData& data) {
  Params params;
  AddTemplate(params, data);
  params.Add(rowId);
  Query update(&pool_,
               "UPDATE templates SET name = $1, description = $2, doc_id = $3, "
               "doc_password = $4, category = $5, is_active = $6, page_count = $7, "
               "width = $8, height = $9, bleed = $10, client_type = $11, user_id = $12, "
               "full_screen_window = $13, committed = $14, updated_at = now() WHERE id = $15",
               params);
  return update.ok() && update.changed() == 1;
}

bool PostgresStore::ListAllTemplates(std::vector<TemplateSummary>* out) {
  out->clear();
  std::string sql = std::string(kSummarySelect) +
                    "ORDER BY u.email COLLATE \"C\", t.name COLLATE \"C\" NULLS FIRST, "
                    "t.doc_id COLLATE \"C\"";
  Query query(&pool_, sql.c_str());
  for (int i = 0; i < query.rows(); ++i) out->push_back(ReadSummary(query, i));
  return query.ok();
}

bool PostgresStore::FindTemplateSummary(const std::string& docId,
                                        std::optional<TemplateSummary>* out) {
  out->reset();
  std::string sql = std::string(kSummarySelect) + "WHERE t.doc_id = $1";
  Query query(&pool_, sql.c_str(), Params().Add(Lower(docId)));
  if (query.rows() == 1) *out = ReadSummary(query, 0);
  return query.ok();
}

bool PostgresStore::LockTemplate(int64_t templateRow) {
  return Query(&pool_, "SELECT id FROM templates WHERE id = $1 FOR UPDATE",
               Params().Add(templateRow))
      .ok();
}

bool PostgresStore::GetFields(int64_t templateRow, std::vector<FieldData>* out) {
  out->clear();
  Query query(&pool_, "SELECT name, record FROM fields WHERE template_id = $1 ORDER BY position",
              Params().Add(templateRow));
  out->reserve(static_cast<size_t>(query.rows()));
  for (int i = 0; i < query.rows(); ++i) out->push_back(FieldData{query.Text(i, 0), query.Text(i, 1)});
  return query.ok();
}

bool PostgresStore::ReplaceFields(int64_t templateRow, const std::vector<FieldData>& fields) {
  Transaction transaction(this);
  // Without the template's lock a second replacement's DELETE, waiting for this one, would not
  // see the rows this one inserts, and the two lists would end up mixed.
  if (!LockTemplate(templateRow)) return false;
  if (!Query(&pool_, "DELETE FROM fields WHERE template_id = $1", Params().Add(templateRow)).ok()) {
    return false;
  }
  PGconn* conn = pool_.Pinned();
  if (conn == nullptr || (!fields.empty() && !CopyFields(conn, templateRow, fields))) return false;
  return transaction.Commit();
}

bool PostgresStore::GetLogicGroups(int64_t templateRow, std::vector<LogicGroupData>* out) {
  out->clear();
  Query query(&pool_,
              "SELECT id, name, move_direction FROM logic_groups WHERE template_id = $1 "
              "ORDER BY id",
              Params().Add(templateRow));
  for (int i = 0; i < query.rows(); ++i) {
    out->push_back(LogicGroupData{query.Int(i, 0), query.Text(i, 1), query.Int(i, 2)});
  }
  return query.ok();
}

int PostgresStore::AddLogicGroup(int64_t templateRow, const std::string& name,
                                 int moveDirection) {
  Query insert(&pool_,
               "INSERT INTO logic_groups(template_id, name, move_direction) VALUES($1, $2, $3) "
               "RETURNING id",
               Params().Add(templateRow).Add(name).Add(moveDirection));
  return insert.rows() == 1 ? insert.Int(0, 0) : 0;
}

bool PostgresStore::UpdateLogicGroup(int64_t templateRow, int id, const std::string& name,
                                     int moveDirection) {
  Query update(&pool_,
               "UPDATE logic_groups SET name = $1, move_direction = $2 "
               "WHERE id = $3 AND template_id = $4",
               Params().Add(name).Add(moveDirection).Add(id).Add(templateRow));
  return update.ok() && update.changed() == 1;
}

bool PostgresStore::GetAssets(int64_t templateRow, std::vector<AssetData>* out) {
  out->clear();
  Query query(&pool_,
              "SELECT url, name, type, image_picker_num FROM assets WHERE template_id = $1 "
              "ORDER BY position",
              Params().Add(templateRow));
  for (int i = 0; i < query.rows(); ++i) {
    out->push_back(AssetData{query.OptionalText(i, 0), query.OptionalText(i, 1), query.Int(i, 2),
                             query.Int(i, 3)});
  }
  return query.ok();
}

bool PostgresStore::ReplaceAssets(int64_t templateRow, const std::vector<AssetData>& assets) {
  Transaction transaction(this);
  if (!LockTemplate(templateRow)) return false;  // as for the fields: one list, never a mix
  if (!Query(&pool_, "DELETE FROM assets WHERE template_id = $1", Params().Add(templateRow)).ok()) {
    return false;
  }
  int position = 0;
  for (const AssetData& asset : assets) {
    Query insert(&pool_,
                 "INSERT INTO assets(template_id, position, url, name, type, image_picker_num) "
                 "VALUES($1, $2, $3, $4, $5, $6)",
                 Params()
                     .Add(templateRow)
                     .Add(position++)
                     .Add(asset.url)
                     .Add(asset.name)
                     .Add(asset.type)
                     .Add(asset.imagePickerNum));
    if (!insert.ok()) return false;
  }
  return transaction.Commit();
}

bool PostgresStore::AddCommit(int64_t templateRow) {
  return Query(&pool_,
               "INSERT INTO commits(template_id, field_count, asset_count, group_count) "
               "VALUES($1, (SELECT COUNT(*) FROM fields WHERE template_id = $1), "
               "(SELECT COUNT(*) FROM assets WHERE template_id = $1), "
               "(SELECT COUNT(*) FROM logic_groups WHERE template_id = $1))",
               Params().Add(templateRow))
      .ok();
}

int PostgresStore::CommitCount(int64_t templateRow) {
  Query query(&pool_, "SELECT COUNT(*) FROM commits WHERE template_id = $1",
              Params().Add(templateRow));
  return query.rows() == 1 ? query.Int(0, 0) : 0;
}

std::string PostgresStore::LastCommitTime(int64_t templateRow) {
  Query query(&pool_, "SELECT MAX(committed_at) FROM commits WHERE template_id = $1",
              Params().Add(templateRow));
  return query.rows() == 1 && !query.Null(0, 0) ? query.Text(0, 0) : std::string();
}

bool PostgresStore::FindUncommittedNamesake(int userId, const std::string& name,
                                            std::optional<std::string>* out) {
  out->reset();
  // Inside a transaction, the user's lock is held until it ends, so the insert that follows a
  // check that found nothing cannot meet another service's insert of the same name. The lock is
  // its own statement: the query below must see what was committed while it waited.
  if (pool_.Pinned() != nullptr &&
      !Query(&pool_, "SELECT pg_advisory_xact_lock(1330859057, $1)", Params().Add(userId + 16))
           .ok()) {
    return false;
  }
  Query query(&pool_,
              "SELECT doc_id FROM templates t WHERE user_id = $1 AND name = $2 "
              "AND NOT EXISTS (SELECT 1 FROM commits c WHERE c.template_id = t.id) "
              "ORDER BY id LIMIT 1",
              Params().Add(userId).Add(name));
  if (query.rows() == 1) *out = query.Text(0, 0);
  return query.ok();
}

LeaseResult PostgresStore::TakePublishLease(int64_t templateRow, const std::string& owner,
                                            int64_t durationMs, int64_t* remainingMs) {
  Query take(&pool_,
             "INSERT INTO publish_leases(template_id, owner, taken_at_ms, expires_at_ms) "
             "SELECT $1, $2, now_ms, now_ms + $3 FROM (SELECT " OSL_PG_NOW_MS " AS now_ms) AS c "
             "ON CONFLICT(template_id) DO UPDATE SET owner = excluded.owner, "
             "taken_at_ms = excluded.taken_at_ms, expires_at_ms = excluded.expires_at_ms "
             "WHERE publish_leases.expires_at_ms <= excluded.taken_at_ms",
             Params().Add(templateRow).Add(owner).Add(durationMs));
  if (!take.ok()) return LeaseResult::kError;
  if (take.changed() == 1) return LeaseResult::kTaken;
  Query left(&pool_,
             "SELECT expires_at_ms - " OSL_PG_NOW_MS " FROM publish_leases WHERE template_id = $1",
             Params().Add(templateRow));
  if (left.rows() != 1) return LeaseResult::kError;
  if (remainingMs != nullptr) *remainingMs = left.Int64(0, 0);
  return LeaseResult::kHeld;
}

bool PostgresStore::RenewPublishLease(int64_t templateRow, int64_t durationMs) {
  return Query(&pool_,
               "UPDATE publish_leases SET expires_at_ms = " OSL_PG_NOW_MS
               " + $2 WHERE template_id = $1 AND expires_at_ms > " OSL_PG_NOW_MS,
               Params().Add(templateRow).Add(durationMs))
      .ok();
}

bool PostgresStore::ReleasePublishLease(int64_t templateRow) {
  return Query(&pool_, "DELETE FROM publish_leases WHERE template_id = $1",
               Params().Add(templateRow))
      .ok();
}

bool PostgresStore::BeginUpload(const UploadData& upload) {
  return Query(&pool_,
               "INSERT INTO pending_files(session, token, name, instance) VALUES($1, $2, $3, $4)",
               Params().Add(upload.session).Add(upload.token).Add(upload.name).Add(upload.instance))
      .ok();
}

bool PostgresStore::AbandonUpload(const UploadData& upload) {
  return Query(&pool_,
               "DELETE FROM pending_files WHERE session = $1 AND token = $2 AND name = $3",
               Params().Add(upload.session).Add(upload.token).Add(upload.name))
      .ok();
}

bool PostgresStore::PendingUploads(std::vector<UploadData>* out) {
  out->clear();
  Query query(&pool_,
              "SELECT session, token, name, instance FROM pending_files ORDER BY started_at");
  for (int i = 0; i < query.rows(); ++i) {
    UploadData upload;
    upload.session = query.Text(i, 0);
    upload.token = query.Text(i, 1);
    upload.name = query.Text(i, 2);
    upload.instance = query.Text(i, 3);
    out->push_back(std::move(upload));
  }
  return query.ok();
}

bool PostgresStore::RecordUpload(const UploadData& upload) {
  Transaction transaction(this);
  Params address = Params().Add(upload.session).Add(upload.token).Add(upload.name);
  if (!Query(&pool_,
             "INSERT INTO files(session, token, name, size, sha256) VALUES($1, $2, $3, $4, $5)",
             Params()
                 .Add(upload.session)
                 .Add(upload.token)
                 .Add(upload.name)
                 .Add(static_cast<int64_t>(upload.size))
                 .Add(upload.sha256))
           .ok() ||
      !Query(&pool_, "DELETE FROM pending_files WHERE session = $1 AND token = $2 AND name = $3",
             address)
           .ok() ||
      !Query(&pool_, "DELETE FROM upload_reservations WHERE id = $1", Params().Add(upload.token))
           .ok()) {
    return false;
  }
  return transaction.Commit();
}

std::optional<UploadData> PostgresStore::FindUpload(const std::string& session,
                                                    const std::string& token,
                                                    const std::string& name) {
  // Addresses without a token were only ever handed out by the single-file store.
  if (token.empty()) return std::nullopt;
  Query query(&pool_,
              "SELECT size, sha256 FROM files WHERE session = $1 AND token = $2 AND name = $3",
              Params().Add(session).Add(token).Add(name));
  if (query.rows() != 1) return std::nullopt;
  UploadData upload;
  upload.session = session;
  upload.token = token;
  upload.name = name;
  upload.size = static_cast<uint64_t>(query.Int64(0, 0));
  upload.sha256 = query.Text(0, 1);
  return upload;
}

bool PostgresStore::AddressKnown(const std::string& session, const std::string& token,
                                 const std::string& name, bool* known) {
  Query query(&pool_,
              "SELECT EXISTS(SELECT 1 FROM files WHERE session = $1 AND token = $2 AND name = $3) "
              "OR EXISTS(SELECT 1 FROM pending_files WHERE session = $1 AND token = $2 "
              "AND name = $3)",
              Params().Add(session).Add(token).Add(name));
  if (query.rows() != 1) return false;
  *known = query.Bool(0, 0);
  return true;
}

QuotaResult PostgresStore::ReserveUploadBytes(const std::string& reservation,
                                              const std::string& instance,
                                              const std::string& session, uint64_t bytes,
                                              const QuotaLimits& limits) {
  if (bytes > static_cast<uint64_t>(INT64_MAX) / 2) {
    return limits.perSession != 0 ? QuotaResult::kSessionFull : QuotaResult::kTotalFull;
  }
  Transaction transaction(this);
  // Every reservation of every service takes the same lock, so the sums below cannot change
  // between the check and the reservation.
  if (!Query(&pool_, "SELECT pg_advisory_xact_lock(1330859057, 2)").ok()) return QuotaResult::kError;
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
  if (!Query(&pool_,
             "INSERT INTO upload_reservations(id, instance, session, bytes) "
             "VALUES($1, $2, $3, $4) ON CONFLICT(id) DO UPDATE "
             "SET bytes = upload_reservations.bytes + excluded.bytes",
             Params().Add(reservation).Add(instance).Add(session).Add(static_cast<int64_t>(bytes)))
           .ok() ||
      !transaction.Commit()) {
    return QuotaResult::kError;
  }
  return QuotaResult::kReserved;
}

bool PostgresStore::ReleaseReservation(const std::string& reservation) {
  return Query(&pool_, "DELETE FROM upload_reservations WHERE id = $1",
               Params().Add(reservation))
      .ok();
}

bool PostgresStore::UsedBytes(const std::string& session, uint64_t* sessionBytes,
                              uint64_t* totalBytes) {
  Query query(&pool_,
              "SELECT (SELECT COALESCE(SUM(size), 0) FROM files WHERE session = $1) + "
              "(SELECT COALESCE(SUM(bytes), 0) FROM upload_reservations WHERE session = $1), "
              "(SELECT COALESCE(SUM(size), 0) FROM files) + "
              "(SELECT COALESCE(SUM(bytes), 0) FROM upload_reservations)",
              Params().Add(session));
  if (query.rows() != 1) return false;
  *sessionBytes = static_cast<uint64_t>(query.Int64(0, 0));
  *totalBytes = static_cast<uint64_t>(query.Int64(0, 1));
  return true;
}

bool PostgresStore::RegisterInstance(const std::string& id, const std::string& description) {
  return Heartbeat(id, description);
}

bool PostgresStore::Heartbeat(const std::string& id, const std::string& description) {
  return Query(&pool_,
               "INSERT INTO instances(id, description, heartbeat_ms) VALUES($1, $2, " OSL_PG_NOW_MS
               ") ON CONFLICT(id) DO UPDATE SET heartbeat_ms = excluded.heartbeat_ms",
               Params().Add(id).Add(description))
      .ok();
}

bool PostgresStore::ListInstances(std::vector<InstanceData>* out) {
  out->clear();
  Query query(&pool_,
              "SELECT id, description, " OSL_PG_NOW_MS " - heartbeat_ms FROM instances ORDER BY id");
  for (int i = 0; i < query.rows(); ++i) {
    out->push_back(InstanceData{query.Text(i, 0), query.Text(i, 1), query.Int64(i, 2)});
  }
  return query.ok();
}

bool PostgresStore::ForgetInstance(const std::string& id) {
  Transaction transaction(this);
  return Query(&pool_, "DELETE FROM upload_reservations WHERE instance = $1", Params().Add(id))
             .ok() &&
         Query(&pool_, "DELETE FROM instances WHERE id = $1", Params().Add(id)).ok() &&
         transaction.Commit();
}

}  // namespace refservice
