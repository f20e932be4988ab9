// Image fields: a PNG or JPEG file decoded into pixels (by the shared decoder, imaging/, within
// the service's limits and in its own words) and drawn fitted proportionally and centred in its
// frame.
#pragma once

#include <cstddef>
#include <string>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace refservice {

// Largest image accepted, in pixels per side and in total.
constexpr int kMaxImageSide = 20000;
constexpr long long kMaxImagePixels = 100LL * 1000 * 1000;

// Working memory of a decoder besides the image itself (JPEG coefficient buffers, PNG chunks).
constexpr size_t kMaxImageDecoderBytes = size_t{256} << 20;
// A progressive JPEG with more scans than this is refused.
constexpr int kMaxJpegScans = 1000;

// Decodes `bytes` (PNG or JPEG). Null with `error` set (one line: "damaged image: ...", or why
// the size or cost is refused) when the bytes are not a whole, readable image of an accepted
// size. The caller destroys the surface. A grey or RGB JPEG's surface carries the file itself as
// its JPEG data, so a PDF embeds the file unchanged instead of its decoded pixels.
cairo_surface_t* DecodeImage(const std::string& bytes, std::string* error);

// Draws `image` scaled proportionally to fit `width` x `height` and centred in it; the frame's
// top-left corner is the current origin of `cr`.
void DrawImageFitted(cairo_t* cr, cairo_surface_t* image, double width, double height);

}  // namespace refservice
