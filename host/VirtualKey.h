// A pressed key: either a character (any Unicode code point) or one of the
// host's virtual keys (editing, navigation and function keys). Two keys are
// equal when both are the same character or the same virtual key.
#pragma once

#include "BaseTypes.h"

class VirtualKey {
 public:
  // Virtual key codes.
  enum Code : uint16 {
    kNone = 0,
    kDelete,
    kTab,
    kBackspace,
    kEscape,
    kRightArrow,
    kLeftArrow,
    kHome,
    kEnd,
    kUpArrow,
    kDownArrow,
    kReturn,
    kEnter,
    kPageUp,
    kPageDown,
    kF1,
    kF2,
    kF3,
    kF4,
    kF5,
    kF6,
    kF7,
    kF8,
    kF9,
    kF10,
    kF11,
    kF12,
    kLastCode = kF12,
  };

  constexpr VirtualKey() = default;
  // The key of character `codePoint`.
  static constexpr VirtualKey Character(uint32 codePoint) { return VirtualKey(codePoint, false); }
  // The virtual key `code`.
  static constexpr VirtualKey Virtual(Code code) { return VirtualKey(code, true); }

  constexpr bool IsVirtualKey() const { return virtual_; }
  // The character's code point (0 for virtual keys).
  constexpr uint32 GetCodePoint() const { return virtual_ ? 0 : value_; }
  constexpr Code GetVirtualCode() const { return virtual_ ? static_cast<Code>(value_) : kNone; }
  // The 16-bit character code: the character itself when it fits in 16
  // bits, U+FFFD for characters beyond; for virtual keys their control
  // character (Backspace 0x08, Tab 0x09, Return 0x0D, Enter 0x03, Escape
  // 0x1B, Delete 0x7F) or 0 for keys without one. No virtual key has the
  // code of a letter or digit.
  constexpr textchar GetChar() const {
    if (!virtual_) return value_ <= 0xFFFF ? static_cast<textchar>(value_) : textchar{0xFFFD};
    switch (value_) {
      case kBackspace:
        return 0x08;
      case kTab:
        return 0x09;
      case kReturn:
        return 0x0D;
      case kEnter:
        return 0x03;
      case kEscape:
        return 0x1B;
      case kDelete:
        return 0x7F;
      default:
        return 0;
    }
  }

  constexpr bool operator==(const VirtualKey& o) const {
    return virtual_ == o.virtual_ && value_ == o.value_;
  }
  constexpr bool operator!=(const VirtualKey& o) const { return !(*this == o); }

 private:
  constexpr VirtualKey(uint32 value, bool isVirtual) : value_(value), virtual_(isVirtual) {}
  uint32 value_ = 0;
  bool virtual_ = true;
};

constexpr VirtualKey kVirtualNullKey = VirtualKey::Virtual(VirtualKey::kNone);
constexpr VirtualKey kVirtualDeleteKey = VirtualKey::Virtual(VirtualKey::kDelete);
constexpr VirtualKey kVirtualTabKey = VirtualKey::Virtual(VirtualKey::kTab);
constexpr VirtualKey kVirtualBackspaceKey = VirtualKey::Virtual(VirtualKey::kBackspace);
constexpr VirtualKey kVirtualEscapeKey = VirtualKey::Virtual(VirtualKey::kEscape);
constexpr VirtualKey kVirtualRightArrowKey = VirtualKey::Virtual(VirtualKey::kRightArrow);
constexpr VirtualKey kVirtualLeftArrowKey = VirtualKey::Virtual(VirtualKey::kLeftArrow);
constexpr VirtualKey kVirtualHomeKey = VirtualKey::Virtual(VirtualKey::kHome);
constexpr VirtualKey kVirtualEndKey = VirtualKey::Virtual(VirtualKey::kEnd);
constexpr VirtualKey kVirtualUpArrowKey = VirtualKey::Virtual(VirtualKey::kUpArrow);
constexpr VirtualKey kVirtualDownArrowKey = VirtualKey::Virtual(VirtualKey::kDownArrow);
constexpr VirtualKey kVirtualReturnKey = VirtualKey::Virtual(VirtualKey::kReturn);
constexpr VirtualKey kVirtualEnterKey = VirtualKey::Virtual(VirtualKey::kEnter);
