#include "refservice/render/image_drawing.h"

#include <cairo.h>

#include <algorithm>
#include <cstdio>

#include "imaging/image_decoder.h"

namespace refservice {
namespace {

void DescribeSize(unsigned long long width, unsigned long long height,
                  const imaging::DecodeLimits& limits, char* out, size_t size) {
  std::snprintf(out, size,
                "the image is %llu x %llu pixels; at most %u pixels per side and %llu "
                "megapixels in all are accepted",
                width, height, limits.maxSide, limits.maxPixels / 1000000);
}

constexpr imaging::DecodeLimits kLimits = {kMaxImagePixels, kMaxImageSide, kMaxImageDecoderBytes,
                                           kMaxJpegScans};
constexpr imaging::DecodeTexts kTexts = {
    "not an image (PNG or JPEG expected)",
    DescribeSize,
    "the PNG data ends before the image begins",
    "the PNG data ends before the image does",
    "the image is refused: ",
    "the image needs more memory to decode than allowed",
};

}  // namespace

cairo_surface_t* DecodeImage(const std::string& bytes, std::string* error) {
  return imaging::DecodeImage(bytes, kLimits, kTexts, error);
}

void DrawImageFitted(cairo_t* cr, cairo_surface_t* image, double width, double height) {
  const double imageWidth = cairo_image_surface_get_width(image);
  const double imageHeight = cairo_image_surface_get_height(image);
  if (imageWidth <= 0 || imageHeight <= 0) return;
  const double scale = std::min(width / imageWidth, height / imageHeight);
  cairo_save(cr);
  cairo_rectangle(cr, 0, 0, width, height);
  cairo_clip(cr);
  cairo_translate(cr, (width - imageWidth * scale) / 2, (height - imageHeight * scale) / 2);
  cairo_scale(cr, scale, scale);
  cairo_set_source_surface(cr, image, 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);
}

}  // namespace refservice
