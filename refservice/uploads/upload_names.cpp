#include "refservice/uploads/upload_names.h"

#include "refservice/common/identifiers.h"

namespace refservice {
namespace {

constexpr size_t kMaxExtensionLength = 12;

bool IsSafeNameByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_';
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

std::string NewUploadToken() { return RandomHex(16); }

bool IsUploadToken(std::string_view text) {
  if (text.size() != 32) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::string FileAddress(const std::string& origin, const std::string& session,
                        const std::string& token, const std::string& name) {
  return origin + kFilesPrefix + session + "/" + token + "/" + name;
}

}  // namespace refservice
