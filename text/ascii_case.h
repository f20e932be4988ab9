// Letter case of ASCII text: protocol names, header names, identifiers,
// e-mail addresses. Only the bytes A-Z and a-z change or compare without
// case; every other byte (UTF-8 sequences too) stays and compares as it is,
// whatever locale the process runs in.
#pragma once

#include <string>
#include <string_view>

namespace textutil {

// `text` with A-Z turned into a-z.
std::string Lower(std::string text);

// Whether `a` and `b` are equal when A-Z and a-z are taken as the same.
bool EqualsNoCase(std::string_view a, std::string_view b);

// Whether `text` begins with `prefix`, A-Z and a-z taken as the same.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

}  // namespace textutil
