// The document builder: a published template filled with values becomes a PDF. Every page of the
// stored master PDF is the background, kept as vectors at its own size; the fields are drawn over
// it in zOrder, moved by their stacking groups. The outcome of every field is reported.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "refservice/render/field_values.h"
#include "refservice/render/ink_markers.h"
#include "refservice/render/sheet_layout.h"
#include "refservice/render/template_bundle.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace refservice {

// What was done with one field.
struct FieldOutcome {
  std::string name;
  int page = 0;
  std::string action;  // "drawn", "shrunk", "overflowing", "empty" or "not drawn"
  double size = 0;     // text: the size it was set at
  double storedSize = 0;
  size_t cutCharacters = 0;  // overflowing text: characters not wholly inside the frame
  double moved = 0;    // points; positive: up the page, negative: down
  std::string font;    // text: the uploaded font file's name, or the system font used instead
  bool fontFallback = false;
  // text: the fonts that drew the characters the field's font lacks, and how many characters no
  // font has
  std::vector<std::string> fallbackFonts;
  int missingCharacters = 0;
  std::string note;    // why it was not drawn, or what was used instead
};

struct RenderResult {
  std::string pdf;
  int pages = 0;
  std::vector<FieldOutcome> fields;  // in stored order
  std::vector<InkMarker> inks;       // with RenderOptions::exactInks: the markers the PDF holds
};

struct RenderOptions {
  bool preview = false;  // also draws non-printing fields
  // For a CMYK output: the fields' text and barcodes are drawn in ink markers (ink_markers.h), to
  // be turned into their CMYK inks by ConvertPdfToCmyk. The RGB look differs by less than 1/65536.
  bool exactInks = false;
};

// Draws documents of one template onto cairo contexts the caller owns, page by page. The set-up
// (the open master PDF, the fonts) is made once by Open() and serves every document drawn after
// it. With `shareAcrossDocuments` the master's pages are recorded once and each distinct image is
// decoded once, and both are drawn as the same cairo sources every time, so a PDF surface that
// takes many documents embeds each background and image once. Not thread-safe: one painter per
// output.
class DocumentPainter {
 public:
  DocumentPainter(const TemplateBundle& bundle, FileSystem* fs, const RenderOptions& options,
                  bool shareAcrossDocuments = false);
  ~DocumentPainter();
  DocumentPainter(const DocumentPainter&) = delete;
  DocumentPainter& operator=(const DocumentPainter&) = delete;

  // Opens the master PDF. False with `error` set when the template cannot be rendered at all (no
  // master PDF, a damaged one, no pages).
  bool Open(std::string* error);
  int pageCount() const { return pageCount_; }
  // The size (points) of page `page` (1-based) of the master PDF.
  void PageSize(int page, double* width, double* height) const;

  // Starts a document filled with `values` (checked by ParseFieldValues/AddFieldValue); its
  // outcomes go to `result` (pages and fields; `pdf` is left alone), which must outlive Finish().
  void Begin(const FieldValues& values, RenderResult* result);
  // Draws page `page` of the current document, the master page and then its fields in zOrder,
  // with the page's top-left corner at the origin of `cr` and one unit a point.
  void DrawPage(cairo_t* cr, int page);
  // Ends the current document: fields whose page is not in the master PDF are "not drawn".
  void Finish();

  // With RenderOptions::exactInks: the markers of everything drawn so far.
  std::vector<InkMarker> inks() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
  int pageCount_ = 0;
};

// Renders `bundle` with `values` (already checked by ParseFieldValues/AddFieldValue). False with
// `error` set when the template cannot be rendered at all (no master PDF, a damaged one); then
// nothing is in `result`.
bool RenderDocument(const TemplateBundle& bundle, FileSystem* fs, const FieldValues& values,
                    const RenderOptions& options, RenderResult* result, std::string* error);

// How a stream lays documents out: 0 per sheet puts each page on a page of its own size; N > 0
// places N pages (cards) on each sheet of `sheetWidth` x `sheetHeight` points (sheet_layout.h).
struct SheetOptions {
  int perSheet = 0;
  double sheetWidth = 0, sheetHeight = 0;
  double bleed = 0;  // points
};

// A PDF written while it is drawn: many documents of one template appended in order, each
// handed to `sink` piece by piece as cairo produces it, so memory does not grow with the number
// of documents. One painter serves them all: each distinct image and each master page is
// embedded once in the whole output.
class DocumentStream {
 public:
  // Takes the next bytes of the PDF; false stops the output (a write failed).
  using Sink = std::function<bool(const char* data, size_t size)>;

  DocumentStream(const TemplateBundle& bundle, FileSystem* fs, Sink sink);
  ~DocumentStream();
  DocumentStream(const DocumentStream&) = delete;
  DocumentStream& operator=(const DocumentStream&) = delete;

  // Opens the template and plans the sheets. False with `error` set when the template cannot be
  // rendered or the cards do not fit the sheet.
  bool Open(const SheetOptions& sheets, std::string* error);
  // Draws one document; its outcomes go to `result` (`pdf` stays empty). False with `error` set
  // when the output failed; the stream is then unusable.
  bool Append(const FieldValues& values, RenderResult* result, std::string* error);
  // Ends the PDF (the last sheet and the file's trailer). False with `error` set when the output
  // failed.
  bool Close(std::string* error);
  // Pages (sheets, when N-up) begun so far.
  int pages() const { return pages_; }

 private:
  bool Check(std::string* error);

  DocumentPainter painter_;
  Sink sink_;
  SheetOptions sheets_;
  SheetLayout layout_;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  int slot_ = 0;  // N-up: the next place on the current sheet
  int pages_ = 0;
  bool failed_ = false;
};

// One line per field for people: "NAME: drawn", "NAME: shrunk to 9.5 pt", "NAME: overflowing
// (cut at the frame at 7 pt)", "NAME: empty", each followed by ", moved up by N pt" when it moved
// and by the font note when the font was not the uploaded one or when characters it lacks were
// drawn in other fonts ("characters the font lacks were drawn in \"FAMILY\", ...").
std::string ReportText(const RenderResult& result);
// The same as a JSON object: {"pages": N, "fields": [{"name", "page", "action", "size",
// "storedSize", "moved", "font", "fontFallback", "fallbackFonts" (when there are any),
// "missingCharacters" (when there are any), "note"}]}, with "cutCharacters" for an
// overflowing text.
// With `asciiOnly` every character outside ASCII is written as a \u escape (for a header line).
std::string ReportJson(const RenderResult& result, bool asciiOnly = false);

// The width and height (points) of every page of `pdf`. False with `error` set.
bool PdfPageSizes(const std::string& pdf, std::vector<std::pair<double, double>>* sizes,
                  std::string* error);

// Draws page `page` (1-based) of `pdf` as a PNG `widthPx` pixels wide. False with `error` set.
bool PageImagePng(const std::string& pdf, int page, int widthPx, std::string* png,
                  std::string* error);

}  // namespace refservice
