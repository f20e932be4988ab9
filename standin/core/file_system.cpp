#include "standin/core/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
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

// The folder part of `path`: "." without one, "/" for a file at the root.
std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

// How many symbolic links a save follows before it gives up (the system's
// own limit for a path).
constexpr int kMaxLinks = 40;

// The file a save to `path` replaces: `path` itself, or, when it is a
// symbolic link, the file the chain of links leads to (which need not exist
// yet). False with *error set for a chain that loops or is too long, or a
// link that cannot be read.
bool SaveTarget(const std::string& path, std::string* target, std::string* error) {
  std::string current = path;
  for (int hops = 0; hops <= kMaxLinks; ++hops) {
    struct stat st;
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *target = current;
      return true;
    }
    std::string link(PATH_MAX, '\0');
    const ssize_t n = ::readlink(current.c_str(), &link[0], link.size());
    if (n < 0 || static_cast<size_t>(n) >= link.size()) {
      *error = n < 0 ? Why("cannot read the link", current) : current + ": link too long";
      return false;
    }
    link.resize(static_cast<size_t>(n));
    if (link.empty()) {
      *error = current + ": empty link";
      return false;
    }
    if (link[0] == '/') {
      current = link;
    } else {
      const std::string folder = FolderOf(current);
      current = (folder == "/" ? "/" : folder + "/") + link;
    }
  }
  *error = path + ": too many levels of symbolic links";
  return false;
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

bool FileSystem::WriteFileAtomicWith(const std::string& linkOrPath, const Producer& produce,
                                     std::string* error) {
  // A save through a symbolic link replaces the link's target, in the
  // target's folder; the link stays a link.
  std::string path;
  if (!SaveTarget(linkOrPath, &path, error)) return false;
  // Replace only a regular file: a folder, device node, FIFO or socket at
  // the path is not the file's previous version and must not be lost.
  struct stat st;
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    *error = path + ": not a regular file; it is not replaced";
    return false;
  }
  const std::string dir = FolderOf(path);
  RemoveStaleTemps(dir);
  std::string temp;
  const int fd = CreateTemp(dir, &temp, error);
  if (fd < 0) return false;
  // Keep the permissions of the file being replaced (new files: 0644).
  const mode_t mode = exists ? (st.st_mode & 07777) : 0644;
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
