// Laying out a text frame's story: paragraphs broken into lines at spaces
// to fit the frame's width, each run in its font (a character the font
// lacks in a machine font that has it), size, scales and tracking; lines
// spaced by their leading, aligned as their paragraph says and placed as
// the frame's vertical justification says.
//
// Only what the frame shows is laid out: lines are made one after the other
// and the first line that does not fit the frame's height ends the layout.
// The rest of the story is overset; it is neither shaped nor kept, so time
// and memory follow the frame, not the length of the story.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "standin/document/tlvd_model.h"

typedef struct _cairo_font_face cairo_font_face_t;

namespace standin {

class FontFaces;

// A glyph at its place (as cairo draws it: glyph index, origin).
struct PlacedGlyph {
  unsigned long index = 0;
  double x = 0, y = 0;
};
// Bytes of text and the glyphs that show them.
struct GlyphCluster {
  int bytes = 0, glyphs = 0;
};

// A frame shows at most this many characters; the rest is overset.
constexpr size_t kMaxShownCharacters = 1u << 20;

// A piece of one line drawn in one face, size and colour.
struct GlyphRun {
  cairo_font_face_t* face = nullptr;     // owned by the FontFaces used
  double fontWidth = 0, fontHeight = 0;  // the font's scale in points
  const ColorUse* fill = nullptr;        // null: black
  double tint = -1;
  bool underline = false;
  double size = 0;  // vertical size in points
  std::string utf8;
  std::vector<PlacedGlyph> glyphs;  // in the frame's inner space
  std::vector<GlyphCluster> clusters;
  double left = 0, right = 0;  // horizontal extent, tracking included
  double baseline = 0;
};

struct StoryLayout {
  std::vector<GlyphRun> runs;  // line by line, left to right
  size_t lines = 0;            // lines shown
  // True when characters that draw something (not only spaces and line
  // ends) did not fit the frame.
  bool overset = false;
};

// Lays out the story of text frame `frame` (an empty layout for other
// items). Characters without a run are set in the machine's default font at
// 12 points; runs without a fill colour in black.
StoryLayout LayOutStory(const PageItem& frame, FontFaces& faces);

}  // namespace standin
