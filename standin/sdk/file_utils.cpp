// FileUtils on a POSIX file system.
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "host/FileUtils.h"

namespace {

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

PMString FileUtils::GetDirectorySeperator() {
  return PMString("/", PMString::kDontTranslateDuringCall);
}

ErrorCode FileUtils::CreateFolderIfNeeded(const IDFile& folder, bool createParents) {
  std::string path = folder.GetPath();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty()) return kFailure;
  if (IsFolder(path)) return kSuccess;
  if (createParents) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      const std::string parent = path.substr(0, slash);
      if (!IsFolder(parent) && mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST) {
        return kFailure;
      }
    }
  }
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return kFailure;
  return IsFolder(path) ? kSuccess : kFailure;
}
