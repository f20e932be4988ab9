#include "standin/pdf/text_drawing.h"

#include <cairo.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "standin/core/utf8.h"
#include "standin/pdf/drawing_color.h"
#include "standin/pdf/font_faces.h"

namespace standin {

namespace {

constexpr double kDefaultSize = 12;
// Leading when a run gives none (or a negative one): this times the size.
constexpr double kAutoLeading = 1.2;

// What a run draws with, defaults filled in.
struct Style {
  cairo_font_face_t* face = nullptr;
  cairo_scaled_font_t* font = nullptr;  // measuring: user space = text space
  cairo_matrix_t fontMatrix;
  double size = kDefaultSize;  // vertical size in points (scale applied)
  double tracking = 0;         // points after each cluster
  double leading = 0;
  double ascent = 0, descent = 0;
  bool underline = false;
  int align = 0;
  const ColorUse* fill = nullptr;
  double tint = -1;
};

// Characters drawn by one group of glyphs.
struct Cluster {
  std::string utf8;
  std::vector<cairo_glyph_t> glyphs;  // x relative to the cluster's start
  double advance = 0;                 // tracking included
  bool space = false;
  size_t style = 0;
};

struct Line {
  size_t begin = 0, end = 0;  // clusters of the paragraph
  double width = 0;           // without trailing spaces
  double ascent = 0, descent = 0, leading = 0;
  size_t paragraph = 0;
};

bool IsParagraphEnd(char32_t c) { return c == U'\r' || c == U'\n' || c == 0x2028 || c == 0x2029; }

class StoryDrawing {
 public:
  StoryDrawing(cairo_t* cr, const PageItem& frame, FontFaces& faces)
      : cr_(cr), frame_(frame), story_(*frame.story), faces_(faces) {
    options_ = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options_, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options_, CAIRO_HINT_STYLE_NONE);
  }
  ~StoryDrawing() {
    for (auto& [key, font] : fonts_) cairo_scaled_font_destroy(font);
    cairo_font_options_destroy(options_);
  }

  void Draw() {
    const double width = frame_.bounds.Width();
    const std::u32string& text = story_.text;
    std::vector<Line> lines;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
      if (i < text.size() && !IsParagraphEnd(text[i])) continue;
      paragraphs_.emplace_back();
      Shape(start, i, &paragraphs_.back());
      BreakLines(paragraphs_.size() - 1, StyleAt(static_cast<int32>(start)), width, &lines);
      start = i + 1;
    }
    if (lines.empty()) return;
    // Baselines: the first line's ascent, then each line's leading.
    std::vector<double> baselines;
    double y = lines.front().ascent;
    for (size_t i = 0; i < lines.size(); ++i) {
      if (i > 0) y += lines[i].leading;
      baselines.push_back(y);
    }
    const double height = baselines.back() + lines.back().descent;
    double top = 0;
    switch (frame_.verticalJustification.value_or(0)) {
      case 1:
        top = (frame_.bounds.Height() - height) / 2;
        break;
      case 2:
        top = frame_.bounds.Height() - height;
        break;
      default:
        break;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
      DrawLine(lines[i], frame_.bounds.top + top + baselines[i], width);
    }
  }

 private:
  struct Paragraph {
    std::vector<Cluster> clusters;
    size_t style = 0;  // the style of its first character
  };

  // The style of character `index` (made once per run).
  size_t StyleAt(int32 index) {
    const TextRun* run = story_.RunAt(index);
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
    cairo_matrix_init_scale(&style.fontMatrix, size * h, size * v);
    if (style.face) {
      style.font = ScaledFont(style.face, style.fontMatrix);
      cairo_font_extents_t extents;
      cairo_scaled_font_extents(style.font, &extents);
      style.ascent = extents.ascent;
      style.descent = extents.descent;
    }
    styles_.push_back(style);
    styleOf_[run] = styles_.size() - 1;
    return styles_.size() - 1;
  }

  cairo_scaled_font_t* ScaledFont(cairo_font_face_t* face, const cairo_matrix_t& matrix) {
    const auto key = std::make_tuple(static_cast<void*>(face), matrix.xx, matrix.yy);
    auto found = fonts_.find(key);
    if (found != fonts_.end()) return found->second;
    cairo_matrix_t identity;
    cairo_matrix_init_identity(&identity);
    cairo_scaled_font_t* font = cairo_scaled_font_create(face, &matrix, &identity, options_);
    fonts_[key] = font;
    return font;
  }

  // Turns characters [begin, end) into clusters, run by run.
  void Shape(size_t begin, size_t end, Paragraph* paragraph) {
    paragraph->style = StyleAt(static_cast<int32>(begin));
    size_t i = begin;
    while (i < end) {
      const size_t style = StyleAt(static_cast<int32>(i));
      std::string utf8;
      for (; i < end && StyleAt(static_cast<int32>(i)) == style; ++i) {
        char32_t c = story_.text[i];
        if (c == U'\t') c = U' ';
        if (c < 0x20 || c == 0x7F) continue;  // control characters draw nothing
        AppendUtf8(utf8, static_cast<uint32_t>(c));
      }
      ShapePiece(utf8, style, &paragraph->clusters);
    }
  }

  void ShapePiece(const std::string& utf8, size_t styleIndex, std::vector<Cluster>* out) {
    const Style& style = styles_[styleIndex];
    if (utf8.empty() || !style.font) return;
    cairo_glyph_t* glyphs = nullptr;
    int glyphCount = 0;
    cairo_text_cluster_t* clusters = nullptr;
    int clusterCount = 0;
    cairo_text_cluster_flags_t flags;
    if (cairo_scaled_font_text_to_glyphs(style.font, 0, 0, utf8.data(),
                                         static_cast<int>(utf8.size()), &glyphs, &glyphCount,
                                         &clusters, &clusterCount, &flags) != CAIRO_STATUS_SUCCESS)
      return;
    cairo_text_extents_t extents;
    cairo_scaled_font_text_extents(style.font, utf8.c_str(), &extents);
    // Where each cluster starts: its first glyph, or the next cluster's
    // start for a cluster without glyphs.
    std::vector<double> starts(static_cast<size_t>(clusterCount));
    std::vector<int> firstGlyph(static_cast<size_t>(clusterCount));
    int g = 0;
    for (int c = 0; c < clusterCount; ++c) {
      firstGlyph[static_cast<size_t>(c)] = g;
      g += clusters[c].num_glyphs;
    }
    double next = extents.x_advance;
    for (int c = clusterCount - 1; c >= 0; --c) {
      const auto k = static_cast<size_t>(c);
      starts[k] = clusters[c].num_glyphs > 0 ? glyphs[firstGlyph[k]].x : next;
      next = starts[k];
    }
    size_t byte = 0;
    for (int c = 0; c < clusterCount; ++c) {
      const auto k = static_cast<size_t>(c);
      Cluster cluster;
      cluster.utf8 = utf8.substr(byte, static_cast<size_t>(clusters[c].num_bytes));
      byte += static_cast<size_t>(clusters[c].num_bytes);
      cluster.space = cluster.utf8 == " ";
      cluster.style = styleIndex;
      const double end = c + 1 < clusterCount ? starts[k + 1] : extents.x_advance;
      cluster.advance = end - starts[k] + style.tracking;
      for (int j = 0; j < clusters[c].num_glyphs; ++j) {
        cairo_glyph_t glyph = glyphs[firstGlyph[k] + j];
        glyph.x -= starts[k];
        cluster.glyphs.push_back(glyph);
      }
      out->push_back(std::move(cluster));
    }
    cairo_glyph_free(glyphs);
    cairo_text_cluster_free(clusters);
  }

  // Breaks paragraph `index` into lines no wider than `width` (a word wider
  // than the frame gets a line of its own, broken where it must).
  void BreakLines(size_t index, size_t emptyStyle, double width, std::vector<Line>* lines) {
    const std::vector<Cluster>& clusters = paragraphs_[index].clusters;
    size_t begin = 0, lastSpace = SIZE_MAX;
    double used = 0;
    for (size_t i = 0; i < clusters.size(); ++i) {
      if (!clusters[i].space && used + clusters[i].advance > width && i > begin) {
        const size_t end = lastSpace != SIZE_MAX ? lastSpace + 1 : i;
        lines->push_back(MakeLine(index, begin, end, emptyStyle));
        begin = end;
        lastSpace = SIZE_MAX;
        used = 0;
        for (size_t j = begin; j < i; ++j) used += clusters[j].advance;
      }
      used += clusters[i].advance;
      if (clusters[i].space) lastSpace = i;
    }
    lines->push_back(MakeLine(index, begin, clusters.size(), emptyStyle));
  }

  Line MakeLine(size_t paragraph, size_t begin, size_t end, size_t emptyStyle) {
    const std::vector<Cluster>& clusters = paragraphs_[paragraph].clusters;
    Line line;
    line.paragraph = paragraph;
    line.begin = begin;
    line.end = end;
    size_t last = end;
    while (last > begin && clusters[last - 1].space) --last;
    for (size_t i = begin; i < end; ++i) {
      if (i < last) line.width += clusters[i].advance;
      const Style& style = styles_[clusters[i].style];
      line.ascent = std::max(line.ascent, style.ascent);
      line.descent = std::max(line.descent, style.descent);
      line.leading = std::max(line.leading, style.leading);
    }
    if (begin == end) {
      const Style& style = styles_[emptyStyle];
      line.ascent = style.ascent;
      line.descent = style.descent;
      line.leading = style.leading;
    }
    return line;
  }

  void DrawLine(const Line& line, double baseline, double width) {
    const Paragraph& paragraph = paragraphs_[line.paragraph];
    double x = frame_.bounds.left;
    switch (styles_[paragraph.style].align) {
      case 1:
        x += (width - line.width) / 2;
        break;
      case 2:
        x += width - line.width;
        break;
      default:
        break;
    }
    size_t i = line.begin;
    while (i < line.end) {
      const size_t styleIndex = paragraph.clusters[i].style;
      const Style& style = styles_[styleIndex];
      std::string utf8;
      std::vector<cairo_glyph_t> glyphs;
      std::vector<cairo_text_cluster_t> clusters;
      const double segmentStart = x;
      for (; i < line.end && paragraph.clusters[i].style == styleIndex; ++i) {
        const Cluster& cluster = paragraph.clusters[i];
        for (cairo_glyph_t glyph : cluster.glyphs) {
          glyph.x += x;
          glyph.y += baseline;
          glyphs.push_back(glyph);
        }
        clusters.push_back(
            {static_cast<int>(cluster.utf8.size()), static_cast<int>(cluster.glyphs.size())});
        utf8 += cluster.utf8;
        x += cluster.advance;
      }
      if (utf8.empty() || !style.face) continue;
      if (style.fill) {
        SetColorSource(cr_, style.fill->color, style.tint);
      } else {
        SetBlackSource(cr_);
      }
      cairo_set_font_face(cr_, style.face);
      cairo_set_font_matrix(cr_, &style.fontMatrix);
      cairo_set_font_options(cr_, options_);
      cairo_show_text_glyphs(cr_, utf8.data(), static_cast<int>(utf8.size()), glyphs.data(),
                             static_cast<int>(glyphs.size()), clusters.data(),
                             static_cast<int>(clusters.size()),
                             static_cast<cairo_text_cluster_flags_t>(0));
      if (style.underline) {
        const double thickness = std::max(style.size * 0.05, 0.25);
        cairo_rectangle(cr_, segmentStart, baseline + style.size * 0.1, x - segmentStart,
                        thickness);
        cairo_fill(cr_);
      }
    }
  }

  cairo_t* cr_;
  const PageItem& frame_;
  const Story& story_;
  FontFaces& faces_;
  cairo_font_options_t* options_;
  std::vector<Style> styles_;
  std::map<const TextRun*, size_t> styleOf_;
  std::map<std::tuple<void*, double, double>, cairo_scaled_font_t*> fonts_;
  std::vector<Paragraph> paragraphs_;
};

}  // namespace

void DrawStory(cairo_t* cr, const PageItem& frame, FontFaces& faces) {
  if (!frame.story) return;
  cairo_save(cr);
  StoryDrawing(cr, frame, faces).Draw();
  cairo_restore(cr);
}

}  // namespace standin
