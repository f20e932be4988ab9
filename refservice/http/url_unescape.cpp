#include "refservice/http/url_unescape.h"

namespace refservice {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

size_t PercentDecodeKeepingNul(char* text) {
  size_t read = 0;
  size_t write = 0;
  while (text[read] != '\0') {
    if (text[read] == '%' && text[read + 1] != '\0' && text[read + 2] != '\0') {
      const int high = HexValue(text[read + 1]);
      const int low = HexValue(text[read + 2]);
      if (high >= 0 && low >= 0 && (high | low) != 0) {
        text[write++] = static_cast<char>(high * 16 + low);
        read += 3;
        continue;
      }
    }
    text[write++] = text[read++];
  }
  text[write] = '\0';
  return write;
}

size_t UnescapeCallback(void*, MHD_Connection*, char* text) { return PercentDecodeKeepingNul(text); }

}  // namespace refservice
