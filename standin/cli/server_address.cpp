#include "standin/cli/server_address.h"

#include <algorithm>
#include <cctype>

namespace osl_cli {

bool CheckServerAddress(const std::string& address, std::string* why) {
  std::string lower(address.size(), '\0');
  std::transform(address.begin(), address.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  size_t rest = 0;
  if (lower.compare(0, 7, "http://") == 0) {
    rest = 7;
  } else if (lower.compare(0, 8, "https://") == 0) {
    rest = 8;
  } else {
    *why = "the address must start with http:// or https:// (for example http://127.0.0.1:8080)";
    return false;
  }
  for (unsigned char c : address) {
    if (c <= ' ' || c == 0x7F) {
      *why = "the address must not hold blanks or control characters";
      return false;
    }
  }
  if (rest >= address.size() || address[rest] == '/' || address[rest] == ':') {
    *why = "the address names no host after its scheme";
    return false;
  }
  return true;
}

}  // namespace osl_cli
