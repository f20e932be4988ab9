#include "refservice/uploads/upload_reconciler.h"

#include <set>

#include "refservice/uploads/upload_names.h"

namespace refservice {
namespace {

class Reconciler {
 public:
  Reconciler(Store* store, FileSystem* fs, const std::string& uploads, const std::string& incoming,
             const ReconcileScope& scope, ReconcileCounts* counts,
             std::vector<std::string>* warnings)
      : store_(store),
        fs_(fs),
        uploads_(uploads),
        incoming_(incoming),
        scope_(scope),
        counts_(counts),
        warnings_(warnings) {}

  // Reads which instances are live. The incoming folder and the pending uploads are read first:
  // an instance registers before it makes its folder and before it takes any upload, so every
  // folder and pending upload seen here belongs to an instance that the listing of instances
  // that follows shows, if it is live.
  bool FindLive() {
    std::string error;
    if (!fs_->List(incoming_, &incomingEntries_, &error)) {
      warnings_->push_back(error);
      incomingEntries_.clear();
    }
    if (!store_->PendingUploads(&pending_)) return false;
    std::vector<InstanceData> instances;
    if (!store_->ListInstances(&instances)) return false;
    for (const InstanceData& instance : instances) {
      bool live = instance.id == scope_.self ||
                  (!scope_.exclusive && instance.heartbeatAgeMs <= scope_.staleAfterMs);
      if (live) {
        live_.insert(instance.id);
      } else {
        gone_.push_back(instance.id);
      }
    }
    return true;
  }

  void GiveUpPending() {
    for (const UploadData& upload : pending_) {
      if (live_.count(upload.instance) != 0) continue;
      std::string folder = uploads_ + "/" + upload.session + "/" + upload.token;
      std::string error;
      // The move may not have happened: a missing file is what a cut before it leaves.
      uint64_t size = 0;
      bool moved = fs_->OpenForRead(folder + "/" + upload.name, &size, &error).valid();
      if (moved && !Remove(folder + "/" + upload.name)) continue;
      RemoveIfEmpty(folder);
      if (!store_->AbandonUpload(upload)) {
        warnings_->push_back("cannot forget the pending upload " + folder + "/" + upload.name);
        continue;
      }
      ++counts_->pending;
    }
  }

  void RemoveUnrecorded() {
    std::vector<std::string> sessions;
    std::string error;
    if (!fs_->List(uploads_, &sessions, &error)) {
      warnings_->push_back(error);
      return;
    }
    for (const std::string& session : sessions) {
      if (!IsValidSessionId(session)) continue;
      std::vector<std::string> entries;
      if (!fs_->List(uploads_ + "/" + session, &entries, &error)) continue;
      for (const std::string& entry : entries) {
        std::string path = uploads_ + "/" + session + "/" + entry;
        std::vector<std::string> names;
        if (fs_->List(path, &names, &error)) {
          if (IsUploadToken(entry)) RemoveUnrecordedInToken(session, entry, names);
        } else if (IsCleanFileName(entry)) {
          // A file stored before addresses had tokens.
          if (!store_->FindUpload(session, "", entry) && Remove(path)) ++counts_->orphans;
        }
      }
    }
  }

  // Temporary files directly in the incoming folder, and the folders of instances that are gone.
  void RemovePartial() {
    for (const std::string& name : incomingEntries_) {
      std::string path = incoming_ + "/" + name;
      std::vector<std::string> inside;
      std::string error;
      if (!fs_->List(path, &inside, &error)) {
        if (name.rfind(kTempFilePrefix, 0) == 0 && Remove(path)) ++counts_->partial;
        continue;
      }
      if (!IsUploadToken(name) || live_.count(name) != 0) continue;
      for (const std::string& file : inside) {
        if (Remove(path + "/" + file)) ++counts_->partial;
      }
      RemoveIfEmpty(path);
    }
  }

  void ForgetGone() {
    for (const std::string& id : gone_) {
      if (store_->ForgetInstance(id)) {
        ++counts_->instances;
      } else {
        warnings_->push_back("cannot forget the stopped service instance " + id);
      }
    }
  }

 private:
  void RemoveUnrecordedInToken(const std::string& session, const std::string& token,
                               const std::vector<std::string>& names) {
    std::string folder = uploads_ + "/" + session + "/" + token;
    for (const std::string& name : names) {
      if (!IsCleanFileName(name)) continue;
      // A live instance's upload is pending from before its file arrives until the moment it is
      // stored, and both are read by one statement: its file is always known.
      bool known = true;
      if (!store_->AddressKnown(session, token, name, &known)) {
        warnings_->push_back("cannot read the record of " + folder + "/" + name);
        continue;
      }
      if (!known && Remove(folder + "/" + name)) ++counts_->orphans;
    }
    RemoveIfEmpty(folder);
  }

  bool Remove(const std::string& path) {
    std::string error;
    if (fs_->Remove(path, &error)) return true;
    warnings_->push_back(error);
    return false;
  }

  void RemoveIfEmpty(const std::string& folder) {
    std::vector<std::string> left;
    std::string error;
    if (fs_->List(folder, &left, &error) && left.empty()) fs_->RemoveFolder(folder, &error);
  }

  Store* store_;
  FileSystem* fs_;
  std::string uploads_;
  std::string incoming_;
  ReconcileScope scope_;
  ReconcileCounts* counts_;
  std::vector<std::string>* warnings_;
  std::vector<std::string> incomingEntries_;
  std::vector<UploadData> pending_;
  std::set<std::string> live_;
  std::vector<std::string> gone_;
};

}  // namespace

bool ReconcileUploads(Store* store, FileSystem* fs, const std::string& uploadsFolder,
                      const std::string& incomingFolder, const ReconcileScope& scope,
                      ReconcileCounts* counts, std::vector<std::string>* warnings) {
  Reconciler reconciler(store, fs, uploadsFolder, incomingFolder, scope, counts, warnings);
  if (!reconciler.FindLive()) return false;
  reconciler.GiveUpPending();
  reconciler.RemoveUnrecorded();
  reconciler.RemovePartial();
  reconciler.ForgetGone();
  return true;
}

}  // namespace refservice
