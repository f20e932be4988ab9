// The document builder's image values against hostile and damaged files: data that inflates far
// past the declared size costs only the declared pixels, files cut short are refused as damaged
// (never drawn with a grey remainder), and a JPEG goes into the PDF as the file it is.
#include "refservice/render/image_drawing.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <gtest/gtest.h>
#include <jpeglib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "tests/support/subprocess.h"
#include "tests/support/test_images.h"

namespace osltest {
namespace {

const std::string kSeeds = std::string(OSL_SOURCE_DIR) + "/fuzz/corpus/image_loader/";

// A photo-like RGB JPEG of about 140 KB: smooth colours with fine noise.
std::string PhotoJpeg() {
  const int width = 640, height = 480;
  std::mt19937 random(7);
  std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      unsigned char* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
      const int noise = static_cast<int>(random() % 40);
      p[0] = static_cast<unsigned char>((x * 255 / width + noise) & 0xFF);
      p[1] = static_cast<unsigned char>((y * 255 / height + noise) & 0xFF);
      p[2] = static_cast<unsigned char>(((x + y) * 127 / (width + height) + noise) & 0xFF);
    }
  }
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = width;
  info.image_height = height;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 88, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = &pixels[static_cast<size_t>(info.next_scanline) * width * 3];
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::string jpeg(reinterpret_cast<char*>(out), size);
  std::free(out);
  return jpeg;
}

struct Decoded {
  cairo_surface_t* surface = nullptr;
  std::string error;
  explicit Decoded(const std::string& bytes) { surface = refservice::DecodeImage(bytes, &error); }
  ~Decoded() {
    if (surface != nullptr) cairo_surface_destroy(surface);
  }
};

cairo_status_t Append(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

// A one-page PDF with `image` (if any) fitted into a 300 x 200 pt frame.
std::string PdfWith(cairo_surface_t* image) {
  std::string pdf;
  cairo_surface_t* page = cairo_pdf_surface_create_for_stream(Append, &pdf, 400, 300);
  cairo_t* cr = cairo_create(page);
  if (image != nullptr) refservice::DrawImageFitted(cr, image, 300, 200);
  cairo_destroy(cr);
  cairo_surface_finish(page);
  cairo_surface_destroy(page);
  return pdf;
}

TEST(ImageDecoding, HostileAndDamagedImagesAreDecidedByTheirDeclaredPixels) {
  const std::string photo = PhotoJpeg();
  const std::string baseline = ReadFile(kSeeds + "rgb_baseline.jpg");
  // The JPEG up to its first scan: tables and frame header, no image data.
  const std::string headerOnly = baseline.substr(0, baseline.find("\xFF\xDA"));
  const struct {
    const char* what;
    std::string bytes;
    const char* error;  // empty: decodes
    double seconds;     // at most
  } cases[] = {
      // Inflating all of it takes 14 s or more.
      {"1 x 1 PNG inflating to 4 GiB", PngBomb(4096), "", 2.0},
      {"PNG cut short", ReadFile(kSeeds + "truncated.png"), "damaged image: ", 1.0},
      {"PNG promising more rows than it holds",
       PngHeader(8, 4096) + ReadFile(kSeeds + "rgb_8x6.png").substr(33), "damaged image: ", 1.0},
      {"JPEG cut short", ReadFile(kSeeds + "truncated.jpg"), "damaged image: ", 1.0},
      {"JPEG header without image data", headerOnly, "damaged image: ", 1.0},
      {"photo JPEG cut after 20 KB", photo.substr(0, 20 * 1024), "damaged image: ", 1.0},
      {"whole photo JPEG", photo, "", 2.0},
      {"PNG wider than accepted",
       PngHeader(refservice::kMaxImageSide + 1, 1) + Chunk("IDAT", ZerosInflatingTo(1)),
       "at most 20000 pixels per side and 100 megapixels in all", 1.0},
      {"PNG of more pixels than accepted",
       PngHeader(10001, 10000) + Chunk("IDAT", ZerosInflatingTo(1)),
       "the image is 10001 x 10000 pixels", 1.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto start = std::chrono::steady_clock::now();
    Decoded image(c.bytes);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (c.error[0] == '\0') {
      EXPECT_NE(image.surface, nullptr) << image.error;
    } else {
      EXPECT_EQ(image.surface, nullptr);
      EXPECT_NE(image.error.find(c.error), std::string::npos) << image.error;
    }
    EXPECT_LT(seconds, c.seconds);
  }
}

TEST(ImageDecoding, AJpegGoesIntoThePdfAsTheFileItIs) {
  const std::string photo = PhotoJpeg();
  ASSERT_GT(photo.size(), 100u * 1024) << photo.size();
  ASSERT_LT(photo.size(), 200u * 1024);
  Decoded image(photo);
  ASSERT_NE(image.surface, nullptr) << image.error;
  const std::string without = PdfWith(nullptr);
  const std::string with = PdfWith(image.surface);
  // The file itself, not its pixels (which would take about 900 KB), and no more than once.
  EXPECT_NE(with.find(photo.substr(0, 4096)), std::string::npos);
  EXPECT_LT(static_cast<double>(with.size() - without.size()), 1.2 * photo.size())
      << with.size() << " - " << without.size() << " for a JPEG of " << photo.size();
}

}  // namespace
}  // namespace osltest
