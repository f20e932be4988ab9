#include "refservice/render/image_drawing.h"

#include <cairo.h>
#include <jerror.h>
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "refservice/render/field_values.h"

namespace refservice {
namespace {

// libpng and libjpeg report fatal errors by a long jump: no object with a destructor lives
// across one in the decoders below.

bool SizeAccepted(unsigned long long width, unsigned long long height, char* message,
                  size_t messageSize) {
  if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide ||
      width * height > static_cast<unsigned long long>(kMaxImagePixels)) {
    std::snprintf(message, messageSize,
                  "the image is %llu x %llu pixels; at most %d pixels per side and %lld "
                  "megapixels in all are accepted",
                  width, height, kMaxImageSide, kMaxImagePixels / 1000000);
    return false;
  }
  return true;
}

cairo_surface_t* NewSurface(cairo_format_t format, unsigned width, unsigned height, char* message,
                            size_t messageSize) {
  cairo_surface_t* surface =
      cairo_image_surface_create(format, static_cast<int>(width), static_cast<int>(height));
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    std::snprintf(message, messageSize, "out of memory for a %u x %u image", width, height);
    cairo_surface_destroy(surface);
    return nullptr;
  }
  return surface;
}

// ---- PNG: libpng's push mode, fed in slices; no slice is fed once every row has arrived ----

struct PngDecoding {
  cairo_surface_t* surface;
  png_bytep* rows;
  unsigned long long rowsExpected;
  unsigned long long rowsSeen;
  bool done;
  bool refused;  // outside the limits (not damaged)
  char message[200];
};

constexpr size_t kPngSlice = 4096;

void PngError(png_structp png, png_const_charp text) {
  auto* decoding = static_cast<PngDecoding*>(png_get_error_ptr(png));
  if (decoding->message[0] == '\0') {
    std::snprintf(decoding->message, sizeof decoding->message, "%s", text);
  }
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void PngOnInfo(png_structp png, png_infop info) {
  auto* decoding = static_cast<PngDecoding*>(png_get_progressive_ptr(png));
  png_uint_32 width = 0, height = 0;
  int depth = 0, type = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &type, &interlace, nullptr, nullptr);
  if (!SizeAccepted(width, height, decoding->message, sizeof decoding->message)) {
    decoding->refused = true;
    png_error(png, decoding->message);
  }
  // Everything becomes 8-bit RGBA.
  if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (depth == 16) png_set_strip_16(png);
  if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  // With interlace handling every row is reported once per pass.
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4) {
    std::snprintf(decoding->message, sizeof decoding->message, "an unsupported pixel format");
    png_error(png, decoding->message);
  }
  decoding->surface =
      NewSurface(CAIRO_FORMAT_ARGB32, width, height, decoding->message, sizeof decoding->message);
  decoding->rows = static_cast<png_bytep*>(std::calloc(height, sizeof(png_bytep)));
  if (decoding->surface == nullptr || decoding->rows == nullptr) {
    decoding->refused = true;
    std::snprintf(decoding->message, sizeof decoding->message, "out of memory for the image");
    png_error(png, decoding->message);
  }
  unsigned char* pixels = cairo_image_surface_get_data(decoding->surface);
  const int stride = cairo_image_surface_get_stride(decoding->surface);
  for (png_uint_32 y = 0; y < height; ++y) {
    decoding->rows[y] = pixels + static_cast<size_t>(y) * stride;
  }
  decoding->rowsExpected = static_cast<unsigned long long>(height) * passes;
}

void PngOnRow(png_structp png, png_bytep row, png_uint_32 number, int) {
  auto* decoding = static_cast<PngDecoding*>(png_get_progressive_ptr(png));
  if (decoding->rows == nullptr) return;
  const auto height = static_cast<png_uint_32>(cairo_image_surface_get_height(decoding->surface));
  if (row != nullptr && number < height) {
    png_progressive_combine_row(png, decoding->rows[number], row);
  }
  if (++decoding->rowsSeen >= decoding->rowsExpected) decoding->done = true;
}

void PngOnEnd(png_structp png, png_infop) {
  static_cast<PngDecoding*>(png_get_progressive_ptr(png))->done = true;
}

// RGBA bytes to cairo's premultiplied native-endian ARGB, in place.
void PremultiplyRgba(cairo_surface_t* surface) {
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  unsigned char* pixels = cairo_image_surface_get_data(surface);
  for (int y = 0; y < height; ++y) {
    unsigned char* row = pixels + static_cast<size_t>(y) * stride;
    auto* out = reinterpret_cast<uint32_t*>(row);
    for (int x = 0; x < width; ++x) {
      const unsigned char* p = row + x * 4;
      const uint32_t a = p[3];
      const uint32_t r = (p[0] * a + 127) / 255;
      const uint32_t g = (p[1] * a + 127) / 255;
      const uint32_t b = (p[2] * a + 127) / 255;
      out[x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
  }
  cairo_surface_mark_dirty(surface);
}

// Sets `*error` from a failed decoding. Kept out of line: the decoder's own frame, which a long
// jump returns to, holds no string of its own.
[[gnu::noinline]] void SetPngError(const PngDecoding& decoding, std::string* error) {
  *error = decoding.refused ? std::string(decoding.message)
                            : std::string("damaged image: ") + decoding.message;
}

cairo_surface_t* DecodePng(const std::string& bytes, std::string* error) {
  PngDecoding decoding{nullptr, nullptr, 0, 0, false, false, {0}};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &decoding, PngError, PngWarning);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    *error = "out of memory for the PNG decoder";
    return nullptr;
  }
  if (setjmp(png_jmpbuf(png))) {
    SetPngError(decoding, error);
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(decoding.rows);
    if (decoding.surface != nullptr) cairo_surface_destroy(decoding.surface);
    return nullptr;
  }
  // The size is checked against the service's own limits once the header is read.
  png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
  png_set_chunk_cache_max(png, 128);
  png_set_chunk_malloc_max(png, kMaxImageDecoderBytes);
  png_set_progressive_read_fn(png, &decoding, PngOnInfo, PngOnRow, PngOnEnd);
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t offset = 0; offset < bytes.size() && !decoding.done; offset += kPngSlice) {
    png_process_data(png, info, const_cast<png_bytep>(data + offset),
                     std::min(kPngSlice, bytes.size() - offset));
  }
  if (!decoding.done || decoding.rowsSeen < decoding.rowsExpected) {
    std::snprintf(decoding.message, sizeof decoding.message,
                  decoding.surface != nullptr ? "the PNG data ends before the image does"
                                              : "the PNG data ends before the image begins");
    png_error(png, decoding.message);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::free(decoding.rows);
  PremultiplyRgba(decoding.surface);
  return decoding.surface;
}

// ---- JPEG ----

struct JpegError {
  jpeg_error_mgr manager;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  bool endedEarly;
};

void JpegErrorExit(j_common_ptr info) {
  auto* failure = reinterpret_cast<JpegError*>(info->err);
  (*info->err->format_message)(info, failure->message);
  longjmp(failure->jump, 1);
}

// Warnings are not shown; data that ends before the image does is noted.
void JpegMessage(j_common_ptr info, int level) {
  auto* failure = reinterpret_cast<JpegError*>(info->err);
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) failure->endedEarly = true;
}

struct JpegProgress {
  jpeg_progress_mgr manager;
};

// A progressive file is decoded scan by scan over the whole image: a file of very many tiny
// scans costs time without bound, so their number is.
void JpegOnProgress(j_common_ptr common) {
  auto* info = reinterpret_cast<j_decompress_ptr>(common);
  if (info->input_scan_number > kMaxJpegScans) {
    std::snprintf(reinterpret_cast<JpegError*>(common->err)->message, JMSG_LENGTH_MAX,
                  "more than %d scans", kMaxJpegScans);
    longjmp(reinterpret_cast<JpegError*>(common->err)->jump, 2);
  }
}

cairo_surface_t* DecodeJpeg(const std::string& bytes, int* components, std::string* error) {
  jpeg_decompress_struct info;
  JpegError failure;
  JpegProgress progress;
  info.err = jpeg_std_error(&failure.manager);
  failure.manager.error_exit = JpegErrorExit;
  failure.manager.emit_message = JpegMessage;
  failure.message[0] = '\0';
  failure.endedEarly = false;
  // Everything that must be released after a jump is declared before the jump point.
  unsigned char* volatile row = nullptr;
  cairo_surface_t* volatile surface = nullptr;
  char message[JMSG_LENGTH_MAX + 256] = {0};
  switch (setjmp(failure.jump)) {
    case 0:
      break;
    case 2:
      std::snprintf(message, sizeof message, "the image is refused: %s", failure.message);
      break;
    default:
      if (failure.manager.msg_code == JERR_OUT_OF_MEMORY ||
          failure.manager.msg_code == JERR_NO_BACKING_STORE) {
        std::snprintf(message, sizeof message,
                      "the image needs more memory to decode than allowed (%s)", failure.message);
      } else {
        std::snprintf(message, sizeof message, "damaged image: %s", failure.message);
      }
      break;
  }
  if (message[0] != '\0') {
    jpeg_destroy_decompress(&info);
    std::free(row);
    if (surface != nullptr) cairo_surface_destroy(surface);
    *error = message;
    return nullptr;
  }
  jpeg_create_decompress(&info);
  info.mem->max_memory_to_use = static_cast<long>(kMaxImageDecoderBytes);
  progress.manager.progress_monitor = JpegOnProgress;
  info.progress = &progress.manager;
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
               static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  if (failure.endedEarly ||
      !SizeAccepted(info.image_width, info.image_height, message, sizeof message)) {
    jpeg_destroy_decompress(&info);
    *error = failure.endedEarly ? "damaged image: the JPEG data ends before the image begins"
                                : message;
    return nullptr;
  }
  *components = info.num_components;
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&info);
  surface = NewSurface(CAIRO_FORMAT_RGB24, info.output_width, info.output_height, message,
                       sizeof message);
  if (surface != nullptr) {
    row = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(info.output_width) *
                                                  static_cast<size_t>(info.output_components)));
    if (row == nullptr) std::snprintf(message, sizeof message, "out of memory for the image");
  }
  if (surface == nullptr || row == nullptr) {
    jpeg_destroy_decompress(&info);
    if (surface != nullptr) cairo_surface_destroy(surface);
    *error = message;
    return nullptr;
  }
  const int stride = cairo_image_surface_get_stride(surface);
  unsigned char* pixels = cairo_image_surface_get_data(surface);
  // Files written with Adobe's marker store CMYK inverted.
  const bool inverted = cmyk && info.saw_Adobe_marker;
  while (info.output_scanline < info.output_height && !failure.endedEarly) {
    const unsigned y = info.output_scanline;
    JSAMPROW rows[1] = {row};
    if (jpeg_read_scanlines(&info, rows, 1) != 1) break;
    auto* out = reinterpret_cast<uint32_t*>(pixels + static_cast<size_t>(y) * stride);
    for (unsigned x = 0; x < info.output_width; ++x) {
      unsigned r, g, b;
      if (cmyk) {
        const unsigned char* p = row + x * 4;
        unsigned c = p[0], m = p[1], ye = p[2], k = p[3];
        if (!inverted) c = 255 - c, m = 255 - m, ye = 255 - ye, k = 255 - k;
        // Now 255 means no ink.
        r = c * k / 255;
        g = m * k / 255;
        b = ye * k / 255;
      } else if (info.output_components == 1) {
        r = g = b = row[x];
      } else {
        const unsigned char* p = row + x * 3;
        r = p[0], g = p[1], b = p[2];
      }
      out[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
    }
  }
  const bool whole = !failure.endedEarly && info.output_scanline >= info.output_height;
  // Not jpeg_finish_decompress: whatever follows the image is not read.
  jpeg_destroy_decompress(&info);
  std::free(row);
  if (!whole) {
    cairo_surface_destroy(surface);
    *error = "damaged image: the JPEG data ends before the image does";
    return nullptr;
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

void FreeString(void* data) { delete static_cast<std::string*>(data); }

}  // namespace

cairo_surface_t* DecodeImage(const std::string& bytes, std::string* error) {
  std::string format = ImageFormat(bytes);
  if (format == "PNG") return DecodePng(bytes, error);
  if (format != "JPEG") {
    *error = "not an image (PNG or JPEG expected)";
    return nullptr;
  }
  int components = 0;
  cairo_surface_t* surface = DecodeJpeg(bytes, &components, error);
  // Grey and RGB files go into a PDF as they are; CMYK ones as decoded (their inversion
  // conventions differ between readers).
  if (surface != nullptr && (components == 1 || components == 3)) {
    auto* copy = new std::string(bytes);
    if (cairo_surface_set_mime_data(surface, CAIRO_MIME_TYPE_JPEG,
                                    reinterpret_cast<const unsigned char*>(copy->data()),
                                    copy->size(), FreeString, copy) != CAIRO_STATUS_SUCCESS) {
      delete copy;
    }
  }
  return surface;
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
