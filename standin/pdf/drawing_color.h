// Colours on a cairo surface: the document's CMYK colours as the RGB that
// cairo draws with.
#pragma once

#include "standin/document/tlvd_model.h"

typedef struct _cairo cairo_t;

namespace standin {

// Makes `color` at `tint` percent (-1: none, the full colour) the source
// of `cr`; a tint mixes the colour with white paper.
void SetColorSource(cairo_t* cr, const Color& color, double tint = -1);
// Black, for text and strokes whose colour the document does not name.
void SetBlackSource(cairo_t* cr);

}  // namespace standin
