#include "refservice/render/qdf_content_streams.h"

namespace refservice {
namespace {

// The line starting at `at` (without its line feed) and the offset after it.
std::string LineAt(const std::string& text, size_t at, size_t* next) {
  size_t end = text.find('\n', at);
  if (end == std::string::npos) end = text.size();
  *next = end < text.size() ? end + 1 : end;
  return text.substr(at, end - at);
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool Contains(const std::string& text, const char* word) {
  return text.find(word) != std::string::npos;
}

// True when the dictionary text holds `/key /Value` with the value's name ending there.
bool HasName(const std::string& dictionary, const std::string& key, const std::string& value) {
  const std::string wanted = key + " " + value;
  for (size_t at = dictionary.find(wanted); at != std::string::npos;
       at = dictionary.find(wanted, at + 1)) {
    const size_t after = at + wanted.size();
    if (after == dictionary.size() || dictionary[after] == '\n' || dictionary[after] == ' ' ||
        dictionary[after] == '/' || dictionary[after] == '>') {
      return true;
    }
  }
  return false;
}

}  // namespace

bool RewriteQdfContentStreams(const std::string& qdf,
                              const std::function<std::string(const std::string&)>& rewrite,
                              std::string* out, std::string* error) {
  if (!StartsWith(qdf, "%PDF-") || !Contains(qdf.substr(0, 64), "%QDF-1.0")) {
    *error = "not a PDF in QDF form";
    return false;
  }
  std::string result;
  result.reserve(qdf.size());
  bool pageContents = false;  // the object being read was announced as a page's contents
  std::string dictionary;     // the text of the current object up to its stream
  size_t at = 0;
  while (at < qdf.size()) {
    size_t next = 0;
    const std::string line = LineAt(qdf, at, &next);
    result.append(qdf, at, next - at);
    at = next;
    if (StartsWith(line, "%% Contents for page ")) {
      pageContents = true;
      continue;
    }
    if (line.size() > 4 && line.compare(line.size() - 4, 4, " obj") == 0) {
      dictionary.clear();
      continue;
    }
    if (line == "endobj") {
      pageContents = false;
      dictionary.clear();
      continue;
    }
    if (line != "stream") {
      if (dictionary.size() < (1u << 20)) dictionary += line + "\n";
      continue;
    }
    // The stream's data: up to the line "endstream".
    size_t end = std::string::npos;
    for (size_t scan = at; scan <= qdf.size();) {
      if (qdf.compare(scan, 10, "endstream\n") == 0 ||
          (scan + 9 == qdf.size() && qdf.compare(scan, 9, "endstream") == 0)) {
        end = scan;
        break;
      }
      const size_t feed = qdf.find('\n', scan);
      if (feed == std::string::npos) break;
      scan = feed + 1;
    }
    if (end == std::string::npos) {
      *error = "a stream of the PDF does not end";
      return false;
    }
    const bool content = !Contains(dictionary, "/Filter") &&
                         (pageContents || HasName(dictionary, "/Subtype", "/Form") ||
                          HasName(dictionary, "/PatternType", "1"));
    if (content) {
      // Data qpdf had to end with a line feed carries a "%QDF: ignore_newline" comment line
      // before "endstream"; it is part of what `rewrite` gets and must keep.
      result += rewrite(qdf.substr(at, end - at));
    } else {
      result.append(qdf, at, end - at);
    }
    at = end;
    dictionary.clear();
  }
  *out = std::move(result);
  return true;
}

}  // namespace refservice
