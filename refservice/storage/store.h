// Persistent state of the reference service in one SQLite database: user accounts, templates,
// their fields, logic groups and assets, commits, the record of uploaded files, and the publish
// leases that let one publish of a template run at a time.
//
// All methods are safe to call from several threads; each one is atomic on its own. Callers that
// need several calls to be atomic together use Store::Transaction.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

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

// Whether TakePublishLease got the lease.
enum class LeaseResult {
  kTaken,  // the lease is the caller's until it is renewed, released or expires
  kHeld,   // a live lease of another run holds the template
  kError,  // the database failed
};

// One account as the store keeps it. `credential` is opaque to the store: the accounts layer
// writes and reads it (a password hash in a self-describing text form).
struct UserRecord {
  int id = 0;
  std::string email;
  std::string credential;
};

struct UploadData {
  std::string session;
  std::string token;  // the upload's own address part; empty for files stored before tokens
  std::string name;   // clean file name
  uint64_t size = 0;
  std::string sha256;
};

class Store {
 public:
  Store() = default;
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // Opens (creating when missing) the database file and its tables. Returns false with `error`
  // set when the file cannot be opened or is not a database of this service.
  bool Open(const std::string& path, std::string* error);

  // Opens an existing database of this service for reading only, beside a service that may be
  // writing to it. Returns false with `error` set when the file is missing, is not a database, or
  // is not a database of this service. Write methods fail on a store opened this way.
  bool OpenReadOnly(const std::string& path, std::string* error);

  // Holds the store's lock and an SQLite transaction for its lifetime; rolls back on destruction
  // unless Commit was called. Store methods may be called while it is held (same thread only).
  class Transaction {
   public:
    explicit Transaction(Store* store);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool Commit();

   private:
    Store* store_;
    std::unique_lock<std::recursive_mutex> lock_;
    bool open_ = false;
  };

  // Accounts. E-mail addresses are matched in any letter case; the credential text is stored
  // and returned as given.

  // Creates the account with `credential`, or replaces the credential of the existing one.
  // False on a database error.
  bool SetUserCredential(const std::string& email, const std::string& credential);
  // The account with this e-mail address; `out` is empty when there is none. False on a
  // database error.
  bool FindUser(const std::string& email, std::optional<UserRecord>* out);
  // Replaces account `id`'s credential with `credential` only while it is still `expected`
  // (so a password changed meanwhile is never overwritten); `replaced` says whether it was.
  // False on a database error.
  bool ReplaceUserCredential(int id, const std::string& expected, const std::string& credential,
                             bool* replaced);
  // Removes the account together with every template it owns (their fields, logic groups,
  // assets, commits and publish leases), in one transaction; `removed` says whether there was
  // such an account. Callers that must not lose templates check ListTemplates first. False on
  // a database error (nothing is removed then).
  bool RemoveUser(const std::string& email, bool* removed);
  // How many accounts there are (0 on a database error).
  int UserCount();

  // Read methods that fill a list return false on a database error (the list is then
  // incomplete and must not be used).

  // The user's templates in creation order.
  bool ListTemplates(int userId, std::vector<TemplateData>* out);
  // The template with this id (any letter case) of any user, with its internal row id.
  std::optional<TemplateData> FindTemplate(const std::string& docId, int64_t* rowId);
  // Inserts a new template; returns its row id, or 0 on a database error.
  int64_t InsertTemplate(const TemplateData& data);
  bool UpdateTemplate(int64_t rowId, const TemplateData& data);

  // Every user's templates with their owners and list sizes, ordered by owner e-mail, then name
  // (absent names first), then identifier, each in byte order.
  bool ListAllTemplates(std::vector<TemplateSummary>* out);
  // The template with this identifier (any letter case), with its owner and list sizes; `out` is
  // empty when there is none.
  bool FindTemplateSummary(const std::string& docId, std::optional<TemplateSummary>* out);

  bool GetFields(int64_t templateRow, std::vector<FieldData>* out);
  // Replaces the template's whole field list, keeping the given order.
  bool ReplaceFields(int64_t templateRow, const std::vector<FieldData>& fields);

  bool GetLogicGroups(int64_t templateRow, std::vector<LogicGroupData>* out);
  // Adds a group and returns its new id (never reused), or 0 on a database error.
  int AddLogicGroup(int64_t templateRow, const std::string& name, int moveDirection);
  bool UpdateLogicGroup(int64_t templateRow, int id, const std::string& name, int moveDirection);

  bool GetAssets(int64_t templateRow, std::vector<AssetData>* out);
  bool ReplaceAssets(int64_t templateRow, const std::vector<AssetData>& assets);

  // Records a commit of the template with its current field and asset counts.
  bool AddCommit(int64_t templateRow);
  int CommitCount(int64_t templateRow);
  // When the template was last committed ("YYYY-MM-DD HH:MM:SS", UTC), or "" when never.
  std::string LastCommitTime(int64_t templateRow);

  // The identifier of the first (oldest) template of the user whose name is exactly `name` (byte
  // for byte) and which has never been committed; `out` is empty when there is none. False on a
  // database error.
  bool FindUncommittedNamesake(int userId, const std::string& name,
                               std::optional<std::string>* out);

  // Publish leases: at most one row per template, holding the owner token of the run that holds
  // it and its expiry. Times are the database's clock, so that every process sharing the
  // database agrees on when a lease expires; a lease is live while its expiry lies ahead.

  // Takes the template's lease for `owner` for `durationMs` from now, unless another live lease
  // holds it; a lease that has expired is replaced. One statement, so two callers can never both
  // get it. On kHeld, `remainingMs` (when not null) is how long the live lease has left.
  LeaseResult TakePublishLease(int64_t templateRow, const std::string& owner, int64_t durationMs,
                               int64_t* remainingMs);
  // Moves the expiry of the template's live lease to `durationMs` from now. A template without a
  // live lease is left alone. False on a database error.
  bool RenewPublishLease(int64_t templateRow, int64_t durationMs);
  // Ends the template's lease, live or not. False on a database error.
  bool ReleasePublishLease(int64_t templateRow);

  // Uploads are recorded in two steps around the move of the file to its address: BeginUpload
  // records the address as pending before the file is moved there, RecordUpload turns it into a
  // stored file once it is in place, AbandonUpload forgets it when the move failed. A pending
  // upload found at start-up belongs to a run that was cut between the two steps (see
  // ReconcileUploads); a file at an address without any record was never put there by this
  // service's upload path.

  // Records `upload`'s address as pending. False on a database error or when the address is
  // already pending.
  bool BeginUpload(const UploadData& upload);
  // Forgets a pending address. False on a database error.
  bool AbandonUpload(const UploadData& upload);
  // The pending addresses (size and digest are not known for them).
  bool PendingUploads(std::vector<UploadData>* out);

  // Records an uploaded file and forgets its pending address, in one transaction. False on a
  // database error or when that address is already taken.
  bool RecordUpload(const UploadData& upload);
  // The bytes of uploaded files each session holds.
  bool UploadedBytes(std::vector<std::pair<std::string, uint64_t>>* out);
  // The uploaded file at this address; an empty `token` finds files stored before tokens.
  std::optional<UploadData> FindUpload(const std::string& session, const std::string& token,
                                       const std::string& name);

 private:
  friend class Transaction;
  bool Exec(const char* sql);
  // Checks that the open database is one of this service's; closes it otherwise.
  bool CheckApplicationId(const std::string& path, std::string* error);
  // Brings the schema of a writable database up to the current version, one step per
  // transaction; a database of a newer version than this code knows is refused.
  bool Migrate(const std::string& path, std::string* error);

  std::recursive_mutex mutex_;
  sqlite3* db_ = nullptr;
};

}  // namespace refservice
