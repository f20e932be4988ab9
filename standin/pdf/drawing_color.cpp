#include "standin/pdf/drawing_color.h"

#include <cairo.h>

#include <algorithm>

#include "standin/core/file_system.h"

namespace standin {

CmykToRgb::CmykToRgb(FileSystem& files, const std::string& profilePath) {
  std::string data, error;
  if (!files.ReadFile(profilePath, &data, &error, kMaxProfileBytes)) {
    problem_ = "colour profile " + error + "; CMYK colours are drawn without colour management";
    return;
  }
  if (!conversion_.Load(data, profilePath)) problem_ = conversion_.Problem();
}

CmykToRgb::~CmykToRgb() = default;

void CmykToRgb::Convert(const double cmyk[4], double rgb[3]) const {
  conversion_.Convert(cmyk, rgb);
}

void SetColorSource(cairo_t* cr, const CmykToRgb& colors, const Color& color, double tint) {
  const double amount = tint < 0 ? 1.0 : std::clamp(tint / 100, 0.0, 1.0);
  double ink[4], rgb[3];
  for (int i = 0; i < 4; ++i) ink[i] = color.cmyk[i] * amount;
  colors.Convert(ink, rgb);
  cairo_set_source_rgb(cr, rgb[0], rgb[1], rgb[2]);
}

void SetBlackSource(cairo_t* cr) { cairo_set_source_rgb(cr, 0, 0, 0); }

}  // namespace standin
