#include "standin/pdf/text_drawing.h"

#include <cairo.h>

#include <algorithm>
#include <vector>

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
  cairo_set_font_options(cr, faces.Options());
  std::vector<cairo_glyph_t> glyphs;
  std::vector<cairo_text_cluster_t> clusters;
  for (const GlyphRun& run : layout.runs) {
    if (run.fill) {
      SetColorSource(cr, colors, run.fill->color, run.tint);
    } else {
      SetBlackSource(cr);
    }
    glyphs.clear();
    clusters.clear();
    for (const PlacedGlyph& glyph : run.glyphs) glyphs.push_back({glyph.index, glyph.x, glyph.y});
    for (const GlyphCluster& cluster : run.clusters)
      clusters.push_back({cluster.bytes, cluster.glyphs});
    cairo_matrix_t matrix;
    cairo_matrix_init_scale(&matrix, run.fontWidth, run.fontHeight);
    cairo_set_font_face(cr, run.face);
    cairo_set_font_matrix(cr, &matrix);
    // The text goes with its glyphs, so that the PDF's text can be copied
    // and searched.
    cairo_show_text_glyphs(cr, run.utf8.data(), static_cast<int>(run.utf8.size()), glyphs.data(),
                           static_cast<int>(glyphs.size()), clusters.data(),
                           static_cast<int>(clusters.size()),
                           static_cast<cairo_text_cluster_flags_t>(0));
    if (run.underline) {
      const double thickness = std::max(run.size * 0.05, 0.25);
      cairo_rectangle(cr, run.left, run.baseline + run.size * 0.1, run.right - run.left, thickness);
      cairo_fill(cr);
    }
  }
  cairo_restore(cr);
}

}  // namespace standin
