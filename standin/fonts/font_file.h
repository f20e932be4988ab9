// Font files opened with FreeType without trusting them. Only a regular
// file is opened: a FIFO, device or folder named as a font file is refused
// at once instead of blocking the host or reading forever, and the file is
// read through the very descriptor that was checked.
#pragma once

#include <memory>
#include <string>

struct FT_FaceRec_;

namespace standin {

// An open font file: a FreeType face with its own library and the file's
// descriptor. Closing it frees all three.
class FontFile;
struct FontFileCloser {
  void operator()(FontFile* file) const;
};
using FontFilePtr = std::unique_ptr<FontFile, FontFileCloser>;

// Font files larger than this are not opened.
constexpr long long kMaxFontFileBytes = 256ll << 20;

// Face `index` of the font file at `path`, with a FreeType library of its
// own. Null with *error set (one line that names the file) when the file is
// not a regular file, is empty or too large, cannot be read, or is not a
// font FreeType reads (or has no glyphs).
FontFilePtr OpenFontFile(const std::string& path, int index, std::string* error);
// The face of an open file; it lives as long as the file stays open.
FT_FaceRec_* FaceOf(const FontFile& file);

// True when OpenFontFile succeeds for `path` and `index`; otherwise false
// with *error set (may be null).
bool IsUsableFontFile(const std::string& path, int index, std::string* error);

}  // namespace standin
