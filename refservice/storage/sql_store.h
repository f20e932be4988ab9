// The Store over an SQL database: every query and rule of the store, written once, over a
// SqlDriver that speaks one database's dialect. SqliteStore (sqlite_driver.h) and PostgresStore
// (postgres_driver.h) are this store over their drivers.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "refservice/storage/sql_driver.h"
#include "refservice/storage/store.h"

namespace refservice {

class SqlStore : public Store {
 public:
  explicit SqlStore(std::unique_ptr<SqlDriver> driver);
  ~SqlStore() override;

  bool SetUserCredential(const std::string& email, const std::string& credential) override;
  bool FindUser(const std::string& email, std::optional<UserRecord>* out) override;
  bool ReplaceUserCredential(int id, const std::string& expected, const std::string& credential,
                             bool* replaced) override;
  bool RemoveUser(const std::string& email, bool* removed) override;
  int UserCount() override;

  bool ListTemplates(int userId, std::vector<TemplateData>* out) override;
  std::optional<TemplateData> FindTemplate(const std::string& docId, int64_t* rowId) override;
  int64_t InsertTemplate(const TemplateData& data) override;
  bool UpdateTemplate(int64_t rowId, const TemplateData& data) override;
  bool ListAllTemplates(std::vector<TemplateSummary>* out) override;
  bool FindTemplateSummary(const std::string& docId, std::optional<TemplateSummary>* out) override;

  bool LockTemplate(int64_t templateRow) override;
  bool GetFields(int64_t templateRow, std::vector<FieldData>* out) override;
  bool ReplaceFields(int64_t templateRow, const std::vector<FieldData>& fields) override;
  bool GetLogicGroups(int64_t templateRow, std::vector<LogicGroupData>* out) override;
  int AddLogicGroup(int64_t templateRow, const std::string& name, int moveDirection) override;
  bool UpdateLogicGroup(int64_t templateRow, int id, const std::string& name,
                        int moveDirection) override;
  bool GetAssets(int64_t templateRow, std::vector<AssetData>* out) override;
  bool ReplaceAssets(int64_t templateRow, const std::vector<AssetData>& assets) override;

  bool AddCommit(int64_t templateRow) override;
  int CommitCount(int64_t templateRow) override;
  std::string LastCommitTime(int64_t templateRow) override;
  bool FindUncommittedNamesake(int userId, const std::string& name,
                               std::optional<std::string>* out) override;

  LeaseResult TakePublishLease(int64_t templateRow, const std::string& owner, int64_t durationMs,
                               int64_t* remainingMs) override;
  bool RenewPublishLease(int64_t templateRow, int64_t durationMs) override;
  bool ReleasePublishLease(int64_t templateRow) override;

  bool BeginUpload(const UploadData& upload) override;
  bool AbandonUpload(const UploadData& upload) override;
  bool PendingUploads(std::vector<UploadData>* out) override;
  bool RecordUpload(const UploadData& upload) override;
  std::optional<UploadData> FindUpload(const std::string& session, const std::string& token,
                                       const std::string& name) override;
  bool AddressKnown(const std::string& session, const std::string& token, const std::string& name,
                    bool* known) override;

  QuotaResult ReserveUploadBytes(const std::string& reservation, const std::string& instance,
                                 const std::string& session, uint64_t bytes,
                                 const QuotaLimits& limits) override;
  bool ReleaseReservation(const std::string& reservation) override;
  bool UsedBytes(const std::string& session, uint64_t* sessionBytes, uint64_t* totalBytes) override;

  bool RegisterInstance(const std::string& id, const std::string& description) override;
  bool Heartbeat(const std::string& id, const std::string& description) override;
  bool ListInstances(std::vector<InstanceData>* out) override;
  bool ForgetInstance(const std::string& id) override;

 protected:
  bool BeginTransaction() override;
  bool CommitTransaction() override;
  void RollbackTransaction() override;

 private:
  std::unique_ptr<SqlRows> Run(const std::string& sql, const std::vector<SqlValue>& params = {});
  bool Exec(const std::string& sql, const std::vector<SqlValue>& params = {});
  // Runs an INSERT ... RETURNING id to its end; the new row's id, or 0 on a database error.
  int64_t InsertReturningId(const std::string& sql, const std::vector<SqlValue>& params);
  // Replaces the template's rows of `table` with `rows` (`width` values each, in `columns`
  // order) in one transaction that holds the template's lock: one list, never a mix of two.
  bool ReplaceRows(int64_t templateRow, const char* table, const char* columns, size_t width,
                   const std::vector<SqlValue>& rows);
  const SqlDialect& dialect() const { return driver_->dialect(); }

  std::unique_ptr<SqlDriver> driver_;
};

}  // namespace refservice
