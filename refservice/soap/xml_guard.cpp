#include "refservice/soap/xml_guard.h"

#include <cstdint>

namespace refservice {
namespace {

bool IsXmlChar(uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

std::string Hex(uint32_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  while (out.size() < 4) out.insert(out.begin(), '0');
  return out;
}

std::string At(size_t offset) { return " (at byte " + std::to_string(offset) + ")"; }

// Decodes the UTF-8 sequence at `at`; sets `length`. False for bytes that are not UTF-8
// (overlong forms, encoded surrogates and values above U+10FFFF included).
bool DecodeUtf8(std::string_view text, size_t at, uint32_t* code, size_t* length) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char first = byte(at);
  if (first < 0x80) {
    *code = first;
    *length = 1;
    return true;
  }
  size_t count = 0;
  uint32_t value = 0;
  uint32_t minimum = 0;
  if ((first & 0xE0) == 0xC0) {
    count = 2, value = first & 0x1F, minimum = 0x80;
  } else if ((first & 0xF0) == 0xE0) {
    count = 3, value = first & 0x0F, minimum = 0x800;
  } else if ((first & 0xF8) == 0xF0) {
    count = 4, value = first & 0x07, minimum = 0x10000;
  } else {
    return false;
  }
  if (at + count > text.size()) return false;
  for (size_t i = 1; i < count; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return false;
    value = (value << 6) | (byte(at + i) & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  *code = value;
  *length = count;
  return true;
}

class Scanner {
 public:
  Scanner(std::string_view xml, const XmlLimits& limits) : xml_(xml), limits_(limits) {}

  std::optional<std::string> Run() {
    // Every byte must be UTF-8 for an XML character; markup is then read over the same bytes.
    for (size_t at = 0; at < xml_.size();) {
      uint32_t code = 0;
      size_t length = 0;
      if (!DecodeUtf8(xml_, at, &code, &length)) {
        return "The request is not UTF-8" + At(at) + ".";
      }
      if (!IsXmlChar(code)) return Forbidden(code, at);
      at += length;
    }
    while (pos_ < xml_.size()) {
      size_t next = xml_.find_first_of("<&", pos_);
      if (next == std::string_view::npos) break;
      pos_ = next;
      std::optional<std::string> problem = xml_[pos_] == '&' ? Reference() : Markup();
      if (problem) return problem;
    }
    return std::nullopt;
  }

 private:
  std::string Forbidden(uint32_t code, size_t at) {
    return "The request contains the character U+" + Hex(code) + ", which XML does not allow" +
           At(at) + ".";
  }

  bool StartsWith(std::string_view prefix) const {
    return xml_.substr(pos_, prefix.size()) == prefix;
  }

  // Skips to just after `end`; to the end of the text when it is missing.
  void SkipPast(std::string_view end) {
    size_t found = xml_.find(end, pos_);
    pos_ = found == std::string_view::npos ? xml_.size() : found + end.size();
  }

  static bool IsNameByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_' || c == ':' || (c & 0x80) != 0;
  }

  // A reference at pos_ ("&"): character references must name XML characters, entity references
  // one of the five predefined entities. Every byte looked at is consumed, so the scan stays
  // linear however the references are shaped.
  std::optional<std::string> Reference() {
    size_t start = pos_++;
    if (pos_ < xml_.size() && xml_[pos_] == '#') {
      ++pos_;
      bool hex = pos_ < xml_.size() && (xml_[pos_] == 'x' || xml_[pos_] == 'X');
      if (hex) ++pos_;
      uint64_t value = 0;
      size_t digits = 0;
      for (; pos_ < xml_.size(); ++pos_, ++digits) {
        char c = xml_[pos_];
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) break;
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (value > 0x10FFFF) value = 0x110000;  // stays out of range, never overflows
      }
      if (digits == 0 || pos_ >= xml_.size() || xml_[pos_] != ';') {
        return "Malformed character reference" + At(start) + ".";
      }
      ++pos_;
      if (!IsXmlChar(static_cast<uint32_t>(value))) {
        return Forbidden(static_cast<uint32_t>(value), start);
      }
      return std::nullopt;
    }
    size_t nameStart = pos_;
    while (pos_ < xml_.size() && IsNameByte(xml_[pos_])) ++pos_;
    std::string_view name = xml_.substr(nameStart, pos_ - nameStart);
    if (name.empty() || pos_ >= xml_.size() || xml_[pos_] != ';') {
      return std::nullopt;  // not a reference; the parser decides what it is
    }
    ++pos_;
    if (name == "lt" || name == "gt" || name == "amp" || name == "quot" || name == "apos") {
      return std::nullopt;
    }
    return "The request uses the entity &" + std::string(name.substr(0, 32)) +
           "; which is not defined" + At(start) + ".";
  }

  static bool IsNameEnd(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '>' || c == '/' || c == '=';
  }

  static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

  // Markup at pos_ ("<").
  std::optional<std::string> Markup() {
    size_t start = pos_;
    if (StartsWith("<?")) {
      SkipPast("?>");
      return std::nullopt;
    }
    if (StartsWith("<!--")) {
      SkipPast("-->");
      return std::nullopt;
    }
    if (StartsWith("<![CDATA[")) {
      SkipPast("]]>");
      return std::nullopt;
    }
    if (StartsWith("<!")) return "Document type declarations are not accepted" + At(start) + ".";
    if (StartsWith("</")) {
      if (depth_ > 0) --depth_;
      // An end tag runs to its ">"; a "<" before it starts the next tag (which counts).
      pos_ += 2;
      while (pos_ < xml_.size() && xml_[pos_] != '>' && xml_[pos_] != '<') ++pos_;
      if (pos_ < xml_.size() && xml_[pos_] == '>') ++pos_;
      return std::nullopt;
    }
    // A start tag: its name, then attributes up to ">" or "/>".
    if (++elements_ > limits_.maxElements) {
      return "The request has more than " + std::to_string(limits_.maxElements) + " elements.";
    }
    ++pos_;
    while (pos_ < xml_.size() && !IsNameEnd(xml_[pos_]) && xml_[pos_] != '<') ++pos_;
    size_t attributes = 0;
    for (;;) {
      while (pos_ < xml_.size() && IsBlank(xml_[pos_])) ++pos_;
      // A "<" inside a tag ends it: the parser refuses the tag, the scan counts on.
      if (pos_ >= xml_.size() || xml_[pos_] == '<') return std::nullopt;
      if (xml_[pos_] == '>' || StartsWith("/>")) {
        bool empty = xml_[pos_] == '/';
        pos_ += empty ? 2 : 1;
        if (!empty && ++depth_ > limits_.maxDepth) {
          return "The request nests elements deeper than " + std::to_string(limits_.maxDepth) +
                 " levels" + At(start) + ".";
        }
        return std::nullopt;
      }
      size_t nameStart = pos_;
      while (pos_ < xml_.size() && !IsNameEnd(xml_[pos_]) && xml_[pos_] != '<') ++pos_;
      std::string_view name = xml_.substr(nameStart, pos_ - nameStart);
      if (name.empty()) {
        ++pos_;  // a stray "=": the parser refuses the message itself
        continue;
      }
      if (++attributes > limits_.maxAttributes) {
        return "An element of the request has more than " + std::to_string(limits_.maxAttributes) +
               " attributes" + At(start) + ".";
      }
      if (name == "xmlns" || name.substr(0, 6) == "xmlns:") {
        if (++namespaces_ > limits_.maxNamespaces) {
          return "The request declares more than " + std::to_string(limits_.maxNamespaces) +
                 " namespaces.";
        }
      }
      while (pos_ < xml_.size() && IsBlank(xml_[pos_])) ++pos_;
      if (pos_ >= xml_.size() || xml_[pos_] != '=') continue;
      ++pos_;
      while (pos_ < xml_.size() && IsBlank(xml_[pos_])) ++pos_;
      if (pos_ >= xml_.size() || (xml_[pos_] != '"' && xml_[pos_] != '\'')) continue;
      char quote = xml_[pos_++];
      // The value, with its references checked. XML allows no "<" in it: one ends the tag here,
      // so that no start tag can hide from the count inside a value.
      while (pos_ < xml_.size() && xml_[pos_] != quote) {
        if (xml_[pos_] == '<') return std::nullopt;
        if (xml_[pos_] == '&') {
          if (std::optional<std::string> problem = Reference()) return problem;
        } else {
          ++pos_;
        }
      }
      if (pos_ < xml_.size()) ++pos_;
    }
  }

  std::string_view xml_;
  const XmlLimits& limits_;
  size_t pos_ = 0;
  size_t depth_ = 0;
  size_t elements_ = 0;
  size_t namespaces_ = 0;
};

}  // namespace

std::optional<std::string> CheckXml(std::string_view xml, const XmlLimits& limits) {
  return Scanner(xml, limits).Run();
}

}  // namespace refservice
