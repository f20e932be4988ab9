// The preview picture of a page: the page drawn as the PDF export draws it,
// with the outlines a plug-in's tool asked for drawn over it (thin lines
// with their labels; markers as thick dashed lines just outside), written
// as a PNG file.
#pragma once

#include <string>
#include <vector>

#include "standin/app/tool_report.h"
#include "standin/core/file_system.h"
#include "standin/fonts/font_resolver.h"

namespace standin {

class Document;

// Limits of the picture: resolutions from kMinPreviewDpi to kMaxPreviewDpi,
// and at most kMaxPreviewPixels pixels along either side.
constexpr double kMinPreviewDpi = 9;
constexpr double kMaxPreviewDpi = 1200;
constexpr int kMaxPreviewPixels = 16384;

// The size in pixels of a page `widthPt` x `heightPt` points at `dpi`
// (each side rounded up, at least 1).
void PreviewPixelSize(double widthPt, double heightPt, double dpi, int* width, int* height);

// Draws page `pageNumber` (1-based, over the document) of `doc` at `dpi`
// with those of `shapes` that belong to that page, and writes the picture
// to `out` atomically through `files`. Items that a shape names as hidden
// are left out of the drawing (and shown again before this returns). False
// with *error when the page does not exist, the resolution or the picture's
// size is out of bounds, or the file cannot be written; *warnings gets the
// drawing's warnings (may be null).
bool WritePagePreview(Document& doc, int pageNumber, double dpi,
                      const std::vector<ToolShape>& shapes, const FontResolver& fonts,
                      FileSystem& files, const std::string& out, std::string* error,
                      std::string* warnings);

}  // namespace standin
