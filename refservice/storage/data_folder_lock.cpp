#include "refservice/storage/data_folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

namespace refservice {

const char kDataFolderLockName[] = "service.lock";

namespace {

// The longest lock-file text read back; a description is a few dozen bytes.
constexpr size_t kMaxLockText = 512;
// The longest value of one line kept in a description.
constexpr size_t kMaxValue = 80;

std::string ThisProcessText() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
  char started[32] = {};
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  if (::gmtime_r(&now, &utc) == nullptr ||
      std::strftime(started, sizeof started, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0) {
    started[0] = '\0';
  }
  return "pid " + std::to_string(::getpid()) + "\nhost " + host + "\nstarted " + started + "\n";
}

// The value of the line "KEY value", printable ASCII only, or "".
std::string ValueOf(const std::string& text, const std::string& key) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (line.rfind(key + " ", 0) == 0) {
      std::string value;
      for (char c : line.substr(key.size() + 1)) {
        if (c >= 0x20 && c < 0x7F && value.size() < kMaxValue) value.push_back(c);
      }
      return value;
    }
    start = end + 1;
  }
  return "";
}

std::string ReadLockText(int fd) {
  std::string text(kMaxLockText, '\0');
  ssize_t n = ::pread(fd, text.data(), text.size(), 0);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

}  // namespace

std::string DescribeLockHolder(const std::string& lockFileText) {
  std::string pid = ValueOf(lockFileText, "pid");
  std::string host = ValueOf(lockFileText, "host");
  std::string started = ValueOf(lockFileText, "started");
  if (pid.empty() && host.empty()) return "an unnamed process";
  std::string text = "pid " + (pid.empty() ? std::string("?") : pid);
  if (!host.empty()) text += " on host " + host;
  if (!started.empty()) text += ", started " + started;
  return text;
}

std::unique_ptr<DataFolderLock> DataFolderLock::Acquire(const std::string& dir,
                                                        std::string* error) {
  return Take(dir, false, error);
}

std::unique_ptr<DataFolderLock> DataFolderLock::AcquireShared(const std::string& dir,
                                                              std::string* error) {
  return Take(dir, true, error);
}

std::unique_ptr<DataFolderLock> DataFolderLock::Take(const std::string& dir, bool shared,
                                                     std::string* error) {
  std::string path = dir + "/" + kDataFolderLockName;
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.valid()) {
    *error = "cannot open the lock file " + path + ": " +
             (errno == ELOOP ? "a symbolic link is in the way (refused)" : std::strerror(errno));
    return nullptr;
  }
  if (::flock(fd.get(), (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK && shared) {
      *error = "the files folder " + dir + " is the data folder of another osl-service (" +
               DescribeLockHolder(ReadLockText(fd.get())) +
               "), which does not share it; stop that one first";
    } else if (errno == EWOULDBLOCK) {
      *error = "the data folder " + dir + " is in use by another osl-service (" +
               DescribeLockHolder(ReadLockText(fd.get())) +
               "); stop that one first, or give this one another --data folder";
    } else {
      *error = "cannot lock " + path + ": " + std::strerror(errno);
    }
    return nullptr;
  }
  // The description helps whoever meets the lock; failing to write it does not weaken the lock.
  // Of several sharing services, the last one to start is named.
  std::string text = ThisProcessText();
  if (shared) {
    ssize_t written = ::pwrite(fd.get(), text.data(), text.size(), 0);
    (void)written;
  } else if (::ftruncate(fd.get(), 0) == 0) {
    ssize_t written = ::pwrite(fd.get(), text.data(), text.size(), 0);
    (void)written;
  }
  return std::unique_ptr<DataFolderLock>(new DataFolderLock(std::move(fd)));
}

}  // namespace refservice
