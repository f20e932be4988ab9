#include "service_client/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "service_client/platform.h"

namespace {

constexpr int kMaxLinks = 40;

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Because(const std::string& what, const std::string& path, int error) {
  return what + " " + path + ": " + std::strerror(error);
}

// Writes all of `text` to `fd`; 0 or the errno of the failure.
int WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    done += static_cast<size_t>(n);
  }
  return 0;
}

// Closes `fd`; 0 or the errno.
int Close(int fd) { return close(fd) == 0 ? 0 : errno; }

// The unnamed-file route. Returns 0 on success, -1 when the folder cannot
// take a new file (the caller writes in place), else fails with *reason.
int ReplaceThroughNewFile(const std::string& target, const std::string& text, std::string* reason) {
  const std::string folder = FolderOf(target);
  int fd = OslPlatform::Get().CreateUnnamedFile(folder);
  if (fd < 0) {
    errno = -fd;
    if (errno == EACCES || errno == EPERM || errno == EROFS) {
      *reason = Because("cannot create a file in", folder, errno);
      return -1;
    }
    // Filesystems without unnamed files: a named one, removed on failure.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      *reason = Because("cannot create a file in", folder, errno);
      return 1;
    }
  }
  std::string temp;
  if (fd < 0) {
    std::vector<char> name(target.begin(), target.end());
    const char suffix[] = ".XXXXXX";
    name.insert(name.end(), suffix, suffix + sizeof suffix);
    fd = mkstemp(name.data());
    if (fd < 0) {
      if (errno == EACCES || errno == EPERM || errno == EROFS) {
        *reason = Because("cannot create a file in", folder, errno);
        return -1;
      }
      *reason = Because("cannot create a file in", folder, errno);
      return 1;
    }
    temp.assign(name.data());
  }
  int error = fchmod(fd, 0600) == 0 ? 0 : errno;
  if (!error) error = WriteAll(fd, text);
  if (!error && fsync(fd) != 0) error = errno;
  if (!error && temp.empty()) {
    // Give the unnamed file a name beside the target, to rename it over.
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    for (int attempt = 0; attempt < 100 && temp.empty(); ++attempt) {
      char name[32];
      std::snprintf(name, sizeof name, ".%d.%d.tmp", static_cast<int>(getpid()), attempt);
      const std::string candidate = target + name;
      if (linkat(AT_FDCWD, self, AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        temp = candidate;
      } else if (errno != EEXIST) {
        error = errno;
        break;
      }
    }
    if (!error && temp.empty()) error = EEXIST;
  }
  const int closed = Close(fd);
  if (!error) error = closed;
  if (error) {
    if (!temp.empty()) unlink(temp.c_str());
    *reason = Because("cannot write", target, error);
    return 1;
  }
  error = OslPlatform::Get().RenameFile(temp, target);
  if (error) {
    unlink(temp.c_str());
    *reason = Because("cannot replace", target, error);
    return 1;
  }
  return 0;
}

// The in-place route for a folder that takes no new file; *reason already
// says why the folder refused one.
bool WriteInPlace(const std::string& target, const std::string& text, std::string* reason) {
  const int fd = open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    // A missing file cannot be made there: the folder's refusal is the reason.
    if (errno != ENOENT) *reason = Because("cannot write", target, errno);
    return false;
  }
  // Only the owner can tighten the mode; a file of someone else keeps its.
  (void)fchmod(fd, 0600);
  int error = WriteAll(fd, text);
  if (!error && fsync(fd) != 0) error = errno;
  const int closed = Close(fd);
  if (!error) error = closed;
  if (error) {
    *reason = Because("cannot write", target, error) +
              " (its folder takes no new file, so it was written in place and may now be "
              "incomplete)";
    return false;
  }
  return true;
}

}  // namespace

std::string ResolveSettingsPath(const std::string& path) {
  std::string current = path;
  for (int depth = 0; depth < kMaxLinks; ++depth) {
    struct stat info;
    if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    char buffer[PATH_MAX];
    const ssize_t n = readlink(current.c_str(), buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return path;
    std::string target(buffer, static_cast<size_t>(n));
    if (target[0] != '/') target = FolderOf(current) + "/" + target;
    current = target;
  }
  return path;
}

bool WriteSettingsFile(const std::string& path, const std::string& text, std::string* reason) {
  if (path.empty()) {
    *reason = "the settings file's place is unknown";
    return false;
  }
  const std::string target = ResolveSettingsPath(path);
  const int replaced = ReplaceThroughNewFile(target, text, reason);
  if (replaced == 0) return true;
  if (replaced > 0) return false;
  return WriteInPlace(target, text, reason);
}
