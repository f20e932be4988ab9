// One osl-service per data folder. A running service holds an exclusive lock (flock) on the file
// DIR/service.lock, which names the holder: its process id, host and start time. Services that
// share a files folder (--files) hold the same lock shared. The system
// drops the lock when the holder ends in any way, a kill included, so a stale lock file never
// blocks a start. The read-only commands (list, show) take no lock.
#pragma once

#include <memory>
#include <string>

#include "refservice/common/unique_fd.h"

namespace refservice {

// The name of the lock file inside the data folder.
extern const char kDataFolderLockName[];  // "service.lock"

class DataFolderLock {
 public:
  // Takes the lock of the data folder `dir` (which must exist) and writes this process's
  // description into the lock file. Null with `error` set when another process holds the lock
  // (the error names the holder as its lock file describes it) or when the lock file cannot be
  // opened or locked (a symbolic link in its place is refused). The lock is held until the
  // returned object is destroyed or the process ends.
  static std::unique_ptr<DataFolderLock> Acquire(const std::string& dir, std::string* error);
  // Takes the lock of a files folder shared by several services (--files): any number of them
  // hold it together, and none while a service holds it alone (Acquire), so a folder is never
  // both shared and one service's own. Null with `error` set like Acquire.
  static std::unique_ptr<DataFolderLock> AcquireShared(const std::string& dir, std::string* error);

  ~DataFolderLock() = default;
  DataFolderLock(const DataFolderLock&) = delete;
  DataFolderLock& operator=(const DataFolderLock&) = delete;

 private:
  explicit DataFolderLock(UniqueFd fd) : fd_(std::move(fd)) {}
  static std::unique_ptr<DataFolderLock> Take(const std::string& dir, bool shared,
                                              std::string* error);

  UniqueFd fd_;
};

// The holder described by the text of a lock file ("pid 12 on host h, started T"), built only
// from its printable characters and bounded in length; "an unnamed process" when it says nothing.
std::string DescribeLockHolder(const std::string& lockFileText);

}  // namespace refservice
