// Drawing a document's pages as PDF with cairo.
#pragma once

#include <string>

#include "standin/core/file_system.h"
#include "standin/fonts/font_resolver.h"
#include "standin/pdf/pdf_presets.h"

namespace standin {

class Document;

// Draws every page of `doc`, spread by spread and page by page, one PDF
// page each (the page's size), and hands the PDF's bytes to `write` as they
// are made. Items are drawn back to front: frames' placed images (read
// through `files`, fitted into the frame and clipped to it), text in its
// fonts (found through `fonts`), strokes, with each item's opacity; hidden
// items, guides and pasteboard items are left out. The settings' preset
// name becomes the PDF's subject. Returns false with *error set when the
// document has no pages or the PDF cannot be made or written; an image
// that cannot be read is drawn as a crossed-out box and reported as a line
// of *warnings (may be null).
bool RenderPdf(const Document& doc, const PdfSettings& settings, const FontResolver& fonts,
               FileSystem& files, const FileSystem::Writer& write, std::string* error,
               std::string* warnings);

}  // namespace standin
