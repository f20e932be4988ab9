#include "refservice/storage/sql_store.h"

#include <utility>

#include "text/ascii_case.h"

namespace refservice {
namespace {

// The keys of LockKey: one for every quota reservation, and one per account (from
// kNamesakeLocks on) for the check for an uncommitted template of the same name.
constexpr int64_t kQuotaLock = 2;
constexpr int64_t kNamesakeLocks = 16;

using textutil::Lower;

constexpr const char* kTemplateColumns =
    "name, description, doc_id, doc_password, category, is_active, page_count, width, height, "
    "bleed, client_type, user_id, full_screen_window, committed";

// The template whose kTemplateColumns start at column `first`, in the order TemplateData declares
// them.
TemplateData ReadTemplate(const SqlRows& row, int first) {
  return TemplateData{row.OptionalText(first), row.OptionalText(first + 1), row.Text(first + 2),
                      row.Text(first + 3),     row.OptionalText(first + 4), row.Bool(first + 5),
                      row.Int(first + 6),      row.Text(first + 7),         row.Text(first + 8),
                      row.Text(first + 9),     row.Int(first + 10),         row.Int(first + 11),
                      row.Int(first + 12),     row.Bool(first + 13)};
}

// A template as it is stored: its identifier and password in lower case.
TemplateData Stored(TemplateData data) {
  data.docId = Lower(data.docId);
  data.docPassword = Lower(data.docPassword);
  return data;
}

// The fourteen template columns in kTemplateColumns order, for $1 to $14.
std::vector<SqlValue> TemplateValues(const TemplateData& data) {
  return {data.name,
          data.description,
          data.docId,
          data.docPassword,
          data.category,
          data.isActive,
          data.pageCount,
          data.width,
          data.height,
          data.bleed,
          data.clientType,
          data.userId,
          data.fullScreenWindow,
          data.committed};
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

TemplateSummary ReadSummary(const SqlRows& row) {
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

SqlStore::SqlStore(std::unique_ptr<SqlDriver> driver) : driver_(std::move(driver)) {}

SqlStore::~SqlStore() = default;

std::unique_ptr<SqlRows> SqlStore::Run(const std::string& sql,
                                       const std::vector<SqlValue>& params) {
  return driver_->Run(sql, params);
}

bool SqlStore::Exec(const std::string& sql, const std::vector<SqlValue>& params) {
  return Run(sql, params)->ok();
}

int64_t SqlStore::InsertReturningId(const std::string& sql, const std::vector<SqlValue>& params) {
  std::unique_ptr<SqlRows> insert = Run(sql, params);
  int64_t id = insert->Next() ? insert->Int64(0) : 0;
  return insert->Next() || !insert->ok() ? 0 : id;
}

bool SqlStore::BeginTransaction() { return driver_->Begin(); }
bool SqlStore::CommitTransaction() { return driver_->Commit(); }
void SqlStore::RollbackTransaction() { driver_->Rollback(); }

bool SqlStore::SetUserCredential(const std::string& email, const std::string& credential) {
  const char* key = dialect().emailKey;
  std::string insert = key == nullptr ? std::string(
                                            "INSERT INTO users(email, credential) VALUES($1, $2) "
                                            "ON CONFLICT(email)")
                                      : std::string("INSERT INTO users(email, credential, ") + key +
                                            ") VALUES($1, $2, $3) ON CONFLICT(" + key + ")";
  return Exec(insert + " DO UPDATE SET credential = excluded.credential",
              {email, credential, Lower(email)});
}

bool SqlStore::FindUser(const std::string& email, std::optional<UserRecord>* out) {
  out->reset();
  const char* key = dialect().emailKey;
  std::unique_ptr<SqlRows> query =
      Run(std::string("SELECT id, email, credential FROM users WHERE ") +
              (key == nullptr ? "email" : key) + " = $1",
          {Lower(email)});
  if (query->Next()) *out = UserRecord{query->Int(0), query->Text(1), query->Text(2)};
  return query->ok();
}

bool SqlStore::ReplaceUserCredential(int id, const std::string& expected,
                                     const std::string& credential, bool* replaced) {
  std::unique_ptr<SqlRows> update =
      Run("UPDATE users SET credential = $3 WHERE id = $1 AND credential = $2",
          {id, expected, credential});
  *replaced = update->ok() && update->changed() == 1;
  return update->ok();
}

bool SqlStore::RemoveUser(const std::string& email, bool* removed) {
  *removed = false;
  Transaction transaction(this);
  std::optional<UserRecord> user;
  if (!FindUser(email, &user)) return false;
  if (!user) return transaction.Commit();
  // The account's templates go with it, with everything that hangs on them.
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
    if (!Exec(sql, {user->id})) return false;
  }
  *removed = transaction.Commit();
  return *removed;
}

int SqlStore::UserCount() {
  std::unique_ptr<SqlRows> query = Run("SELECT COUNT(*) FROM users");
  return query->Next() ? query->Int(0) : 0;
}

bool SqlStore::ListTemplates(int userId, std::vector<TemplateData>* out) {
  out->clear();
  std::unique_ptr<SqlRows> query = Run(
      std::string("SELECT ") + kTemplateColumns + " FROM templates WHERE user_id = $1 ORDER BY id",
      {userId});
  while (query->Next()) out->push_back(ReadTemplate(*query, 0));
  return query->ok();
}

std::optional<TemplateData> SqlStore::FindTemplate(const std::string& docId, int64_t* rowId) {
  std::unique_ptr<SqlRows> query =
      Run(std::string("SELECT id, ") + kTemplateColumns + " FROM templates WHERE doc_id = $1",
          {Lower(docId)});
  if (!query->Next()) return std::nullopt;
  *rowId = query->Int64(0);
  return ReadTemplate(*query, 1);
}

int64_t SqlStore::InsertTemplate(const TemplateData& data) {
  return InsertReturningId(std::string("INSERT INTO templates(") + kTemplateColumns +
                               ") VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, "
                               "$14) RETURNING id",
                           TemplateValues(Stored(data)));
}

bool SqlStore::UpdateTemplate(int64_t rowId, const TemplateData& data) {
  const TemplateData stored = Stored(data);
  std::vector<SqlValue> values = TemplateValues(stored);
  values.emplace_back(rowId);
  std::unique_ptr<SqlRows> update =
      Run("UPDATE templates SET name = $1, description = $2, doc_id = $3, "
          "doc_password = $4, category = $5, is_active = $6, page_count = $7, "
          "width = $8, height = $9, bleed = $10, client_type = $11, user_id = $12, "
          "full_screen_window = $13, committed = $14, updated_at = CURRENT_TIMESTAMP "
          "WHERE id = $15",
          values);
  return update->ok() && update->changed() == 1;
}

bool SqlStore::ListAllTemplates(std::vector<TemplateSummary>* out) {
  out->clear();
  const std::string byteOrder = std::string(" COLLATE ") + dialect().byteOrder;
  std::unique_ptr<SqlRows> query =
      Run(kSummarySelect + ("ORDER BY u.email" + byteOrder) + ", t.name" + byteOrder +
          " NULLS FIRST, t.doc_id" + byteOrder);
  while (query->Next()) out->push_back(ReadSummary(*query));
  return query->ok();
}

bool SqlStore::FindTemplateSummary(const std::string& docId, std::optional<TemplateSummary>* out) {
  out->reset();
  std::unique_ptr<SqlRows> query =
      Run(std::string(kSummarySelect) + "WHERE t.doc_id = $1", {Lower(docId)});
  if (query->Next()) *out = ReadSummary(*query);
  return query->ok();
}

bool SqlStore::LockTemplate(int64_t templateRow) {
  const char* forUpdate = dialect().forUpdate;
  if (forUpdate == nullptr) return true;  // a transaction already keeps every other writer out
  return Exec(std::string("SELECT id FROM templates WHERE id = $1") + forUpdate, {templateRow});
}

bool SqlStore::GetFields(int64_t templateRow, std::vector<FieldData>* out) {
  out->clear();
  std::unique_ptr<SqlRows> query = Run(
      "SELECT name, record FROM fields WHERE template_id = $1 ORDER BY position", {templateRow});
  while (query->Next()) out->push_back(FieldData{query->Text(0), query->Text(1)});
  return query->ok();
}

bool SqlStore::ReplaceFields(int64_t templateRow, const std::vector<FieldData>& fields) {
  std::vector<SqlValue> rows;
  int position = 0;
  for (const FieldData& field : fields) {
    rows.insert(rows.end(), {templateRow, position++, field.name, field.record});
  }
  return ReplaceRows(templateRow, "fields", "template_id, position, name, record", 4, rows);
}

bool SqlStore::ReplaceRows(int64_t templateRow, const char* table, const char* columns,
                           size_t width, const std::vector<SqlValue>& rows) {
  Transaction transaction(this);
  // Without the template's lock a second replacement's DELETE, waiting for this one, would not
  // see the rows this one inserts, and the two lists would end up mixed.
  return LockTemplate(templateRow) &&
         Exec(std::string("DELETE FROM ") + table + " WHERE template_id = $1", {templateRow}) &&
         driver_->BulkInsert(table, columns, width, rows) && transaction.Commit();
}

bool SqlStore::GetLogicGroups(int64_t templateRow, std::vector<LogicGroupData>* out) {
  out->clear();
  std::unique_ptr<SqlRows> query =
      Run("SELECT id, name, move_direction FROM logic_groups WHERE template_id = $1 ORDER BY id",
          {templateRow});
  while (query->Next()) {
    out->push_back(LogicGroupData{query->Int(0), query->Text(1), query->Int(2)});
  }
  return query->ok();
}

int SqlStore::AddLogicGroup(int64_t templateRow, const std::string& name, int moveDirection) {
  int64_t id = InsertReturningId(
      "INSERT INTO logic_groups(template_id, name, move_direction) VALUES($1, $2, $3) "
      "RETURNING id",
      {templateRow, name, moveDirection});
  return id > 0 && id <= INT32_MAX ? static_cast<int>(id) : 0;
}

bool SqlStore::UpdateLogicGroup(int64_t templateRow, int id, const std::string& name,
                                int moveDirection) {
  std::unique_ptr<SqlRows> update =
      Run("UPDATE logic_groups SET name = $1, move_direction = $2 "
          "WHERE id = $3 AND template_id = $4",
          {name, moveDirection, id, templateRow});
  return update->ok() && update->changed() == 1;
}

bool SqlStore::GetAssets(int64_t templateRow, std::vector<AssetData>* out) {
  out->clear();
  std::unique_ptr<SqlRows> query =
      Run("SELECT url, name, type, image_picker_num FROM assets WHERE template_id = $1 "
          "ORDER BY position",
          {templateRow});
  while (query->Next()) {
    out->push_back(
        AssetData{query->OptionalText(0), query->OptionalText(1), query->Int(2), query->Int(3)});
  }
  return query->ok();
}

bool SqlStore::ReplaceAssets(int64_t templateRow, const std::vector<AssetData>& assets) {
  std::vector<SqlValue> rows;
  int position = 0;
  for (const AssetData& asset : assets) {
    rows.insert(rows.end(),
                {templateRow, position++, asset.url, asset.name, asset.type, asset.imagePickerNum});
  }
  return ReplaceRows(templateRow, "assets",
                     "template_id, position, url, name, type, image_picker_num", 6, rows);
}

bool SqlStore::AddCommit(int64_t templateRow) {
  return Exec(
      "INSERT INTO commits(template_id, field_count, asset_count, group_count) "
      "VALUES($1, (SELECT COUNT(*) FROM fields WHERE template_id = $1), "
      "(SELECT COUNT(*) FROM assets WHERE template_id = $1), "
      "(SELECT COUNT(*) FROM logic_groups WHERE template_id = $1))",
      {templateRow});
}

int SqlStore::CommitCount(int64_t templateRow) {
  std::unique_ptr<SqlRows> query =
      Run("SELECT COUNT(*) FROM commits WHERE template_id = $1", {templateRow});
  return query->Next() ? query->Int(0) : 0;
}

std::string SqlStore::LastCommitTime(int64_t templateRow) {
  std::unique_ptr<SqlRows> query =
      Run("SELECT MAX(committed_at) FROM commits WHERE template_id = $1", {templateRow});
  return query->Next() ? query->OptionalText(0).value_or("") : std::string();
}

bool SqlStore::FindUncommittedNamesake(int userId, const std::string& name,
                                       std::optional<std::string>* out) {
  out->reset();
  // Inside a transaction, the user's lock is held until it ends, so the insert that follows a
  // check that found nothing cannot meet another service's insert of the same name. The lock is
  // its own statement: the query below must see what was committed while it waited.
  if (!driver_->LockKey(kNamesakeLocks + userId)) return false;
  std::unique_ptr<SqlRows> query =
      Run("SELECT doc_id FROM templates t WHERE user_id = $1 AND name = $2 "
          "AND NOT EXISTS (SELECT 1 FROM commits c WHERE c.template_id = t.id) "
          "ORDER BY id LIMIT 1",
          {userId, name});
  if (query->Next()) *out = query->Text(0);
  return query->ok();
}

LeaseResult SqlStore::TakePublishLease(int64_t templateRow, const std::string& owner,
                                       int64_t durationMs, int64_t* remainingMs) {
  const std::string now = dialect().nowMs;
  // The take and the read of what a live lease has left see one state.
  Transaction transaction(this);
  // "WHERE true" tells SQLite that ON CONFLICT belongs to the INSERT, not to a join.
  std::unique_ptr<SqlRows> take =
      Run("INSERT INTO publish_leases(template_id, owner, taken_at_ms, expires_at_ms) "
          "SELECT $1, $2, now_ms, now_ms + $3 FROM (SELECT " +
              now +
              " AS now_ms) AS c WHERE true "
              "ON CONFLICT(template_id) DO UPDATE SET owner = excluded.owner, "
              "taken_at_ms = excluded.taken_at_ms, expires_at_ms = excluded.expires_at_ms "
              "WHERE publish_leases.expires_at_ms <= excluded.taken_at_ms",
          {templateRow, owner, durationMs});
  if (!take->ok()) return LeaseResult::kError;
  if (take->changed() == 1) return transaction.Commit() ? LeaseResult::kTaken : LeaseResult::kError;
  std::unique_ptr<SqlRows> left =
      Run("SELECT expires_at_ms - " + now + " FROM publish_leases WHERE template_id = $1",
          {templateRow});
  if (!left->Next()) return LeaseResult::kError;
  if (remainingMs != nullptr) *remainingMs = left->Int64(0);
  return LeaseResult::kHeld;
}

bool SqlStore::RenewPublishLease(int64_t templateRow, int64_t durationMs) {
  const std::string now = dialect().nowMs;
  return Exec("UPDATE publish_leases SET expires_at_ms = " + now +
                  " + $2 WHERE template_id = $1 AND expires_at_ms > " + now,
              {templateRow, durationMs});
}

bool SqlStore::ReleasePublishLease(int64_t templateRow) {
  return Exec("DELETE FROM publish_leases WHERE template_id = $1", {templateRow});
}

bool SqlStore::BeginUpload(const UploadData& upload) {
  return Exec("INSERT INTO pending_files(session, token, name, instance) VALUES($1, $2, $3, $4)",
              {upload.session, upload.token, upload.name, upload.instance});
}

bool SqlStore::AbandonUpload(const UploadData& upload) {
  return Exec("DELETE FROM pending_files WHERE session = $1 AND token = $2 AND name = $3",
              {upload.session, upload.token, upload.name});
}

bool SqlStore::PendingUploads(std::vector<UploadData>* out) {
  out->clear();
  std::unique_ptr<SqlRows> query =
      Run("SELECT session, token, name, instance FROM pending_files ORDER BY started_at");
  while (query->Next()) {
    UploadData upload;
    upload.session = query->Text(0);
    upload.token = query->Text(1);
    upload.name = query->Text(2);
    upload.instance = query->Text(3);
    out->push_back(std::move(upload));
  }
  return query->ok();
}

bool SqlStore::RecordUpload(const UploadData& upload) {
  Transaction transaction(this);
  return Exec("INSERT INTO files(session, token, name, size, sha256) VALUES($1, $2, $3, $4, $5)",
              {upload.session, upload.token, upload.name, static_cast<int64_t>(upload.size),
               upload.sha256}) &&
         AbandonUpload(upload) &&
         Exec("DELETE FROM upload_reservations WHERE id = $1", {upload.token}) &&
         transaction.Commit();
}

std::optional<UploadData> SqlStore::FindUpload(const std::string& session, const std::string& token,
                                               const std::string& name) {
  // Files stored before addresses had tokens are in the older table "uploads".
  if (token.empty() && !dialect().legacyUploads) return std::nullopt;
  std::unique_ptr<SqlRows> query =
      Run(token.empty() ? "SELECT size, sha256 FROM uploads WHERE session = $1 AND name = $3"
                        : "SELECT size, sha256 FROM files WHERE session = $1 AND token = $2 "
                          "AND name = $3",
          {session, token, name});
  if (!query->Next()) return std::nullopt;
  UploadData upload;
  upload.session = session;
  upload.token = token;
  upload.name = name;
  upload.size = static_cast<uint64_t>(query->Int64(0));
  upload.sha256 = query->Text(1);
  return upload;
}

bool SqlStore::AddressKnown(const std::string& session, const std::string& token,
                            const std::string& name, bool* known) {
  std::unique_ptr<SqlRows> query =
      Run("SELECT EXISTS(SELECT 1 FROM files WHERE session = $1 AND token = $2 AND name = $3) "
          "OR EXISTS(SELECT 1 FROM pending_files WHERE session = $1 AND token = $2 "
          "AND name = $3)",
          {session, token, name});
  if (!query->Next()) return false;
  *known = query->Bool(0);
  return true;
}

QuotaResult SqlStore::ReserveUploadBytes(const std::string& reservation,
                                         const std::string& instance, const std::string& session,
                                         uint64_t bytes, const QuotaLimits& limits) {
  if (bytes > static_cast<uint64_t>(INT64_MAX) / 2) {
    return limits.perSession != 0 ? QuotaResult::kSessionFull : QuotaResult::kTotalFull;
  }
  Transaction transaction(this);
  // Every reservation of every service takes the same lock, so the sums below cannot change
  // between the check and the reservation.
  if (!driver_->LockKey(kQuotaLock)) return QuotaResult::kError;
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
  if (!Exec("INSERT INTO upload_reservations(id, instance, session, bytes) "
            "VALUES($1, $2, $3, $4) ON CONFLICT(id) DO UPDATE "
            "SET bytes = upload_reservations.bytes + excluded.bytes",
            {reservation, instance, session, static_cast<int64_t>(bytes)}) ||
      !transaction.Commit()) {
    return QuotaResult::kError;
  }
  return QuotaResult::kReserved;
}

bool SqlStore::ReleaseReservation(const std::string& reservation) {
  return Exec("DELETE FROM upload_reservations WHERE id = $1", {reservation});
}

bool SqlStore::UsedBytes(const std::string& session, uint64_t* sessionBytes, uint64_t* totalBytes) {
  // Files stored before addresses had tokens count with the others.
  const bool legacy = dialect().legacyUploads;
  std::unique_ptr<SqlRows> query =
      Run(std::string("SELECT (SELECT COALESCE(SUM(size), 0) FROM files WHERE session = $1) + ") +
              (legacy ? "(SELECT COALESCE(SUM(size), 0) FROM uploads WHERE session = $1) + " : "") +
              "(SELECT COALESCE(SUM(bytes), 0) FROM upload_reservations WHERE session = $1), "
              "(SELECT COALESCE(SUM(size), 0) FROM files) + " +
              (legacy ? "(SELECT COALESCE(SUM(size), 0) FROM uploads) + " : "") +
              "(SELECT COALESCE(SUM(bytes), 0) FROM upload_reservations)",
          {session});
  if (!query->Next()) return false;
  *sessionBytes = static_cast<uint64_t>(query->Int64(0));
  *totalBytes = static_cast<uint64_t>(query->Int64(1));
  return true;
}

bool SqlStore::RegisterInstance(const std::string& id, const std::string& description) {
  return Heartbeat(id, description);
}

bool SqlStore::Heartbeat(const std::string& id, const std::string& description) {
  return Exec(std::string("INSERT INTO instances(id, description, heartbeat_ms) VALUES($1, $2, ") +
                  dialect().nowMs +
                  ") ON CONFLICT(id) DO UPDATE SET heartbeat_ms = excluded.heartbeat_ms",
              {id, description});
}

bool SqlStore::ListInstances(std::vector<InstanceData>* out) {
  out->clear();
  std::unique_ptr<SqlRows> query = Run(std::string("SELECT id, description, ") + dialect().nowMs +
                                       " - heartbeat_ms FROM instances ORDER BY id");
  while (query->Next()) {
    out->push_back(InstanceData{query->Text(0), query->Text(1), query->Int64(2)});
  }
  return query->ok();
}

bool SqlStore::ForgetInstance(const std::string& id) {
  Transaction transaction(this);
  return Exec("DELETE FROM upload_reservations WHERE instance = $1", {id}) &&
         Exec("DELETE FROM instances WHERE id = $1", {id}) && transaction.Commit();
}

}  // namespace refservice
