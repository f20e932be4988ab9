// The characters of a story, held compactly: the story's UTF-8 bytes and,
// for every kStride-th character, where it starts. A character is found by
// its index without decoding the text from its start, and the text costs
// little more than its UTF-8 size (a story of many megabytes stays a few
// percent above its file size in memory).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace standin {

class StoryText {
 public:
  // Characters between two recorded starts.
  static constexpr size_t kStride = 64;

  StoryText() = default;
  // Takes `utf8`, which must be well-formed UTF-8 (IsValidUtf8).
  explicit StoryText(std::string utf8);
  // The UTF-8 form of `text` (each value must be a Unicode scalar value).
  static StoryText FromUtf32(const std::u32string& text);

  // Characters (code points).
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  const std::string& Utf8() const { return utf8_; }

  // The byte at which character `index` starts; Utf8().size() for
  // index == size(). `index` must not exceed size().
  size_t Offset(size_t index) const;
  // Character `index`, which must be below size().
  char32_t At(size_t index) const;
  // The character starting at byte `*offset` (below Utf8().size()); moves
  // `*offset` to the next character.
  char32_t Next(size_t* offset) const;
  // Up to `count` characters from `start` (clipped to the text).
  std::u32string Slice(size_t start, size_t count) const;

  bool operator==(const std::u32string& text) const { return Slice(0, count_) == text; }

 private:
  std::string utf8_;
  std::vector<uint32_t> starts_;  // starts_[k]: byte of character k * kStride
  size_t count_ = 0;
};

}  // namespace standin
