#include "model/control_types.h"

namespace controltypes {

namespace {

// Indexed by stored code; null where the code has no meaning.
constexpr const char* kTextKeys[] = {
    "0x199e00kOslTypeKeyBox",  "0x199e00kOslTypeKeyArea",    "0x199e00kOslTypeKeyPicker",
    "0x199e00kOslTypeKeyRich", "0x199e00kOslTypeKeyBarcode",
};
constexpr const char* kGraphicKeys[] = {
    "0x199e00kOslTypeKeyStandardimageupload",
    "0x199e00kOslTypeKeyAdvancedimageupload",
    "0x199e00kOslTypeKeyImagepicker",
    "0x199e00kOslTypeKeyNonprintable",
};
constexpr int32 kTextCodes = sizeof(kTextKeys) / sizeof(kTextKeys[0]);
constexpr int32 kGraphicCodes = sizeof(kGraphicKeys) / sizeof(kGraphicKeys[0]);

}  // namespace

int32 ListLength(FrameKind kind) {
  // Every code but the picker code 2 is offered.
  return (kind == FrameKind::kText ? kTextCodes : kGraphicCodes) - 1;
}

const char* ListKey(FrameKind kind, int32 position) {
  if (position < 0 || position >= ListLength(kind)) return nullptr;
  return DisplayKeyOfCode(kind, CodeOfPosition(position));
}

const char* DisplayKeyOfCode(FrameKind kind, int32 code) {
  if (kind == FrameKind::kText) return code >= 0 && code < kTextCodes ? kTextKeys[code] : nullptr;
  return code >= 0 && code < kGraphicCodes ? kGraphicKeys[code] : nullptr;
}

const char* DisplayKeyOfCodeText(FrameKind kind, const std::string& code) {
  if (code.size() != 1 || code[0] < '0' || code[0] > '9') return nullptr;
  return DisplayKeyOfCode(kind, code[0] - '0');
}

}  // namespace controltypes
