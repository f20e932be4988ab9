// A file-system path as the host passes it around (platform narrow encoding).
#pragma once

#include <string>

#include "PMString.h"

class IDFile {
 public:
  IDFile() = default;
  explicit IDFile(const std::string& path) : path_(path) {}

  // Sets the path from platform text (at most `maxChars` characters kept).
  void SetTString(const std::string& path, size_t maxChars = std::string::npos) {
    path_ = path.substr(0, maxChars);
  }
  const std::string& GetPath() const { return path_; }
  PMString GetString() const { return PMString(path_, PMString::kDontTranslateDuringCall); }
  // The last component of the path (after the last '/').
  std::string GetFileName() const {
    auto slash = path_.find_last_of('/');
    return slash == std::string::npos ? path_ : path_.substr(slash + 1);
  }
  bool IsEmpty() const { return path_.empty(); }

 private:
  std::string path_;
};
