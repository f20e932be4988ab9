// A built document in CMYK for print shops: every colour of the PDF (text, vector art, images)
// converted to DeviceCMYK by Ghostscript's pdfwrite device, with the SWOP profile the proof and
// the builder convert CMYK colours with. The PDF's pages, sizes and text are kept. The inks come
// from the RGB the document was drawn in, not from the field records' CMYK values: a colour keeps
// its look, not its exact ink percentages.
#pragma once

#include <string>

namespace refservice {

// The Ghostscript program the conversion runs.
constexpr const char* kGhostscript = "/usr/bin/gs";
// A conversion that takes longer is stopped and fails.
constexpr int kCmykTimeoutSeconds = 120;
// A converted PDF larger than this fails.
constexpr size_t kMaxCmykPdfBytes = 512u << 20;

// Converts `pdf` into `*cmyk`. False with `error` set (one line) when Ghostscript is missing,
// fails, runs out of time or gives no output; `*cmyk` is then unchanged. Safe to call from several
// threads at once: each call works in a private temporary folder, removed before it returns.
bool ConvertPdfToCmyk(const std::string& pdf, std::string* cmyk, std::string* error);

}  // namespace refservice
