#include "service_client/platform.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

OslPlatform* gInstalled = nullptr;

bool MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  }
  return false;
}

}  // namespace

OslPlatform& OslPlatform::Get() {
  static OslPlatform real;
  return gInstalled ? *gInstalled : real;
}

void OslPlatform::Set(OslPlatform* platform) { gInstalled = platform; }

std::string OslPlatform::TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = (tmp && *tmp) ? tmp : "/tmp";
  return IsDirectory(folder) ? folder : std::string();
}

std::string OslPlatform::AppDataFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return MakeFolder(config) ? std::string(config) : std::string();
  const char* home = std::getenv("HOME");
  if (!home || home[0] != '/') return std::string();
  std::string folder = std::string(home) + "/.config";
  return MakeFolder(folder) ? folder : std::string();
}

std::string OslPlatform::LogFolder() { return "/logs"; }

bool OslPlatform::IsDirectory(const std::string& path) {
  struct stat info;
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

OslTimeLimits OslPlatform::TimeLimits() { return OslTimeLimits(); }

int OslPlatform::RenameFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int OslPlatform::CreateUnnamedFile(const std::string& folder) {
  const int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  return fd >= 0 ? fd : -errno;
}
