#include "refservice/http/request_head_check.h"

#include <optional>
#include <vector>

#include "text/ascii_case.h"

namespace refservice {
namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

HeadCheck Refuse(int status, std::string message) {
  return HeadCheck{HeadCheck::Verdict::kRefuse, status, std::move(message)};
}

// Length of the head including its closing empty line, or 0 when it has not ended yet. Line ends
// may be CR LF or LF.
size_t HeadLength(std::string_view bytes) {
  for (size_t at = bytes.find('\n'); at != std::string_view::npos; at = bytes.find('\n', at + 1)) {
    if (at + 1 < bytes.size() && bytes[at + 1] == '\n') return at + 2;
    if (at + 2 < bytes.size() && bytes[at + 1] == '\r' && bytes[at + 2] == '\n') return at + 3;
  }
  return 0;
}

}  // namespace

HeadCheck CheckRequestHead(std::string_view bytes, size_t maxHead) {
  // Empty lines before the request line are allowed and skipped.
  size_t start = 0;
  while (start < bytes.size() && (bytes[start] == '\r' || bytes[start] == '\n')) ++start;
  std::string_view head = bytes.substr(start);
  size_t length = HeadLength(head);
  if (length == 0) {
    if (head.size() > maxHead) return Refuse(431, "the request head is too large");
    return HeadCheck{};
  }
  if (length > maxHead) return Refuse(431, "the request head is too large");
  head = head.substr(0, length);

  // Header lines as the library reads them: a line that starts with a blank continues the one
  // before it.
  std::vector<std::pair<std::string_view, std::string>> fields;
  size_t lineStart = head.find('\n') + 1;  // after the request line
  while (lineStart < head.size()) {
    size_t lineEnd = head.find('\n', lineStart);
    std::string_view line = head.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;
    if (line.front() == ' ' || line.front() == '\t') {
      if (!fields.empty()) fields.back().second += " " + std::string(TrimBlanks(line));
      continue;
    }
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;  // the library refuses it with its own 400
    fields.emplace_back(TrimBlanks(line.substr(0, colon)),
                        std::string(TrimBlanks(line.substr(colon + 1))));
  }

  std::optional<std::string> contentLength;
  bool transferEncoding = false;
  for (const auto& [name, value] : fields) {
    if (textutil::EqualsNoCase(name, "transfer-encoding")) {
      if (transferEncoding || !textutil::EqualsNoCase(value, "chunked")) {
        return Refuse(501, "only the chunked transfer coding is supported");
      }
      transferEncoding = true;
    } else if (textutil::EqualsNoCase(name, "content-length")) {
      if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos) {
        return Refuse(400, "malformed Content-Length");
      }
      if (value.size() > 18) return Refuse(413, "the request body is too large");
      if (contentLength && *contentLength != value) {
        return Refuse(400, "conflicting Content-Length headers");
      }
      contentLength = value;
    }
  }
  if (transferEncoding && contentLength) {
    return Refuse(400,
                  "a request may carry Content-Length or Transfer-Encoding: chunked, not both");
  }
  return HeadCheck{HeadCheck::Verdict::kAccept, 0, ""};
}

}  // namespace refservice
