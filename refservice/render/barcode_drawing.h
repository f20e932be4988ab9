// Barcode fields: the value encoded as the field's barcode type and drawn filling its frame.
#pragma once

#include <string>

#include "refservice/render/ink_markers.h"

typedef struct _cairo cairo_t;

namespace refservice {

// Draws `value` as barcode `type` (the field record's barCode number) into the frame whose
// top-left corner is the current origin of `cr`. A QR code (type 1) is drawn as a square as large
// as the frame allows, centred, with its quiet zone in white, in black modules (with `inks`: in
// the ink markers of paper white and pure black, 0/0/0/0 and 0/0/0/100). False with `error` set
// for a type that is not drawn or a value the type cannot encode.
bool DrawBarcode(cairo_t* cr, int type, const std::string& value, double width, double height,
                 std::string* error, InkMarkers* inks = nullptr);

}  // namespace refservice
