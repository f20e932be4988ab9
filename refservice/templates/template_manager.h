// What the template service's eight operations mean, independent of their wire form: every
// operation checks the caller's credentials, every template operation checks the template's
// password, and a user only ever sees or changes their own templates.
//
// One publish of a template at a time. A publish run is what the plug-in sends for one template:
// setTemplate, then getLogicGroups, setLogicGroups, setFields, setAssets and commitTemplate. Its
// calls carry the account and the template's identifier and password, and nothing that tells one
// run from another, so the run is recognised by where it starts: setTemplate takes the
// template's publish lease (a row in the store with a fresh owner token and an expiry), and while
// that lease is live every other setTemplate of the template is refused. A second run therefore
// stops at its first changing call, before it has changed anything; the calls that follow the
// setTemplate are taken as the holder's. getLogicGroups, setLogicGroups, setFields and setAssets
// renew the lease (the plug-in also renews it with getLogicGroups while its own work between two
// calls goes on); commitTemplate ends it, and so does a fault answered to any of the run's later
// calls (the plug-in stops at the first failed call), even when the store could not be written
// at that moment: the owner's next setTemplate of the template then ends it first. A run that
// vanishes loses the lease once it has made no renewing call for the lease time.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "refservice/accounts/accounts.h"
#include "refservice/storage/store.h"

namespace refservice {

// How long a publish run keeps its template without a renewing call, unless configured: 30 s,
// three times the interval at which a live plug-in renews, so that a publisher that stopped
// (Ctrl-C, a kill, a lost line) keeps nobody out for long.
constexpr int64_t kDefaultPublishLeaseMs = 30 * 1000;

// Why an operation failed. `client` is true when the request was at fault (bad credentials,
// unknown template, invalid values) and false for a failure of the service itself or a conflict
// with another run that passes (the same request may succeed later).
struct ServiceError {
  bool client = true;
  std::string reason;
};

struct Credentials {
  std::string email;
  std::string password;
};

// Identifies a template in a request: its docCode (identifier) and docPassword.
struct TemplateKey {
  std::string code;
  std::string password;
};

// One asset of a setAssets request; `remove` is the request's "delete" flag.
struct AssetChange {
  AssetData asset;
  bool remove = false;
};

class TemplateManager {
 public:
  // `store` must be open; it and `accounts` (which signs callers in) must outlive the manager.
  // `publishLeaseMs` is how long a publish run holds its template after its last renewing call.
  // Callers are signed in from the address CallerAddress() names (caller_address.h).
  TemplateManager(Store* store, Accounts* accounts, int64_t publishLeaseMs = kDefaultPublishLeaseMs)
      : store_(store), accounts_(accounts), publishLeaseMs_(publishLeaseMs) {}

  // The caller's templates in creation order, with their identifiers and passwords.
  bool GetLibraryTemplates(const Credentials& user, std::vector<TemplateData>* out,
                           ServiceError* error);

  // Creates or updates a template from `info`. The identifier is `code` when given and non-empty,
  // else info.docId; the password likewise from `password` or info.docPassword. An empty or
  // all-zero identifier creates a new template with a fresh random identifier and password; any
  // other identifier must name one of the caller's templates with that password, which is then
  // updated (identifier, password and owner stay; the template becomes uncommitted). Widths,
  // heights and bleeds must be decimal numbers (empty counts as 0). On success `out` is the
  // stored record and the template's publish lease is taken (the created or updated template is
  // the caller's until commitTemplate).
  // Refused, changing nothing: an update while another run's lease on the template is live, and
  // a creation under a name (byte for byte) that one of the user's templates has which was never
  // committed.
  bool SetTemplate(const Credentials& user, const std::optional<std::string>& code,
                   const std::optional<std::string>& password, const TemplateData& info,
                   TemplateData* out, ServiceError* error);

  // The template's fields in stored order.
  bool GetFields(const Credentials& user, const TemplateKey& key, std::vector<FieldData>* out,
                 ServiceError* error);

  // Merges `fields` into the template's list: each sent field replaces the first stored field of
  // the same name not yet replaced by this request (keeping its place), or is appended. With
  // `deleteOthers` the stored fields that no sent field replaced are removed. Every field needs
  // a non-empty name. `out` is the template's whole list afterwards. Renews a live publish lease,
  // as setLogicGroups and setAssets do.
  // `fields` is taken by value: its records move into the store and the answer, not copied.
  bool SetFields(const Credentials& user, const TemplateKey& key, std::vector<FieldData> fields,
                 bool deleteOthers, std::vector<FieldData>* out, ServiceError* error);

  // The template's logic groups in id order.
  bool GetLogicGroups(const Credentials& user, const TemplateKey& key,
                      std::vector<LogicGroupData>* out, ServiceError* error);

  // Stores `groups`: a group whose name the template already has keeps that group's id (its
  // direction is updated); a group with an unknown name but the id of one of this template's
  // groups renames it; any other group is added with a new id. Groups not sent are kept. Names
  // must be non-empty. `out` is all of the template's groups afterwards, in id order.
  bool SetLogicGroups(const Credentials& user, const TemplateKey& key,
                      const std::vector<LogicGroupData>& groups, std::vector<LogicGroupData>* out,
                      ServiceError* error);

  // Applies asset changes in order: an asset replaces the stored asset of the same name (in
  // place) or is appended; with `remove` set it deletes the stored assets of that name instead.
  // Assets without a name are appended (or, with `remove`, delete those with the same URL).
  // `out` is the template's whole asset list afterwards.
  bool SetAssets(const Credentials& user, const TemplateKey& key,
                 const std::vector<AssetChange>& changes, std::vector<AssetData>* out,
                 ServiceError* error);

  // Marks the template committed, records the commit, ends the publish lease and returns the
  // template record.
  bool CommitTemplate(const Credentials& user, const TemplateKey& key, TemplateData* out,
                      ServiceError* error);

  // Ends the template's publish lease after a fault was answered to one of the run's calls that
  // follow setTemplate. Does nothing unless the credentials and key open one of the user's
  // templates.
  void AbandonPublish(const Credentials& user, const TemplateKey& key);

 private:
  // Checks the credentials; sets `userId` or the error. Called before the operation lock is
  // taken, so that password hashing (milliseconds per cache miss) runs in parallel and a wrong
  // password holds up nobody else.
  bool Authenticate(const Credentials& user, int* userId, ServiceError* error);
  // One operation's hold on the manager: the signed-in account and the operation lock, after
  // BeginOnTemplate the opened template's row id and record, after BeginChange the store's
  // transaction. Both end with the call (the transaction first, rolled back unless committed).
  struct Call {
    int userId = 0;
    std::unique_lock<std::mutex> lock;
    int64_t row = 0;
    TemplateData data;
    std::optional<Store::Transaction> transaction;  // a changing operation's, from BeginChange
  };
  // The start of every operation: signs the caller in (outside the lock), then takes the lock.
  bool Begin(const Credentials& user, Call* call, ServiceError* error);
  // Begin, then opens the template `key` names for the signed-in account (OpenTemplate).
  bool BeginOnTemplate(const Credentials& user, const TemplateKey& key, Call* call,
                       ServiceError* error);
  // Checks the template key for the signed-in account `userId`; fills the template's row id and
  // record.
  bool OpenTemplate(int userId, const TemplateKey& key, int64_t* row, TemplateData* data,
                    ServiceError* error);
  // BeginOnTemplate; then the client's fault `refusal` unless it is null; then the transaction and
  // the template's lock in the store, which keeps other services' changes of it out until it ends.
  bool BeginChange(const Credentials& user, const TemplateKey& key, const char* refusal, Call* call,
                   ServiceError* error);
  // Marks a changed template uncommitted and renews its live publish lease.
  bool MarkChanged(int64_t row, TemplateData* data, ServiceError* error);
  // Takes the template's publish lease for a new run; fails with the text for the client when
  // another run holds it.
  bool TakeLease(int64_t row, int userId, const TemplateData& current, ServiceError* error);

  // Templates (account, lower-case identifier; the lower-case password the fault's call gave)
  // whose run ended with a fault while the store could not end the lease. Bounded: one is
  // forgotten when it is full (its lease lapses anyway).
  static constexpr size_t kMaxAbandoned = 1024;

  Store* store_;
  Accounts* accounts_;
  int64_t publishLeaseMs_;
  std::map<std::pair<int, std::string>, std::string> abandoned_;  // guarded by mutex_
  std::mutex mutex_;  // one operation at a time: each is a read-modify-write of one template
};

// True for the text of an xsd:decimal ("-12", "3.50", ".5").
bool IsDecimalText(const std::string& text);

}  // namespace refservice
