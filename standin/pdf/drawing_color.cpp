#include "standin/pdf/drawing_color.h"

#include <cairo.h>

#include <algorithm>

namespace standin {

void SetColorSource(cairo_t* cr, const Color& color, double tint) {
  const double amount = tint < 0 ? 1.0 : std::clamp(tint / 100, 0.0, 1.0);
  double ink[4];
  for (int i = 0; i < 4; ++i) ink[i] = std::clamp(color.cmyk[i] / 100, 0.0, 1.0) * amount;
  cairo_set_source_rgb(cr, (1 - ink[0]) * (1 - ink[3]), (1 - ink[1]) * (1 - ink[3]),
                       (1 - ink[2]) * (1 - ink[3]));
}

void SetBlackSource(cairo_t* cr) { cairo_set_source_rgb(cr, 0, 0, 0); }

}  // namespace standin
