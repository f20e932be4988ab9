#include "standin/pdf/text_drawing.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>

#include "standin/pdf/drawing_color.h"
#include "standin/pdf/font_faces.h"
#include "standin/pdf/text_layout.h"

namespace standin {

void DrawStory(cairo_t* cr, const PageItem& frame, FontFaces& faces, const CmykToRgb& colors) {
  if (!frame.story) return;
  const StoryLayout layout = LayOutStory(frame, faces);
  if (layout.runs.empty()) return;
  cairo_save(cr);
  const PMRect& box = frame.bounds;
  cairo_rectangle(cr, box.left, box.top, box.Width(), box.Height());
  cairo_clip(cr);
  for (const GlyphRun& run : layout.runs) {
    if (run.fill) {
      SetColorSource(cr, colors, run.fill->color, run.tint);
    } else {
      SetBlackSource(cr);
    }
    // Pango draws the glyphs with their text and clusters, so that the PDF's
    // text can be copied and searched in reading order, right-to-left
    // scripts included.
    cairo_save(cr);
    cairo_translate(cr, run.left, run.baseline);
    cairo_scale(cr, run.stretch, 1);
    cairo_move_to(cr, 0, 0);
    pango_cairo_show_glyph_item(cr, run.paragraph, const_cast<PangoGlyphItem*>(run.item));
    cairo_restore(cr);
    if (run.underline) {
      const double thickness = std::max(run.size * 0.05, 0.25);
      cairo_rectangle(cr, run.left, run.baseline + run.size * 0.1, run.right - run.left, thickness);
      cairo_fill(cr);
    }
  }
  cairo_restore(cr);
}

}  // namespace standin
