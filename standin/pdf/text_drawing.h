// Drawing a text frame's story: paragraphs broken into lines at spaces to
// fit the frame's width, each run in its font, size, scales, colour,
// tracking and underline, lines spaced by their leading, aligned as their
// paragraph says and placed as the frame's vertical justification says.
#pragma once

#include "standin/document/tlvd_model.h"

typedef struct _cairo cairo_t;

namespace standin {

class FontFaces;

// Draws the story of text frame `frame` into `cr`, whose user space must
// be the frame's inner space. Characters without a run are drawn in the
// machine's default font at 12 points; runs without a fill colour in
// black. Text that does not fit the frame's height is drawn below it.
void DrawStory(cairo_t* cr, const PageItem& frame, FontFaces& faces);

}  // namespace standin
