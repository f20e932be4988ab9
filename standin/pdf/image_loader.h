// Placed images for drawing: PNG and JPEG files read into cairo image
// surfaces by the shared decoder (imaging/), within the host's limits and with
// the host's own texts for what is refused.
#pragma once

#include <cstddef>
#include <string>

typedef struct _cairo_surface cairo_surface_t;

namespace standin {

class FileSystem;

// Files larger than this are not read.
constexpr size_t kMaxImageFileBytes = 256u << 20;
// Images with more pixels than this, or wider or taller than
// kMaxImageSide, are not decoded.
constexpr unsigned long long kMaxImagePixels = 64ull << 20;
constexpr unsigned kMaxImageSide = 32767;

// What decoding one image may cost.
struct ImageLimits {
  unsigned long long maxPixels = kMaxImagePixels;
  unsigned maxSide = kMaxImageSide;
  // Working memory of the decoder besides the image itself (JPEG
  // coefficient buffers, PNG chunks such as text and profiles).
  size_t maxDecoderBytes = 1u << 30;
  // A progressive JPEG with more scans than this is refused.
  int maxJpegScans = 1000;
};

// Reads the PNG or JPEG file at `path` through `files` (recognised by its
// first bytes; only a regular file is read).
// Returns a new image surface the caller destroys, or null with *error set
// (a one-line reason). A file whose data is cut short or corrupt is reported
// as a damaged image. A JPEG surface of a grey or RGB file carries the file
// itself as its JPEG data, so a PDF embeds it unchanged.
cairo_surface_t* LoadImage(FileSystem& files, const std::string& path, std::string* error);

// Decodes PNG or JPEG `data` as LoadImage does, within `limits`.
cairo_surface_t* DecodeImage(const std::string& data, const ImageLimits& limits,
                             std::string* error);

}  // namespace standin
