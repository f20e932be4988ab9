#include "standin/pdf/image_loader.h"

#include <cairo.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "standin/core/file_system.h"

namespace standin {

namespace {

uint32_t BigEndian32(const unsigned char* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

bool SizeAllowed(unsigned long long width, unsigned long long height, std::string* error) {
  if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide ||
      width * height > kMaxImagePixels) {
    *error = "image size " + std::to_string(width) + " x " + std::to_string(height) +
             " is outside the limits";
    return false;
  }
  return true;
}

// cairo reads PNG data from memory through this.
struct MemoryReader {
  const std::string* data;
  size_t offset;
};

cairo_status_t ReadMemory(void* closure, unsigned char* out, unsigned int length) {
  auto* reader = static_cast<MemoryReader*>(closure);
  if (reader->data->size() - reader->offset < length) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(out, reader->data->data() + reader->offset, length);
  reader->offset += length;
  return CAIRO_STATUS_SUCCESS;
}

cairo_surface_t* LoadPng(const std::string& data, std::string* error) {
  // The header chunk comes first: signature (8), length (4), "IHDR" (4),
  // width (4), height (4).
  if (data.size() < 24 || data.compare(12, 4, "IHDR") != 0) {
    *error = "not a valid PNG file";
    return nullptr;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  if (!SizeAllowed(BigEndian32(bytes + 16), BigEndian32(bytes + 20), error)) return nullptr;
  MemoryReader reader{&data, 0};
  cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(ReadMemory, &reader);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    *error = std::string("cannot decode the PNG file (") +
             cairo_status_to_string(cairo_surface_status(surface)) + ")";
    cairo_surface_destroy(surface);
    return nullptr;
  }
  return surface;
}

// libjpeg reports fatal errors through error_exit, which must not return.
struct JpegError {
  jpeg_error_mgr manager;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr info) {
  auto* error = reinterpret_cast<JpegError*>(info->err);
  (*info->err->format_message)(info, error->message);
  longjmp(error->jump, 1);
}

void JpegSilence(j_common_ptr, int) {}

// Decodes into `surface` (made here, RGB24). Holds no C++ objects with
// destructors across the jump.
bool DecodeJpeg(const unsigned char* data, unsigned long size, cairo_surface_t** surface,
                char* message, size_t messageSize, int* components) {
  jpeg_decompress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = JpegErrorExit;
  error.manager.emit_message = JpegSilence;
  error.message[0] = '\0';
  unsigned char* volatile row = nullptr;
  *surface = nullptr;
  if (setjmp(error.jump)) {
    std::snprintf(message, messageSize, "cannot decode the JPEG file (%s)", error.message);
    jpeg_destroy_decompress(&info);
    free(row);
    if (*surface) cairo_surface_destroy(*surface);
    *surface = nullptr;
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, size);
  jpeg_read_header(&info, TRUE);
  if (info.image_width == 0 || info.image_height == 0 || info.image_width > kMaxImageSide ||
      info.image_height > kMaxImageSide ||
      static_cast<unsigned long long>(info.image_width) * info.image_height > kMaxImagePixels) {
    std::snprintf(message, messageSize, "image size %u x %u is outside the limits",
                  info.image_width, info.image_height);
    jpeg_destroy_decompress(&info);
    return false;
  }
  *components = info.num_components;
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&info);
  *surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(info.output_width),
                                        static_cast<int>(info.output_height));
  if (cairo_surface_status(*surface) != CAIRO_STATUS_SUCCESS) {
    std::snprintf(message, messageSize, "out of memory for the image");
    jpeg_destroy_decompress(&info);
    cairo_surface_destroy(*surface);
    *surface = nullptr;
    return false;
  }
  const int stride = cairo_image_surface_get_stride(*surface);
  unsigned char* pixels = cairo_image_surface_get_data(*surface);
  row = static_cast<unsigned char*>(
      malloc(static_cast<size_t>(info.output_width) * static_cast<size_t>(info.output_components)));
  if (!row) {
    std::snprintf(message, messageSize, "out of memory for the image");
    jpeg_destroy_decompress(&info);
    cairo_surface_destroy(*surface);
    *surface = nullptr;
    return false;
  }
  // Files written with Adobe's marker store CMYK inverted.
  const bool inverted = cmyk && info.saw_Adobe_marker;
  while (info.output_scanline < info.output_height) {
    const unsigned y = info.output_scanline;
    JSAMPROW rows[1] = {row};
    jpeg_read_scanlines(&info, rows, 1);
    auto* out = reinterpret_cast<uint32_t*>(pixels + static_cast<size_t>(y) * stride);
    for (unsigned x = 0; x < info.output_width; ++x) {
      unsigned r, g, b;
      if (cmyk) {
        const unsigned char* p = row + x * 4;
        unsigned c = p[0], m = p[1], ye = p[2], k = p[3];
        if (!inverted) c = 255 - c, m = 255 - m, ye = 255 - ye, k = 255 - k;
        // Now 255 = no ink.
        r = c * k / 255;
        g = m * k / 255;
        b = ye * k / 255;
      } else {
        const unsigned char* p = row + x * 3;
        r = p[0], g = p[1], b = p[2];
      }
      out[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  free(row);
  cairo_surface_mark_dirty(*surface);
  return true;
}

void FreeString(void* data) { delete static_cast<std::string*>(data); }

cairo_surface_t* LoadJpeg(const std::string& data, std::string* error) {
  cairo_surface_t* surface = nullptr;
  char message[JMSG_LENGTH_MAX + 64];
  int components = 0;
  if (!DecodeJpeg(reinterpret_cast<const unsigned char*>(data.data()),
                  static_cast<unsigned long>(data.size()), &surface, message, sizeof message,
                  &components)) {
    *error = message;
    return nullptr;
  }
  // Grey and RGB files go into the PDF as they are; CMYK ones as decoded.
  if (components == 1 || components == 3) {
    auto* copy = new std::string(data);
    if (cairo_surface_set_mime_data(surface, CAIRO_MIME_TYPE_JPEG,
                                    reinterpret_cast<const unsigned char*>(copy->data()),
                                    copy->size(), FreeString, copy) != CAIRO_STATUS_SUCCESS)
      delete copy;
  }
  return surface;
}

}  // namespace

cairo_surface_t* LoadImage(FileSystem& files, const std::string& path, std::string* error) {
  std::string data;
  if (!files.ReadFile(path, &data, error, kMaxImageFileBytes)) return nullptr;
  if (data.size() >= 8 && data.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0) return LoadPng(data, error);
  if (data.size() >= 3 && data.compare(0, 3, "\xFF\xD8\xFF") == 0) return LoadJpeg(data, error);
  *error = "not a PNG or JPEG file";
  return nullptr;
}

}  // namespace standin
