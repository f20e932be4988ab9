// Host text types: conversion, searching, number parsing and translation
// through the current host's string tables.
#include "host/PMString.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <cstdlib>

#include "standin/app/host.h"
#include "standin/core/utf8.h"

using standin::Utf16ToUtf8;
using standin::Utf8ToUtf16;

WideString::WideString(const char* utf8) : text_(Utf8ToUtf16(utf8 ? utf8 : "")) {}

std::string WideString::GetUTF8String() const { return Utf16ToUtf8(text_); }

PMString::PMString(const char* utf8, TranslateState state)
    : text_(Utf8ToUtf16(utf8 ? utf8 : "")), translatable_(state == kTranslateDuringCall) {}

PMString::PMString(const std::string& utf8, TranslateState state)
    : text_(Utf8ToUtf16(utf8)), translatable_(state == kTranslateDuringCall) {}

PMString::PMString(const WideString& text) : text_(text.Text()) {}

std::string PMString::GetUTF8String() const { return Utf16ToUtf8(text_); }

void PMString::SetUTF8String(const std::string& utf8) { text_ = Utf8ToUtf16(utf8); }

int32 PMString::IndexOfString(const PMString& what, int32 start) const {
  if (start < 0 || static_cast<size_t>(start) > text_.size()) return kNotFound;
  const size_t pos = text_.find(what.text_, static_cast<size_t>(start));
  return pos == std::u16string::npos ? kNotFound : static_cast<int32>(pos);
}

PMString PMString::Substring(int32 pos, int32 count) const {
  PMString result;
  result.translatable_ = translatable_;
  if (pos < 0 || static_cast<size_t>(pos) >= text_.size()) return result;
  const size_t n = count < 0 ? std::u16string::npos : static_cast<size_t>(count);
  result.text_ = text_.substr(static_cast<size_t>(pos), n);
  return result;
}

void PMString::Remove(int32 pos, int32 count) {
  if (pos < 0 || count <= 0 || static_cast<size_t>(pos) >= text_.size()) return;
  text_.erase(static_cast<size_t>(pos), static_cast<size_t>(count));
}

void PMString::Insert(const PMString& what, int32 pos) {
  const size_t at = std::min(text_.size(), static_cast<size_t>(std::max(pos, 0)));
  text_.insert(at, what.text_);
}

void PMString::AppendNumber(int64 number) { Append(PMString(std::to_string(number))); }

void PMString::AppendNumber(PMReal number, int32 digits, bool16 trailingZeros, bool16 round) {
  digits = std::clamp(digits, 0, 15);
  if (!std::isfinite(number)) {
    Append(PMString(std::isnan(number) ? "NaN" : number > 0 ? "INF" : "-INF"));
    return;
  }
  const double scale = std::pow(10.0, digits);
  double scaled = number * scale;
  scaled = round ? std::round(scaled) : std::trunc(scaled);
  // Formatting in "C" terms: the point never depends on the locale.
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%.*f", static_cast<int>(digits), scaled / scale);
  std::string text = buffer;
  const size_t point = text.find_first_of(".,");
  if (point != std::string::npos) text[point] = '.';
  if (!trailingZeros && point != std::string::npos) {
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  Append(PMString(text, kDontTranslateDuringCall));
}

bool16 PMString::IsEqual(const PMString& other, bool16 caseSensitive, bool16 translated) const {
  PMString a = *this, b = other;
  if (translated) {
    a.Translate();
    b.Translate();
  }
  if (caseSensitive) return a.text_ == b.text_ ? 1 : 0;
  if (a.text_.size() != b.text_.size()) return 0;
  auto fold = [](char16_t c) -> char16_t {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    return c;
  };
  for (size_t i = 0; i < a.text_.size(); ++i) {
    if (fold(a.text_[i]) != fold(b.text_[i])) return 0;
  }
  return 1;
}

void PMString::ToLower() {
  for (auto& c : text_) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
  }
}

int32 PMString::GetAsNumber(ErrorCode* error) const {
  const std::string text = GetUTF8String();
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(begin, &end, 10);
  bool ok = end != begin && errno == 0 && value >= INT32_MIN && value <= INT32_MAX;
  if (ok) {
    while (*end == ' ' || *end == '\t') ++end;
    ok = *end == '\0';
  }
  if (error) *error = ok ? kSuccess : kFailure;
  return ok ? static_cast<int32>(value) : 0;
}

void PMString::Translate() {
  if (!translatable_) return;
  standin::Host* host = standin::Host::CurrentOrNull();
  if (host) text_ = Utf8ToUtf16(host->Strings().Lookup(GetUTF8String()));
  translatable_ = false;
}
