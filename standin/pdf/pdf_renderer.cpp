#include "standin/pdf/pdf_renderer.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <algorithm>
#include <map>
#include <memory>

#include "standin/document/document.h"
#include "standin/pdf/drawing_color.h"
#include "standin/pdf/font_faces.h"
#include "standin/pdf/image_loader.h"
#include "standin/pdf/text_drawing.h"

namespace standin {

namespace {

// Placed images of one export, each read once.
class ImageCache {
 public:
  ImageCache(FileSystem& files, std::string* warnings) : files_(files), warnings_(warnings) {}
  ~ImageCache() {
    for (auto& [path, surface] : images_) {
      if (surface) cairo_surface_destroy(surface);
    }
  }
  // The image at `path` (owned by the cache), or null when it cannot be
  // read (reported once).
  cairo_surface_t* Get(const std::string& path) {
    auto found = images_.find(path);
    if (found != images_.end()) return found->second;
    std::string error;
    cairo_surface_t* surface = LoadImage(files_, path, &error);
    if (!surface && warnings_) *warnings_ += "image " + path + " not drawn: " + error + "\n";
    images_[path] = surface;
    return surface;
  }

 private:
  FileSystem& files_;
  std::string* warnings_;
  std::map<std::string, cairo_surface_t*> images_;
};

struct Sink {
  const FileSystem::Writer* write;
  std::string error;
};

cairo_status_t WriteToSink(void* closure, const unsigned char* data, unsigned int length) {
  auto* sink = static_cast<Sink*>(closure);
  if (!sink->error.empty()) return CAIRO_STATUS_WRITE_ERROR;
  std::string error;
  if (!(*sink->write)(reinterpret_cast<const char*>(data), length, &error)) {
    sink->error = error.empty() ? "write failed" : error;
    return CAIRO_STATUS_WRITE_ERROR;
  }
  return CAIRO_STATUS_SUCCESS;
}

void Transform(cairo_t* cr, const PMMatrix& m) {
  cairo_matrix_t matrix;
  cairo_matrix_init(&matrix, m.A(), m.B(), m.C(), m.D(), m.Tx(), m.Ty());
  cairo_transform(cr, &matrix);
}

class PageDrawing {
 public:
  // `placeholders`: a missing image is drawn as a crossed-out grey box (on
  // screen, for the designer); otherwise it is left out (in a PDF, which may
  // become the background of every filled document).
  PageDrawing(cairo_t* cr, const Document& doc, FontFaces& faces, ImageCache& images,
              const CmykToRgb& colors, bool placeholders)
      : cr_(cr),
        doc_(doc),
        faces_(faces),
        images_(images),
        colors_(colors),
        placeholders_(placeholders) {}

  void Draw(const Page& page) {
    cairo_save(cr_);
    cairo_translate(cr_, -page.bounds.left, -page.bounds.top);
    PMMatrix spreadToPage = page.matrix;
    spreadToPage.Invert();
    Transform(cr_, spreadToPage);
    cairo_get_matrix(cr_, &pageMatrix_);
    for (const auto& item : page.items) DrawItem(*item);
    cairo_restore(cr_);
  }

 private:
  void DrawItem(const PageItem& item) {
    if (!item.visible || item.kind == ItemKind::kGuide) return;
    cairo_save(cr_);
    Transform(cr_, item.matrix);
    const double opacity = item.opacity.value_or(100) / 100;
    if (opacity < 1) cairo_push_group(cr_);
    switch (item.kind) {
      case ItemKind::kGroup:
        for (const auto& child : item.children) DrawItem(*child);
        break;
      case ItemKind::kTextFrame:
        DrawStory(cr_, item, faces_, colors_);
        break;
      case ItemKind::kGraphicFrame:
        if (!item.image.empty()) DrawImage(item);
        break;
      default:
        break;
    }
    if (item.kind != ItemKind::kGroup) DrawStroke(item);
    if (opacity < 1) {
      cairo_pop_group_to_source(cr_);
      cairo_paint_with_alpha(cr_, opacity);
    }
    cairo_restore(cr_);
  }

  // The image fitted into the frame (whole, centred, proportions kept) and
  // clipped to it.
  void DrawImage(const PageItem& frame) {
    const PMRect& box = frame.bounds;
    cairo_save(cr_);
    cairo_rectangle(cr_, box.left, box.top, box.Width(), box.Height());
    cairo_clip(cr_);
    cairo_surface_t* image = images_.Get(doc_.ResolvePath(frame.image));
    if (image && box.Width() > 0 && box.Height() > 0) {
      const double w = cairo_image_surface_get_width(image);
      const double h = cairo_image_surface_get_height(image);
      const double scale = std::min(box.Width() / w, box.Height() / h);
      cairo_translate(cr_, box.left + (box.Width() - w * scale) / 2,
                      box.top + (box.Height() - h * scale) / 2);
      cairo_scale(cr_, scale, scale);
      cairo_set_source_surface(cr_, image, 0, 0);
      cairo_paint(cr_);
    } else if (placeholders_) {
      // A missing image: a grey box, crossed out.
      cairo_set_source_rgb(cr_, 0.85, 0.85, 0.85);
      cairo_paint(cr_);
      cairo_move_to(cr_, box.left, box.top);
      cairo_line_to(cr_, box.right, box.bottom);
      cairo_move_to(cr_, box.right, box.top);
      cairo_line_to(cr_, box.left, box.bottom);
      cairo_set_source_rgb(cr_, 0.5, 0.5, 0.5);
      StrokeInPagePoints(0.5);
    }
    cairo_restore(cr_);
  }

  // The frame's edge, `weight` points wide whatever the item's scale.
  void DrawStroke(const PageItem& item) {
    if (!item.stroke || item.stroke->weight <= 0) return;
    const PMRect& box = item.bounds;
    cairo_rectangle(cr_, box.left, box.top, box.Width(), box.Height());
    if (item.stroke->color) {
      SetColorSource(cr_, colors_, item.stroke->color->color);
    } else {
      SetBlackSource(cr_);
    }
    StrokeInPagePoints(item.stroke->weight);
  }

  void StrokeInPagePoints(double weight) {
    cairo_save(cr_);
    cairo_set_matrix(cr_, &pageMatrix_);
    cairo_set_line_width(cr_, weight);
    cairo_stroke(cr_);
    cairo_restore(cr_);
  }

  cairo_t* cr_;
  const Document& doc_;
  FontFaces& faces_;
  ImageCache& images_;
  const CmykToRgb& colors_;
  const bool placeholders_;
  cairo_matrix_t pageMatrix_;
};

}  // namespace

bool RenderPdf(const Document& doc, const PdfSettings& settings, const FontResolver& fonts,
               FileSystem& files, const FileSystem::Writer& write, std::string* error,
               std::string* warnings) {
  if (doc.Pages().empty()) {
    *error = "the document has no pages";
    return false;
  }
  Sink sink{&write, {}};
  auto size = [](const Page& page) {
    return std::make_pair(std::max(1.0, page.bounds.Width()), std::max(1.0, page.bounds.Height()));
  };
  const auto first = size(*doc.Pages().front());
  cairo_surface_t* surface =
      cairo_pdf_surface_create_for_stream(WriteToSink, &sink, first.first, first.second);
  const std::string title = doc.Name().GetUTF8String();
  cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, title.c_str());
  cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, "osl");
  if (!settings.presetName.empty()) {
    const std::string subject = "PDF preset " + settings.presetName;
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_SUBJECT, subject.c_str());
  }
  {
    FontFaces faces(fonts, &doc);
    ImageCache images(files, warnings);
    const CmykToRgb colors(files);
    if (!colors.Managed() && warnings) *warnings += colors.Problem() + "\n";
    cairo_t* cr = cairo_create(surface);
    PageDrawing drawing(cr, doc, faces, images, colors, /*placeholders=*/false);
    for (const Page* page : doc.Pages()) {
      const auto pageSize = size(*page);
      cairo_pdf_surface_set_size(surface, pageSize.first, pageSize.second);
      drawing.Draw(*page);
      cairo_show_page(cr);
      if (cairo_status(cr) != CAIRO_STATUS_SUCCESS || !sink.error.empty()) break;
    }
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS && sink.error.empty())
      sink.error = std::string("drawing failed: ") + cairo_status_to_string(cairo_status(cr));
    cairo_destroy(cr);
    if (warnings) {
      for (const std::string& line : faces.Substitutions()) *warnings += line + "\n";
    }
    // Fonts are written when the surface is finished: before the faces go.
    cairo_surface_finish(surface);
  }
  const cairo_status_t status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  if (!sink.error.empty()) {
    *error = sink.error;
    return false;
  }
  if (status != CAIRO_STATUS_SUCCESS) {
    *error = std::string("the PDF could not be made: ") + cairo_status_to_string(status);
    return false;
  }
  return true;
}

void DrawPage(cairo_t* cr, const Document& doc, const Page& page, const FontResolver& fonts,
              FileSystem& files, std::string* warnings) {
  FontFaces faces(fonts, &doc);
  ImageCache images(files, warnings);
  const CmykToRgb colors(files);
  if (!colors.Managed() && warnings) *warnings += colors.Problem() + "\n";
  PageDrawing drawing(cr, doc, faces, images, colors, /*placeholders=*/true);
  drawing.Draw(page);
  if (warnings) {
    for (const std::string& line : faces.Substitutions()) *warnings += line + "\n";
  }
}

}  // namespace standin
