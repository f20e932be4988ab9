// A built document in CMYK for print shops. The colours the builder drew in ink markers (see
// ink_markers.h: the fields' text and barcodes) become exactly their CMYK inks: the PDF is
// uncompressed by qpdf, the markers' colour operators are replaced by DeviceCMYK ones, and fix-qdf
// makes it a valid PDF again. Then Ghostscript's pdfwrite device converts every other colour (the
// master page's text, vector art and images) to DeviceCMYK with the SWOP profile the proof and the
// builder convert CMYK colours with; it leaves DeviceCMYK colours as they are. The PDF's pages,
// sizes and text are kept.
#pragma once

#include <string>
#include <vector>

#include "refservice/render/ink_markers.h"

namespace refservice {

// The Ghostscript program the conversion runs.
constexpr const char* kGhostscript = "/usr/bin/gs";
// The programs that uncompress the PDF and make it whole again after its inks are written.
constexpr const char* kQpdf = "/usr/bin/qpdf";
constexpr const char* kFixQdf = "/usr/bin/fix-qdf";
// A conversion (all its programs together) that takes longer is stopped and fails.
constexpr int kCmykTimeoutSeconds = 120;
// A converted or uncompressed PDF larger than this fails.
constexpr size_t kMaxCmykPdfBytes = 512u << 20;

// Converts `pdf`, built with the markers `inks` (RenderResult::inks), into `*cmyk`. False with
// `error` set (one line) when Ghostscript (or, with inks, qpdf) is missing, fails, runs out of
// time or gives no output; `*cmyk` is then unchanged. Safe to call from several threads at once:
// each call works in a private temporary folder, removed before it returns.
bool ConvertPdfToCmyk(const std::string& pdf, const std::vector<InkMarker>& inks, std::string* cmyk,
                      std::string* error);

}  // namespace refservice
