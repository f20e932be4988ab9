#include "service_client/settings_file.h"

#include <cerrno>
#include <cstring>

#include "service_client/platform.h"

namespace {

constexpr int kMaxLinks = 40;

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of(OslPathSeparators());
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string Because(const std::string& what, const std::string& path, int error) {
  return what + " " + path + ": " + std::strerror(error);
}

// Whether `error` says the folder takes no new file (the caller then writes
// in place).
bool FolderRefuses(int error) { return error == EACCES || error == EPERM || error == EROFS; }

// The unnamed-file route. Returns 0 on success, -1 when the folder cannot
// take a new file (the caller writes in place), else fails with *reason.
int ReplaceThroughNewFile(const std::string& target, const std::string& text, std::string* reason) {
  OslPlatform& platform = OslPlatform::Get();
  const std::string folder = FolderOf(target);
  int fd = platform.CreateUnnamedFile(folder);
  if (fd < 0) {
    const int error = -fd;
    if (FolderRefuses(error)) {
      *reason = Because("cannot create a file in", folder, error);
      return -1;
    }
    // Filesystems without unnamed files: a named one, removed on failure.
    if (error != EOPNOTSUPP && error != EISDIR && error != EINVAL) {
      *reason = Because("cannot create a file in", folder, error);
      return 1;
    }
  }
  std::string temp;
  if (fd < 0) {
    fd = platform.CreateNewFileBeside(target, &temp);
    if (fd < 0) {
      *reason = Because("cannot create a file in", folder, -fd);
      return FolderRefuses(-fd) ? -1 : 1;
    }
  }
  int error = platform.MakeOwnerOnly(fd);
  if (!error) error = platform.WriteAll(fd, text);
  if (!error) error = platform.SyncFile(fd);
  // Give the unnamed file a name beside the target, to rename it over.
  if (!error && temp.empty()) error = platform.NameUnnamedFile(fd, target, &temp);
  const int closed = platform.CloseFile(fd);
  if (!error) error = closed;
  if (error) {
    if (!temp.empty()) platform.RemoveFile(temp);
    *reason = Because("cannot write", target, error);
    return 1;
  }
  error = platform.RenameFile(temp, target);
  if (error) {
    platform.RemoveFile(temp);
    *reason = Because("cannot replace", target, error);
    return 1;
  }
  return 0;
}

// The in-place route for a folder that takes no new file; *reason already
// says why the folder refused one.
bool WriteInPlace(const std::string& target, const std::string& text, std::string* reason) {
  OslPlatform& platform = OslPlatform::Get();
  const int fd = platform.OpenToRewrite(target);
  if (fd < 0) {
    // A missing file cannot be made there: the folder's refusal is the reason.
    if (-fd != ENOENT) *reason = Because("cannot write", target, -fd);
    return false;
  }
  // Only the owner can tighten the mode; a file of someone else keeps its.
  (void)platform.MakeOwnerOnly(fd);
  int error = platform.WriteAll(fd, text);
  if (!error) error = platform.SyncFile(fd);
  const int closed = platform.CloseFile(fd);
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
  OslPlatform& platform = OslPlatform::Get();
  std::string current = path;
  for (int depth = 0; depth < kMaxLinks; ++depth) {
    std::string target;
    const int link = platform.ReadLink(current, &target);
    if (link == 0) return current;
    if (link < 0 || target.empty()) return path;
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
