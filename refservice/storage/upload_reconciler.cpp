#include "refservice/storage/upload_reconciler.h"

#include "refservice/storage/file_util.h"

namespace refservice {
namespace {

class Reconciler {
 public:
  Reconciler(Store* store, FileSystem* fs, const std::string& uploads, ReconcileCounts* counts,
             std::vector<std::string>* warnings)
      : store_(store), fs_(fs), uploads_(uploads), counts_(counts), warnings_(warnings) {}

  bool GiveUpPending() {
    std::vector<UploadData> pending;
    if (!store_->PendingUploads(&pending)) return false;
    for (const UploadData& upload : pending) {
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
    return true;
  }

  bool RemoveUnrecorded() {
    std::vector<std::string> sessions;
    std::string error;
    if (!fs_->List(uploads_, &sessions, &error)) {
      warnings_->push_back(error);
      return true;
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
    return true;
  }

  // Every temporary file in `incoming`: an upload cut while it arrived.
  void RemovePartial(const std::string& incoming) {
    std::vector<std::string> names;
    std::string error;
    if (!fs_->List(incoming, &names, &error)) {
      warnings_->push_back(error);
      return;
    }
    for (const std::string& name : names) {
      if (Remove(incoming + "/" + name)) ++counts_->partial;
    }
  }

 private:
  void RemoveUnrecordedInToken(const std::string& session, const std::string& token,
                               const std::vector<std::string>& names) {
    std::string folder = uploads_ + "/" + session + "/" + token;
    for (const std::string& name : names) {
      if (!IsCleanFileName(name)) continue;
      if (!store_->FindUpload(session, token, name) && Remove(folder + "/" + name)) {
        ++counts_->orphans;
      }
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
  ReconcileCounts* counts_;
  std::vector<std::string>* warnings_;
};

}  // namespace

bool ReconcileUploads(Store* store, FileSystem* fs, const std::string& uploadsFolder,
                      const std::string& incomingFolder, ReconcileCounts* counts,
                      std::vector<std::string>* warnings) {
  Reconciler reconciler(store, fs, uploadsFolder, counts, warnings);
  if (!reconciler.GiveUpPending() || !reconciler.RemoveUnrecorded()) return false;
  reconciler.RemovePartial(incomingFolder);
  return true;
}

}  // namespace refservice
