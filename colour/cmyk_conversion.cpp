#include "colour/cmyk_conversion.h"

#include <lcms2.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace colour {

namespace {
const char kUncalibrated[] = "; CMYK colours are drawn without colour management";
}  // namespace

CmykConversion::~CmykConversion() { Reset(); }

void CmykConversion::Reset() {
  if (transform_) cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform_));
  transform_ = nullptr;
}

bool CmykConversion::Load(const std::string& profile, const std::string& name) {
  Reset();
  problem_.clear();
  cmsHPROFILE cmyk = profile.size() > kMaxProfileBytes
                         ? nullptr
                         : cmsOpenProfileFromMem(profile.data(),
                                                 static_cast<cmsUInt32Number>(profile.size()));
  if (!cmyk || cmsGetColorSpace(cmyk) != cmsSigCmykData) {
    if (cmyk) cmsCloseProfile(cmyk);
    problem_ = "colour profile " + name + ": not a CMYK profile" + kUncalibrated;
    return false;
  }
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  transform_ = cmsCreateTransform(cmyk, TYPE_CMYK_DBL, srgb, TYPE_RGB_DBL,
                                  INTENT_RELATIVE_COLORIMETRIC,
                                  cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE);
  cmsCloseProfile(srgb);
  cmsCloseProfile(cmyk);
  if (!transform_) {
    problem_ = "colour profile " + name + ": cannot be used" + kUncalibrated;
    return false;
  }
  return true;
}

bool CmykConversion::LoadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Reset();
    problem_ = "colour profile " + path + ": cannot be read" + kUncalibrated;
    return false;
  }
  std::string data;
  char buffer[65536];
  while (in && data.size() <= kMaxProfileBytes) {
    in.read(buffer, sizeof buffer);
    data.append(buffer, static_cast<size_t>(in.gcount()));
  }
  return Load(data, path);
}

void CmykConversion::Convert(const double cmyk[4], double rgb[3]) const {
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

const CmykConversion& DefaultCmykConversion() {
  static const CmykConversion* conversion = [] {
    auto* loaded = new CmykConversion();
    loaded->LoadFile();
    return loaded;
  }();
  return *conversion;
}

}  // namespace colour
