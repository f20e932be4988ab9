// Drawing a document's pages as PDF with cairo.
#pragma once

#include <string>

#include "standin/core/file_system.h"
#include "standin/fonts/font_resolver.h"
#include "standin/pdf/pdf_presets.h"

typedef struct _cairo cairo_t;

namespace standin {

class Document;
struct Page;

// Draws every page of `doc`, spread by spread and page by page, one PDF
// page each (the page's size), and hands the PDF's bytes to `write` as they
// are made. Items are drawn back to front: frames' placed images (read
// through `files`, fitted into the frame and clipped to it), text in its
// fonts (found through `fonts`; only what fits the frame, clipped to it),
// strokes, with each item's opacity; hidden items, guides and pasteboard
// items are left out. CMYK colours are converted through the host's CMYK
// profile (read through `files`). The settings' preset name becomes the
// PDF's subject. Returns false with *error set when the document has no
// pages or the PDF cannot be made or written. What was drawn otherwise than
// the document asks is reported as lines of *warnings (may be null): an
// image that cannot be read (left out: the page shows what lies under its
// frame), a font drawn in another font, a missing colour profile.
bool RenderPdf(const Document& doc, const PdfSettings& settings, const FontResolver& fonts,
               FileSystem& files, const FileSystem::Writer& write, std::string* error,
               std::string* warnings);

// Draws `page` of `doc` onto `cr` as RenderPdf draws it on a PDF page, except
// that an image that cannot be read shows as a crossed-out grey box: the
// page's top-left corner at the origin, one unit per point, under whatever
// transformation `cr` already has. Warnings as for RenderPdf.
void DrawPage(cairo_t* cr, const Document& doc, const Page& page, const FontResolver& fonts,
              FileSystem& files, std::string* warnings);

}  // namespace standin
