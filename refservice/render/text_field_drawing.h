// Draws the text of one field into its frame: shaped and broken into lines by Pango in the
// field's font, at its size, colour, opacity, tracking, leading, horizontal and vertical scale,
// underline, alignment and vertical justification. A text that does not fit is set smaller in steps down to
// half the stored size; what still does not fit is cut at the frame. Characters the field's font
// lacks are drawn in the fonts fontconfig finds for them, and named.
#pragma once

#include <string>
#include <vector>

#include "refservice/render/font_library.h"
#include "refservice/render/ink_markers.h"
#include "refservice/render/template_bundle.h"

typedef struct _cairo cairo_t;

namespace refservice {

struct TextOutcome {
  double size = 0;          // the size it was set at, points
  bool shrunk = false;      // set below the stored size
  bool overflowing = false;  // cut at the frame even at half the stored size
  // The families of the fonts that drew characters the field's font lacks, in the order met;
  // and how many characters of the drawn lines no font has (drawn as boxes).
  std::vector<std::string> fallbackFonts;
  int missingCharacters = 0;
  size_t cutCharacters = 0;  // overflowing: characters wholly or partly outside the frame
};

// Draws `text` (non-empty UTF-8) into the frame whose top-left corner is the current origin of
// `cr`, `width` x `height` points, y growing downwards. textBox, dropDown and barcode-less fields
// are one line (line breaks become spaces); textArea and richText wrap. With `inks` the colour is
// drawn in the ink marker of the field's CMYK.
TextOutcome DrawTextField(cairo_t* cr, const FieldFont& font, const RenderField& field,
                          const std::string& text, double width, double height,
                          InkMarkers* inks = nullptr);

// The CMYK colour (0..100 each) as the RGB a screen or an RGB PDF shows for it: the same
// colour-managed conversion the proof (the background) is drawn with.
void CmykToRgb(double c, double m, double y, double k, double* r, double* g, double* b);

}  // namespace refservice
