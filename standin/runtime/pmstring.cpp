// Host text types: UTF conversion, searching and number parsing.
#include "host/PMString.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "standin/runtime/string_tables.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

std::u16string Utf8ToUtf16(const std::string& in) {
  std::u16string out;
  out.reserve(in.size());
  size_t i = 0;
  const size_t n = in.size();
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(in[i]);
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
    int len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((c & 0xE0) == 0xC0) {
      len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4, cp = c & 0x07, min = 0x10000;
    } else {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    int got = 1;
    while (got < len && i + got < n && (static_cast<unsigned char>(in[i + got]) & 0xC0) == 0x80) {
      cp = (cp << 6) | (static_cast<unsigned char>(in[i + got]) & 0x3F);
      ++got;
    }
    if (got < len || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(kReplacement);
      i += got;
      continue;
    }
    AppendUtf16(out, cp);
    i += len;
  }
  return out;
}

std::string Utf16ToUtf8(const std::u16string& in) {
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    char32_t cp = in[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
        in[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

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
  text_ = Utf8ToUtf16(standin::StringTables::Get().Lookup(GetUTF8String()));
  translatable_ = false;
}
