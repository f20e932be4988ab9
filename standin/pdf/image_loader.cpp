#include "standin/pdf/image_loader.h"

#include <cstdio>

#include "imaging/image_decoder.h"
#include "standin/core/file_system.h"

namespace standin {

namespace {

void DescribeSize(unsigned long long width, unsigned long long height, const imaging::DecodeLimits&,
                  char* out, size_t size) {
  std::snprintf(out, size, "image size %llu x %llu is outside the limits", width, height);
}

constexpr imaging::DecodeTexts kTexts = {
    "not a PNG or JPEG file",
    DescribeSize,
    "the file ends before the image begins",
    "the file ends before the image does",
    "image refused: ",
    "image needs more memory to decode than allowed",
};

}  // namespace

cairo_surface_t* DecodeImage(const std::string& data, const ImageLimits& limits,
                             std::string* error) {
  const imaging::DecodeLimits decodeLimits{limits.maxPixels, limits.maxSide, limits.maxDecoderBytes,
                                           limits.maxJpegScans};
  return imaging::DecodeImage(data, decodeLimits, kTexts, error);
}

cairo_surface_t* LoadImage(FileSystem& files, const std::string& path, std::string* error) {
  std::string data;
  if (!files.ReadFile(path, &data, error, kMaxImageFileBytes)) return nullptr;
  return DecodeImage(data, ImageLimits(), error);
}

}  // namespace standin
