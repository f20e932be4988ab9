#include "refservice/common/identifiers.h"

#include <cctype>
#include <mutex>
#include <random>

namespace refservice {

const char kZeroGuid[] = "00000000-0000-0000-0000-000000000000";

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

}  // namespace refservice
