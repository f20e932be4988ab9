// Identifiers of the reference service: random hexadecimal text and GUIDs, from the system's
// random source.
#pragma once

#include <string>
#include <string_view>

namespace refservice {

// A new random identifier of the form 8-4-4-4-12 lower-case hexadecimal digits (version 4 UUID),
// from the system's random source.
std::string NewGuid();

// The all-zero identifier "00000000-0000-0000-0000-000000000000".
extern const char kZeroGuid[];

// True when `text` has the 8-4-4-4-12 hexadecimal form (either letter case).
bool IsGuidText(std::string_view text);

// `count` random bytes as 2*count lower-case hexadecimal characters.
std::string RandomHex(size_t count);

}  // namespace refservice
