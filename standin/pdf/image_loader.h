// Placed images for drawing: PNG and JPEG files read into cairo image
// surfaces, with limits on what a hostile file can make the host allocate.
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

// Reads the PNG or JPEG file at `path` through `files` (recognised by its
// first bytes).
// Returns a new image surface the caller destroys, or null with *error set
// (a one-line reason). A JPEG surface carries the file itself as its JPEG
// data, so a PDF embeds it unchanged.
cairo_surface_t* LoadImage(FileSystem& files, const std::string& path, std::string* error);

}  // namespace standin
