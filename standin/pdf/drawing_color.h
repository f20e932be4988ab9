// Colours on a cairo surface: the document's CMYK colours as the RGB that
// cairo draws with. Process colours (and spot colours, through their process
// equivalent) are converted with colour management: from a CMYK printing
// characterisation to sRGB, relative colorimetric with black point
// compensation, as a proof on screen or on an office printer shows them.
#pragma once

#include <string>

#include "colour/cmyk_conversion.h"
#include "standin/document/tlvd_model.h"

typedef struct _cairo cairo_t;

namespace standin {

class FileSystem;

// The CMYK profile the host draws with: the SWOP characterisation that the
// system's colour profiles hold (installed by scripts/bootstrap).
// The same conversion draws the service's documents, so that a colour looks
// alike in the proof and in a filled document.
constexpr const char* kDefaultCmykProfile = colour::kDefaultCmykProfile;
// Larger profile files are not read.
constexpr size_t kMaxProfileBytes = colour::kMaxProfileBytes;

// Converts CMYK to RGB through a CMYK profile. Without a usable profile it
// still converts, with the uncalibrated formula (each ink darkens its
// channel), and says so through Problem().
class CmykToRgb {
 public:
  // Reads the ICC profile at `profilePath` through `files`.
  CmykToRgb(FileSystem& files, const std::string& profilePath = kDefaultCmykProfile);
  ~CmykToRgb();
  CmykToRgb(const CmykToRgb&) = delete;
  CmykToRgb& operator=(const CmykToRgb&) = delete;

  // True when colours go through the profile.
  bool Managed() const { return conversion_.Managed(); }
  // Why the profile is not used (one line naming it); empty when Managed().
  const std::string& Problem() const { return problem_; }

  // `cmyk` in percent (0 to 100, clamped) to sRGB components from 0 to 1.
  void Convert(const double cmyk[4], double rgb[3]) const;

 private:
  colour::CmykConversion conversion_;
  std::string problem_;
};

// Makes `color` at `tint` percent (-1: none, the full colour) the source
// of `cr`; a tint mixes the colour with white paper (scales every ink).
void SetColorSource(cairo_t* cr, const CmykToRgb& colors, const Color& color, double tint = -1);
// Black, for text and strokes whose colour the document does not name.
void SetBlackSource(cairo_t* cr);

}  // namespace standin
