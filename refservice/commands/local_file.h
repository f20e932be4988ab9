// Files the person running a command named on its command line (values, records, images).
#pragma once

#include <cstddef>
#include <string>

namespace refservice {

// Reads the regular file `path` whole, at most `limit` bytes. False with `error` set (naming the
// path) when it cannot be opened or read, is not a regular file or is larger.
bool ReadLocalFile(const std::string& path, size_t limit, std::string* out, std::string* error);

}  // namespace refservice
