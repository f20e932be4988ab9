// The yardstick for the proof PDF: the pages of a .tlvd drawn with cairo
// alone, the way the stand-in's export draws them (frames in their matrices,
// strokes, each story's text in its font, size and colour, placed PNG images
// fitted into their frames, hidden items and guides left out), without the
// host's document model, text layout or services.
//   osl_bench_cairo DOC.tlvd OUT.pdf
// Exits 0 with OUT.pdf written, 1 when the document or an image cannot be
// read or the PDF cannot be made, 2 on a usage error.
#include <cairo-pdf.h>
#include <cairo.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

namespace {

using nlohmann::json;

struct Rgb {
  double r = 0, g = 0, b = 0;
};

class Pages {
 public:
  Pages(const json& doc, std::string folder) : folder_(std::move(folder)) {
    for (const json& swatch : doc.value("swatches", json::array())) {
      const json& cmyk = swatch.at("cmyk");
      const double c = cmyk[0].get<double>() / 100, m = cmyk[1].get<double>() / 100,
                   y = cmyk[2].get<double>() / 100, k = cmyk[3].get<double>() / 100;
      colors_[swatch.at("name").get<std::string>()] = {(1 - c) * (1 - k), (1 - m) * (1 - k),
                                                       (1 - y) * (1 - k)};
    }
  }
  ~Pages() {
    for (auto& [path, image] : images_) cairo_surface_destroy(image);
  }

  void DrawPage(cairo_t* cr, const json& page) {
    const json& bounds = page.at("bounds");
    cairo_save(cr);
    cairo_translate(cr, -bounds[0].get<double>(), -bounds[1].get<double>());
    for (const json& item : page.value("items", json::array())) DrawItem(cr, item);
    cairo_restore(cr);
  }

 private:
  void DrawItem(cairo_t* cr, const json& item) {
    const std::string kind = item.value("kind", "other");
    if (!item.value("visible", true) || kind == "guide") return;
    cairo_save(cr);
    if (item.contains("matrix")) {
      const json& m = item["matrix"];
      cairo_matrix_t matrix;
      cairo_matrix_init(&matrix, m[0], m[1], m[2], m[3], m[4], m[5]);
      cairo_transform(cr, &matrix);
    }
    const json& b = item.at("bounds");
    const double x = b[0], y = b[1], w = b[2].get<double>() - x, h = b[3].get<double>() - y;
    if (kind == "group") {
      for (const json& child : item.value("children", json::array())) DrawItem(cr, child);
    } else if (kind == "text" && item.contains("story")) {
      DrawText(cr, item["story"], x, y);
    } else if (kind == "graphic" && item.contains("image")) {
      DrawImage(cr, item["image"].get<std::string>(), x, y, w, h);
    }
    if (kind != "group" && item.contains("stroke")) {
      const json& stroke = item["stroke"];
      const Rgb color = Color(stroke.value("color", "Black"));
      cairo_rectangle(cr, x, y, w, h);
      cairo_set_source_rgb(cr, color.r, color.g, color.b);
      cairo_set_line_width(cr, stroke.value("weight", 1.0));
      cairo_stroke(cr);
    }
    cairo_restore(cr);
  }

  void DrawText(cairo_t* cr, const json& story, double x, double y) {
    const std::string text = story.value("text", "");
    const json runs = story.value("runs", json::array());
    const json run = runs.empty() ? json::object() : runs[0];
    const std::string style = run.value("style", "Book");
    const Rgb color = Color(run.value("color", "Black"));
    cairo_select_font_face(cr, run.value("font", "DejaVu Sans").c_str(),
                           style.find("Italic") != std::string::npos ? CAIRO_FONT_SLANT_ITALIC
                                                                     : CAIRO_FONT_SLANT_NORMAL,
                           style.find("Bold") != std::string::npos ? CAIRO_FONT_WEIGHT_BOLD
                                                                   : CAIRO_FONT_WEIGHT_NORMAL);
    const double size = run.value("size", 12.0);
    cairo_set_font_size(cr, size);
    cairo_font_extents_t extents;
    cairo_font_extents(cr, &extents);
    cairo_set_source_rgb(cr, color.r, color.g, color.b);
    cairo_move_to(cr, x, y + extents.ascent);
    cairo_show_text(cr, text.c_str());
    if (run.value("underline", false)) {
      cairo_text_extents_t width;
      cairo_text_extents(cr, text.c_str(), &width);
      cairo_move_to(cr, x, y + extents.ascent + size * 0.1);
      cairo_rel_line_to(cr, width.x_advance, 0);
      cairo_set_line_width(cr, size * 0.05);
      cairo_stroke(cr);
    }
  }

  void DrawImage(cairo_t* cr, const std::string& relative, double x, double y, double w, double h) {
    cairo_surface_t* image = Image(relative);
    if (!image || w <= 0 || h <= 0) return;
    cairo_save(cr);
    cairo_rectangle(cr, x, y, w, h);
    cairo_clip(cr);
    const double iw = cairo_image_surface_get_width(image);
    const double ih = cairo_image_surface_get_height(image);
    const double scale = std::min(w / iw, h / ih);
    cairo_translate(cr, x + (w - iw * scale) / 2, y + (h - ih * scale) / 2);
    cairo_scale(cr, scale, scale);
    cairo_set_source_surface(cr, image, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
  }

  cairo_surface_t* Image(const std::string& relative) {
    const std::string path =
        relative.empty() || relative[0] == '/' ? relative : folder_ + "/" + relative;
    auto found = images_.find(path);
    if (found != images_.end()) return found->second;
    cairo_surface_t* image = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
      std::fprintf(stderr, "osl_bench_cairo: cannot read %s\n", path.c_str());
      cairo_surface_destroy(image);
      image = nullptr;
    }
    images_[path] = image;
    return image;
  }

  Rgb Color(const std::string& name) const {
    auto found = colors_.find(name);
    return found == colors_.end() ? Rgb{} : found->second;
  }

  std::string folder_;
  std::map<std::string, Rgb> colors_;
  std::map<std::string, cairo_surface_t*> images_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s DOC.tlvd OUT.pdf\n", argv[0]);
    return 2;
  }
  const std::string path = argv[1];
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const json doc = json::parse(text.str(), nullptr, false);
  if (!in || doc.is_discarded() || !doc.is_object()) {
    std::fprintf(stderr, "osl_bench_cairo: cannot read %s\n", argv[1]);
    return 1;
  }
  const size_t slash = path.find_last_of('/');
  Pages pages(doc, slash == std::string::npos ? "." : path.substr(0, slash));
  cairo_surface_t* surface = cairo_pdf_surface_create(argv[2], 612, 792);
  cairo_t* cr = cairo_create(surface);
  int count = 0;
  for (const json& spread : doc.value("spreads", json::array())) {
    for (const json& page : spread.value("pages", json::array())) {
      const json& b = page.at("bounds");
      cairo_pdf_surface_set_size(surface, b[2].get<double>() - b[0].get<double>(),
                                 b[3].get<double>() - b[1].get<double>());
      pages.DrawPage(cr, page);
      cairo_show_page(cr);
      ++count;
    }
  }
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  const cairo_status_t status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS || count == 0) {
    std::fprintf(stderr, "osl_bench_cairo: the PDF could not be made: %s\n",
                 cairo_status_to_string(status));
    return 1;
  }
  return 0;
}
