// Persistent state of the reference service: user accounts, templates, their fields, logic groups
// and assets, commits, the record of uploaded files with the bytes reserved for uploads in
// flight, the publish leases that let one publish of a template run at a time, and the service
// instances that share the state. One implementation, SqlStore, over two databases: SqliteStore
// (one file, one service) and PostgresStore (one database shared by several services).
//
// All methods are safe to call from several threads; each one is atomic on its own. Callers that
// need several calls to be atomic together use Store::Transaction. Methods that return bool
// return false on a database error; a list they fill is then incomplete and must not be used.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace refservice {

// One template as the service keeps it (mirrors the libraryTemplate message record).
struct TemplateData {
  std::optional<std::string> name;
  std::optional<std::string> description;
  std::string docId;        // GUID text, lower case
  std::string docPassword;  // GUID text, lower case
  std::optional<std::string> category;
  bool isActive = true;
  int pageCount = 0;
  std::string width = "0";  // decimal text
  std::string height = "0";
  std::string bleed = "0";
  int clientType = 0;
  int userId = 0;
  int fullScreenWindow = 0;
  bool committed = false;
};

// One stored field: its name and the complete field record as the SOAP layer serialised it.
struct FieldData {
  std::string name;
  std::string record;
};

struct LogicGroupData {
  int id = 0;
  std::string name;
  int moveDirection = 0;
};

struct AssetData {
  std::optional<std::string> url;
  std::optional<std::string> name;
  int type = 0;
  int imagePickerNum = 0;
};

// One template with its owner and the sizes of its lists, as the read-only commands show it.
struct TemplateSummary {
  std::string owner;  // the owner's e-mail address
  TemplateData data;
  int64_t row = 0;  // internal row id, for GetFields, GetLogicGroups and GetAssets
  int fieldCount = 0;
  int groupCount = 0;
  int assetCount = 0;
  int commitCount = 0;
};

// One account: its id, e-mail address as stored, and its opaque credential text (the accounts
// code writes and reads it; the store never looks inside).
struct UserRecord {
  int id = 0;
  std::string email;
  std::string credential;
};

// Whether TakePublishLease got the lease.
enum class LeaseResult {
  kTaken,  // the lease is the caller's until it is renewed, released or expires
  kHeld,   // a live lease of another run holds the template
  kError,  // the database failed
};

struct UploadData {
  std::string session;
  std::string token;  // the upload's own address part; empty for files stored before tokens
  std::string name;   // clean file name
  uint64_t size = 0;
  std::string sha256;
  std::string instance;  // the service instance that records it (pending uploads)
};

// The limits ReserveUploadBytes enforces, in bytes; 0 means no limit.
struct QuotaLimits {
  uint64_t perSession = 0;
  uint64_t total = 0;
};

enum class QuotaResult {
  kReserved,
  kSessionFull,  // the session would pass its limit; nothing was reserved
  kTotalFull,    // all uploaded files together would pass the limit; nothing was reserved
  kError,
};

// One running service on the store: its id, a description for people, and its heartbeat.
struct InstanceData {
  std::string id;
  std::string description;  // "pid N on host H"
  int64_t heartbeatAgeMs = 0;  // how long ago its last heartbeat was, by the database's clock
};

class Store {
 public:
  virtual ~Store() = default;
  Store() = default;
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // A database transaction for the calling thread: the store's calls made by this thread while
  // it lives are part of it, and see and hold what it changed; other threads wait for it or see
  // what was committed. Rolls back on destruction unless Commit was called. Transactions nest (an
  // inner one is a savepoint of the outer one).
  class Transaction {
   public:
    explicit Transaction(Store* store) : store_(store), open_(store->BeginTransaction()) {}
    ~Transaction() {
      if (open_) store_->RollbackTransaction();
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    // True when everything done within it is stored.
    bool Commit() {
      if (!open_) return false;
      open_ = false;
      return store_->CommitTransaction();
    }

   private:
    Store* store_;
    bool open_;
  };

  // Accounts. E-mail addresses match in any ASCII letter case.

  // Creates the account or replaces its credential.
  virtual bool SetUserCredential(const std::string& email, const std::string& credential) = 0;
  // The account of `email`; `out` is empty when there is none.
  virtual bool FindUser(const std::string& email, std::optional<UserRecord>* out) = 0;
  // Replaces account `id`'s credential with `credential` only when it is still `expected`;
  // `replaced` says whether it was.
  virtual bool ReplaceUserCredential(int id, const std::string& expected,
                                     const std::string& credential, bool* replaced) = 0;
  // Removes the account of `email` when it has no templates; `removed` says whether it did.
  virtual bool RemoveUser(const std::string& email, bool* removed) = 0;
  // How many accounts there are (0 on a database error).
  virtual int UserCount() = 0;

  // The user's templates in creation order.
  virtual bool ListTemplates(int userId, std::vector<TemplateData>* out) = 0;
  // The template with this id (any letter case) of any user, with its internal row id.
  virtual std::optional<TemplateData> FindTemplate(const std::string& docId, int64_t* rowId) = 0;
  // Inserts a new template; returns its row id, or 0 on a database error.
  virtual int64_t InsertTemplate(const TemplateData& data) = 0;
  virtual bool UpdateTemplate(int64_t rowId, const TemplateData& data) = 0;

  // Every user's templates with their owners and list sizes, ordered by owner e-mail, then name
  // (absent names first), then identifier, each in byte order.
  virtual bool ListAllTemplates(std::vector<TemplateSummary>* out) = 0;
  // The template with this identifier (any letter case), with its owner and list sizes; `out` is
  // empty when there is none.
  virtual bool FindTemplateSummary(const std::string& docId,
                                   std::optional<TemplateSummary>* out) = 0;

  // Inside a Transaction: makes every other writer of this template, in this service or in
  // another sharing the store, wait until the transaction ends; a list read after it and replaced
  // before the commit is therefore read-merge-written in one step. False on a database error.
  virtual bool LockTemplate(int64_t templateRow) = 0;

  virtual bool GetFields(int64_t templateRow, std::vector<FieldData>* out) = 0;
  // Replaces the template's whole field list, keeping the given order, in one transaction;
  // two replacements at once leave one of the two lists, never a mix.
  virtual bool ReplaceFields(int64_t templateRow, const std::vector<FieldData>& fields) = 0;

  virtual bool GetLogicGroups(int64_t templateRow, std::vector<LogicGroupData>* out) = 0;
  // Adds a group and returns its new id (never reused), or 0 on a database error.
  virtual int AddLogicGroup(int64_t templateRow, const std::string& name, int moveDirection) = 0;
  virtual bool UpdateLogicGroup(int64_t templateRow, int id, const std::string& name,
                                int moveDirection) = 0;

  virtual bool GetAssets(int64_t templateRow, std::vector<AssetData>* out) = 0;
  virtual bool ReplaceAssets(int64_t templateRow, const std::vector<AssetData>& assets) = 0;

  // Records a commit of the template with its current field and asset counts.
  virtual bool AddCommit(int64_t templateRow) = 0;
  virtual int CommitCount(int64_t templateRow) = 0;
  // When the template was last committed ("YYYY-MM-DD HH:MM:SS", UTC), or "" when never.
  virtual std::string LastCommitTime(int64_t templateRow) = 0;

  // The identifier of the first (oldest) template of the user whose name is exactly `name` (byte
  // for byte) and which has never been committed; `out` is empty when there is none. Called in a
  // transaction, it also keeps every other caller's check for the same user waiting until that
  // transaction ends, so that a check and the insert that follows it are atomic across every
  // service sharing the store.
  virtual bool FindUncommittedNamesake(int userId, const std::string& name,
                                       std::optional<std::string>* out) = 0;

  // Publish leases: at most one row per template, holding the owner token of the run that holds
  // it and its expiry. Times are the database's clock, so that every process sharing the
  // database agrees on when a lease expires; a lease is live while its expiry lies ahead.

  // Takes the template's lease for `owner` for `durationMs` from now, unless another live lease
  // holds it; a lease that has expired is replaced. One statement, so two callers can never both
  // get it. On kHeld, `remainingMs` (when not null) is how long the live lease has left.
  virtual LeaseResult TakePublishLease(int64_t templateRow, const std::string& owner,
                                       int64_t durationMs, int64_t* remainingMs) = 0;
  // Moves the expiry of the template's live lease to `durationMs` from now. A template without a
  // live lease is left alone.
  virtual bool RenewPublishLease(int64_t templateRow, int64_t durationMs) = 0;
  // Ends the template's lease, live or not.
  virtual bool ReleasePublishLease(int64_t templateRow) = 0;

  // Uploads are recorded in two steps around the move of the file to its address: BeginUpload
  // records the address as pending (with the instance that moves it) before the file is moved
  // there, RecordUpload turns it into a stored file once it is in place, AbandonUpload forgets it
  // when the move failed. A pending upload of an instance that is gone belongs to a run that was
  // cut between the two steps (see ReconcileUploads); a file at an address without any record
  // was never put there by this service's upload path.

  // Records `upload`'s address as pending. False on a database error or when the address is
  // already pending.
  virtual bool BeginUpload(const UploadData& upload) = 0;
  // Forgets a pending address.
  virtual bool AbandonUpload(const UploadData& upload) = 0;
  // The pending addresses with their instances (size and digest are not known for them).
  virtual bool PendingUploads(std::vector<UploadData>* out) = 0;
  // Records an uploaded file, forgets its pending address and turns the bytes reserved under its
  // token (ReserveUploadBytes) into its stored size, in one transaction. False on a database
  // error or when that address is already taken.
  virtual bool RecordUpload(const UploadData& upload) = 0;
  // The uploaded file at this address; an empty `token` finds files stored before tokens.
  virtual std::optional<UploadData> FindUpload(const std::string& session,
                                               const std::string& token,
                                               const std::string& name) = 0;
  // Whether the address is pending or stored, read in one statement (so an upload that is being
  // recorded at that moment is seen as one or the other).
  virtual bool AddressKnown(const std::string& session, const std::string& token,
                            const std::string& name, bool* known) = 0;

  // Quotas: stored files and reservations of uploads in flight count together. Reserves `bytes`
  // more under `reservation` (an upload's token) for `session`, held by `instance`, unless the
  // session's or the total of all sessions would pass `limits`. Atomic against every caller of
  // every service sharing the store.
  virtual QuotaResult ReserveUploadBytes(const std::string& reservation,
                                         const std::string& instance, const std::string& session,
                                         uint64_t bytes, const QuotaLimits& limits) = 0;
  // Gives back everything reserved under `reservation`.
  virtual bool ReleaseReservation(const std::string& reservation) = 0;
  // The bytes `session` holds (stored and reserved) and those all sessions hold together.
  virtual bool UsedBytes(const std::string& session, uint64_t* sessionBytes,
                         uint64_t* totalBytes) = 0;

  // Service instances. Each running service registers itself and beats its heart; the uploads
  // and reservations of an instance whose heart stopped are given up by the next one to start.

  // Creates or refreshes the instance's row with a heartbeat of now.
  virtual bool RegisterInstance(const std::string& id, const std::string& description) = 0;
  // Moves the instance's heartbeat to now (re-creating its row when another instance had given
  // it up for dead).
  virtual bool Heartbeat(const std::string& id, const std::string& description) = 0;
  // Every registered instance.
  virtual bool ListInstances(std::vector<InstanceData>* out) = 0;
  // Removes the instance's row and every reservation it held.
  virtual bool ForgetInstance(const std::string& id) = 0;

 protected:
  // The Transaction's steps: open a transaction (or a savepoint inside this thread's open one),
  // end it keeping its changes, end it dropping them.
  virtual bool BeginTransaction() = 0;
  virtual bool CommitTransaction() = 0;
  virtual void RollbackTransaction() = 0;
};

}  // namespace refservice
