#include "refservice/commands/local_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace refservice {

bool ReadLocalFile(const std::string& path, size_t limit, std::string* out, std::string* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    *error = path + " is not a regular file";
    return false;
  }
  if (static_cast<uint64_t>(info.st_size) > limit) {
    ::close(fd);
    *error = path + " is larger than " + std::to_string(limit) + " bytes";
    return false;
  }
  out->clear();
  char buffer[65536];
  while (true) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ::close(fd);
      *error = "cannot read " + path + ": " + std::strerror(errno);
      return false;
    }
    if (got == 0) break;
    out->append(buffer, static_cast<size_t>(got));
    if (out->size() > limit) {
      ::close(fd);
      *error = path + " is larger than " + std::to_string(limit) + " bytes";
      return false;
    }
  }
  ::close(fd);
  return true;
}

}  // namespace refservice
