#include "standin/pdf/drawing_color.h"

#include <cairo.h>
#include <lcms2.h>

#include <algorithm>

#include "standin/core/file_system.h"

namespace standin {

CmykToRgb::CmykToRgb(FileSystem& files, const std::string& profilePath) {
  const std::string fallback = "; CMYK colours are drawn without colour management";
  std::string data, error;
  if (!files.ReadFile(profilePath, &data, &error, kMaxProfileBytes)) {
    problem_ = "colour profile " + error + fallback;
    return;
  }
  cmsHPROFILE cmyk = cmsOpenProfileFromMem(data.data(), static_cast<cmsUInt32Number>(data.size()));
  if (!cmyk || cmsGetColorSpace(cmyk) != cmsSigCmykData) {
    if (cmyk) cmsCloseProfile(cmyk);
    problem_ = "colour profile " + profilePath + ": not a CMYK profile" + fallback;
    return;
  }
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  transform_ = cmsCreateTransform(cmyk, TYPE_CMYK_DBL, srgb, TYPE_RGB_DBL,
                                  INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_BLACKPOINTCOMPENSATION);
  cmsCloseProfile(srgb);
  cmsCloseProfile(cmyk);
  if (!transform_) problem_ = "colour profile " + profilePath + ": cannot be used" + fallback;
}

CmykToRgb::~CmykToRgb() {
  if (transform_) cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform_));
}

void CmykToRgb::Convert(const double cmyk[4], double rgb[3]) const {
  double ink[4];
  for (int i = 0; i < 4; ++i) ink[i] = std::clamp(cmyk[i], 0.0, 100.0);
  if (transform_) {
    // Little CMS takes floating-point CMYK in percent and gives RGB from 0
    // to 1, unbounded: colours outside sRGB are clipped.
    cmsDoTransform(static_cast<cmsHTRANSFORM>(transform_), ink, rgb, 1);
  } else {
    for (int i = 0; i < 3; ++i) rgb[i] = (1 - ink[i] / 100) * (1 - ink[3] / 100);
  }
  for (int i = 0; i < 3; ++i) rgb[i] = std::clamp(rgb[i], 0.0, 1.0);
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
