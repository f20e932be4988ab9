#include "standin/cli/export_target.h"

#include <sys/stat.h>

namespace osl_cli {

std::string RefuseExportTarget(const std::string& document, const std::string& out) {
  struct stat target;
  // stat follows symbolic links: what counts is what the export would replace.
  // Nothing there yet; a path that cannot be reached fails in the export
  // itself, with the system's reason.
  if (::stat(out.c_str(), &target) != 0) return std::string();
  if (S_ISDIR(target.st_mode)) return out + " is a folder, not a file";
  if (!S_ISREG(target.st_mode)) {
    return out + " exists and is not a regular file (a device, FIFO or socket is never replaced)";
  }
  struct stat source;
  if (::stat(document.c_str(), &source) == 0 && source.st_dev == target.st_dev &&
      source.st_ino == target.st_ino) {
    return out + " is the document itself; name another file for the PDF";
  }
  return std::string();
}

}  // namespace osl_cli
