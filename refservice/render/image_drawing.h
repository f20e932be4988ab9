// Image fields: a PNG or JPEG file decoded into pixels (sizes bounded before any pixel memory is
// taken) and drawn fitted proportionally and centred in its frame.
#pragma once

#include <string>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace refservice {

// Largest image accepted, in pixels per side and in total.
constexpr int kMaxImageSide = 20000;
constexpr long long kMaxImagePixels = 100LL * 1000 * 1000;

// Decodes `bytes` (PNG or JPEG). Null with `error` set when the bytes are not a readable image of
// an accepted size. The caller destroys the surface.
cairo_surface_t* DecodeImage(const std::string& bytes, std::string* error);

// Draws `image` scaled proportionally to fit `width` x `height` and centred in it; the frame's
// top-left corner is the current origin of `cr`.
void DrawImageFitted(cairo_t* cr, cairo_surface_t* image, double width, double height);

}  // namespace refservice
