#include "refservice/web/web_routes.h"

namespace refservice {

std::vector<std::string> PathSegments(const std::string& path) {
  std::vector<std::string> parts;
  size_t at = path.empty() || path[0] != '/' ? 0 : 1;
  while (at <= path.size()) {
    size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    parts.push_back(path.substr(at, end - at));
    at = end + 1;
  }
  return parts;
}

bool PathMatches(std::string_view pattern, const std::vector<std::string>& segments) {
  std::vector<std::string> wanted = PathSegments(std::string(pattern));
  if (wanted.size() != segments.size()) return false;
  for (size_t i = 0; i < wanted.size(); ++i) {
    if (wanted[i] == "*" ? segments[i].empty() : wanted[i] != segments[i]) return false;
  }
  return true;
}

std::optional<int> PageNumberOf(std::string_view text) {
  if (text.empty() || text.size() > 6) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1) return std::nullopt;
  return value;
}

}  // namespace refservice
