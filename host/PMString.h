// Host text types. PMString holds UTF-16 text plus a flag that says whether
// Translate() may treat the text as a string-table key. WideString holds
// plain UTF-16 text (label strings, script values).
#pragma once

#include <string>

#include "BaseTypes.h"

class WideString {
 public:
  WideString() = default;
  explicit WideString(const std::u16string& text) : text_(text) {}
  // Builds from UTF-8; malformed bytes become U+FFFD.
  explicit WideString(const char* utf8);

  const std::u16string& Text() const { return text_; }
  int32 CharCount() const { return static_cast<int32>(text_.size()); }
  bool empty() const { return text_.empty(); }
  std::string GetUTF8String() const;

  bool operator==(const WideString& other) const { return text_ == other.text_; }
  bool operator!=(const WideString& other) const { return text_ != other.text_; }

 private:
  std::u16string text_;
};

class PMString {
 public:
  enum TranslateState { kTranslateDuringCall, kDontTranslateDuringCall };
  static constexpr int32 kNotFound = -1;

  PMString() = default;
  // Builds from UTF-8 (malformed bytes become U+FFFD).
  PMString(const char* utf8, TranslateState state = kTranslateDuringCall);
  PMString(const std::string& utf8, TranslateState state = kTranslateDuringCall);
  explicit PMString(const WideString& text);
  explicit PMString(const std::u16string& text) : text_(text) {}

  // Text access and conversion.
  const std::u16string& Text() const { return text_; }
  std::string GetUTF8String() const;
  // The text in the platform's narrow encoding (UTF-8 here), used for file
  // paths and file contents.
  std::string GetPlatformString() const { return GetUTF8String(); }
  WideString AsWideString() const { return WideString(text_); }
  void SetUTF8String(const std::string& utf8);

  int32 CharCount() const { return static_cast<int32>(text_.size()); }
  int32 size() const { return CharCount(); }
  bool IsEmpty() const { return text_.empty(); }
  bool empty() const { return text_.empty(); }
  void clear() { text_.clear(); }
  textchar operator[](int32 index) const { return text_[static_cast<size_t>(index)]; }

  // Position of the first occurrence of `what` at or after `start`, or kNotFound.
  int32 IndexOfString(const PMString& what, int32 start = 0) const;
  // Copy of `count` characters from `pos` (clamped to the text).
  PMString Substring(int32 pos, int32 count = -1) const;
  // Removes `count` characters at `pos` (clamped to the text).
  void Remove(int32 pos, int32 count);
  void Insert(const PMString& what, int32 pos);
  void Append(const PMString& what) { text_ += what.text_; }
  void Append(const char* utf8) { Append(PMString(utf8)); }
  void AppendNumber(int64 number);
  // Appends `number` with `digits` decimals: rounded to them when `round`
  // is set (else cut), trailing zeros kept when `trailingZeros` is set (else
  // dropped, with the point when no decimal is left). A point separates the
  // decimals whatever the locale.
  void AppendNumber(PMReal number, int32 digits, bool16 trailingZeros, bool16 round);
  // Lower-cases ASCII letters only; other characters are left as they are.
  void ToLower();

  // Reads the text as a decimal integer (leading blanks and a sign allowed).
  // Text that is not a number gives 0 and sets *error to kFailure if given.
  int32 GetAsNumber(ErrorCode* error = nullptr) const;

  // Translation: when the text is translatable, Translate() replaces it with
  // the host string table's text for it (the text itself when the tables
  // have no entry) and marks the result as translated.
  void Translate();
  void SetTranslatable(bool translatable) { translatable_ = translatable; }
  bool GetTranslatable() const { return translatable_; }

  PMString& operator+=(const PMString& other) {
    Append(other);
    return *this;
  }
  PMString& operator+=(const char* utf8) {
    Append(utf8);
    return *this;
  }
  friend PMString operator+(PMString a, const PMString& b) { return a += b; }
  // Equality test: exact with `caseSensitive` set; with it off, letters
  // compare without regard to case (ASCII and Latin-1 letters). With
  // `translated` set, both texts are translated before they are compared.
  bool16 IsEqual(const PMString& other, bool16 caseSensitive = 1, bool16 translated = 0) const;
  bool operator==(const PMString& other) const { return text_ == other.text_; }
  bool operator!=(const PMString& other) const { return text_ != other.text_; }
  // Ordering by UTF-16 code units.
  bool operator<(const PMString& other) const { return text_ < other.text_; }

 private:
  std::u16string text_;
  bool translatable_ = true;
};
