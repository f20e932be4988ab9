// Exact inks for a CMYK build. The builder draws in RGB (cairo has no CMYK), so a colour that must
// reach print as the field record's own CMYK percentages is drawn in a marker RGB: the colour's
// usual RGB moved by less than 1/65536 per channel onto a point halfway between two multiples of
// 1/65536. The master page's colours (drawn through poppler, whose colour components are whole
// multiples of 1/65536) can never print as a marker, so a later pass over the PDF's content streams
// finds exactly the builder's colour operators and writes the CMYK ones in their place.
#pragma once

#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace refservice {

struct InkMarker {
  double r = 0, g = 0, b = 0;         // the marker RGB, 0..1
  double c = 0, m = 0, y = 0, k = 0;  // the ink, 0..100 each
};

// At most this many distinct inks are marked in one build; further colours are drawn in their
// usual RGB and converted like the background.
constexpr size_t kMaxInkMarkers = 4096;

// The inks of one build. Not thread-safe; one per build.
class InkMarkers {
 public:
  // The RGB to draw the ink c/m/y/k (0..100, clamped) with: a marker when the ink is registered or
  // could be, else the usual RGB of the ink. One ink always gets the same marker; two inks never
  // share one.
  void ColourFor(double c, double m, double y, double k, double* r, double* g, double* b);

  const std::vector<InkMarker>& markers() const { return markers_; }

 private:
  std::vector<InkMarker> markers_;
  std::map<std::tuple<int, int, int>, size_t> byGrid_;  // grid point -> index in markers_
  std::map<std::tuple<double, double, double, double>, size_t> byInk_;
};

// `content` (a decoded PDF content stream) with every fill or stroke colour operator whose three
// operands are one of `markers` (`r g b rg` / `r g b RG`) replaced by the marker's ink
// (`c m y k k` / `c m y k K`, 0..1). Strings, comments and inline image data are skipped, never
// rewritten. Linear in the size of `content`; any byte sequence is accepted.
std::string ReplaceInkMarkers(const std::string& content, const std::vector<InkMarker>& markers);

}  // namespace refservice
