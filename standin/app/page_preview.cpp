#include "standin/app/page_preview.h"

#include <cairo.h>

#include <cmath>
#include <memory>

#include "standin/document/document.h"
#include "standin/pdf/pdf_renderer.h"

namespace standin {

namespace {

struct SurfaceDeleter {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};

void SetColour(cairo_t* cr, uint32 rgb, double alpha = 1) {
  cairo_set_source_rgba(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                        (rgb & 0xFF) / 255.0, alpha);
}

// The outline through `corners`, each moved `outset` device pixels away
// from the centre (0: on the corners themselves).
void OutlinePath(cairo_t* cr, const PMPoint (&corners)[4], double scale, double outset) {
  double cx = 0, cy = 0;
  for (const PMPoint& p : corners) {
    cx += p.x / 4;
    cy += p.y / 4;
  }
  cairo_new_path(cr);
  for (int i = 0; i < 4; ++i) {
    double x = corners[i].x * scale, y = corners[i].y * scale;
    const double dx = x - cx * scale, dy = y - cy * scale;
    const double length = std::hypot(dx, dy);
    if (outset > 0 && length > 0) {
      x += dx / length * outset * M_SQRT2;
      y += dy / length * outset * M_SQRT2;
    }
    if (i == 0) {
      cairo_move_to(cr, x, y);
    } else {
      cairo_line_to(cr, x, y);
    }
  }
  cairo_close_path(cr);
}

void DrawLabel(cairo_t* cr, const ToolShape& shape, double scale, double fontPx) {
  if (shape.label.empty()) return;
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, fontPx);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, shape.label.c_str(), &extents);
  const double x = shape.corners[0].x * scale + 2;
  // Field labels sit inside the box's top edge; marker labels above it.
  const double y = shape.style == ToolOutline::kMarker ? shape.corners[0].y * scale - 4
                                                       : shape.corners[0].y * scale + fontPx + 2;
  cairo_rectangle(cr, x - 1, y - fontPx, extents.x_advance + 2, fontPx * 1.3);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.8);
  cairo_fill(cr);
  SetColour(cr, shape.rgb);
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, shape.label.c_str());
}

}  // namespace

void PreviewPixelSize(double widthPt, double heightPt, double dpi, int* width, int* height) {
  const double scale = dpi / 72;
  *width = std::max(1, static_cast<int>(std::ceil(widthPt * scale - 1e-9)));
  *height = std::max(1, static_cast<int>(std::ceil(heightPt * scale - 1e-9)));
}

bool WritePagePreview(Document& doc, int pageNumber, double dpi,
                      const std::vector<ToolShape>& shapes, const FontResolver& fonts,
                      FileSystem& files, const std::string& out, std::string* error,
                      std::string* warnings) {
  const auto& pages = doc.Pages();
  if (pageNumber < 1 || static_cast<size_t>(pageNumber) > pages.size()) {
    *error = "the document has no page " + std::to_string(pageNumber) + " (it has " +
             std::to_string(pages.size()) + ")";
    return false;
  }
  if (!(dpi >= kMinPreviewDpi && dpi <= kMaxPreviewDpi)) {
    *error = "the resolution must lie between " + std::to_string(int(kMinPreviewDpi)) + " and " +
             std::to_string(int(kMaxPreviewDpi)) + " dpi";
    return false;
  }
  const Page& page = *pages[static_cast<size_t>(pageNumber) - 1];
  const double widthPt = page.bounds.Width(), heightPt = page.bounds.Height();
  if (!(widthPt > 0 && heightPt > 0) || widthPt * dpi / 72 > kMaxPreviewPixels ||
      heightPt * dpi / 72 > kMaxPreviewPixels) {
    *error = "the picture would exceed " + std::to_string(kMaxPreviewPixels) +
             " pixels along a side: choose a lower --dpi";
    return false;
  }
  int width = 0, height = 0;
  PreviewPixelSize(widthPt, heightPt, dpi, &width, &height);
  std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
    *error = "out of memory for a picture of " + std::to_string(width) + " x " +
             std::to_string(height) + " pixels";
    return false;
  }
  std::unique_ptr<cairo_t, ContextDeleter> cr(cairo_create(surface.get()));
  cairo_set_source_rgb(cr.get(), 1, 1, 1);
  cairo_paint(cr.get());
  const double scale = dpi / 72;

  // The page as the export draws it, without the items the shapes hide.
  std::vector<PageItem*> hidden;
  for (const ToolShape& shape : shapes) {
    if (shape.pageNumber != pageNumber || shape.hiddenItem == kInvalidUID) continue;
    PageItem* item = doc.FindItem(shape.hiddenItem);
    if (item && item->visible) {
      doc.SetItemVisible(item, false);
      hidden.push_back(item);
    }
  }
  cairo_save(cr.get());
  cairo_scale(cr.get(), scale, scale);
  DrawPage(cr.get(), doc, page, fonts, files, warnings);
  cairo_restore(cr.get());
  for (PageItem* item : hidden) doc.SetItemVisible(item, true);

  const double fontPx = std::max(7.0, 8 * scale);
  for (int pass = 0; pass < 2; ++pass) {
    for (const ToolShape& shape : shapes) {
      if (shape.pageNumber != pageNumber) continue;
      const bool marker = shape.style == ToolOutline::kMarker;
      if (marker != (pass == 1)) continue;
      OutlinePath(cr.get(), shape.corners, scale, marker ? 3 : 0);
      SetColour(cr.get(), shape.rgb);
      cairo_set_line_width(cr.get(), marker ? 2.5 : 2);
      const double dashes[] = {6, 3};
      cairo_set_dash(cr.get(), dashes, marker ? 2 : 0, 0);
      cairo_stroke(cr.get());
      cairo_set_dash(cr.get(), nullptr, 0, 0);
    }
  }
  for (const ToolShape& shape : shapes) {
    if (shape.pageNumber == pageNumber) DrawLabel(cr.get(), shape, scale, fontPx);
  }
  cairo_surface_flush(surface.get());

  std::string png;
  auto append = [](void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
  };
  if (cairo_surface_write_to_png_stream(surface.get(), append, &png) != CAIRO_STATUS_SUCCESS) {
    *error = "the picture could not be encoded as PNG";
    return false;
  }
  return files.WriteFileAtomic(out, png, error);
}

}  // namespace standin
