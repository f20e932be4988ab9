#include "refservice/render/document_renderer.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>
#include <poppler.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <numeric>
#include <unordered_map>

#include "refservice/render/barcode_drawing.h"
#include "refservice/render/font_library.h"
#include "refservice/render/image_drawing.h"
#include "refservice/render/stacking_layout.h"
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
  GBytes* data = g_bytes_new_static(bytes.data(), bytes.size());
  GError* failure = nullptr;
  PopplerDocument* document = poppler_document_new_from_bytes(data, nullptr, &failure);
  g_bytes_unref(data);
  if (document == nullptr) {
    *error = std::string("the PDF cannot be read: ") +
             (failure != nullptr ? failure->message : "unknown error");
    if (failure != nullptr) g_error_free(failure);
    return nullptr;
  }
  return PopplerDocumentPtr(document);
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
  std::string image;
  std::string note;
};

Resolved Resolve(const TemplateBundle& bundle, FileSystem* fs, const RenderField& field,
                 const FieldValues& values) {
  Resolved resolved;
  auto given = values.find(field.name);
  if (field.IsImage()) {
    if (given != values.end()) {
      resolved.image = given->second.image;
    } else if (!field.defaultValue.empty()) {
      auto file = bundle.imageFiles.find(field.defaultValue);
      std::string error;
      if (file == bundle.imageFiles.end()) {
        resolved.note = "the default image \"" + field.defaultValue + "\" was not uploaded";
      } else if (!ReadStoredFile(fs, file->second, &resolved.image, &error)) {
        resolved.note = "the default image cannot be read";
        resolved.image.clear();
      }
    }
  } else if (given != values.end()) {
    resolved.text = given->second.text;
  } else {
    resolved.text = field.defaultValue;
  }
  return resolved;
}

}  // namespace

// Decoded images by their file's bytes, for the painter that shares them across documents.
// Bounded: past the budget an image is decoded for its one use.
constexpr size_t kSharedImageBudget = size_t{128} << 20;

struct DocumentPainter::State {
  const TemplateBundle& bundle;
  FileSystem* fs;
  RenderOptions options;
  bool share;
  std::string masterBytes;  // the master PDF the open document reads (it must outlive it)
  PopplerDocumentPtr master;
  std::vector<std::pair<double, double>> pageSizes;
  std::vector<cairo_surface_t*> recordings;  // shared: one recording per master page
  std::unique_ptr<FontLibrary> fonts;
  InkMarkers inkMarkers;
  std::vector<size_t> order;  // fields in drawing order: zOrder, then stored order
  std::unordered_map<std::string, cairo_surface_t*> images;  // shared: bytes -> decoded
  size_t imageBytes = 0;
  std::map<std::string, Resolved> defaults;  // shared: default image name -> its bytes or note

  // The current document.
  RenderResult* result = nullptr;
  std::vector<Resolved> resolved;
  std::vector<bool> valueEmpty;
  std::vector<bool> empty;
  std::vector<double> moves;

  State(const TemplateBundle& b, FileSystem* f, const RenderOptions& o, bool s)
      : bundle(b), fs(f), options(o), share(s) {}
  ~State() {
    for (cairo_surface_t* recording : recordings) cairo_surface_destroy(recording);
    for (auto& entry : images) cairo_surface_destroy(entry.second);
  }

  Resolved ResolveShared(const RenderField& field, const FieldValues& values) {
    if (!share || !field.IsImage() || values.count(field.name) != 0 ||
        field.defaultValue.empty()) {
      return Resolve(bundle, fs, field, values);
    }
    auto known = defaults.find(field.defaultValue);
    if (known == defaults.end()) {
      known = defaults.emplace(field.defaultValue, Resolve(bundle, fs, field, values)).first;
    }
    return known->second;
  }

  // The decoded image of `bytes`, with a reference for the caller; null with `error` set.
  cairo_surface_t* Image(const std::string& bytes, std::string* error) {
    if (share) {
      auto known = images.find(bytes);
      if (known != images.end()) return cairo_surface_reference(known->second);
    }
    cairo_surface_t* image = DecodeImage(bytes, error);
    if (image == nullptr || !share) return image;
    const size_t cost = bytes.size() + static_cast<size_t>(cairo_image_surface_get_stride(image)) *
                                           static_cast<size_t>(cairo_image_surface_get_height(image));
    if (imageBytes + cost > kSharedImageBudget) return image;
    imageBytes += cost;
    // One identity per distinct image, so the PDF holds it once however often it is drawn.
    const std::string id = "osl-image-" + std::to_string(images.size());
    unsigned char* idCopy = static_cast<unsigned char*>(malloc(id.size()));
    if (idCopy != nullptr) {
      memcpy(idCopy, id.data(), id.size());
      cairo_surface_set_mime_data(image, CAIRO_MIME_TYPE_UNIQUE_ID, idCopy, id.size(), free,
                                  idCopy);
    }
    images.emplace(bytes, cairo_surface_reference(image));
    return image;
  }
};

DocumentPainter::DocumentPainter(const TemplateBundle& bundle, FileSystem* fs,
                                 const RenderOptions& options, bool shareAcrossDocuments)
    : state_(new State(bundle, fs, options, shareAcrossDocuments)) {}

DocumentPainter::~DocumentPainter() = default;

bool DocumentPainter::Open(std::string* error) {
  State& s = *state_;
  const TemplateBundle& bundle = s.bundle;
  if (bundle.masterPdf.empty()) {
    *error = "template " + bundle.record.docId + " has no master PDF; publish it again";
    return false;
  }
  s.master = OpenPdf(bundle.masterPdf, error);
  if (!s.master) {
    *error = "the master PDF of template " + bundle.record.docId + " is damaged: " + *error;
    return false;
  }
  const int pageCount = poppler_document_get_n_pages(s.master.get());
  if (pageCount <= 0) {
    *error = "the master PDF of template " + bundle.record.docId + " has no pages";
    return false;
  }
  for (int page = 1; page <= pageCount; ++page) {
    PopplerPage* masterPage = poppler_document_get_page(s.master.get(), page - 1);
    double width = 612, height = 792;
    if (masterPage != nullptr) poppler_page_get_size(masterPage, &width, &height);
    s.pageSizes.emplace_back(width, height);
    if (s.share) {
      cairo_rectangle_t extents = {0, 0, width, height};
      cairo_surface_t* recording =
          cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extents);
      if (masterPage != nullptr) {
        cairo_t* cr = cairo_create(recording);
        poppler_page_render_for_printing(masterPage, cr);
        cairo_destroy(cr);
      }
      s.recordings.push_back(recording);
    }
    if (masterPage != nullptr) g_object_unref(masterPage);
  }
  pageCount_ = pageCount;
  s.fonts.reset(new FontLibrary(bundle, s.fs));
  const std::vector<RenderField>& fields = bundle.fields;
  s.order.resize(fields.size());
  std::iota(s.order.begin(), s.order.end(), 0);
  std::stable_sort(s.order.begin(), s.order.end(),
                   [&](size_t a, size_t b) { return fields[a].zOrder < fields[b].zOrder; });
  return true;
}

void DocumentPainter::PageSize(int page, double* width, double* height) const {
  *width = 612;
  *height = 792;
  if (page >= 1 && page <= pageCount_) {
    *width = state_->pageSizes[static_cast<size_t>(page - 1)].first;
    *height = state_->pageSizes[static_cast<size_t>(page - 1)].second;
  }
}

void DocumentPainter::Begin(const FieldValues& values, RenderResult* result) {
  State& s = *state_;
  const std::vector<RenderField>& fields = s.bundle.fields;
  s.resolved.clear();
  s.valueEmpty.clear();
  for (const RenderField& field : fields) {
    s.resolved.push_back(s.ResolveShared(field, values));
    // A text of only blanks and line breaks shows nothing, so it closes up like an empty one.
    s.valueEmpty.push_back(field.IsImage() ? s.resolved.back().image.empty()
                                           : IsBlank(s.resolved.back().text));
  }
  s.empty = EffectiveEmpty(fields, s.valueEmpty);
  s.moves = StackingMoves(fields, s.bundle.groups, s.empty);

  s.result = result;
  result->pages = pageCount_;
  result->fields.assign(fields.size(), FieldOutcome());
  for (size_t i = 0; i < fields.size(); ++i) {
    FieldOutcome& outcome = result->fields[i];
    outcome.name = fields[i].name;
    outcome.page = fields[i].pageNumber;
    outcome.moved = s.moves[i];
    outcome.note = s.resolved[i].note;
    if (fields[i].IsText()) outcome.storedSize = fields[i].fontSize;
  }
}

void DocumentPainter::DrawPage(cairo_t* cr, int page) {
  State& s = *state_;
  if (s.result == nullptr || page < 1 || page > pageCount_) return;
  const std::vector<RenderField>& fields = s.bundle.fields;
  const double height = s.pageSizes[static_cast<size_t>(page - 1)].second;
  InkMarkers* markers = s.options.exactInks ? &s.inkMarkers : nullptr;
  if (s.share) {
    cairo_save(cr);
    cairo_set_source_surface(cr, s.recordings[static_cast<size_t>(page - 1)], 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
  } else {
    PopplerPage* masterPage = poppler_document_get_page(s.master.get(), page - 1);
    if (masterPage != nullptr) {
      cairo_save(cr);
      poppler_page_render_for_printing(masterPage, cr);
      cairo_restore(cr);
      g_object_unref(masterPage);
    }
  }
  for (size_t i : s.order) {
    const RenderField& field = fields[i];
    FieldOutcome& outcome = s.result->fields[i];
    if (field.pageNumber != page) continue;
    if (s.empty[i]) {
      outcome.action = "empty";
      if (!s.valueEmpty[i]) {
        outcome.note = "\"" + field.dependsOn + "\", which it depends on, is empty";
      }
      continue;
    }
    if (!field.hasRect) {
      outcome.action = "not drawn";
      outcome.note = "the field has no rectangle";
      continue;
    }
    if (field.nonPrinting && !s.options.preview) {
      outcome.action = "not drawn";
      outcome.note = "non-printing (shown in previews only)";
      continue;
    }
    const double w = field.Width();
    const double h = field.Height();
    const double top = height - (field.y2 + s.moves[i]);
    cairo_save(cr);
    cairo_translate(cr, field.x1 + w / 2, top + h / 2);
    cairo_rotate(cr, field.rotation * M_PI / 180.0);
    cairo_translate(cr, -w / 2, -h / 2);
    if (field.IsImage()) {
      std::string failure;
      cairo_surface_t* image = s.Image(s.resolved[i].image, &failure);
      if (image == nullptr) {
        outcome.action = "not drawn";
        outcome.note = failure;
      } else {
        DrawImageFitted(cr, image, w, h);
        cairo_surface_destroy(image);
        outcome.action = "drawn";
      }
    } else if (field.barCode != 0) {
      std::string failure;
      if (DrawBarcode(cr, field.barCode, s.resolved[i].text, w, h, &failure, markers)) {
        outcome.action = "drawn";
      } else {
        outcome.action = "not drawn";
        outcome.note = failure;
      }
    } else if (field.IsText()) {
      FieldFont font = s.fonts->Resolve(field);
      TextOutcome text = DrawTextField(cr, font, field, s.resolved[i].text, w, h, markers);
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
}

void DocumentPainter::Finish() {
  State& s = *state_;
  if (s.result == nullptr) return;
  const std::vector<RenderField>& fields = s.bundle.fields;
  for (size_t i = 0; i < fields.size(); ++i) {
    FieldOutcome& outcome = s.result->fields[i];
    if (outcome.action.empty()) {
      outcome.action = "not drawn";
      outcome.note = "page " + std::to_string(fields[i].pageNumber) + " is not in the master PDF";
    }
  }
  s.result = nullptr;
}

std::vector<InkMarker> DocumentPainter::inks() const { return state_->inkMarkers.markers(); }

bool RenderDocument(const TemplateBundle& bundle, FileSystem* fs, const FieldValues& values,
                    const RenderOptions& options, RenderResult* result, std::string* error) {
  DocumentPainter painter(bundle, fs, options);
  if (!painter.Open(error)) return false;
  RenderResult out;
  std::string pdf;
  cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(AppendToString, &pdf, 612, 792);
  cairo_t* cr = cairo_create(surface);
  painter.Begin(values, &out);
  for (int page = 1; page <= painter.pageCount(); ++page) {
    double width = 0, height = 0;
    painter.PageSize(page, &width, &height);
    cairo_pdf_surface_set_size(surface, width, height);
    painter.DrawPage(cr, page);
    cairo_show_page(cr);
  }
  painter.Finish();
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  cairo_status_t status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    *error = std::string("the PDF could not be written: ") + cairo_status_to_string(status);
    return false;
  }
  out.pdf = std::move(pdf);
  out.inks = painter.inks();
  *result = std::move(out);
  return true;
}

namespace {

cairo_status_t WriteToSink(void* closure, const unsigned char* data, unsigned int length) {
  const DocumentStream::Sink& sink = *static_cast<const DocumentStream::Sink*>(closure);
  return sink(reinterpret_cast<const char*>(data), length) ? CAIRO_STATUS_SUCCESS
                                                           : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

DocumentStream::DocumentStream(const TemplateBundle& bundle, FileSystem* fs, Sink sink)
    : painter_(bundle, fs, RenderOptions(), true), sink_(std::move(sink)) {}

DocumentStream::~DocumentStream() {
  if (cr_ != nullptr) cairo_destroy(cr_);
  if (surface_ != nullptr) cairo_surface_destroy(surface_);
}

bool DocumentStream::Open(const SheetOptions& sheets, std::string* error) {
  if (!painter_.Open(error)) return false;
  sheets_ = sheets;
  if (sheets.perSheet > 0) {
    // Every card takes the place of the largest page.
    double cardWidth = 0, cardHeight = 0;
    for (int page = 1; page <= painter_.pageCount(); ++page) {
      double width = 0, height = 0;
      painter_.PageSize(page, &width, &height);
      cardWidth = std::max(cardWidth, width);
      cardHeight = std::max(cardHeight, height);
    }
    if (!PlanSheet(sheets.perSheet, sheets.sheetWidth, sheets.sheetHeight, cardWidth, cardHeight,
                   sheets.bleed, &layout_, error)) {
      return false;
    }
  }
  surface_ = cairo_pdf_surface_create_for_stream(WriteToSink, &sink_, 612, 792);
  cr_ = cairo_create(surface_);
  return Check(error);
}

bool DocumentStream::Check(std::string* error) {
  cairo_status_t status = cairo_surface_status(surface_);
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_status(cr_);
  if (status == CAIRO_STATUS_SUCCESS) return true;
  failed_ = true;
  *error = std::string("the PDF could not be written: ") + cairo_status_to_string(status);
  return false;
}

bool DocumentStream::Append(const FieldValues& values, RenderResult* result, std::string* error) {
  if (failed_ || cr_ == nullptr) {
    *error = "the PDF could not be written";
    return false;
  }
  result->pdf.clear();
  painter_.Begin(values, result);
  for (int page = 1; page <= painter_.pageCount(); ++page) {
    if (sheets_.perSheet <= 0) {
      double width = 0, height = 0;
      painter_.PageSize(page, &width, &height);
      cairo_pdf_surface_set_size(surface_, width, height);
      painter_.DrawPage(cr_, page);
      cairo_show_page(cr_);
      ++pages_;
      continue;
    }
    if (slot_ == 0) {
      cairo_pdf_surface_set_size(surface_, layout_.sheetWidth, layout_.sheetHeight);
      DrawCropMarks(cr_, layout_);
      ++pages_;
    }
    double x = 0, y = 0;
    layout_.SlotOrigin(slot_, &x, &y);
    cairo_save(cr_);
    cairo_translate(cr_, x, y);
    // The card with its bleed: nothing it draws reaches a neighbour's.
    cairo_rectangle(cr_, -layout_.bleed, -layout_.bleed, layout_.cardWidth + 2 * layout_.bleed,
                    layout_.cardHeight + 2 * layout_.bleed);
    cairo_clip(cr_);
    painter_.DrawPage(cr_, page);
    cairo_restore(cr_);
    if (++slot_ == layout_.columns * layout_.rows || slot_ >= sheets_.perSheet) {
      cairo_show_page(cr_);
      slot_ = 0;
    }
  }
  painter_.Finish();
  return Check(error);
}

bool DocumentStream::Close(std::string* error) {
  if (cr_ == nullptr) {
    *error = "the PDF could not be written";
    return false;
  }
  if (slot_ > 0) cairo_show_page(cr_);
  slot_ = 0;
  bool ok = Check(error);
  cairo_destroy(cr_);
  cr_ = nullptr;
  cairo_surface_finish(surface_);
  const cairo_status_t status = cairo_surface_status(surface_);
  cairo_surface_destroy(surface_);
  surface_ = nullptr;
  if (ok && status != CAIRO_STATUS_SUCCESS) {
    *error = std::string("the PDF could not be written: ") + cairo_status_to_string(status);
    ok = false;
  }
  return ok;
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

bool PdfPageSizes(const std::string& pdf, std::vector<std::pair<double, double>>* sizes,
                  std::string* error) {
  PopplerDocumentPtr document = OpenPdf(pdf, error);
  if (!document) return false;
  sizes->clear();
  for (int p = 0; p < poppler_document_get_n_pages(document.get()); ++p) {
    PopplerPage* page = poppler_document_get_page(document.get(), p);
    double width = 0, height = 0;
    if (page != nullptr) {
      poppler_page_get_size(page, &width, &height);
      g_object_unref(page);
    }
    sizes->emplace_back(width, height);
  }
  return true;
}

bool PageImagePng(const std::string& pdf, int page, int widthPx, std::string* png,
                  std::string* error) {
  PopplerDocumentPtr document = OpenPdf(pdf, error);
  if (!document) return false;
  if (page < 1 || page > poppler_document_get_n_pages(document.get())) {
    *error = "the document has no page " + std::to_string(page);
    return false;
  }
  PopplerPage* source = poppler_document_get_page(document.get(), page - 1);
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

}  // namespace refservice
