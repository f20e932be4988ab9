// Laying out a text frame's story: each paragraph shaped, ordered (right to
// left scripts, mixed directions) and broken into lines by Pango (HarfBuzz
// and FriBidi underneath), the same engine the service's document builder
// draws fields with. Each run is set in its font (a character the font lacks
// in a machine font that has it), size, scales and tracking; lines break at
// word boundaries to fit the frame's width (a word wider than the frame is
// broken where it must), are spaced by their leading, aligned as their
// paragraph says and placed as the frame's vertical justification says.
//
// Only what the frame shows is laid out: a paragraph is given to the shaper
// in growing pieces until its lines pass the frame's bottom, and the first
// line that does not fit ends the layout. The rest of the story is overset;
// it is neither shaped nor kept, so time and memory follow the frame, not
// the length of the story.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "standin/document/tlvd_model.h"

typedef struct _cairo_font_face cairo_font_face_t;
typedef struct _PangoGlyphItem PangoGlyphItem;

namespace standin {

class FontFaces;

// A glyph at its place (glyph index in its font; 0 for a character no font
// has), in the frame's inner space.
struct PlacedGlyph {
  unsigned long index = 0;
  double x = 0, y = 0;
};

// A frame shows at most this many characters; the rest is overset.
constexpr size_t kMaxShownCharacters = 1u << 20;

// A piece of one line drawn in one font, size and colour, in visual order.
struct GlyphRun {
  cairo_font_face_t* face = nullptr;  // the font Pango chose (owned by Pango)
  std::string family;                 // that font's family name, as the font gives it
  const PangoGlyphItem* item = nullptr;  // owned by the StoryLayout
  const char* paragraph = nullptr;       // the item's text (owned by the StoryLayout)
  double stretch = 1;  // horizontal scale over vertical scale, applied when drawing
  const ColorUse* fill = nullptr;  // null: black
  double tint = -1;
  bool underline = false;
  double size = 0;  // vertical size in points
  std::string utf8;  // the run's characters, in logical order
  std::vector<PlacedGlyph> glyphs;
  double left = 0, right = 0;  // horizontal extent in the frame's inner space
  double baseline = 0;
};

struct StoryLayout {
  StoryLayout();
  ~StoryLayout();
  StoryLayout(StoryLayout&&) noexcept;
  StoryLayout& operator=(StoryLayout&&) noexcept;

  std::vector<GlyphRun> runs;  // line by line, left to right
  size_t lines = 0;            // lines shown
  // True when characters that draw something (not only spaces and line
  // ends) did not fit the frame.
  bool overset = false;
  // What keeps `runs` valid: the shaped paragraphs.
  struct Paragraphs;
  std::unique_ptr<Paragraphs> paragraphs;
};

// Lays out the story of text frame `frame` (an empty layout for other
// items). Characters without a run are set in the machine's default font at
// 12 points; runs without a fill colour in black. A paragraph takes the
// horizontal and vertical scale of its first run.
StoryLayout LayOutStory(const PageItem& frame, FontFaces& faces);

}  // namespace standin
