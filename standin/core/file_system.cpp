#include "standin/core/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace standin {

namespace {

std::string Why(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}
}  // namespace

bool FileSystem::ReadFile(const std::string& path, std::string* contents, std::string* error,
                          size_t maxBytes) {
  // O_NONBLOCK: opening a FIFO without a writer must not wait for one.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    *error = Why("cannot open", path);
    return false;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    *error = Why("cannot read", path);
    ::close(fd);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = path + ": not a regular file";
    ::close(fd);
    return false;
  }
  std::string data;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = Why("cannot read", path);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    if (static_cast<size_t>(n) > maxBytes - data.size()) {
      *error = path + ": larger than " + std::to_string(maxBytes) + " bytes";
      ::close(fd);
      return false;
    }
    data.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  *contents = std::move(data);
  return true;
}

int FileSystem::CreateTemp(const std::string& dir, std::string* tempPath, std::string* error) {
  std::string templ = (dir.empty() ? std::string(".") : dir) + "/" + kTempPrefix +
                      std::to_string(static_cast<long>(getpid())) + "-XXXXXX";
  int fd = mkstemp(templ.data());
  if (fd < 0) {
    *error = Why("cannot create a temporary file in", dir);
    return -1;
  }
  *tempPath = templ;
  return fd;
}

bool FileSystem::Write(int fd, const char* data, size_t size, std::string* error) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = std::string("write failed: ") + std::strerror(errno);
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool FileSystem::Sync(int fd, std::string* error) {
  if (::fsync(fd) != 0) {
    *error = std::string("fsync failed: ") + std::strerror(errno);
    return false;
  }
  return true;
}

bool FileSystem::Close(int fd, std::string* error) {
  if (::close(fd) != 0) {
    *error = std::string("close failed: ") + std::strerror(errno);
    return false;
  }
  return true;
}

bool FileSystem::Rename(const std::string& from, const std::string& to, std::string* error) {
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    *error = Why("cannot replace", to);
    return false;
  }
  return true;
}

void FileSystem::Remove(const std::string& path) { ::unlink(path.c_str()); }

bool FileSystem::WriteFileAtomic(const std::string& path, const std::string& data,
                                 std::string* error) {
  return WriteFileAtomicWith(
      path,
      [&data](const Writer& write, std::string* why) {
        return write(data.data(), data.size(), why);
      },
      error);
}

bool FileSystem::WriteFileAtomicWith(const std::string& path, const Producer& produce,
                                     std::string* error) {
  const auto slash = path.find_last_of('/');
  const std::string dir =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  RemoveStaleTemps(dir);
  std::string temp;
  const int fd = CreateTemp(dir, &temp, error);
  if (fd < 0) return false;
  // Keep the permissions of the file being replaced (new files: 0644).
  struct stat st;
  const mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  ::fchmod(fd, mode);
  const Writer write = [this, fd](const char* bytes, size_t size, std::string* why) {
    return Write(fd, bytes, size, why);
  };
  std::string ignored;
  if (!produce(write, error) || !Sync(fd, error)) {
    Close(fd, &ignored);
    Remove(temp);
    return false;
  }
  if (!Close(fd, error) || !Rename(temp, path, error)) {
    Remove(temp);
    return false;
  }
  // Make the rename itself durable.
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

void FileSystem::RemoveStaleTemps(const std::string& dir) {
  std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(dir.c_str()), ::closedir);
  if (!folder) return;
  const std::string prefix = kTempPrefix;
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(folder.get())) {
    const std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    // kTempPrefix, the process id, "-", the random part.
    const char* digits = name.c_str() + prefix.size();
    char* end = nullptr;
    errno = 0;
    const long pid = std::strtol(digits, &end, 10);
    if (end == digits || *end != '-' || errno != 0 || pid <= 0 || pid == getpid()) continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    stale.push_back(name);
  }
  for (const std::string& name : stale) Remove(dir + "/" + name);
}

}  // namespace standin
