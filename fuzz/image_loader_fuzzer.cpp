// Placed images (PNG and JPEG): any bytes decode or are refused with a
// reason, never harm, within a decompression budget: small limits on pixels
// and decoder memory, so that an input whose data would inflate far beyond
// its declared size costs no more than the size it declares.
#include <cairo.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "standin/pdf/image_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  standin::ImageLimits limits;
  limits.maxPixels = 1u << 20;
  limits.maxSide = 4096;
  limits.maxDecoderBytes = 32u << 20;
  limits.maxJpegScans = 100;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string error;
  cairo_surface_t* surface = standin::DecodeImage(bytes, limits, &error);
  if (!surface) {
    if (error.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  // What decodes is a whole image within the limits.
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS || width <= 0 || height <= 0 ||
      static_cast<unsigned>(width) > limits.maxSide ||
      static_cast<unsigned>(height) > limits.maxSide ||
      static_cast<unsigned long long>(width) * height > limits.maxPixels)
    std::abort();
  cairo_surface_destroy(surface);
  return 0;
}
