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

namespace osltest {
namespace {

const std::string kSeeds = std::string(OSL_SOURCE_DIR) + "/fuzz/corpus/image_loader/";

std::string Chunk(const std::string& type, const std::string& data) {
  std::string out;
  const auto put32 = [&out](uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(v >> shift));
  };
  put32(static_cast<uint32_t>(data.size()));
  const std::string body = type + data;
  out += body;
  put32(static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
  return out;
}

std::string Header(uint32_t width, uint32_t height) {
  std::string ihdr;
  for (uint32_t v : {width, height})
    for (int shift = 24; shift >= 0; shift -= 8) ihdr.push_back(static_cast<char>(v >> shift));
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, not interlaced
  return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", ihdr);
}

// A zlib stream of `mib` MiB of zero bytes, made without compressing them
// all: after a full flush, every further MiB compresses to the same bytes.
std::string ZerosInflatingTo(size_t mib) {
  z_stream z{};
  deflateInit(&z, 9);
  const std::string zeros(1u << 20, '\0');
  auto run = [&z](const std::string& in, int flush) {
    std::string out;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    char buffer[1 << 16];
    do {
      z.next_out = reinterpret_cast<Bytef*>(buffer);
      z.avail_out = sizeof buffer;
      deflate(&z, flush);
      out.append(buffer, sizeof buffer - z.avail_out);
    } while (z.avail_out == 0 || z.avail_in > 0);
    return out;
  };
  std::string stream = run(zeros, Z_FULL_FLUSH);
  const std::string block = run(zeros, Z_FULL_FLUSH);
  for (size_t i = 2; i < mib; ++i) stream += block;
  std::string end = run(std::string(), Z_FINISH);
  deflateEnd(&z);
  // The trailer's checksum covers all of the data.
  const uLong one = adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef*>(zeros.data()),
                            static_cast<uInt>(zeros.size()));
  uLong all = one;
  for (size_t i = 1; i < mib; ++i)
    all = adler32_combine(all, one, static_cast<z_off_t>(zeros.size()));
  for (int i = 0; i < 4; ++i) end[end.size() - 4 + i] = static_cast<char>(all >> (24 - 8 * i));
  return stream + end;
}

// A PNG whose header says 1 x 1 and whose image data inflates to `mib` MiB.
std::string PngBomb(size_t mib) {
  const std::string data = ZerosInflatingTo(mib);
  std::string png = Header(1, 1);
  for (size_t at = 0; at < data.size(); at += 1u << 16)
    png += Chunk("IDAT", data.substr(at, 1u << 16));
  return png + Chunk("IEND", "");
}

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
  Decoded tall(Header(8, 4096) + ReadFile(kSeeds + "rgb_8x6.png").substr(33));
  EXPECT_FALSE(tall.surface);
  EXPECT_EQ(tall.error.rfind("damaged image: ", 0), 0u) << tall.error;
}

TEST(ImageLoader, SizesPastTheLimitsAreRefusedBeforeDecoding) {
  Decoded wide(Header(40000, 1) + Chunk("IDAT", ZerosInflatingTo(1)) + Chunk("IEND", ""));
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
