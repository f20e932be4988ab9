// Press sheets for N-up printing: N cards placed in a grid of columns x rows on one sheet,
// centred, each with its bleed, a gap of twice the bleed between neighbours' trim edges (their
// bleeds meet), and crop marks on the margin around the grid marking every trim line.
#pragma once

#include <string>

typedef struct _cairo cairo_t;

namespace refservice {

constexpr double kPointsPerMm = 72.0 / 25.4;
// Crop marks: hairlines this long, starting this far outside the bleed.
constexpr double kCropMarkLength = 5 * kPointsPerMm;
constexpr double kCropMarkGap = 1 * kPointsPerMm;
constexpr double kCropMarkWidth = 0.25;
constexpr int kMaxPerSheet = 1000;

// Parses a sheet size: a name (A5, A4, A3, SRA4, SRA3, SRA2, Letter, Tabloid; any letter case)
// or "WxH" in millimetres (e.g. "330x488"). Sizes come back in points, portrait for names. False
// with `error` set for anything else, or a side not between 10 and 5000 mm.
bool ParseSheetSize(const std::string& text, double* width, double* height, std::string* error);

struct SheetLayout {
  double sheetWidth = 0, sheetHeight = 0;  // points, as the sheet is printed (maybe landscape)
  int columns = 0, rows = 0;
  double cardWidth = 0, cardHeight = 0;  // the trim size
  double bleed = 0;
  double left = 0, top = 0;  // the first card's trim corner, from the sheet's top-left

  double gap() const { return 2 * bleed; }
  // The trim box's top-left corner of slot `slot` (0-based, row by row from the top-left).
  void SlotOrigin(int slot, double* x, double* y) const;
};

// Plans `perSheet` cards of `cardWidth` x `cardHeight` points, each with `bleed` points around
// it, on the sheet (tried as given and turned a quarter). Prefers a grid with no empty place,
// then the one with the widest margin. False with `error` set when they do not fit with their
// crop marks.
bool PlanSheet(int perSheet, double sheetWidth, double sheetHeight, double cardWidth,
               double cardHeight, double bleed, SheetLayout* out, std::string* error);

// Draws the crop marks of `layout` in black hairlines (the sheet's origin at the top-left).
void DrawCropMarks(cairo_t* cr, const SheetLayout& layout);

}  // namespace refservice
