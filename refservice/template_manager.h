// What the template service's eight operations mean, independent of their wire form: every
// operation checks the caller's credentials, every template operation checks the template's
// password, and a user only ever sees or changes their own templates.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "refservice/storage/store.h"

namespace refservice {

// Why an operation failed. `client` is true when the request was at fault (bad credentials,
// unknown template, invalid values) and false for a failure of the service itself.
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
  // `store` must be open and outlive the manager.
  explicit TemplateManager(Store* store) : store_(store) {}

  // The caller's templates in creation order, with their identifiers and passwords.
  bool GetLibraryTemplates(const Credentials& user, std::vector<TemplateData>* out,
                           ServiceError* error);

  // Creates or updates a template from `info`. The identifier is `code` when given and non-empty,
  // else info.docId; the password likewise from `password` or info.docPassword. An empty or
  // all-zero identifier creates a new template with a fresh random identifier and password; any
  // other identifier must name one of the caller's templates with that password, which is then
  // updated (identifier, password and owner stay; the template becomes uncommitted). Widths,
  // heights and bleeds must be decimal numbers (empty counts as 0). On success `out` is the
  // stored record.
  bool SetTemplate(const Credentials& user, const std::optional<std::string>& code,
                   const std::optional<std::string>& password, const TemplateData& info,
                   TemplateData* out, ServiceError* error);

  // The template's fields in stored order.
  bool GetFields(const Credentials& user, const TemplateKey& key, std::vector<FieldData>* out,
                 ServiceError* error);

  // Merges `fields` into the template's list: each sent field replaces the first stored field of
  // the same name not yet replaced by this request (keeping its place), or is appended. With
  // `deleteOthers` the stored fields that no sent field replaced are removed. Every field needs
  // a non-empty name. `out` is the template's whole list afterwards.
  bool SetFields(const Credentials& user, const TemplateKey& key,
                 const std::vector<FieldData>& fields, bool deleteOthers,
                 std::vector<FieldData>* out, ServiceError* error);

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

  // Marks the template committed, records the commit and returns the template record.
  bool CommitTemplate(const Credentials& user, const TemplateKey& key, TemplateData* out,
                      ServiceError* error);

 private:
  // Checks the credentials; sets `userId` or the error.
  bool Authenticate(const Credentials& user, int* userId, ServiceError* error);
  // Checks credentials and template key; fills the template's row id and record.
  bool OpenTemplate(const Credentials& user, const TemplateKey& key, int64_t* row,
                    TemplateData* data, ServiceError* error);
  // Marks a changed template uncommitted.
  bool MarkChanged(int64_t row, TemplateData* data, ServiceError* error);

  Store* store_;
  std::mutex mutex_;  // one operation at a time: each is a read-modify-write of one template
};

// True for the text of an xsd:decimal ("-12", "3.50", ".5").
bool IsDecimalText(const std::string& text);

}  // namespace refservice
