#include "refservice/common/identifiers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <random>

namespace refservice {

const char kZeroGuid[] = "00000000-0000-0000-0000-000000000000";

namespace {

constexpr size_t kMaxExtensionLength = 12;

bool IsSafeNameByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_';
}

std::string ErrnoText(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

std::string CleanFileName(std::string_view name) {
  size_t cut = name.find_last_of("/\\");
  if (cut != std::string_view::npos) name.remove_prefix(cut + 1);
  std::string clean;
  clean.reserve(name.size());
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) continue;
    clean.push_back(IsSafeNameByte(c) ? static_cast<char>(c) : '_');
  }
  if (clean.size() > kMaxCleanNameLength) {
    size_t dot = clean.find_last_of('.');
    std::string extension;
    if (dot != std::string::npos && dot > 0 && clean.size() - dot <= kMaxExtensionLength) {
      extension = clean.substr(dot);
    }
    clean = clean.substr(0, kMaxCleanNameLength - extension.size()) + extension;
  }
  if (clean.empty() || clean.find_first_not_of('.') == std::string::npos) clean = "file";
  return clean;
}

bool IsCleanFileName(std::string_view name) { return !name.empty() && CleanFileName(name) == name; }

bool IsValidSessionId(std::string_view id) {
  if (id.empty() || id.size() > 64) return false;
  for (unsigned char c : id) {
    bool ok =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    if (!ok) return false;
  }
  return true;
}

bool MakeDirectories(const std::string& path, std::string* error) {
  if (path.empty()) {
    *error = "empty folder path";
    return false;
  }
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    std::string part = path.substr(0, pos);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = ErrnoText("cannot create folder", part);
      return false;
    }
  }
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    *error = "not a folder: " + path;
    return false;
  }
  return true;
}

std::string RandomHex(size_t count) {
  // Identifiers double as template passwords, so they come straight from the system's random
  // source rather than from a seeded generator.
  static std::mutex mutex;
  static std::random_device device;
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(count * 2);
  std::lock_guard<std::mutex> lock(mutex);
  for (size_t i = 0; i < count; ++i) {
    auto byte = static_cast<unsigned>(device() & 0xFF);
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 0xF]);
  }
  return out;
}

std::string NewGuid() {
  std::string hex = RandomHex(16);
  hex[12] = '4';                  // version 4
  hex[16] = "89ab"[hex[16] % 4];  // RFC 4122 variant
  return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
         hex.substr(16, 4) + "-" + hex.substr(20, 12);
}

bool IsGuidText(std::string_view text) {
  if (text.size() != 36) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = text[i];
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != '-') return false;
    } else if (!std::isxdigit(c)) {
      return false;
    }
  }
  return true;
}

std::string NewUploadToken() { return RandomHex(16); }

bool IsUploadToken(std::string_view text) {
  if (text.size() != 32) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

}  // namespace refservice
