#include "refservice/render/text_field_drawing.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-font.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "colour/cmyk_conversion.h"

namespace refservice {
namespace {

bool Wraps(const RenderField& field) { return field.controlType == 1 || field.controlType == 2; }

struct LayoutDeleter {
  void operator()(PangoLayout* layout) const { g_object_unref(layout); }
};

// A layout of `text` at `size` points for a box `boxWidth` wide (in unscaled units).
PangoLayout* MakeLayout(PangoContext* context, const FieldFont& font, const RenderField& field,
                        const std::string& text, double size, double boxWidth) {
  PangoLayout* layout = pango_layout_new(context);
  PangoFontDescription* description = pango_font_description_copy(font.description);
  pango_font_description_set_absolute_size(description, size * PANGO_SCALE);
  pango_layout_set_font_description(layout, description);
  pango_font_description_free(description);
  PangoAttrList* attributes = pango_attr_list_new();
  if (field.fontTracking != 0) {
    pango_attr_list_insert(attributes, pango_attr_letter_spacing_new(static_cast<int>(
                                           field.fontTracking / 1000.0 * size * PANGO_SCALE)));
  }
  if (field.fontLeading > 0) {
    // The stored leading belongs to the stored size; a shrunk text keeps the proportion.
    double leading = field.fontLeading * size / field.fontSize;
    pango_attr_list_insert(attributes,
                           pango_attr_line_height_new_absolute(static_cast<int>(leading * PANGO_SCALE)));
  }
  if (field.fontUnderline) pango_attr_list_insert(attributes, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
  pango_layout_set_attributes(layout, attributes);
  pango_attr_list_unref(attributes);
  int column = field.alignment % 3;
  pango_layout_set_alignment(layout, column == 0   ? PANGO_ALIGN_LEFT
                                     : column == 1 ? PANGO_ALIGN_CENTER
                                                   : PANGO_ALIGN_RIGHT);
  if (Wraps(field)) {
    pango_layout_set_width(layout, static_cast<int>(boxWidth * PANGO_SCALE));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
  } else {
    std::string line = text;
    std::replace(line.begin(), line.end(), '\n', ' ');
    std::replace(line.begin(), line.end(), '\r', ' ');
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    pango_layout_set_text(layout, line.data(), static_cast<int>(line.size()));
  }
  return layout;
}

// The file `font` was loaded from; empty when unknown.
std::string FileOf(PangoFont* font) {
  if (font == nullptr || !PANGO_IS_FC_FONT(font)) return std::string();
  FcPattern* pattern = pango_fc_font_get_pattern(PANGO_FC_FONT(font));
  FcChar8* file = nullptr;
  if (pattern == nullptr || FcPatternGetString(pattern, FC_FILE, 0, &file) != FcResultMatch) {
    return std::string();
  }
  return reinterpret_cast<const char*>(file);
}

// The family name `font`'s file gives itself (not the name a private configuration may use).
std::string FamilyOf(PangoFont* font) {
  std::string family;
  if (font == nullptr || !PANGO_IS_CAIRO_FONT(font)) return family;
  cairo_scaled_font_t* scaled = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font));
  if (scaled == nullptr || cairo_scaled_font_get_type(scaled) != CAIRO_FONT_TYPE_FT) return family;
  if (FT_Face face = cairo_ft_scaled_font_lock_face(scaled)) {
    if (face->family_name != nullptr) family = face->family_name;
    cairo_ft_scaled_font_unlock_face(scaled);
  }
  return family;
}

// Notes in `outcome` the fonts other than the one from `primaryFile` that `line` is drawn in, and
// the characters no font has.
void NoteFonts(PangoLayoutLine* line, const std::string& primaryFile, TextOutcome* outcome) {
  for (GSList* link = line->runs; link != nullptr; link = link->next) {
    const auto* run = static_cast<const PangoGlyphItem*>(link->data);
    for (int g = 0; g < run->glyphs->num_glyphs; ++g) {
      if (run->glyphs->glyphs[g].glyph & PANGO_GLYPH_UNKNOWN_FLAG) ++outcome->missingCharacters;
    }
    PangoFont* font = run->item->analysis.font;
    if (FileOf(font) == primaryFile) continue;
    std::string family = FamilyOf(font);
    if (family.empty()) continue;
    if (std::find(outcome->fallbackFonts.begin(), outcome->fallbackFonts.end(), family) ==
        outcome->fallbackFonts.end()) {
      outcome->fallbackFonts.push_back(family);
    }
  }
}

bool Fits(PangoLayout* layout, double boxWidth, double boxHeight) {
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  const double slack = 0.01;
  return logical.width / double(PANGO_SCALE) <= boxWidth + slack &&
         logical.height / double(PANGO_SCALE) <= boxHeight + slack;
}

size_t CharactersIn(const char* text, int from, int to) {
  size_t count = 0;
  for (int i = from; i < to; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++count;
  }
  return count;
}

// How many characters of `layout`, placed `left`/`top` into a box of `boxWidth` x `boxHeight`,
// are not wholly inside it: whole lines below its bottom (the first line always shows) and the
// ends of lines that run past its right edge.
size_t CutCharacters(PangoLayout* layout, double left, double top, double boxWidth,
                     double boxHeight) {
  const char* text = pango_layout_get_text(layout);
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  size_t cut = 0;
  PangoLayoutIter* iter = pango_layout_get_iter(layout);
  do {
    PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
    const int end = line->start_index + line->length;
    PangoRectangle lineRect;
    pango_layout_iter_get_line_extents(iter, nullptr, &lineRect);
    const double lineBottom = (lineRect.y + lineRect.height) / double(PANGO_SCALE);
    const bool first = lineRect.y <= logical.y;
    if (!first && top + lineBottom > boxHeight + 0.01) {
      cut += CharactersIn(text, line->start_index, end);
      continue;
    }
    const double lineLeft = left + (lineRect.x - logical.x) / double(PANGO_SCALE);
    if (lineLeft + lineRect.width / double(PANGO_SCALE) > boxWidth + 0.01) {
      int index = end;
      int trailing = 0;
      pango_layout_line_x_to_index(line, static_cast<int>((boxWidth - lineLeft) * PANGO_SCALE),
                                   &index, &trailing);
      cut += CharactersIn(text, std::clamp(index, line->start_index, end), end);
    }
  } while (pango_layout_iter_next_line(iter));
  pango_layout_iter_free(iter);
  return cut;
}

}  // namespace

void CmykToRgb(double c, double m, double y, double k, double* r, double* g, double* b) {
  const double cmyk[4] = {c, m, y, k};
  double rgb[3];
  colour::DefaultCmykConversion().Convert(cmyk, rgb);
  *r = rgb[0];
  *g = rgb[1];
  *b = rgb[2];
}

TextOutcome DrawTextField(cairo_t* cr, const FieldFont& font, const RenderField& field,
                          const std::string& text, double width, double height, InkMarkers* inks) {
  const double hScale = field.hScale / 100.0;
  const double vScale = field.vScale / 100.0;
  // The box in the layout's own units: the scales stretch the drawing, not the frame.
  const double boxWidth = width / hScale;
  const double boxHeight = height / vScale;

  PangoContext* context = pango_font_map_create_context(font.map);
  pango_cairo_context_set_resolution(context, 72);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  pango_cairo_context_set_font_options(context, options);
  cairo_font_options_destroy(options);

  TextOutcome outcome;
  const double stored = field.fontSize;
  const double smallest = stored / 2;
  const double step = std::max(0.5, stored / 40);
  double size = stored;
  std::unique_ptr<PangoLayout, LayoutDeleter> layout(
      MakeLayout(context, font, field, text, size, boxWidth));
  // At most 21 tries: from the stored size down to half of it.
  while (!Fits(layout.get(), boxWidth, boxHeight)) {
    if (size <= smallest) {
      outcome.overflowing = true;
      break;
    }
    size = std::max(smallest, size - step);
    layout.reset(MakeLayout(context, font, field, text, size, boxWidth));
  }
  outcome.size = size;
  outcome.shrunk = size < stored;

  PangoRectangle logical;
  pango_layout_get_extents(layout.get(), nullptr, &logical);
  double textHeight = logical.height / double(PANGO_SCALE);
  double textWidth = logical.width / double(PANGO_SCALE);
  int row = field.alignment / 3;
  int column = field.alignment % 3;
  double top = 0;
  if (textHeight < boxHeight) top = (boxHeight - textHeight) * (row == 0 ? 0 : row == 1 ? 0.5 : 1);
  // A single line is placed by its own width; wrapped text is aligned by Pango inside the width.
  double left = 0;
  if (!Wraps(field) && textWidth < boxWidth) {
    left = (boxWidth - textWidth) * (column == 0 ? 0 : column == 1 ? 0.5 : 1);
  }

  // The file the field's own font comes from: runs in other files are fallbacks.
  std::string primaryFile;
  {
    PangoFontDescription* description = pango_font_description_copy(font.description);
    pango_font_description_set_absolute_size(description, size * PANGO_SCALE);
    PangoFont* primary = pango_context_load_font(context, description);
    pango_font_description_free(description);
    primaryFile = FileOf(primary);
    if (primary != nullptr) g_object_unref(primary);
  }
  if (outcome.overflowing) {
    outcome.cutCharacters = CutCharacters(layout.get(), left, top, boxWidth, boxHeight);
  }

  double r, g, b;
  if (inks != nullptr) {
    inks->ColourFor(field.c, field.m, field.y, field.k, &r, &g, &b);
  } else {
    CmykToRgb(field.c, field.m, field.y, field.k, &r, &g, &b);
  }
  cairo_save(cr);
  cairo_rectangle(cr, 0, 0, width, height);
  cairo_clip(cr);
  cairo_scale(cr, hScale, vScale);
  cairo_set_source_rgba(cr, r, g, b, std::clamp(field.fontOpacity / 100.0, 0.0, 1.0));
  // Line by line, so that a text cut at the frame loses whole lines rather than showing halves.
  PangoLayoutIter* iter = pango_layout_get_iter(layout.get());
  do {
    PangoRectangle lineRect;
    pango_layout_iter_get_line_extents(iter, nullptr, &lineRect);
    double lineBottom = (lineRect.y + lineRect.height) / double(PANGO_SCALE);
    bool first = lineRect.y <= logical.y;
    if (!first && top + lineBottom > boxHeight + 0.01) break;
    PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
    PangoRectangle own;
    pango_layout_line_get_extents(line, nullptr, &own);
    double x = left + (lineRect.x - own.x - logical.x) / double(PANGO_SCALE);
    double baseline = pango_layout_iter_get_baseline(iter) / double(PANGO_SCALE);
    cairo_move_to(cr, x, top + baseline - logical.y / double(PANGO_SCALE));
    pango_cairo_show_layout_line(cr, line);
    NoteFonts(line, primaryFile, &outcome);
  } while (pango_layout_iter_next_line(iter));
  pango_layout_iter_free(iter);
  cairo_restore(cr);
  g_object_unref(context);
  return outcome;
}

}  // namespace refservice
