// Drawing a text frame's story: the lines that fit the frame (see
// text_layout.h), each run in its font, size, scales, colour, tracking and
// underline, clipped to the frame. Overset text is not drawn.
#pragma once

#include "standin/document/tlvd_model.h"

typedef struct _cairo cairo_t;

namespace standin {

class CmykToRgb;
class FontFaces;

// Draws the story of text frame `frame` into `cr`, whose user space must
// be the frame's inner space; colours are converted by `colors`.
void DrawStory(cairo_t* cr, const PageItem& frame, FontFaces& faces, const CmykToRgb& colors);

}  // namespace standin
