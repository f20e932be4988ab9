// The pre-scan of SOAP requests, with small limits so that they are reached. Checks: an accepted
// message is UTF-8 without characters XML forbids and has no more start tags than the element
// limit; the scan never crashes and stays linear (libFuzzer's time-out catches a slow one).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "refservice/soap/xml_guard.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "xml_guard: %s\n", what);
  std::abort();
}

// Independent of the guard's own decoder: true when `text` is UTF-8 whose characters XML allows.
bool AllowedText(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    uint32_t code = 0;
    size_t length = 0;
    if (c < 0x80) {
      code = c, length = 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
      code = c & 0x1F, length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      code = c & 0x0F, length = 3;
    } else if (c >= 0xF0 && c <= 0xF4) {
      code = c & 0x07, length = 4;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF))) {
      return false;
    }
    bool allowed = code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
                   (code >= 0xE000 && code <= 0xFFFD) || code >= 0x10000;
    if (!allowed) return false;
    i += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view xml(reinterpret_cast<const char*>(data), size);
  refservice::XmlLimits limits;
  limits.maxDepth = 8;
  limits.maxAttributes = 4;
  limits.maxNamespaces = 4;
  limits.maxElements = 32;
  std::optional<std::string> problem = refservice::CheckXml(xml, limits);
  if (problem && problem->empty()) Fail("a refusal without a reason");
  if (!problem) {
    if (!AllowedText(xml)) Fail("accepted text that is not allowed XML");
    size_t tags = 0;
    for (size_t at = xml.find('<'); at != std::string_view::npos; at = xml.find('<', at + 1)) {
      char next = at + 1 < xml.size() ? xml[at + 1] : '\0';
      if (next != '/' && next != '!' && next != '?') ++tags;
    }
    // Start tags inside comments, CDATA sections and processing instructions are not counted by
    // the guard, so only a message without them can be held to the count.
    if (xml.find("<!") == std::string_view::npos && xml.find("<?") == std::string_view::npos &&
        tags > limits.maxElements) {
      Fail("more elements than the limit were accepted");
    }
  }
  return 0;
}
