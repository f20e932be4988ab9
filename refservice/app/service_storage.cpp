#include "refservice/app/service_storage.h"

#include <algorithm>
#include <vector>

#include "refservice/storage/file_system.h"
#include "refservice/uploads/upload_names.h"
#include "refservice/uploads/upload_reconciler.h"

namespace refservice {
namespace {

// Folders inside the files folder (the names ServiceApp serves from).

}  // namespace

ServiceStorage::~ServiceStorage() { Close(); }

bool ServiceStorage::Open(const StoreLocation& location, const StorageOptions& options,
                          std::ostream& log, std::string* error) {
  const std::string& folder = location.files();
  if (!MakeDirectories(folder, error)) return false;
  // Before anything in the folder is touched: a service that does not share the folder must not
  // clear another one's uploads in flight.
  lock_ = location.shared() ? DataFolderLock::AcquireShared(folder, error)
                            : DataFolderLock::Acquire(folder, error);
  if (!lock_) return false;
  fs_ = OpenFileSystem(folder, error);
  if (!fs_ || !fs_->CreateFolders(kUploadsFolder, error) || !fs_->CreateFolders(kIncomingFolder, error)) {
    return false;
  }
  store_ = OpenStore(location, options.connections, error);
  if (!store_) return false;
  // Registered before its incoming folder exists and before reconciling, so that no other
  // service starting meanwhile takes this one's folder for a stopped service's.
  instance_ = std::make_unique<ServiceInstance>(store_.get());
  if (!instance_->Register()) {
    *error = "cannot register this service in the database";
    return false;
  }
  ReconcileScope scope;
  scope.self = instance_->id();
  scope.exclusive = !location.shared();
  scope.staleAfterMs = options.instanceTimeoutMs;
  ReconcileCounts counts;
  std::vector<std::string> warnings;
  bool reconciled = ReconcileUploads(store_.get(), fs_.get(), kUploadsFolder, kIncomingFolder, scope, &counts,
                                     &warnings);
  for (const std::string& warning : warnings) log << "osl-service: warning: " << warning << "\n";
  if (counts.partial > 0) {
    log << "osl-service: removed " << counts.partial
        << " partial upload(s) left by an interrupted run\n";
  }
  if (counts.pending + counts.orphans > 0) {
    log << "osl-service: removed " << counts.pending + counts.orphans
        << " uploaded file(s) that an interrupted run left unrecorded\n";
  }
  if (!reconciled) {
    *error = "cannot read the record of uploaded files";
    return false;
  }
  // A folder held alone keeps its uploads in flight directly in incoming/, as it always did.
  incoming_ = kIncomingFolder;
  if (location.shared()) {
    incoming_ += "/" + instance_->id();
    if (!fs_->CreateFolders(incoming_, error)) return false;
    ownIncoming_ = true;
  }
  int64_t interval = std::max<int64_t>(100, std::min<int64_t>(5000, options.instanceTimeoutMs / 4));
  if (!instance_->StartHeartbeat(interval)) {
    *error = "cannot start the heartbeat thread";
    return false;
  }
  return true;
}

void ServiceStorage::Close() {
  if (!instance_) return;
  instance_->Stop();
  if (fs_ && ownIncoming_) {
    std::vector<std::string> left;
    std::string ignored;
    if (fs_->List(incoming_, &left, &ignored)) {
      for (const std::string& name : left) fs_->Remove(incoming_ + "/" + name, &ignored);
    }
    fs_->RemoveFolder(incoming_, &ignored);
  }
  instance_.reset();
}

}  // namespace refservice
