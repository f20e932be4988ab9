#include "refservice/http/form_data.h"

#include "text/ascii_case.h"

namespace refservice {
namespace {

// The value of parameter `key` in a Content-Disposition line (quoted or not).
bool Parameter(std::string_view line, std::string_view key, std::string* value) {
  size_t at = 0;
  while ((at = line.find(';', at)) != std::string_view::npos) {
    ++at;
    while (at < line.size() && line[at] == ' ') ++at;
    if (!textutil::StartsWithNoCase(line.substr(at), key) || line.size() <= at + key.size() ||
        line[at + key.size()] != '=') {
      continue;
    }
    size_t start = at + key.size() + 1;
    if (start < line.size() && line[start] == '"') {
      size_t end = line.find('"', start + 1);
      if (end == std::string_view::npos) return false;
      *value = std::string(line.substr(start + 1, end - start - 1));
    } else {
      size_t end = line.find(';', start);
      *value = std::string(line.substr(start, end == std::string_view::npos ? end : end - start));
    }
    return true;
  }
  return false;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Decode(std::string_view text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out->push_back(' ');
    } else if (text[i] == '%') {
      if (i + 2 >= text.size()) return false;
      int high = HexDigit(text[i + 1]), low = HexDigit(text[i + 2]);
      if (high < 0 || low < 0) return false;
      out->push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else {
      out->push_back(text[i]);
    }
  }
  return true;
}

}  // namespace

bool ParseMultipartForm(std::string_view body, const std::string& boundary, size_t maxParts,
                        std::vector<FormPart>* parts, std::string* error) {
  const std::string delimiter = "--" + boundary;
  size_t at = body.find(delimiter);
  if (at == std::string_view::npos) {
    *error = "the form has no parts";
    return false;
  }
  at += delimiter.size();
  while (true) {
    if (body.substr(at, 2) == "--") return true;  // the closing delimiter
    if (body.substr(at, 2) == "\r\n") {
      at += 2;
    } else if (body.substr(at, 1) == "\n") {
      at += 1;
    } else {
      *error = "the form is malformed after a delimiter";
      return false;
    }
    if (parts->size() >= maxParts) {
      *error = "the form has more than " + std::to_string(maxParts) + " parts";
      return false;
    }
    FormPart part;
    bool named = false;
    // Header lines up to an empty line.
    while (true) {
      size_t end = body.find('\n', at);
      if (end == std::string_view::npos) {
        *error = "a part's header lines do not end";
        return false;
      }
      std::string_view line = body.substr(at, end - at);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      at = end + 1;
      if (line.empty()) break;
      if (textutil::StartsWithNoCase(line, "content-disposition:")) {
        named = Parameter(line, "name", &part.name);
        part.isFile = Parameter(line, "filename", &part.fileName);
      }
    }
    if (!named) {
      *error = "a part of the form has no name";
      return false;
    }
    // The part ends at a line that is the delimiter itself: followed by a line end or "--",
    // not by more characters (content may hold "--BOUNDARYx").
    size_t next = std::string_view::npos;
    size_t skip = 0;
    for (size_t from = at; from < body.size();) {
      size_t found = body.find("\n" + delimiter, from);
      if (found == std::string_view::npos) break;
      std::string_view after = body.substr(found + 1 + delimiter.size(), 2);
      if (after == "--" || after == "\r\n" || after.substr(0, 1) == "\n") {
        bool crlf = found > at && body[found - 1] == '\r';
        next = crlf ? found - 1 : found;
        skip = crlf ? 2 : 1;
        break;
      }
      from = found + 1;
    }
    if (next == std::string_view::npos) {
      *error = "the form's closing delimiter is missing";
      return false;
    }
    part.content = std::string(body.substr(at, next - at));
    parts->push_back(std::move(part));
    at = next + skip + delimiter.size();
  }
}

bool ParseUrlEncodedForm(std::string_view body, size_t maxParts, std::vector<FormPart>* parts,
                         std::string* error) {
  size_t at = 0;
  while (at < body.size()) {
    size_t end = body.find('&', at);
    if (end == std::string_view::npos) end = body.size();
    std::string_view pair = body.substr(at, end - at);
    at = end + 1;
    if (pair.empty()) continue;
    if (parts->size() >= maxParts) {
      *error = "the form has more than " + std::to_string(maxParts) + " values";
      return false;
    }
    size_t equals = pair.find('=');
    FormPart part;
    if (!Decode(pair.substr(0, equals), &part.name) ||
        (equals != std::string_view::npos && !Decode(pair.substr(equals + 1), &part.content))) {
      *error = "the form holds a malformed escape";
      return false;
    }
    parts->push_back(std::move(part));
  }
  return true;
}

const FormPart* FindPart(const std::vector<FormPart>& parts, std::string_view name) {
  for (const FormPart& part : parts) {
    if (part.name == name) return &part;
  }
  return nullptr;
}

}  // namespace refservice
