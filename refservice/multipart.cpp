#include "refservice/multipart.h"

#include <cctype>

namespace refservice {
namespace {

constexpr size_t kMaxBoundaryLength = 200;
constexpr size_t kMaxPartHeaderBytes = 16 * 1024;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

// Position of `needle` in `text` at or after `from`, ignoring letter case; npos when absent.
size_t FindNoCase(std::string_view text, std::string_view needle, size_t from = 0) {
  for (size_t i = from; i + needle.size() <= text.size(); ++i) {
    if (StartsWithNoCase(text.substr(i), needle)) return i;
  }
  return std::string_view::npos;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool ExtractBoundary(std::string_view contentType, std::string* boundary) {
  if (!StartsWithNoCase(TrimBlanks(contentType), "multipart/form-data")) return false;
  size_t at = 0;
  while ((at = FindNoCase(contentType, "boundary=", at)) != std::string_view::npos) {
    if (at > 0 && contentType[at - 1] != ';' && contentType[at - 1] != ' ' &&
        contentType[at - 1] != '\t') {
      at += 9;
      continue;
    }
    std::string_view value = contentType.substr(at + 9);
    if (!value.empty() && value.front() == '"') {
      size_t close = value.find('"', 1);
      if (close == std::string_view::npos) return false;
      value = value.substr(1, close - 1);
    } else {
      value = TrimBlanks(value.substr(0, value.find(';')));
    }
    if (value.empty() || value.size() > kMaxBoundaryLength) return false;
    *boundary = std::string(value);
    return true;
  }
  return false;
}

// The filename parameter of a Content-Disposition value; false when it has none.
bool ExtractFileName(std::string_view disposition, std::string* name) {
  size_t at = 0;
  while ((at = FindNoCase(disposition, "filename=", at)) != std::string_view::npos) {
    if (at > 0 && disposition[at - 1] != ';' && disposition[at - 1] != ' ' &&
        disposition[at - 1] != '\t') {
      at += 9;
      continue;
    }
    std::string_view value = disposition.substr(at + 9);
    if (!value.empty() && value.front() == '"') {
      size_t close = value.rfind('"');
      value = close == 0 ? value.substr(1) : value.substr(1, close - 1);
    } else {
      value = TrimBlanks(value.substr(0, value.find(';')));
    }
    *name = std::string(value);
    return true;
  }
  return false;
}

}  // namespace

bool ParseUpload(std::string_view contentType, std::string_view body, UploadedPart* part,
                 std::string* error) {
  std::string boundary;
  if (!ExtractBoundary(contentType, &boundary)) {
    *error = "expected multipart/form-data with a boundary";
    return false;
  }
  const std::string delimiter = "--" + boundary;
  const std::string innerDelimiter = "\r\n" + delimiter;

  // The first delimiter opens the body or follows a line end (a preamble may precede it).
  size_t pos = 0;
  if (body.substr(0, delimiter.size()) != delimiter) {
    pos = body.find(innerDelimiter);
    if (pos == std::string_view::npos) {
      *error = "the body holds no part";
      return false;
    }
    pos += 2;
  }
  for (;;) {
    pos += delimiter.size();
    if (body.substr(pos, 2) == "--") break;  // closing delimiter
    // Rest of the delimiter line: optional blanks, then a line end.
    while (pos < body.size() && (body[pos] == ' ' || body[pos] == '\t')) ++pos;
    if (body.substr(pos, 2) == "\r\n") {
      pos += 2;
    } else if (body.substr(pos, 1) == "\n") {
      pos += 1;
    } else {
      *error = "malformed part delimiter";
      return false;
    }
    // Part header lines up to an empty line.
    std::string fileName;
    bool hasFileName = false;
    size_t headerStart = pos;
    for (;;) {
      size_t newline = body.find('\n', pos);
      if (newline == std::string_view::npos || newline - headerStart > kMaxPartHeaderBytes) {
        *error = "malformed part header";
        return false;
      }
      std::string_view line = body.substr(pos, newline - pos);
      pos = newline + 1;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.empty()) break;
      if (StartsWithNoCase(line, "content-disposition:")) {
        hasFileName = ExtractFileName(line.substr(20), &fileName) || hasFileName;
      }
    }
    size_t end = body.find(innerDelimiter, pos);
    if (end == std::string_view::npos) {
      *error = "the upload is incomplete (no closing boundary)";
      return false;
    }
    if (hasFileName) {
      part->fileName = std::move(fileName);
      part->content = body.substr(pos, end - pos);
      return true;
    }
    pos = end + 2;
  }
  *error = "the body holds no file part";
  return false;
}

}  // namespace refservice
