#include "refservice/render/barcode_drawing.h"

#include <cairo.h>
#include <qrencode.h>

#include <algorithm>

namespace refservice {

bool DrawBarcode(cairo_t* cr, int type, const std::string& value, double width, double height,
                 std::string* error, InkMarkers* inks) {
  if (type != 1) {
    *error = "barcode type " + std::to_string(type) + " is not drawn by this service (qrCode is)";
    return false;
  }
  QRcode* code = QRcode_encodeData(static_cast<int>(value.size()),
                                   reinterpret_cast<const unsigned char*>(value.data()), 0,
                                   QR_ECLEVEL_M);
  if (code == nullptr) {
    *error = "the value is too long for a QR code";
    return false;
  }
  const int quiet = 4;
  const int modules = code->width + 2 * quiet;
  const double side = std::min(width, height);
  const double unit = side / modules;
  cairo_save(cr);
  cairo_translate(cr, (width - side) / 2, (height - side) / 2);
  double r = 1, g = 1, b = 1;
  if (inks != nullptr) inks->ColourFor(0, 0, 0, 0, &r, &g, &b);
  cairo_set_source_rgb(cr, r, g, b);
  cairo_rectangle(cr, 0, 0, side, side);
  cairo_fill(cr);
  r = g = b = 0;
  if (inks != nullptr) inks->ColourFor(0, 0, 0, 100, &r, &g, &b);
  cairo_set_source_rgb(cr, r, g, b);
  for (int y = 0; y < code->width; ++y) {
    for (int x = 0; x < code->width; ++x) {
      if (code->data[y * code->width + x] & 1) {
        cairo_rectangle(cr, (x + quiet) * unit, (y + quiet) * unit, unit, unit);
      }
    }
  }
  cairo_fill(cr);
  cairo_restore(cr);
  QRcode_free(code);
  return true;
}

}  // namespace refservice
