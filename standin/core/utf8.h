// The stand-in's one UTF-8 codec: strict decoding and encoding between
// UTF-8 and UTF-16/UTF-32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace standin {

// Decodes the code point at byte `*i` of `text` and advances `*i` past it.
// False (with `*i` unchanged) for malformed input: a truncated or overlong
// sequence, a surrogate, or a value above U+10FFFF.
bool DecodeUtf8(const std::string& text, size_t* i, uint32_t* codePoint);
// Appends the UTF-8 form of `codePoint` (which must be a scalar value).
void AppendUtf8(std::string& out, uint32_t codePoint);
// True when the whole of `text` is well-formed UTF-8.
bool IsValidUtf8(const std::string& text);

// Converts UTF-8 to UTF-16; each malformed sequence becomes one U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);
// Converts UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& text);

}  // namespace standin
