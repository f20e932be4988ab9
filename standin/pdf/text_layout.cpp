#include "standin/pdf/text_layout.h"

#include <cairo.h>

#include <algorithm>
#include <deque>
#include <map>

#include "standin/core/utf8.h"
#include "standin/pdf/font_faces.h"

namespace standin {

namespace {

constexpr double kDefaultSize = 12;
// Leading when a run gives none (or a negative one): this times the size.
constexpr double kAutoLeading = 1.2;
// Characters shaped at a time.
constexpr size_t kPieceCharacters = 256;
// A line whose bottom is this close below the frame's still fits.
constexpr double kFitTolerance = 0.01;

// What a run sets its characters with, defaults filled in.
struct Style {
  std::string family, style;
  cairo_font_face_t* face = nullptr;
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

// One character as shaped. cairo's FreeType fonts map each character to
// one glyph (no ligatures or reordering), so a character is a cluster.
struct Cluster {
  unsigned long glyph = 0;
  bool hasGlyph = false;
  double glyphX = 0, glyphY = 0;  // relative to the character's start
  double advance = 0;             // tracking included
  char utf8[4];
  unsigned char bytes = 0;
  bool space = false;
  size_t style = 0;
  cairo_font_face_t* face = nullptr;
  size_t character = 0;  // index in the story
};

bool IsParagraphEnd(char32_t c) { return c == U'\r' || c == U'\n' || c == 0x2028 || c == 0x2029; }

// Characters that leave a mark on the page.
bool IsInk(char32_t c) { return c != U' ' && c >= 0x20 && c != 0x7F && !IsParagraphEnd(c); }

class Layouter {
 public:
  Layouter(const PageItem& frame, FontFaces& faces)
      : frame_(frame), story_(*frame.story), text_(frame.story->text), faces_(faces) {}

  StoryLayout Run() {
    width_ = frame_.bounds.Width();
    height_ = frame_.bounds.Height();
    const size_t count = text_.size();
    size_t offset = 0;
    for (size_t index = 0; index <= count && !stopped_; ++index) {
      if (index == paragraphStart_) StartParagraph(index);
      const char32_t c = index < count ? text_.Next(&offset) : U'\r';
      if (index == count || IsParagraphEnd(c)) {
        Flush();
        if (!stopped_) EndParagraph();
        paragraphStart_ = index + 1;
        continue;
      }
      Add(index, c);
    }
    if (stopped_) layout_.overset = RestHasInk(stoppedAt_);
    Justify();
    layout_.lines = lines_;
    return std::move(layout_);
  }

 private:
  void StartParagraph(size_t index) {
    paragraphStyle_ = StyleAt(index);
    pending_.clear();
    lastSpace_ = kNone;
    used_ = 0;
  }

  // Adds character `c` (story index `index`) to the piece being gathered.
  void Add(size_t index, char32_t c) {
    if (c == U'\t') c = U' ';
    if (c < 0x20 || c == 0x7F) return;  // control characters draw nothing
    const size_t styleIndex = StyleAt(index);
    const Style& style = styles_[styleIndex];
    cairo_font_face_t* face = style.face;
    if (face && c != U' ' && !faces_.HasGlyph(face, c)) {
      if (cairo_font_face_t* other = faces_.FallbackFor(c, style.family, style.style)) face = other;
    }
    if (!piece_.empty() && (styleIndex != pieceStyle_ || face != pieceFace_ ||
                            pieceCharacters_.size() >= kPieceCharacters)) {
      Flush();
      if (stopped_) return;
    }
    pieceStyle_ = styleIndex;
    pieceFace_ = face;
    AppendUtf8(piece_, static_cast<uint32_t>(c));
    pieceCharacters_.push_back(index);
  }

  // Shapes the gathered piece and hands its characters to the line breaker.
  void Flush() {
    if (piece_.empty()) return;
    const Style& style = styles_[pieceStyle_];
    cairo_matrix_t matrix;
    cairo_matrix_init_scale(&matrix, style.fontWidth, style.fontHeight);
    cairo_scaled_font_t* font = faces_.Scaled(pieceFace_, matrix);
    cairo_glyph_t* glyphs = nullptr;
    int glyphCount = 0;
    cairo_text_cluster_t* clusters = nullptr;
    int clusterCount = 0;
    cairo_text_cluster_flags_t flags;
    if (font && cairo_scaled_font_status(font) == CAIRO_STATUS_SUCCESS &&
        cairo_scaled_font_text_to_glyphs(font, 0, 0, piece_.data(), static_cast<int>(piece_.size()),
                                         &glyphs, &glyphCount, &clusters, &clusterCount,
                                         &flags) == CAIRO_STATUS_SUCCESS) {
      // The end of the piece: the last glyph's origin plus its advance.
      double end = 0;
      if (glyphCount > 0) {
        cairo_text_extents_t extents;
        cairo_scaled_font_glyph_extents(font, &glyphs[glyphCount - 1], 1, &extents);
        end = glyphs[glyphCount - 1].x + extents.x_advance;
      }
      std::vector<double> starts(static_cast<size_t>(clusterCount));
      std::vector<int> firstGlyph(static_cast<size_t>(clusterCount));
      int g = 0;
      for (int k = 0; k < clusterCount; ++k) {
        firstGlyph[static_cast<size_t>(k)] = g;
        g += clusters[k].num_glyphs;
      }
      // A cluster without glyphs starts where the next one does.
      double next = end;
      for (int k = clusterCount - 1; k >= 0; --k) {
        const auto i = static_cast<size_t>(k);
        starts[i] = clusters[k].num_glyphs > 0 ? glyphs[firstGlyph[i]].x : next;
        next = starts[i];
      }
      size_t byte = 0, character = 0;
      for (int k = 0; k < clusterCount && !stopped_; ++k) {
        const auto i = static_cast<size_t>(k);
        Cluster cluster;
        const auto bytes = static_cast<size_t>(clusters[k].num_bytes);
        cluster.bytes = static_cast<unsigned char>(std::min<size_t>(bytes, sizeof cluster.utf8));
        std::copy_n(piece_.data() + byte, cluster.bytes, cluster.utf8);
        cluster.space = bytes == 1 && piece_[byte] == ' ';
        cluster.style = pieceStyle_;
        cluster.face = pieceFace_;
        cluster.character = pieceCharacters_[std::min(character, pieceCharacters_.size() - 1)];
        if (clusters[k].num_glyphs > 0) {
          const cairo_glyph_t& glyph = glyphs[firstGlyph[i]];
          cluster.hasGlyph = true;
          cluster.glyph = glyph.index;
          cluster.glyphX = glyph.x - starts[i];
          cluster.glyphY = glyph.y;
        }
        const double clusterEnd = k + 1 < clusterCount ? starts[i + 1] : end;
        cluster.advance = clusterEnd - starts[i] + style.tracking;
        for (size_t b = 0; b < bytes; ++b) {
          if ((static_cast<unsigned char>(piece_[byte + b]) & 0xC0) != 0x80) ++character;
        }
        byte += bytes;
        Break(cluster);
      }
      cairo_glyph_free(glyphs);
      cairo_text_cluster_free(clusters);
    }
    piece_.clear();
    pieceCharacters_.clear();
  }

  // The greedy line breaker: a line ends before the character that would
  // make it wider than the frame, after its last space (a word wider than
  // the frame is broken where it must).
  void Break(const Cluster& cluster) {
    pending_.push_back(cluster);
    const size_t i = pending_.size() - 1;
    if (!cluster.space && used_ + cluster.advance > width_ && i > 0) {
      const size_t end = lastSpace_ != kNone ? lastSpace_ + 1 : i;
      if (!EmitLine(end)) return;
      pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(end));
      lastSpace_ = kNone;
      used_ = 0;
      for (size_t j = 0; j + 1 < pending_.size(); ++j) used_ += pending_[j].advance;
    } else if (pending_.size() + shown_ > kMaxShownCharacters) {
      Stop(pending_.front().character);
      return;
    }
    used_ += cluster.advance;
    if (cluster.space) lastSpace_ = pending_.size() - 1;
  }

  // The paragraph's last line.
  void EndParagraph() {
    if (EmitLine(pending_.size())) pending_.clear();
  }

  void Stop(size_t character) {
    stopped_ = true;
    stoppedAt_ = character;
  }

  // Places pending_[0, end) as the next line, or stops the layout when it
  // does not fit the frame.
  bool EmitLine(size_t end) {
    double ascent = 0, descent = 0, leading = 0, width = 0;
    size_t last = end;
    while (last > 0 && pending_[last - 1].space) --last;
    for (size_t i = 0; i < end; ++i) {
      if (i < last) width += pending_[i].advance;
      const Style& style = styles_[pending_[i].style];
      ascent = std::max(ascent, style.ascent);
      descent = std::max(descent, style.descent);
      leading = std::max(leading, style.leading);
    }
    if (end == 0) {
      const Style& style = styles_[paragraphStyle_];
      ascent = style.ascent;
      descent = style.descent;
      leading = style.leading;
    }
    const double baseline = lines_ == 0 ? ascent : baseline_ + leading;
    if (baseline + descent > height_ + kFitTolerance || shown_ + end > kMaxShownCharacters) {
      Stop(end > 0 ? pending_.front().character : paragraphStart_);
      return false;
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
    const double y = frame_.bounds.top + baseline;
    GlyphRun* run = nullptr;
    for (size_t i = 0; i < end; ++i) {
      const Cluster& cluster = pending_[i];
      if (!run || cluster.style != runStyle_ || cluster.face != run->face) {
        run = &layout_.runs.emplace_back();
        runStyle_ = cluster.style;
        const Style& style = styles_[cluster.style];
        run->face = cluster.face;
        run->fontWidth = style.fontWidth;
        run->fontHeight = style.fontHeight;
        run->fill = style.fill;
        run->tint = style.tint;
        run->underline = style.underline;
        run->size = style.size;
        run->left = run->right = x;
        run->baseline = y;
      }
      if (cluster.hasGlyph)
        run->glyphs.push_back({cluster.glyph, x + cluster.glyphX, y + cluster.glyphY});
      run->clusters.push_back({cluster.bytes, cluster.hasGlyph ? 1 : 0});
      run->utf8.append(cluster.utf8, cluster.bytes);
      x += cluster.advance;
      run->right = x;
    }
    shown_ += end;
    baseline_ = baseline;
    descent_ = descent;
    ++lines_;
    return true;
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
    style.family = run && run->family ? *run->family : std::string();
    style.style = run && run->style ? *run->style : std::string();
    style.face = faces_.Face(style.family, style.style);
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

  static constexpr size_t kNone = SIZE_MAX;

  const PageItem& frame_;
  const Story& story_;
  const StoryText& text_;
  FontFaces& faces_;
  double width_ = 0, height_ = 0;
  std::vector<Style> styles_;
  std::map<const TextRun*, size_t> styleOf_;
  // The piece being gathered: characters of one style and face.
  std::string piece_;
  std::vector<size_t> pieceCharacters_;
  size_t pieceStyle_ = 0;
  cairo_font_face_t* pieceFace_ = nullptr;
  // The paragraph being broken into lines: its characters not yet placed.
  size_t paragraphStart_ = 0;
  size_t paragraphStyle_ = 0;
  std::deque<Cluster> pending_;
  size_t lastSpace_ = kNone;
  double used_ = 0;
  // The lines placed so far.
  StoryLayout layout_;
  size_t runStyle_ = 0;
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
