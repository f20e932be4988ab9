// Everything a running osl-service keeps its state in, opened in the order that keeps other
// services safe: the files folder's lock (held alone for --data, shared for --files), the files
// folder, the store (migrated), this service's instance record, the reconciliation of what cut
// runs left (never touching a live service's uploads), this instance's own incoming folder
// (incoming/INSTANCE in a shared files folder; incoming/ itself in a folder held alone), and its
// heartbeat. Closing ends the heartbeat, removes its own incoming folder and forgets the instance.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "refservice/storage/data_folder_lock.h"
#include "refservice/storage/file_system.h"
#include "refservice/storage/service_instance.h"
#include "refservice/storage/store.h"
#include "refservice/storage/store_factory.h"

namespace refservice {

struct StorageOptions {
  int connections = 8;              // database connections (PostgreSQL)
  int64_t instanceTimeoutMs = 60000;  // a sharing service silent this long is taken as stopped
};

class ServiceStorage {
 public:
  ServiceStorage() = default;
  ~ServiceStorage();
  ServiceStorage(const ServiceStorage&) = delete;
  ServiceStorage& operator=(const ServiceStorage&) = delete;

  // Opens everything `location` names (which CheckStoreLocation accepted). Says on `log` what the
  // reconciliation removed. False with `error` set when anything cannot be opened.
  bool Open(const StoreLocation& location, const StorageOptions& options, std::ostream& log,
            std::string* error);
  // Ends the heartbeat, removes this instance's incoming folder and its record. Call once no
  // upload is in flight any more; safe to call twice.
  void Close();

  Store* store() const { return store_.get(); }
  FileSystem* files() const { return fs_.get(); }
  const std::string& instanceId() const { return instance_->id(); }
  // This instance's folder for uploads still arriving, relative to the files folder.
  const std::string& incomingFolder() const { return incoming_; }

 private:
  std::unique_ptr<DataFolderLock> lock_;
  std::unique_ptr<FileSystem> fs_;
  std::unique_ptr<Store> store_;
  std::unique_ptr<ServiceInstance> instance_;
  std::string incoming_;
  bool ownIncoming_ = false;  // incoming_ is this instance's alone (a shared files folder)
};

}  // namespace refservice
