#include "refservice/render/document_renderer.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>
#include <poppler.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <map>
#include <numeric>
#include <string_view>

#include "refservice/render/barcode_drawing.h"
#include "refservice/render/font_library.h"
#include "refservice/render/image_drawing.h"
#include "refservice/render/stacking_layout.h"
#include "refservice/render/template_setup.h"
#include "refservice/render/text_field_drawing.h"

namespace refservice {
namespace {

cairo_status_t AppendToString(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

struct GObjectDeleter {
  void operator()(void* object) const {
    if (object != nullptr) g_object_unref(object);
  }
};
using PopplerDocumentPtr = std::unique_ptr<PopplerDocument, GObjectDeleter>;

// Opens a PDF held in memory; `bytes` must outlive the document.
PopplerDocumentPtr OpenPdf(const std::string& bytes, std::string* error) {
  return PopplerDocumentPtr(OpenPdfDocument(bytes, error));
}

std::string Points(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  std::string out = text;
  while (!out.empty() && out.back() == '0') out.pop_back();
  if (!out.empty() && out.back() == '.') out.pop_back();
  return out == "-0" ? "0" : out;
}

// The value a field is drawn with: the given one, else the stored default.
struct Resolved {
  std::string text;
  const std::string* image = nullptr;  // a given image's bytes (owned by the values)
  const StoredImage* stored = nullptr;  // the default image (owned by the set-up)
  std::string note;
  bool HasImage() const {
    return (image != nullptr && !image->empty()) || (stored != nullptr && stored->present);
  }
};

Resolved Resolve(TemplateSetup& setup, const RenderField& field, const FieldValues& values) {
  Resolved resolved;
  auto given = values.find(field.name);
  if (field.IsImage()) {
    if (given != values.end()) {
      resolved.image = &given->second.image;
    } else if (!field.defaultValue.empty()) {
      resolved.stored = &setup.DefaultImage(field.defaultValue);
      resolved.note = resolved.stored->note;
    }
  } else if (given != values.end()) {
    resolved.text = given->second.text;
  } else {
    resolved.text = field.defaultValue;
  }
  return resolved;
}

// The images given with the values, each distinct one decoded once per document (so the PDF
// embeds it once however many fields show it).
class GivenImages {
 public:
  GivenImages() = default;
  GivenImages(const GivenImages&) = delete;
  GivenImages& operator=(const GivenImages&) = delete;
  ~GivenImages() {
    for (auto& [bytes, decoded] : decoded_) {
      if (decoded.first != nullptr) cairo_surface_destroy(decoded.first);
    }
  }
  // Null with `failure` set when the bytes are not a readable image.
  cairo_surface_t* Decode(const std::string& bytes, std::string* failure) {
    auto known = decoded_.find(bytes);
    if (known == decoded_.end()) {
      std::pair<cairo_surface_t*, std::string> decoded;
      decoded.first = DecodeImage(bytes, &decoded.second);
      known = decoded_.emplace(std::string_view(bytes), std::move(decoded)).first;
    }
    *failure = known->second.second;
    return known->second.first;
  }

 private:
  // Keyed by views of the values' bytes, which outlive the render.
  std::map<std::string_view, std::pair<cairo_surface_t*, std::string>> decoded_;
};

}  // namespace

bool RenderDocument(const TemplateBundle& bundle, FileSystem* fs, const FieldValues& values,
                    const RenderOptions& options, RenderResult* result, std::string* error) {
  // The caller keeps the bundle for the render's length: the set-up borrows it.
  TemplateSetup setup(std::shared_ptr<const TemplateBundle>(&bundle, [](const TemplateBundle*) {}),
                      fs);
  return RenderDocument(setup, values, options, result, error);
}

bool RenderDocument(TemplateSetup& setup, const FieldValues& values, const RenderOptions& options,
                    RenderResult* result, std::string* error) {
  const TemplateBundle& bundle = setup.bundle();
  PopplerDocument* master = setup.Master(error);
  if (master == nullptr) return false;
  const int pageCount = poppler_document_get_n_pages(master);

  const std::vector<RenderField>& fields = bundle.fields;
  std::vector<Resolved> resolved;
  std::vector<bool> valueEmpty;
  for (const RenderField& field : fields) {
    resolved.push_back(Resolve(setup, field, values));
    // A text of only blanks and line breaks shows nothing, so it closes up like an empty one.
    valueEmpty.push_back(field.IsImage() ? !resolved.back().HasImage()
                                         : IsBlank(resolved.back().text));
  }
  std::vector<bool> empty = EffectiveEmpty(fields, valueEmpty);
  std::vector<double> moves = StackingMoves(fields, bundle.groups, empty);

  RenderResult out;
  out.pages = pageCount;
  out.fields.resize(fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    out.fields[i].name = fields[i].name;
    out.fields[i].page = fields[i].pageNumber;
    out.fields[i].moved = moves[i];
    out.fields[i].note = resolved[i].note;
    if (fields[i].IsText()) out.fields[i].storedSize = fields[i].fontSize;
  }

  GivenImages givenImages;
  InkMarkers inks;
  InkMarkers* markers = options.exactInks ? &inks : nullptr;
  std::string pdf;
  cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(AppendToString, &pdf, 612, 792);
  cairo_t* cr = cairo_create(surface);
  // Fields in drawing order: zOrder, then stored order.
  std::vector<size_t> order(fields.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return fields[a].zOrder < fields[b].zOrder; });

  for (int page = 1; page <= pageCount; ++page) {
    PopplerPage* masterPage = poppler_document_get_page(master, page - 1);
    double width = 612, height = 792;
    if (masterPage != nullptr) poppler_page_get_size(masterPage, &width, &height);
    cairo_pdf_surface_set_size(surface, width, height);
    if (masterPage != nullptr) {
      cairo_save(cr);
      poppler_page_render_for_printing(masterPage, cr);
      cairo_restore(cr);
      g_object_unref(masterPage);
    }
    for (size_t i : order) {
      const RenderField& field = fields[i];
      FieldOutcome& outcome = out.fields[i];
      if (field.pageNumber != page) continue;
      if (empty[i]) {
        outcome.action = "empty";
        if (!valueEmpty[i]) outcome.note = "\"" + field.dependsOn + "\", which it depends on, is empty";
        continue;
      }
      if (!field.hasRect) {
        outcome.action = "not drawn";
        outcome.note = "the field has no rectangle";
        continue;
      }
      if (field.nonPrinting && !options.preview) {
        outcome.action = "not drawn";
        outcome.note = "non-printing (shown in previews only)";
        continue;
      }
      const double w = field.Width();
      const double h = field.Height();
      const double top = height - (field.y2 + moves[i]);
      cairo_save(cr);
      cairo_translate(cr, field.x1 + w / 2, top + h / 2);
      cairo_rotate(cr, field.rotation * M_PI / 180.0);
      cairo_translate(cr, -w / 2, -h / 2);
      if (field.IsImage()) {
        std::string failure;
        cairo_surface_t* image = nullptr;
        if (resolved[i].image != nullptr) {
          image = givenImages.Decode(*resolved[i].image, &failure);
        } else {
          image = resolved[i].stored->surface;
          failure = resolved[i].stored->failure;
        }
        if (image == nullptr) {
          outcome.action = "not drawn";
          outcome.note = failure;
        } else {
          DrawImageFitted(cr, image, w, h);
          outcome.action = "drawn";
        }
      } else if (field.barCode != 0) {
        std::string failure;
        if (DrawBarcode(cr, field.barCode, resolved[i].text, w, h, &failure, markers)) {
          outcome.action = "drawn";
        } else {
          outcome.action = "not drawn";
          outcome.note = failure;
        }
      } else if (field.IsText()) {
        FieldFont font = setup.Fonts().Resolve(field);
        TextOutcome text = DrawTextField(cr, font, field, resolved[i].text, w, h, markers);
        outcome.size = text.size;
        outcome.cutCharacters = text.cutCharacters;
        outcome.action = text.overflowing ? "overflowing" : text.shrunk ? "shrunk" : "drawn";
        if (font.uploaded) {
          outcome.font = font.fileName;
        } else {
          outcome.fontFallback = true;
          char* described = pango_font_description_to_string(font.description);
          outcome.font = described;
          g_free(described);
          outcome.note = "the font \"" + field.fontName +
                         "\" was not uploaded; fontconfig's match for it was used";
        }
        outcome.fallbackFonts = text.fallbackFonts;
        outcome.missingCharacters = text.missingCharacters;
        std::string lacking;
        for (const std::string& family : text.fallbackFonts) {
          lacking += (lacking.empty() ? "characters the font lacks were drawn in \"" : ", \"") +
                     family + "\"";
        }
        if (text.missingCharacters > 0) {
          lacking += (lacking.empty() ? "" : "; ") + std::to_string(text.missingCharacters) +
                     " character(s) no font has were drawn as boxes";
        }
        if (!lacking.empty()) outcome.note += (outcome.note.empty() ? "" : "; ") + lacking;
      } else {
        outcome.action = "not drawn";
        outcome.note = "non-printing (shown in previews only)";
      }
      cairo_restore(cr);
    }
    cairo_show_page(cr);
  }
  for (size_t i = 0; i < fields.size(); ++i) {
    if (out.fields[i].action.empty()) {
      out.fields[i].action = "not drawn";
      out.fields[i].note = "page " + std::to_string(fields[i].pageNumber) +
                           " is not in the master PDF";
    }
  }
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  cairo_status_t status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    *error = std::string("the PDF could not be written: ") + cairo_status_to_string(status);
    return false;
  }
  out.pdf = std::move(pdf);
  out.inks = inks.markers();
  *result = std::move(out);
  return true;
}

std::string ReportText(const RenderResult& result) {
  std::string text;
  for (const FieldOutcome& field : result.fields) {
    text += field.name + ": ";
    if (field.action == "shrunk") {
      text += "shrunk to " + Points(field.size) + " pt";
    } else if (field.action == "overflowing") {
      text += "overflowing (cut at the frame at " + Points(field.size) + " pt)";
    } else {
      text += field.action;
    }
    if (std::fabs(field.moved) >= 0.005) {
      text += std::string(", moved ") + (field.moved > 0 ? "up" : "down") + " by " +
              Points(std::fabs(field.moved)) + " pt";
    }
    if (!field.note.empty()) text += " (" + field.note + ")";
    text += "\n";
  }
  return text;
}

std::string ReportJson(const RenderResult& result, bool asciiOnly) {
  nlohmann::json report;
  report["pages"] = result.pages;
  report["fields"] = nlohmann::json::array();
  for (const FieldOutcome& field : result.fields) {
    nlohmann::json entry;
    entry["name"] = field.name;
    entry["page"] = field.page;
    entry["action"] = field.action;
    if (field.storedSize > 0 && !field.font.empty()) {
      entry["size"] = std::round(field.size * 100) / 100;
      entry["storedSize"] = field.storedSize;
      entry["font"] = field.font;
      entry["fontFallback"] = field.fontFallback;
      if (!field.fallbackFonts.empty()) entry["fallbackFonts"] = field.fallbackFonts;
      if (field.missingCharacters > 0) entry["missingCharacters"] = field.missingCharacters;
    }
    if (field.action == "overflowing") entry["cutCharacters"] = field.cutCharacters;
    entry["moved"] = std::round(field.moved * 1000) / 1000;
    if (!field.note.empty()) entry["note"] = field.note;
    report["fields"].push_back(entry);
  }
  // Field names come from documents: keep bytes that are not UTF-8 from failing the dump.
  return report.dump(-1, ' ', asciiOnly, nlohmann::json::error_handler_t::replace);
}

namespace {

void PageSizesOf(PopplerDocument* document, std::vector<std::pair<double, double>>* sizes) {
  sizes->clear();
  for (int p = 0; p < poppler_document_get_n_pages(document); ++p) {
    PopplerPage* page = poppler_document_get_page(document, p);
    double width = 0, height = 0;
    if (page != nullptr) {
      poppler_page_get_size(page, &width, &height);
      g_object_unref(page);
    }
    sizes->emplace_back(width, height);
  }
}

bool PagePngOf(PopplerDocument* document, int page, int widthPx, std::string* png,
               std::string* error) {
  if (page < 1 || page > poppler_document_get_n_pages(document)) {
    *error = "the document has no page " + std::to_string(page);
    return false;
  }
  PopplerPage* source = poppler_document_get_page(document, page - 1);
  if (source == nullptr) {
    *error = "page " + std::to_string(page) + " cannot be read";
    return false;
  }
  double width = 0, height = 0;
  poppler_page_get_size(source, &width, &height);
  widthPx = std::clamp(widthPx, 16, 4000);
  const double scale = width > 0 ? widthPx / width : 1;
  const int heightPx = std::clamp(static_cast<int>(std::lround(height * scale)), 1, 8000);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, widthPx, heightPx);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_scale(cr, scale, scale);
  poppler_page_render(source, cr);
  cairo_destroy(cr);
  g_object_unref(source);
  png->clear();
  cairo_status_t status = cairo_surface_write_to_png_stream(surface, AppendToString, png);
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    *error = "the page image could not be written";
    return false;
  }
  return true;
}

}  // namespace

bool PdfPageSizes(const std::string& pdf, std::vector<std::pair<double, double>>* sizes,
                  std::string* error) {
  PopplerDocumentPtr document = OpenPdf(pdf, error);
  if (!document) return false;
  PageSizesOf(document.get(), sizes);
  return true;
}

bool MasterPageSizes(TemplateSetup& setup, std::vector<std::pair<double, double>>* sizes,
                     std::string* error) {
  PopplerDocument* master = setup.Master(error);
  if (master == nullptr) return false;
  PageSizesOf(master, sizes);
  return true;
}

bool PageImagePng(const std::string& pdf, int page, int widthPx, std::string* png,
                  std::string* error) {
  PopplerDocumentPtr document = OpenPdf(pdf, error);
  if (!document) return false;
  return PagePngOf(document.get(), page, widthPx, png, error);
}

bool MasterPageImagePng(TemplateSetup& setup, int page, int widthPx, std::string* png,
                        std::string* error) {
  PopplerDocument* master = setup.Master(error);
  if (master == nullptr) return false;
  return PagePngOf(master, page, widthPx, png, error);
}

}  // namespace refservice
