#include "imaging/image_decoder.h"

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

namespace imaging {
namespace {

// libpng and libjpeg report fatal errors by a long jump: no object with a
// destructor lives across one in the decoders below, which report in a
// bounded character buffer; only DecodeImage makes a string of it.

// What one decoding is allowed and how it reports, shared by both decoders.
struct Decoding {
  const DecodeLimits* limits;
  const DecodeTexts* texts;
  char* message;
  size_t messageSize;
};

// False, with the caller's reason in `message`, for a size outside the limits.
bool SizeAllowed(unsigned long long width, unsigned long long height, const Decoding& job,
                 char* message, size_t messageSize) {
  const DecodeLimits& limits = *job.limits;
  if (width == 0 || height == 0 || width > limits.maxSide || height > limits.maxSide ||
      width * height > limits.maxPixels) {
    job.texts->describeSize(width, height, limits, message, messageSize);
    return false;
  }
  return true;
}

// A new surface, or null (and `message` set) when cairo cannot make it.
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
  const Decoding* job;
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
  if (decoding->message[0] == '\0')
    std::snprintf(decoding->message, sizeof decoding->message, "%s", text);
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// Fails the decoding with `text` as the whole reason.
void PngRefuse(png_structp png, PngDecoding* decoding, const char* text) {
  std::snprintf(decoding->message, sizeof decoding->message, "%s", text);
  png_error(png, decoding->message);
}

void PngOnInfo(png_structp png, png_infop info) {
  auto* decoding = static_cast<PngDecoding*>(png_get_progressive_ptr(png));
  png_uint_32 width = 0, height = 0;
  int depth = 0, type = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &type, &interlace, nullptr, nullptr);
  if (!SizeAllowed(width, height, *decoding->job, decoding->message, sizeof decoding->message)) {
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
  if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4)
    PngRefuse(png, decoding, "an unsupported pixel format");
  decoding->surface =
      NewSurface(CAIRO_FORMAT_ARGB32, width, height, decoding->message, sizeof decoding->message);
  decoding->rows = static_cast<png_bytep*>(std::calloc(height, sizeof(png_bytep)));
  if (decoding->surface == nullptr || decoding->rows == nullptr) {
    decoding->refused = true;
    PngRefuse(png, decoding, "out of memory for the image");
  }
  unsigned char* pixels = cairo_image_surface_get_data(decoding->surface);
  const int stride = cairo_image_surface_get_stride(decoding->surface);
  for (png_uint_32 y = 0; y < height; ++y)
    decoding->rows[y] = pixels + static_cast<size_t>(y) * stride;
  decoding->rowsExpected = static_cast<unsigned long long>(height) * passes;
}

void PngOnRow(png_structp png, png_bytep row, png_uint_32 number, int) {
  auto* decoding = static_cast<PngDecoding*>(png_get_progressive_ptr(png));
  if (decoding->rows == nullptr) return;
  const auto height = static_cast<png_uint_32>(cairo_image_surface_get_height(decoding->surface));
  if (row != nullptr && number < height)
    png_progressive_combine_row(png, decoding->rows[number], row);
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
      const uint32_t r = (p[0] * a + 127) / 255, g = (p[1] * a + 127) / 255,
                     b = (p[2] * a + 127) / 255;
      out[x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
  }
  cairo_surface_mark_dirty(surface);
}

cairo_surface_t* DecodePng(const unsigned char* data, size_t size, const Decoding& job) {
  PngDecoding decoding{&job, nullptr, nullptr, 0, 0, false, false, {0}};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &decoding, PngError, PngWarning);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    std::snprintf(job.message, job.messageSize, "out of memory for the PNG decoder");
    return nullptr;
  }
  if (setjmp(png_jmpbuf(png))) {
    std::snprintf(job.message, job.messageSize, "%s%s",
                  decoding.refused ? "" : "damaged image: ", decoding.message);
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(decoding.rows);
    if (decoding.surface != nullptr) cairo_surface_destroy(decoding.surface);
    return nullptr;
  }
  // The size is checked against the caller's limits once the header is read;
  // libpng's own (smaller) default limits would refuse large images as damaged.
  png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
  png_set_chunk_cache_max(png, 128);
  png_set_chunk_malloc_max(png, job.limits->maxDecoderBytes);
  png_set_progressive_read_fn(png, &decoding, PngOnInfo, PngOnRow, PngOnEnd);
  for (size_t offset = 0; offset < size && !decoding.done; offset += kPngSlice)
    png_process_data(png, info, const_cast<png_bytep>(data + offset),
                     std::min(kPngSlice, size - offset));
  if (!decoding.done || decoding.rowsSeen < decoding.rowsExpected) {
    PngRefuse(
        png, &decoding,
        decoding.surface != nullptr ? job.texts->pngEndsInImage : job.texts->pngEndsBeforeImage);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::free(decoding.rows);
  PremultiplyRgba(decoding.surface);
  return decoding.surface;
}

// ---- JPEG ----

struct JpegFailure {
  jpeg_error_mgr manager;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  bool endedEarly;
};

void JpegErrorExit(j_common_ptr info) {
  auto* failure = reinterpret_cast<JpegFailure*>(info->err);
  (*info->err->format_message)(info, failure->message);
  longjmp(failure->jump, 1);
}

// Warnings are not shown; data that ends before the image does is noted.
void JpegMessage(j_common_ptr info, int level) {
  auto* failure = reinterpret_cast<JpegFailure*>(info->err);
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) failure->endedEarly = true;
}

struct JpegProgress {
  jpeg_progress_mgr manager;
  int maxScans;
};

// A progressive file is decoded scan by scan over the whole image: a file of
// very many tiny scans costs time without bound, so their number is.
void JpegOnProgress(j_common_ptr common) {
  auto* info = reinterpret_cast<j_decompress_ptr>(common);
  auto* progress = reinterpret_cast<JpegProgress*>(common->progress);
  if (info->input_scan_number > progress->maxScans) {
    std::snprintf(reinterpret_cast<JpegFailure*>(common->err)->message, JMSG_LENGTH_MAX,
                  "more than %d scans", progress->maxScans);
    longjmp(reinterpret_cast<JpegFailure*>(common->err)->jump, 2);
  }
}

// Decodes into an RGB24 surface; `*components` is the file's colour components.
cairo_surface_t* DecodeJpeg(const unsigned char* data, size_t size, const Decoding& job,
                            int* components) {
  jpeg_decompress_struct info;
  JpegFailure failure;
  JpegProgress progress;
  info.err = jpeg_std_error(&failure.manager);
  failure.manager.error_exit = JpegErrorExit;
  failure.manager.emit_message = JpegMessage;
  failure.message[0] = '\0';
  failure.endedEarly = false;
  // Everything that must be released after a jump is declared before the jump point.
  unsigned char* volatile row = nullptr;
  cairo_surface_t* volatile surface = nullptr;
  char* const message = job.message;
  message[0] = '\0';
  switch (setjmp(failure.jump)) {
    case 0:
      break;
    case 2:
      std::snprintf(message, job.messageSize, "%s%s", job.texts->refusedPrefix, failure.message);
      break;
    default:
      if (failure.manager.msg_code == JERR_OUT_OF_MEMORY ||
          failure.manager.msg_code == JERR_NO_BACKING_STORE) {
        std::snprintf(message, job.messageSize, "%s (%s)", job.texts->needsMemory, failure.message);
      } else {
        std::snprintf(message, job.messageSize, "damaged image: %s", failure.message);
      }
      break;
  }
  if (message[0] != '\0') {
    jpeg_destroy_decompress(&info);
    std::free(row);
    if (surface != nullptr) cairo_surface_destroy(surface);
    return nullptr;
  }
  jpeg_create_decompress(&info);
  info.mem->max_memory_to_use = static_cast<long>(job.limits->maxDecoderBytes);
  progress.manager.progress_monitor = JpegOnProgress;
  progress.maxScans = job.limits->maxJpegScans;
  info.progress = &progress.manager;
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  if (failure.endedEarly) {
    std::snprintf(message, job.messageSize,
                  "damaged image: the JPEG data ends before the image begins");
  }
  if (failure.endedEarly ||
      !SizeAllowed(info.image_width, info.image_height, job, message, job.messageSize)) {
    jpeg_destroy_decompress(&info);
    return nullptr;
  }
  *components = info.num_components;
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&info);
  surface = NewSurface(CAIRO_FORMAT_RGB24, info.output_width, info.output_height, message,
                       job.messageSize);
  if (surface != nullptr) {
    row = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(info.output_width) *
                                                  static_cast<size_t>(info.output_components)));
    if (row == nullptr) std::snprintf(message, job.messageSize, "out of memory for the image");
  }
  if (surface == nullptr || row == nullptr) {
    jpeg_destroy_decompress(&info);
    if (surface != nullptr) cairo_surface_destroy(surface);
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
    std::snprintf(message, job.messageSize,
                  "damaged image: the JPEG data ends before the image does");
    return nullptr;
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

void FreeString(void* data) { delete static_cast<std::string*>(data); }

}  // namespace

cairo_surface_t* DecodeImage(const std::string& data, const DecodeLimits& limits,
                             const DecodeTexts& texts, std::string* error) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  char message[JMSG_LENGTH_MAX + 256] = {0};
  const Decoding job{&limits, &texts, message, sizeof message};
  cairo_surface_t* surface = nullptr;
  int components = 0;
  if (data.size() >= 8 && data.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0) {
    surface = DecodePng(bytes, data.size(), job);
  } else if (data.size() >= 3 && data.compare(0, 3, "\xFF\xD8\xFF") == 0) {
    surface = DecodeJpeg(bytes, data.size(), job, &components);
  } else {
    std::snprintf(message, sizeof message, "%s", texts.notAnImage);
  }
  if (surface == nullptr) {
    *error = message;
    return nullptr;
  }
  // Grey and RGB files go into a PDF as they are; CMYK ones as decoded (their
  // inversion conventions differ between readers).
  if (components == 1 || components == 3) {
    auto* copy = new std::string(data);
    if (cairo_surface_set_mime_data(surface, CAIRO_MIME_TYPE_JPEG,
                                    reinterpret_cast<const unsigned char*>(copy->data()),
                                    copy->size(), FreeString, copy) != CAIRO_STATUS_SUCCESS)
      delete copy;
  }
  return surface;
}

}  // namespace imaging
