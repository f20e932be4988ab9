// The store in one SQLite file (DIR/service.db): the embedded default, for one service per data
// folder. One connection serves every thread; a Transaction holds the store's lock for its
// thread, so other threads wait for it. The schema is versioned (PRAGMA user_version) and a file
// written by an older build is brought up to date when the service opens it.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "refservice/storage/store.h"

struct sqlite3;

namespace refservice {

// The schema version this build writes.
int SqliteSchemaVersion();

class SqliteStore : public Store {
 public:
  SqliteStore() = default;
  ~SqliteStore() override;

  // Opens (creating when missing) the database file and brings its schema up to date, each
  // missing migration in a transaction of its own. Returns false with `error` set when the file
  // cannot be opened, is not a database of this service, or has a newer schema than this build.
  bool Open(const std::string& path, std::string* error);

  // Opens an existing database of this service for reading only, beside a service that may be
  // writing to it. Returns false with `error` set when the file is missing, is not a database, or
  // is not a database of this service. Write methods fail on a store opened this way.
  bool OpenReadOnly(const std::string& path, std::string* error);

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
  bool Exec(const char* sql);
  // Checks that the open database is one of this service's; closes it otherwise.
  bool CheckApplicationId(const std::string& path, std::string* error);
  // Runs the migrations the file lacks.
  bool Migrate(const std::string& path, std::string* error);

  std::recursive_mutex mutex_;
  sqlite3* db_ = nullptr;
};

}  // namespace refservice
