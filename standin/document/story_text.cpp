#include "standin/document/story_text.h"

#include "standin/core/utf8.h"

namespace standin {

namespace {

// The length of the sequence a well-formed lead byte starts.
size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

}  // namespace

StoryText::StoryText(std::string utf8) : utf8_(std::move(utf8)) {
  size_t offset = 0;
  while (offset < utf8_.size()) {
    if (count_ % kStride == 0) starts_.push_back(static_cast<uint32_t>(offset));
    offset += SequenceLength(static_cast<unsigned char>(utf8_[offset]));
    ++count_;
  }
  starts_.shrink_to_fit();
}

StoryText StoryText::FromUtf32(const std::u32string& text) {
  std::string utf8;
  for (char32_t c : text) AppendUtf8(utf8, static_cast<uint32_t>(c));
  return StoryText(std::move(utf8));
}

size_t StoryText::Offset(size_t index) const {
  if (index >= count_) return utf8_.size();
  size_t offset = starts_[index / kStride];
  for (size_t skip = index % kStride; skip > 0; --skip)
    offset += SequenceLength(static_cast<unsigned char>(utf8_[offset]));
  return offset;
}

char32_t StoryText::Next(size_t* offset) const {
  uint32_t c = 0;
  if (!DecodeUtf8(utf8_, offset, &c)) {
    // Cannot happen for well-formed text; step over the byte all the same.
    ++*offset;
    return U'\uFFFD';
  }
  return static_cast<char32_t>(c);
}

char32_t StoryText::At(size_t index) const {
  size_t offset = Offset(index);
  return Next(&offset);
}

std::u32string StoryText::Slice(size_t start, size_t count) const {
  std::u32string out;
  if (start >= count_) return out;
  if (count > count_ - start) count = count_ - start;
  out.reserve(count);
  size_t offset = Offset(start);
  for (size_t i = 0; i < count; ++i) out.push_back(Next(&offset));
  return out;
}

}  // namespace standin
