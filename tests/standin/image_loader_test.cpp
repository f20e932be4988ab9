// Placed images against hostile files: data that inflates far past the
// declared size, files cut short, sizes past the limits, FIFOs.
#include "standin/pdf/image_loader.h"

#include <cairo.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <string>

#include "standin/core/file_system.h"
#include "tests/support/subprocess.h"
#include "tests/support/test_images.h"

namespace osltest {
namespace {

const std::string kSeeds = std::string(OSL_SOURCE_DIR) + "/fuzz/corpus/image_loader/";

struct Decoded {
  cairo_surface_t* surface = nullptr;
  std::string error;
  Decoded(const std::string& data, const standin::ImageLimits& limits = {}) {
    surface = standin::DecodeImage(data, limits, &error);
  }
  ~Decoded() {
    if (surface) cairo_surface_destroy(surface);
  }
  uint32_t Pixel(int x, int y) const {
    const unsigned char* row =
        cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    return reinterpret_cast<const uint32_t*>(row)[x];
  }
};

TEST(ImageLoader, APngWhoseDataInflatesFarPastItsSizeDecodesOnlyItsRows) {
  // 4 GiB of image data behind a 1 x 1 header.
  const std::string bomb = PngBomb(4096);
  const auto start = std::chrono::steady_clock::now();
  Decoded image(bomb);
  const auto seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_TRUE(image.surface) << image.error;
  EXPECT_EQ(cairo_image_surface_get_width(image.surface), 1);
  EXPECT_EQ(image.Pixel(0, 0), 0xFF000000u);
  // Inflating all of it takes half a minute.
  EXPECT_LT(seconds, 3.0);
}

TEST(ImageLoader, FilesCutShortAreDamagedImagesNotOutOfMemory) {
  for (const char* name : {"truncated.png", "truncated.jpg"}) {
    Decoded image(ReadFile(kSeeds + name));
    EXPECT_FALSE(image.surface) << name;
    EXPECT_EQ(image.error.rfind("damaged image: ", 0), 0u) << name << ": " << image.error;
  }
  // A header that promises more rows than the file holds.
  // (Signature 8 bytes, header chunk 25.)
  Decoded tall(PngHeader(8, 4096) + ReadFile(kSeeds + "rgb_8x6.png").substr(33));
  EXPECT_FALSE(tall.surface);
  EXPECT_EQ(tall.error.rfind("damaged image: ", 0), 0u) << tall.error;
  EXPECT_EQ(tall.error, "damaged image: the file ends before the image does");
  // A JPEG that ends right after its scan header: no image data at all.
  const std::string baseline = ReadFile(kSeeds + "rgb_baseline.jpg");
  const size_t scan = baseline.find("\xFF\xDA");
  ASSERT_LT(scan + 4, baseline.size());
  const size_t scanHeader = (static_cast<unsigned char>(baseline[scan + 2]) << 8) +
                            static_cast<unsigned char>(baseline[scan + 3]);
  Decoded headerOnly(baseline.substr(0, scan + 2 + scanHeader));
  EXPECT_FALSE(headerOnly.surface);
  EXPECT_EQ(headerOnly.error, "damaged image: the JPEG data ends before the image does");
}

TEST(ImageLoader, SizesPastTheLimitsAreRefusedBeforeDecoding) {
  Decoded wide(PngHeader(40000, 1) + Chunk("IDAT", ZerosInflatingTo(1)) + Chunk("IEND", ""));
  EXPECT_FALSE(wide.surface);
  EXPECT_NE(wide.error.find("outside the limits"), std::string::npos) << wide.error;
  standin::ImageLimits small;
  small.maxPixels = 100;
  Decoded jpeg(ReadFile(kSeeds + "rgb_baseline.jpg"), small);
  EXPECT_FALSE(jpeg.surface);
  EXPECT_NE(jpeg.error.find("34 x 44 is outside the limits"), std::string::npos) << jpeg.error;
  standin::ImageLimits fewScans;
  fewScans.maxJpegScans = 2;
  Decoded progressive(ReadFile(kSeeds + "rgb_progressive.jpg"), fewScans);
  EXPECT_FALSE(progressive.surface);
  EXPECT_NE(progressive.error.find("more than 2 scans"), std::string::npos) << progressive.error;
}

TEST(ImageLoader, EveryKindOfPngDecodesToItsPixels) {
  Decoded rgb(ReadFile(kSeeds + "rgb_8x6.png"));
  ASSERT_TRUE(rgb.surface) << rgb.error;
  // x * 30, y * 40, 128, opaque.
  EXPECT_EQ(rgb.Pixel(2, 3), 0xFF3C7880u);
  Decoded palette(ReadFile(kSeeds + "palette_trns.png"));
  ASSERT_TRUE(palette.surface) << palette.error;
  EXPECT_EQ(palette.Pixel(0, 0), 0xFFFF0000u);  // red, opaque
  EXPECT_EQ(palette.Pixel(1, 0), 0x80008000u);  // green at half alpha, premultiplied
  EXPECT_EQ(palette.Pixel(3, 0), 0x00000000u);  // blue, transparent
  Decoded interlaced(ReadFile(kSeeds + "interlaced_rgba.png"));
  ASSERT_TRUE(interlaced.surface) << interlaced.error;
  // (x * 28, y * 28, (x + y) * 14) at alpha 200, premultiplied.
  const auto premultiplied = [](uint32_t v) { return (v * 200 + 127) / 255; };
  EXPECT_EQ(interlaced.Pixel(5, 7),
            0xC8000000u | premultiplied(140) << 16 | premultiplied(196) << 8 | premultiplied(168));
  Decoded jpeg(ReadFile(kSeeds + "rgb_progressive.jpg"));
  ASSERT_TRUE(jpeg.surface) << jpeg.error;
  EXPECT_EQ(cairo_image_surface_get_width(jpeg.surface), 34);
}

TEST(ImageLoader, AFifoNamedAsAnImageIsRefusedAtOnce) {
  TempDir dir;
  const std::string fifo = dir.path() + "/photo.png";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  standin::FileSystem files;
  auto loading = std::async(std::launch::async, [&] {
    std::string error;
    cairo_surface_t* surface = standin::LoadImage(files, fifo, &error);
    if (surface) cairo_surface_destroy(surface);
    return error;
  });
  if (loading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    // Let the blocked open go on so the test can end.
    const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) close(fd);
    FAIL() << "opening a FIFO blocked";
  }
  EXPECT_NE(loading.get().find("not a regular file"), std::string::npos);
}

}  // namespace
}  // namespace osltest
