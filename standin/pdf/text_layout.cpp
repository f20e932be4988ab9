#include "standin/pdf/text_layout.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <map>

#include "standin/core/utf8.h"
#include "standin/pdf/font_faces.h"

#include FT_FREETYPE_H

namespace standin {

struct StoryLayout::Paragraphs {
  PangoContext* context = nullptr;
  std::vector<PangoLayout*> layouts;
  ~Paragraphs() {
    for (PangoLayout* layout : layouts) g_object_unref(layout);
    if (context) g_object_unref(context);
  }
};

StoryLayout::StoryLayout() = default;
StoryLayout::~StoryLayout() = default;
StoryLayout::StoryLayout(StoryLayout&&) noexcept = default;
StoryLayout& StoryLayout::operator=(StoryLayout&&) noexcept = default;

namespace {

constexpr double kDefaultSize = 12;
// Leading when a run gives none (or a negative one): this times the size.
constexpr double kAutoLeading = 1.2;
// A line whose bottom is this close below the frame's still fits.
constexpr double kFitTolerance = 0.01;
// Characters of a paragraph shaped at first; a paragraph whose lines reach
// no further than the frame's bottom is shaped again with eight times more.
constexpr size_t kFirstPiece = 2048;

double Points(int pangoUnits) { return pangoUnits / static_cast<double>(PANGO_SCALE); }

// What a run sets its characters with, defaults filled in.
struct Style {
  cairo_font_face_t* face = nullptr;
  const PangoFontDescription* description = nullptr;  // null: the machine's default
  double fontWidth = kDefaultSize, fontHeight = kDefaultSize;
  double size = kDefaultSize;  // vertical size in points (scale applied)
  double tracking = 0;         // points after each character
  double leading = 0;
  double ascent = 0, descent = 0;
  bool underline = false;
  int align = 0;
  const ColorUse* fill = nullptr;
  double tint = -1;
};

// Characters of one paragraph, as given to the shaper.
struct Piece {
  std::string utf8;
  std::vector<std::pair<size_t, size_t>> styles;  // (first byte, style), increasing
  std::vector<size_t> byteOf;                     // each character's first byte
  std::vector<size_t> indexOf;                    // each character's index in the story
  bool complete = false;  // the paragraph's end was reached
  size_t nextIndex = 0, nextOffset = 0;  // the next paragraph, when complete

  size_t StyleAtByte(size_t byte) const {
    auto it = std::upper_bound(styles.begin(), styles.end(), std::make_pair(byte, SIZE_MAX));
    return it == styles.begin() ? 0 : std::prev(it)->second;
  }
  // The character starting at `byte` (or the first after it).
  size_t CharacterAtByte(size_t byte) const {
    return static_cast<size_t>(std::lower_bound(byteOf.begin(), byteOf.end(), byte) -
                               byteOf.begin());
  }
};

bool IsParagraphEnd(char32_t c) { return c == U'\r' || c == U'\n' || c == 0x2028 || c == 0x2029; }

// Characters that leave a mark on the page.
bool IsInk(char32_t c) { return c != U' ' && c >= 0x20 && c != 0x7F && !IsParagraphEnd(c); }

// The family name the font file gives for `font`.
std::string FamilyOf(PangoFont* font, cairo_font_face_t** face) {
  std::string family;
  *face = nullptr;
  if (!font || !PANGO_IS_CAIRO_FONT(font)) return family;
  cairo_scaled_font_t* scaled = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font));
  if (!scaled || cairo_scaled_font_status(scaled) != CAIRO_STATUS_SUCCESS) return family;
  *face = cairo_scaled_font_get_font_face(scaled);
  if (cairo_scaled_font_get_type(scaled) != CAIRO_FONT_TYPE_FT) return family;
  if (FT_Face ft = cairo_ft_scaled_font_lock_face(scaled)) {
    if (ft->family_name) family = ft->family_name;
    cairo_ft_scaled_font_unlock_face(scaled);
  }
  return family;
}

class Layouter {
 public:
  Layouter(const PageItem& frame, FontFaces& faces)
      : frame_(frame), story_(*frame.story), text_(frame.story->text), faces_(faces) {
    layout_.paragraphs = std::make_unique<StoryLayout::Paragraphs>();
  }

  StoryLayout Run() {
    width_ = frame_.bounds.Width();
    height_ = frame_.bounds.Height();
    size_t index = 0, offset = 0;
    // The story ends with a paragraph end of its own, so that an empty
    // story (or one ending in a break) still has its last, empty line.
    while (!stopped_) {
      const size_t next = LayOutParagraph(index, offset, &offset);
      if (stopped_ || next > text_.size()) break;
      index = next;
    }
    if (stopped_) layout_.overset = RestHasInk(stoppedAt_);
    Justify();
    layout_.lines = lines_;
    return std::move(layout_);
  }

 private:
  // Lays out the paragraph starting at character `index` (byte `offset`).
  // Returns the index of the next paragraph's first character (above
  // text_.size() after the last paragraph), with its byte in *nextOffset.
  size_t LayOutParagraph(size_t index, size_t offset, size_t* nextOffset) {
    paragraphStyle_ = StyleAt(index);
    const Style& first = styles_[paragraphStyle_];
    stretch_ = first.fontHeight > 0 ? first.fontWidth / first.fontHeight : 1;
    if (!(stretch_ > 0)) stretch_ = 1;
    for (size_t limit = kFirstPiece;; limit *= 8) {
      const size_t budget = kMaxShownCharacters - std::min(shown_, kMaxShownCharacters);
      const size_t wanted = std::min(limit, budget + 1);
      Piece piece = Gather(index, offset, wanted);
      *nextOffset = piece.nextOffset;
      if (piece.utf8.empty()) {
        if (piece.complete) {
          EmitEmptyLine(index);
        } else {
          Stop(index);
        }
        return piece.nextIndex;
      }
      PangoLayout* layout = MakeLayout(piece);
      if (!layout) {
        Stop(index);
        return piece.nextIndex;
      }
      const int count = pango_layout_get_line_count(layout);
      const int usable = piece.complete ? count : count - 1;
      const bool last = piece.complete || wanted > budget || limit >= kMaxShownCharacters;
      if (last || PlaceLines(layout, piece, usable, /*commit=*/false) < usable) {
        layout_.paragraphs->layouts.push_back(layout);
        const int placed = PlaceLines(layout, piece, usable, /*commit=*/true);
        if (!stopped_ && (placed < usable || !piece.complete)) {
          // The line after the last one placed starts where overset begins.
          PangoLayoutLine* line = pango_layout_get_line_readonly(layout, placed);
          const size_t byte = line ? static_cast<size_t>(line->start_index) : piece.utf8.size();
          const size_t character = piece.CharacterAtByte(byte);
          Stop(character < piece.indexOf.size() ? piece.indexOf[character] : index);
        }
        return piece.nextIndex;
      }
      g_object_unref(layout);
    }
  }

  // Up to `limit` drawable characters of the paragraph from character
  // `index` (byte `offset`); tabs become spaces, other control characters
  // draw nothing.
  Piece Gather(size_t index, size_t offset, size_t limit) {
    Piece piece;
    const size_t count = text_.size();
    size_t style = SIZE_MAX;
    while (true) {
      if (index >= count) {
        piece.complete = true;
        piece.nextIndex = count + 1;
        piece.nextOffset = offset;
        return piece;
      }
      const size_t before = offset;
      char32_t c = text_.Next(&offset);
      if (IsParagraphEnd(c)) {
        piece.complete = true;
        piece.nextIndex = index + 1;
        piece.nextOffset = offset;
        return piece;
      }
      if (piece.byteOf.size() >= limit) {
        piece.nextIndex = index;
        piece.nextOffset = before;
        return piece;
      }
      if (c == U'\t') c = U' ';
      if (c >= 0x20 && c != 0x7F) {
        const size_t at = StyleAt(index);
        if (at != style) {
          piece.styles.emplace_back(piece.utf8.size(), at);
          style = at;
        }
        piece.byteOf.push_back(piece.utf8.size());
        piece.indexOf.push_back(index);
        AppendUtf8(piece.utf8, static_cast<uint32_t>(c));
      }
      ++index;
    }
  }

  PangoLayout* MakeLayout(const Piece& piece) {
    // Descriptions first: they may add fonts to the map.
    std::vector<const PangoFontDescription*> descriptions;
    for (const auto& [byte, style] : piece.styles) {
      (void)byte;
      descriptions.push_back(styles_[style].description);
    }
    PangoFontMap* map = faces_.PangoMap();
    if (!map) return nullptr;
    PangoContext*& context = layout_.paragraphs->context;
    if (!context) {
      context = pango_font_map_create_context(map);
      pango_cairo_context_set_resolution(context, 72);
      pango_cairo_context_set_font_options(context, faces_.Options());
      pango_context_set_round_glyph_positions(context, FALSE);
    }
    PangoLayout* layout = pango_layout_new(context);
    pango_layout_set_text(layout, piece.utf8.data(), static_cast<int>(piece.utf8.size()));
    PangoAttrList* attributes = pango_attr_list_new();
    for (size_t k = 0; k < piece.styles.size(); ++k) {
      const Style& style = styles_[piece.styles[k].second];
      const auto start = static_cast<guint>(piece.styles[k].first);
      const auto end = static_cast<guint>(k + 1 < piece.styles.size() ? piece.styles[k + 1].first
                                                                      : piece.utf8.size());
      PangoFontDescription* description =
          style.description ? pango_font_description_copy(style.description)
                            : pango_font_description_from_string("Sans");
      pango_font_description_set_absolute_size(description, style.fontHeight * PANGO_SCALE);
      PangoAttribute* font = pango_attr_font_desc_new(description);
      pango_font_description_free(description);
      font->start_index = start;
      font->end_index = end;
      pango_attr_list_insert(attributes, font);
      if (style.tracking != 0) {
        PangoAttribute* spacing = pango_attr_letter_spacing_new(
            static_cast<int>(style.tracking / stretch_ * PANGO_SCALE));
        spacing->start_index = start;
        spacing->end_index = end;
        pango_attr_list_insert(attributes, spacing);
      }
    }
    // A word broken at the frame's edge is broken, not hyphenated.
    pango_attr_list_insert(attributes, pango_attr_insert_hyphens_new(FALSE));
    pango_layout_set_attributes(layout, attributes);
    pango_attr_list_unref(attributes);
    pango_layout_set_width(layout, static_cast<int>(std::max(0.0, width_ / stretch_) * PANGO_SCALE));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    return layout;
  }

  // Places the first `usable` lines of `layout` one after the other, as
  // long as they fit the frame. Returns how many fit. With `commit` the
  // lines become part of the layout (and the first that does not fit stops
  // it); without, nothing changes.
  int PlaceLines(PangoLayout* layout, const Piece& piece, int usable, bool commit) {
    size_t lines = lines_, shown = shown_;
    double baseline = baseline_, descent = descent_;
    int placed = 0;
    PangoLayoutIter* iter = pango_layout_get_iter(layout);
    for (int n = 0; n < usable; ++n, pango_layout_iter_next_line(iter)) {
      PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
      const auto start = static_cast<size_t>(line->start_index);
      const size_t end = start + static_cast<size_t>(line->length);
      const size_t firstCharacter = piece.CharacterAtByte(start);
      const size_t characters = piece.CharacterAtByte(end) - firstCharacter;
      double ascent = 0, lineDescent = 0, leading = 0;
      for (size_t c = firstCharacter; c < firstCharacter + characters; ++c) {
        const Style& style = styles_[piece.StyleAtByte(piece.byteOf[c])];
        ascent = std::max(ascent, style.ascent);
        lineDescent = std::max(lineDescent, style.descent);
        leading = std::max(leading, style.leading);
      }
      if (characters == 0) {
        const Style& style = styles_[piece.StyleAtByte(start)];
        ascent = style.ascent;
        lineDescent = style.descent;
        leading = style.leading;
      }
      const double lineBaseline = lines == 0 ? ascent : baseline + leading;
      if (lineBaseline + lineDescent > height_ + kFitTolerance ||
          shown + characters > kMaxShownCharacters) {
        if (commit) {
          Stop(firstCharacter < piece.indexOf.size() ? piece.indexOf[firstCharacter]
                                                     : piece.indexOf.back());
        }
        break;
      }
      if (commit) AddRuns(iter, line, piece, lineBaseline);
      baseline = lineBaseline;
      descent = lineDescent;
      shown += characters;
      ++lines;
      ++placed;
    }
    pango_layout_iter_free(iter);
    if (commit) {
      lines_ = lines;
      shown_ = shown;
      baseline_ = baseline;
      descent_ = descent;
    }
    return placed;
  }

  // The runs of `line` (at `iter`), in visual order, aligned as the
  // paragraph says: the line's ink, its spaces at the end left out.
  void AddRuns(PangoLayoutIter* iter, PangoLayoutLine* line, const Piece& piece, double baseline) {
    PangoRectangle logical;
    pango_layout_iter_get_line_extents(iter, nullptr, &logical);
    const auto start = static_cast<size_t>(line->start_index);
    size_t contentEnd = start + static_cast<size_t>(line->length);
    while (contentEnd > start && piece.utf8[contentEnd - 1] == ' ') --contentEnd;
    int* ranges = nullptr;
    int rangeCount = 0;
    double low = Points(logical.x), width = 0;
    if (contentEnd > start) {
      pango_layout_line_get_x_ranges(line, static_cast<int>(start), static_cast<int>(contentEnd),
                                     &ranges, &rangeCount);
      if (rangeCount > 0) {
        int lo = ranges[0], hi = ranges[1];
        for (int k = 1; k < rangeCount; ++k) {
          lo = std::min(lo, ranges[2 * k]);
          hi = std::max(hi, ranges[2 * k + 1]);
        }
        low = Points(lo);
        width = Points(hi - lo) * stretch_;
      }
      g_free(ranges);
    }
    double x = frame_.bounds.left;
    switch (styles_[paragraphStyle_].align) {
      case 1:
        x += (width_ - width) / 2;
        break;
      case 2:
        x += width_ - width;
        break;
      default:
        break;
    }
    // Where the layout's own x = 0 lands in the frame's inner space.
    const double origin = x - low * stretch_;
    const double y = frame_.bounds.top + baseline;
    const char* text = pango_layout_get_text(pango_layout_iter_get_layout(iter));
    double runStart = Points(logical.x);
    for (GSList* link = line->runs; link; link = link->next) {
      const auto* item = static_cast<const PangoGlyphItem*>(link->data);
      const Style& style = styles_[piece.StyleAtByte(static_cast<size_t>(item->item->offset))];
      GlyphRun& run = layout_.runs.emplace_back();
      run.family = FamilyOf(item->item->analysis.font, &run.face);
      run.item = item;
      run.paragraph = text;
      run.stretch = stretch_;
      run.fill = style.fill;
      run.tint = style.tint;
      run.underline = style.underline;
      run.size = style.size;
      run.utf8.assign(text + item->item->offset, static_cast<size_t>(item->item->length));
      run.baseline = y;
      run.left = origin + runStart * stretch_;
      double advance = 0;
      for (int g = 0; g < item->glyphs->num_glyphs; ++g) {
        const PangoGlyphInfo& info = item->glyphs->glyphs[g];
        if (info.glyph != PANGO_GLYPH_EMPTY) {
          const unsigned long index =
              (info.glyph & PANGO_GLYPH_UNKNOWN_FLAG) ? 0 : static_cast<unsigned long>(info.glyph);
          const double at = runStart + advance + Points(info.geometry.x_offset);
          run.glyphs.push_back({index, origin + at * stretch_, y + Points(info.geometry.y_offset)});
        }
        advance += Points(info.geometry.width);
      }
      runStart += advance;
      run.right = origin + runStart * stretch_;
    }
  }

  // A paragraph without characters: a line of its style's height.
  void EmitEmptyLine(size_t index) {
    const Style& style = styles_[paragraphStyle_];
    const double baseline = lines_ == 0 ? style.ascent : baseline_ + style.leading;
    if (baseline + style.descent > height_ + kFitTolerance) {
      Stop(index);
      return;
    }
    baseline_ = baseline;
    descent_ = style.descent;
    ++lines_;
  }

  void Stop(size_t character) {
    stopped_ = true;
    stoppedAt_ = character;
  }

  // Moves the lines as the frame's vertical justification says.
  void Justify() {
    if (lines_ == 0) return;
    const double used = baseline_ + descent_;
    double top = 0;
    switch (frame_.verticalJustification.value_or(0)) {
      case 1:
        top = (height_ - used) / 2;
        break;
      case 2:
        top = height_ - used;
        break;
      default:
        return;
    }
    for (GlyphRun& run : layout_.runs) {
      run.baseline += top;
      for (PlacedGlyph& glyph : run.glyphs) glyph.y += top;
    }
  }

  // True when a character from `index` on leaves a mark.
  bool RestHasInk(size_t index) const {
    if (index >= text_.size()) return false;
    size_t offset = text_.Offset(index);
    while (offset < text_.Utf8().size()) {
      if (IsInk(text_.Next(&offset))) return true;
    }
    return false;
  }

  // The style of character `index` (made once per run).
  size_t StyleAt(size_t index) {
    const TextRun* run = story_.RunAt(static_cast<int32>(std::min<size_t>(index, INT32_MAX)));
    auto found = styleOf_.find(run);
    if (found != styleOf_.end()) return found->second;
    Style style;
    const double size = run && run->size ? *run->size : kDefaultSize;
    const double h = run && run->hscale ? *run->hscale / 100 : 1;
    const double v = run && run->vscale ? *run->vscale / 100 : 1;
    style.size = size * v;
    style.tracking = run && run->tracking ? *run->tracking * size : 0;
    style.leading = run && run->leading && *run->leading > 0 ? *run->leading : size * kAutoLeading;
    style.underline = run && run->underline.value_or(false);
    style.align = run && run->align ? *run->align : 0;
    style.fill = run && run->fill ? &*run->fill : nullptr;
    style.tint = run && run->tint ? *run->tint : -1;
    style.face = faces_.Face(run && run->family ? *run->family : std::string(),
                             run && run->style ? *run->style : std::string());
    style.description = faces_.Description(style.face);
    style.fontWidth = size * h;
    style.fontHeight = size * v;
    if (style.face) {
      cairo_matrix_t matrix;
      cairo_matrix_init_scale(&matrix, style.fontWidth, style.fontHeight);
      cairo_font_extents_t extents;
      cairo_scaled_font_extents(faces_.Scaled(style.face, matrix), &extents);
      style.ascent = extents.ascent;
      style.descent = extents.descent;
    }
    styles_.push_back(style);
    styleOf_[run] = styles_.size() - 1;
    return styles_.size() - 1;
  }

  const PageItem& frame_;
  const Story& story_;
  const StoryText& text_;
  FontFaces& faces_;
  double width_ = 0, height_ = 0;
  std::vector<Style> styles_;
  std::map<const TextRun*, size_t> styleOf_;
  // The paragraph being laid out.
  size_t paragraphStyle_ = 0;
  double stretch_ = 1;
  // The lines placed so far.
  StoryLayout layout_;
  size_t lines_ = 0, shown_ = 0;
  double baseline_ = 0, descent_ = 0;
  bool stopped_ = false;
  size_t stoppedAt_ = 0;
};

}  // namespace

StoryLayout LayOutStory(const PageItem& frame, FontFaces& faces) {
  if (frame.kind != ItemKind::kTextFrame || !frame.story) return StoryLayout();
  return Layouter(frame, faces).Run();
}

}  // namespace standin
