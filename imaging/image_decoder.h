// PNG and JPEG data decoded into cairo image surfaces, with limits on what a
// hostile file can make the caller allocate or compute: sizes are checked
// before any pixel memory is taken, decoding stops at the pixels the header
// declares (data beyond them, however much it would inflate to, is never
// decompressed), the decoders' working memory is capped and a progressive JPEG
// may have only so many scans. Data that ends before its image does is refused
// as damaged, never drawn with a grey remainder.
#pragma once

#include <cstddef>
#include <string>

typedef struct _cairo_surface cairo_surface_t;

namespace imaging {

// What decoding one image may cost.
struct DecodeLimits {
  unsigned long long maxPixels;
  unsigned maxSide;
  // Working memory of the decoder besides the image itself (JPEG
  // coefficient buffers, PNG chunks such as text and profiles).
  size_t maxDecoderBytes;
  // A progressive JPEG with more scans than this is refused.
  int maxJpegScans;
};

// The reasons a caller shows, in its own words (each one line).
struct DecodeTexts {
  // For data that is neither PNG nor JPEG.
  const char* notAnImage;
  // Writes into `out` (at most `size` bytes, terminated) why an image of
  // `width` x `height` pixels is refused under `limits`.
  void (*describeSize)(unsigned long long width, unsigned long long height,
                       const DecodeLimits& limits, char* out, size_t size);
  // Follow "damaged image: " when PNG data ends before the image's first row,
  // or before its last.
  const char* pngEndsBeforeImage;
  const char* pngEndsInImage;
  // Precedes "more than N scans".
  const char* refusedPrefix;
  // Precedes " (the decoder's reason)" when a JPEG needs more working memory
  // than allowed.
  const char* needsMemory;
};

// Decodes PNG or JPEG `data` (recognised by its first bytes) within `limits`.
// Returns a new image surface the caller destroys, or null with *error set to
// one line: "damaged image: ..." for data cut short or corrupt, otherwise why
// the data, its size or its cost is refused. A grey or RGB JPEG's surface
// carries the data itself as its JPEG data, so a PDF embeds it unchanged.
cairo_surface_t* DecodeImage(const std::string& data, const DecodeLimits& limits,
                             const DecodeTexts& texts, std::string* error);

}  // namespace imaging
