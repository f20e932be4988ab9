#include "standin/core/terminal_text.h"

#include <cstdio>

#include "standin/core/utf8.h"

namespace standin {

namespace {

void AppendEscaped(std::string& out, uint32_t cp, bool rawByte) {
  char buffer[16];
  if (cp == '\r' && !rawByte) {
    out += "\\r";
    return;
  }
  std::snprintf(buffer, sizeof buffer, cp < 0x80 || rawByte ? "\\x%02x" : "\\u%04x",
                static_cast<unsigned>(cp));
  out += buffer;
}

// The bidirectional formatting characters: they reorder what follows them
// on the line (U+202E shows "exe.txt" for "txt.exe"), so text shows them
// escaped like the other control characters.
bool IsBidiControl(uint32_t cp) {
  return cp == 0x061C || cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
         (cp >= 0x2066 && cp <= 0x2069);
}

bool IsControl(uint32_t cp) {
  return (cp < 0x20 && cp != '\t') || cp == 0x7F || (cp >= 0x80 && cp < 0xA0) || cp == 0x2028 ||
         cp == 0x2029 || IsBidiControl(cp);
}

}  // namespace

std::string EscapeForTerminal(const std::string& text, const char* indent) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    uint32_t cp = 0;
    const size_t start = i;
    if (!DecodeUtf8(text, &i, &cp)) {
      AppendEscaped(out, static_cast<unsigned char>(text[start]), /*rawByte=*/true);
      i = start + 1;
    } else if (cp == '\n' && indent) {
      out += '\n';
      out += indent;
    } else if (IsControl(cp)) {
      AppendEscaped(out, cp, /*rawByte=*/false);
    } else {
      out.append(text, start, i - start);
    }
  }
  return out;
}

}  // namespace standin
