#include "refservice/render/image_drawing.h"

#include <cairo.h>
#include <jpeglib.h>
#include <setjmp.h>

#include <cstring>
#include <vector>

#include "refservice/render/field_values.h"

namespace refservice {
namespace {

uint32_t BigEndian32(const std::string& bytes, size_t at) {
  return (uint32_t(uint8_t(bytes[at])) << 24) | (uint32_t(uint8_t(bytes[at + 1])) << 16) |
         (uint32_t(uint8_t(bytes[at + 2])) << 8) | uint32_t(uint8_t(bytes[at + 3]));
}

bool SizeAccepted(long long width, long long height, std::string* error) {
  if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide ||
      width * height > kMaxImagePixels) {
    *error = "the image is " + std::to_string(width) + " x " + std::to_string(height) +
             " pixels; at most " + std::to_string(kMaxImageSide) + " per side are accepted";
    return false;
  }
  return true;
}

struct PngReader {
  const std::string* bytes;
  size_t at;
};

cairo_status_t ReadPng(void* closure, unsigned char* data, unsigned int length) {
  PngReader* reader = static_cast<PngReader*>(closure);
  if (reader->bytes->size() - reader->at < length) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(data, reader->bytes->data() + reader->at, length);
  reader->at += length;
  return CAIRO_STATUS_SUCCESS;
}

cairo_surface_t* DecodePng(const std::string& bytes, std::string* error) {
  // The IHDR chunk follows the signature: length, "IHDR", width, height.
  if (bytes.size() < 24 || bytes.compare(12, 4, "IHDR") != 0) {
    *error = "the PNG image is damaged";
    return nullptr;
  }
  if (!SizeAccepted(BigEndian32(bytes, 16), BigEndian32(bytes, 20), error)) return nullptr;
  PngReader reader{&bytes, 0};
  cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(ReadPng, &reader);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    *error = "the PNG image cannot be read";
    return nullptr;
  }
  return surface;
}

struct JpegError {
  jpeg_error_mgr manager;
  jmp_buf jump;
};

void JpegFail(j_common_ptr info) { longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }
void JpegQuiet(j_common_ptr, int) {}

cairo_surface_t* DecodeJpeg(const std::string& bytes, std::string* error) {
  jpeg_decompress_struct info;
  JpegError failure;
  info.err = jpeg_std_error(&failure.manager);
  failure.manager.error_exit = JpegFail;
  failure.manager.emit_message = JpegQuiet;
  // Everything that must be released after a jump is declared before the jump point.
  cairo_surface_t* volatile surface = nullptr;
  if (setjmp(failure.jump) != 0) {
    jpeg_destroy_decompress(&info);
    if (surface != nullptr) cairo_surface_destroy(surface);
    *error = "the JPEG image cannot be read";
    return nullptr;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
               static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  if (!SizeAccepted(info.image_width, info.image_height, error)) {
    jpeg_destroy_decompress(&info);
    return nullptr;
  }
  info.out_color_space = JCS_RGB;
  if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
    info.out_color_space = JCS_CMYK;
  }
  jpeg_start_decompress(&info);
  const int width = static_cast<int>(info.output_width);
  const int height = static_cast<int>(info.output_height);
  surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  unsigned char* pixels = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  std::vector<unsigned char> row(static_cast<size_t>(width) * info.output_components);
  while (info.output_scanline < info.output_height) {
    unsigned char* rows[1] = {row.data()};
    int y = static_cast<int>(info.output_scanline);
    if (jpeg_read_scanlines(&info, rows, 1) != 1) break;
    uint32_t* out = reinterpret_cast<uint32_t*>(pixels + static_cast<size_t>(y) * stride);
    for (int x = 0; x < width; ++x) {
      const unsigned char* p = &row[static_cast<size_t>(x) * info.output_components];
      uint32_t r, g, b;
      if (info.out_color_space == JCS_CMYK) {
        // Adobe JPEGs store CMYK inverted; this is the usual reading of them.
        r = p[0] * p[3] / 255;
        g = p[1] * p[3] / 255;
        b = p[2] * p[3] / 255;
      } else if (info.output_components == 1) {
        r = g = b = p[0];
      } else {
        r = p[0];
        g = p[1];
        b = p[2];
      }
      out[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
    }
  }
  cairo_surface_mark_dirty(surface);
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return surface;
}

}  // namespace

cairo_surface_t* DecodeImage(const std::string& bytes, std::string* error) {
  std::string format = ImageFormat(bytes);
  if (format == "PNG") return DecodePng(bytes, error);
  if (format == "JPEG") return DecodeJpeg(bytes, error);
  *error = "not an image (PNG or JPEG expected)";
  return nullptr;
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
