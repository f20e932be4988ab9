#include "refservice/templates/template_manager.h"

#include <algorithm>
#include <deque>
#include <string_view>
#include <unordered_map>

#include "refservice/accounts/caller_address.h"
#include "refservice/common/identifiers.h"
#include "text/ascii_case.h"

namespace refservice {
namespace {

constexpr size_t kMaxDecimalLength = 40;

bool Fail(ServiceError* error, bool client, std::string reason) {
  error->client = client;
  error->reason = std::move(reason);
  return false;
}

bool StoreFailure(ServiceError* error) {
  return Fail(error, false, "The template store could not be updated; nothing was changed.");
}

bool StoreReadFailure(ServiceError* error) {
  return Fail(error, false, "The template store could not be read; nothing was changed.");
}

template <typename Record>
bool AnyUnnamed(const std::vector<Record>& records) {
  return std::any_of(records.begin(), records.end(),
                     [](const Record& record) { return record.name.empty(); });
}

bool IsZeroOrEmptyId(const std::string& id) { return id.empty() || id == kZeroGuid; }

std::string BeingPublishedText(const std::string& docId, int64_t remainingMs) {
  const int64_t seconds = remainingMs <= 0 ? 1 : (remainingMs + 999) / 1000;
  return "Template " + docId +
         " is being published by another run; try again when that publish has ended (if it "
         "stopped midway, the template is free again in " +
         std::to_string(seconds) + " s).";
}

std::string NamesakeText(const std::string& name, const std::string& docId) {
  return "A template named \"" + name + "\" (" + docId +
         ") has not been committed yet, probably because it is being published right now; a "
         "second template of that name is not created. Try again when that publish has ended.";
}

}  // namespace

bool IsDecimalText(const std::string& text) {
  if (text.empty() || text.size() > kMaxDecimalLength) return false;
  size_t i = 0;
  if (text[i] == '-' || text[i] == '+') ++i;
  size_t digits = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digits > 0;
}

bool TemplateManager::Authenticate(const Credentials& user, int* userId, ServiceError* error) {
  SignInResult result = accounts_->SignIn(user.email, user.password, CallerAddress());
  switch (result.status) {
    case SignInResult::Status::kSignedIn:
      *userId = result.userId;
      return true;
    case SignInResult::Status::kWrongCredentials:
      break;
    case SignInResult::Status::kThrottled:
      return Fail(error, true, TooManyFailuresText(result.retryAfterSeconds));
    case SignInResult::Status::kStoreFailure:
      return Fail(error, false, "The service cannot read its accounts; try again later.");
  }
  return Fail(error, true, "Invalid user name or password.");
}

bool TemplateManager::OpenTemplate(int userId, const TemplateKey& key, int64_t* row,
                                   TemplateData* data, ServiceError* error) {
  if (key.code.empty()) return Fail(error, true, "docCode is missing: no template was named.");
  std::optional<TemplateData> found = store_->FindTemplate(key.code, row);
  // Another user's template is reported exactly like a missing one.
  if (!found || found->userId != userId) {
    return Fail(error, true, "Template " + key.code + " does not exist.");
  }
  if (textutil::Lower(key.password) != found->docPassword) {
    return Fail(error, true, "Wrong template password for template " + key.code + ".");
  }
  *data = std::move(*found);
  return true;
}

bool TemplateManager::Begin(const Credentials& user, Call* call, ServiceError* error) {
  if (!Authenticate(user, &call->userId, error)) return false;
  call->lock = std::unique_lock<std::mutex>(mutex_);
  return true;
}

bool TemplateManager::BeginOnTemplate(const Credentials& user, const TemplateKey& key, Call* call,
                                      ServiceError* error) {
  return Begin(user, call, error) &&
         OpenTemplate(call->userId, key, &call->row, &call->data, error);
}

bool TemplateManager::BeginChange(const Credentials& user, const TemplateKey& key,
                                  const char* refusal, Call* call, ServiceError* error) {
  if (!BeginOnTemplate(user, key, call, error)) return false;
  if (refusal != nullptr) return Fail(error, true, refusal);
  call->transaction.emplace(store_);
  return store_->LockTemplate(call->row) || StoreFailure(error);
}

bool TemplateManager::MarkChanged(int64_t row, TemplateData* data, ServiceError* error) {
  if (!store_->RenewPublishLease(row, publishLeaseMs_)) return StoreFailure(error);
  if (!data->committed) return true;
  data->committed = false;
  return store_->UpdateTemplate(row, *data) || StoreFailure(error);
}

bool TemplateManager::TakeLease(int64_t row, int userId, const TemplateData& current,
                                ServiceError* error) {
  const std::string& docId = current.docId;
  const auto abandoned = abandoned_.find({userId, textutil::Lower(docId)});
  if (abandoned != abandoned_.end()) {
    if (abandoned->second == current.docPassword) {
      if (!store_->ReleasePublishLease(row)) return StoreFailure(error);
    }
    abandoned_.erase(abandoned);
  }
  int64_t remainingMs = 0;
  switch (store_->TakePublishLease(row, NewGuid(), publishLeaseMs_, &remainingMs)) {
    case LeaseResult::kTaken:
      return true;
    case LeaseResult::kHeld:
      return Fail(error, false, BeingPublishedText(docId, remainingMs));
    case LeaseResult::kError:
      break;
  }
  return StoreFailure(error);
}

bool TemplateManager::GetLibraryTemplates(const Credentials& user, std::vector<TemplateData>* out,
                                          ServiceError* error) {
  Call call;
  if (!Begin(user, &call, error)) return false;
  return store_->ListTemplates(call.userId, out) || StoreReadFailure(error);
}

bool TemplateManager::SetTemplate(const Credentials& user, const std::optional<std::string>& code,
                                  const std::optional<std::string>& password,
                                  const TemplateData& info, TemplateData* out,
                                  ServiceError* error) {
  Call call;
  if (!Begin(user, &call, error)) return false;
  const int userId = call.userId;

  TemplateData record = info;
  for (std::string* value : {&record.width, &record.height, &record.bleed}) {
    if (value->empty()) *value = "0";
  }
  if (!IsDecimalText(record.width) || !IsDecimalText(record.height) ||
      !IsDecimalText(record.bleed)) {
    return Fail(error, true, "docWidth, docHeight and docBleed must be decimal numbers.");
  }
  if (record.clientType < 0 || record.clientType > 255) {
    return Fail(error, true, "clientType must be between 0 and 255.");
  }

  std::string id = code && !code->empty() ? *code : info.docId;
  std::string key = password && !password->empty() ? *password : info.docPassword;
  // The checks, the write and the lease are one transaction: a refusal changes nothing.
  Store::Transaction transaction(store_);
  int64_t row = 0;
  if (IsZeroOrEmptyId(id)) {
    if (record.name) {
      std::optional<std::string> namesake;
      if (!store_->FindUncommittedNamesake(userId, *record.name, &namesake)) {
        return StoreReadFailure(error);
      }
      if (namesake) return Fail(error, false, NamesakeText(*record.name, *namesake));
    }
    record.docId = NewGuid();
    record.docPassword = NewGuid();
    record.userId = userId;
    record.committed = false;
    row = store_->InsertTemplate(record);
    if (row == 0) return StoreFailure(error);
    if (!TakeLease(row, userId, record, error)) return false;
  } else {
    if (!IsGuidText(id)) return Fail(error, true, "docID " + id + " is not a GUID.");
    TemplateData current;
    if (!OpenTemplate(userId, TemplateKey{id, key}, &row, &current, error)) return false;
    record.docId = current.docId;
    record.docPassword = current.docPassword;
    record.userId = userId;
    record.committed = false;
    if (!TakeLease(row, userId, current, error)) return false;
    if (!store_->UpdateTemplate(row, record)) return StoreFailure(error);
  }
  if (!transaction.Commit()) return StoreFailure(error);
  *out = std::move(record);
  return true;
}

bool TemplateManager::GetFields(const Credentials& user, const TemplateKey& key,
                                std::vector<FieldData>* out, ServiceError* error) {
  Call call;
  if (!BeginOnTemplate(user, key, &call, error)) return false;
  return store_->GetFields(call.row, out) || StoreReadFailure(error);
}

bool TemplateManager::SetFields(const Credentials& user, const TemplateKey& key,
                                std::vector<FieldData> fields, bool deleteOthers,
                                std::vector<FieldData>* out, ServiceError* error) {
  Call call;
  const char* unnamed = AnyUnnamed(fields) ? "Every field needs a fieldName." : nullptr;
  if (!BeginChange(user, key, unnamed, &call, error)) return false;
  // The merge reads the stored list and writes it back; the template's lock keeps every other
  // service's setFields of it out in between, so neither update is lost.
  std::vector<FieldData> stored;
  if (!store_->GetFields(call.row, &stored)) return StoreReadFailure(error);
  // Each sent field replaces the first stored field of its name not replaced yet; the stored
  // fields of each name are queued in stored order, so this stays linear in the record count.
  std::unordered_map<std::string_view, std::deque<size_t>> unreplaced;
  unreplaced.reserve(stored.size());
  for (size_t i = 0; i < stored.size(); ++i) unreplaced[stored[i].name].push_back(i);
  std::vector<bool> replaced(stored.size(), false);
  std::vector<FieldData> appended;
  appended.reserve(fields.size());
  for (FieldData& field : fields) {
    auto queue = unreplaced.find(field.name);
    if (queue == unreplaced.end() || queue->second.empty()) {
      appended.push_back(std::move(field));
      continue;
    }
    size_t i = queue->second.front();
    queue->second.pop_front();
    // The map's keys view the stored names, so a replacement keeps the stored name's bytes
    // (equal to the sent one) and moves only the record in.
    stored[i].record = std::move(field.record);
    replaced[i] = true;
  }
  std::vector<FieldData> result;
  result.reserve(stored.size() + appended.size());
  for (size_t i = 0; i < stored.size(); ++i) {
    if (replaced[i] || !deleteOthers) result.push_back(std::move(stored[i]));
  }
  for (FieldData& field : appended) result.push_back(std::move(field));

  if (!store_->ReplaceFields(call.row, result) || !MarkChanged(call.row, &call.data, error) ||
      !call.transaction->Commit()) {
    return StoreFailure(error);
  }
  *out = std::move(result);
  return true;
}

bool TemplateManager::GetLogicGroups(const Credentials& user, const TemplateKey& key,
                                     std::vector<LogicGroupData>* out, ServiceError* error) {
  Call call;
  if (!BeginOnTemplate(user, key, &call, error)) return false;
  // A call of the run: it renews a live hold like the changing calls (a run between two of its
  // changes renews with this cheap call), and takes no hold that is not there.
  store_->RenewPublishLease(call.row, publishLeaseMs_);
  return store_->GetLogicGroups(call.row, out) || StoreReadFailure(error);
}

bool TemplateManager::SetLogicGroups(const Credentials& user, const TemplateKey& key,
                                     const std::vector<LogicGroupData>& groups,
                                     std::vector<LogicGroupData>* out, ServiceError* error) {
  Call call;
  const char* unnamed = AnyUnnamed(groups) ? "Every logic group needs a logicGroupName." : nullptr;
  if (!BeginChange(user, key, unnamed, &call, error)) return false;
  for (const LogicGroupData& group : groups) {
    std::vector<LogicGroupData> current;
    if (!store_->GetLogicGroups(call.row, &current)) return StoreFailure(error);
    const LogicGroupData* byName = nullptr;
    const LogicGroupData* byId = nullptr;
    for (const LogicGroupData& known : current) {
      if (known.name == group.name && byName == nullptr) byName = &known;
      if (group.id > 0 && known.id == group.id) byId = &known;
    }
    bool ok = true;
    if (byName != nullptr) {
      ok = store_->UpdateLogicGroup(call.row, byName->id, group.name, group.moveDirection);
    } else if (byId != nullptr) {
      ok = store_->UpdateLogicGroup(call.row, byId->id, group.name, group.moveDirection);
    } else {
      ok = store_->AddLogicGroup(call.row, group.name, group.moveDirection) != 0;
    }
    if (!ok) return StoreFailure(error);
  }
  if (!MarkChanged(call.row, &call.data, error) || !call.transaction->Commit())
    return StoreFailure(error);
  return store_->GetLogicGroups(call.row, out) || StoreReadFailure(error);
}

bool TemplateManager::SetAssets(const Credentials& user, const TemplateKey& key,
                                const std::vector<AssetChange>& changes,
                                std::vector<AssetData>* out, ServiceError* error) {
  Call call;
  // Read, change and write back as one step.
  if (!BeginChange(user, key, nullptr, &call, error)) return false;
  std::vector<AssetData> assets;
  if (!store_->GetAssets(call.row, &assets)) return StoreReadFailure(error);
  for (const AssetChange& change : changes) {
    const AssetData& asset = change.asset;
    auto same = [&asset](const AssetData& stored) {
      if (asset.name && !asset.name->empty()) return stored.name == asset.name;
      return !(stored.name && !stored.name->empty()) && stored.url == asset.url;
    };
    if (change.remove) {
      std::vector<AssetData> kept;
      for (AssetData& stored : assets) {
        if (!same(stored)) kept.push_back(std::move(stored));
      }
      assets = std::move(kept);
      continue;
    }
    bool hasName = asset.name && !asset.name->empty();
    bool replaced = false;
    for (AssetData& stored : assets) {
      if (hasName && same(stored)) {
        stored = asset;
        replaced = true;
        break;
      }
    }
    if (!replaced) assets.push_back(asset);
  }
  if (!store_->ReplaceAssets(call.row, assets) || !MarkChanged(call.row, &call.data, error) ||
      !call.transaction->Commit()) {
    return StoreFailure(error);
  }
  *out = std::move(assets);
  return true;
}

bool TemplateManager::CommitTemplate(const Credentials& user, const TemplateKey& key,
                                     TemplateData* out, ServiceError* error) {
  Call call;
  if (!BeginOnTemplate(user, key, &call, error)) return false;
  call.data.committed = true;
  Store::Transaction transaction(store_);
  if (!store_->UpdateTemplate(call.row, call.data) || !store_->AddCommit(call.row) ||
      !store_->ReleasePublishLease(call.row) || !transaction.Commit()) {
    return StoreFailure(error);
  }
  *out = std::move(call.data);
  return true;
}

void TemplateManager::AbandonPublish(const Credentials& user, const TemplateKey& key) {
  // Not a sign-in of its own: the call the fault answered already was one (and counted as a
  // failure if its credentials were wrong). Only credentials that call verified open the
  // template here.
  std::optional<int> userId = accounts_->VerifiedUser(user.email, user.password);
  if (!userId || key.code.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  int64_t row = 0;
  TemplateData data;
  ServiceError ignored;
  if (OpenTemplate(*userId, key, &row, &data, &ignored) && store_->ReleasePublishLease(row)) {
    return;
  }
  // The store could not be read or written (an outage is the likely cause of the fault itself):
  // the run is over all the same, so its hold ends at the owner's next setTemplate of it rather
  // than when it lapses.
  // The key is checked when it is used: only a later setTemplate that opens the template with
  // the same password ends the lease.
  if (abandoned_.size() >= kMaxAbandoned) abandoned_.erase(abandoned_.begin());
  abandoned_[{*userId, textutil::Lower(key.code)}] = textutil::Lower(key.password);
}

}  // namespace refservice
