// The store in a PostgreSQL database (libpq), shared by every osl-service started with the same
// --database URL. Calls borrow a connection from a pool; a Transaction pins one connection to
// its thread until it ends. Times (publish leases, heartbeats) are the database server's clock.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "refservice/storage/pg_connection_pool.h"
#include "refservice/storage/store.h"

namespace refservice {

class PostgresStore : public Store {
 public:
  PostgresStore() = default;
  ~PostgresStore() override = default;

  // Connects `connections` times to `url` and brings the schema up to date (see
  // MigratePostgres). False with `error` set when the database cannot be reached or migrated.
  bool Open(const std::string& url, int connections, std::string* error);
  // Connects once, read-only, to a database this service has already set up. False with `error`
  // set when it cannot be reached or holds no schema of this service (nothing is created then).
  bool OpenReadOnly(const std::string& url, std::string* error);

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
  bool UsedBytes(const std::string& session, uint64_t* sessionBytes,
                 uint64_t* totalBytes) override;

  bool RegisterInstance(const std::string& id, const std::string& description) override;
  bool Heartbeat(const std::string& id, const std::string& description) override;
  bool ListInstances(std::vector<InstanceData>* out) override;
  bool ForgetInstance(const std::string& id) override;

 protected:
  bool BeginTransaction() override;
  bool CommitTransaction() override;
  void RollbackTransaction() override;

 private:
  PgConnectionPool pool_;
  bool readOnly_ = false;
};

}  // namespace refservice
