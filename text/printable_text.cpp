#include "text/printable_text.h"

#include <cstdint>
#include <cstdio>

namespace textutil {

void AppendByteEscape(std::string& out, unsigned char c) {
  char escape[5];
  std::snprintf(escape, sizeof escape, "\\x%02X", c);
  out += escape;
}

namespace {

// The code point of the UTF-8 sequence at text[i] when it is a C1 control
// (U+0080-U+009F) or a bidirectional formatting character (U+061C, U+200E,
// U+200F, U+202A-U+202E, U+2066-U+2069), with its length in *size; 0
// otherwise. Such characters reorder or hide what follows them on a
// terminal line.
uint32_t InvisibleControlAt(std::string_view text, size_t i, size_t* size) {
  const auto byte = [&text](size_t k) { return static_cast<unsigned char>(text[k]); };
  if (i + 1 < text.size()) {
    const uint32_t cp = ((byte(i) & 0x1Fu) << 6) | (byte(i + 1) & 0x3Fu);
    if ((byte(i) & 0xE0) == 0xC0 && (byte(i + 1) & 0xC0) == 0x80 &&
        ((cp >= 0x80 && cp < 0xA0) || cp == 0x061C)) {
      *size = 2;
      return cp;
    }
  }
  if (i + 2 < text.size() && (byte(i) & 0xF0) == 0xE0 && (byte(i + 1) & 0xC0) == 0x80 &&
      (byte(i + 2) & 0xC0) == 0x80) {
    const uint32_t cp =
        ((byte(i) & 0x0Fu) << 12) | ((byte(i + 1) & 0x3Fu) << 6) | (byte(i + 2) & 0x3Fu);
    if (cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
        (cp >= 0x2066 && cp <= 0x2069) || cp == 0x2028 || cp == 0x2029) {
      *size = 3;
      return cp;
    }
  }
  return 0;
}

}  // namespace

std::string PrintableText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    size_t size = 0;
    if (const uint32_t cp = InvisibleControlAt(text, i, &size)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(cp));
      out += escape;
      i += size - 1;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          AppendByteEscape(out, c);
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  return out;
}

}  // namespace textutil
