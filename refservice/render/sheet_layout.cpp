#include "refservice/render/sheet_layout.h"

#include <cairo.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace refservice {
namespace {

struct NamedSheet {
  const char* name;
  double widthMm, heightMm;
};

constexpr NamedSheet kSheets[] = {
    {"a5", 148, 210},   {"a4", 210, 297},         {"a3", 297, 420},
    {"sra4", 225, 320}, {"sra3", 320, 450},       {"sra2", 450, 640},
    {"letter", 215.9, 279.4}, {"tabloid", 279.4, 431.8},
};

std::string Mm(double points) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", points / kPointsPerMm);
  return text;
}

}  // namespace

bool ParseSheetSize(const std::string& text, double* width, double* height, std::string* error) {
  std::string lower;
  for (char c : text) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  for (const NamedSheet& sheet : kSheets) {
    if (lower == sheet.name) {
      *width = sheet.widthMm * kPointsPerMm;
      *height = sheet.heightMm * kPointsPerMm;
      return true;
    }
  }
  const size_t x = lower.find('x');
  if (x != std::string::npos && x > 0 && x + 1 < lower.size() && lower.size() <= 32) {
    const std::string w = lower.substr(0, x), h = lower.substr(x + 1);
    char* end = nullptr;
    const double wMm = std::strtod(w.c_str(), &end);
    const bool wOk = end == w.c_str() + w.size() && std::isdigit(static_cast<unsigned char>(w[0]));
    const double hMm = std::strtod(h.c_str(), &end);
    const bool hOk = end == h.c_str() + h.size() && std::isdigit(static_cast<unsigned char>(h[0]));
    if (wOk && hOk && wMm >= 10 && wMm <= 5000 && hMm >= 10 && hMm <= 5000) {
      *width = wMm * kPointsPerMm;
      *height = hMm * kPointsPerMm;
      return true;
    }
  }
  *error = "unknown sheet size \"" + text +
           "\": give A5, A4, A3, SRA4, SRA3, SRA2, Letter, Tabloid or WIDTHxHEIGHT in mm "
           "(10 to 5000)";
  return false;
}

void SheetLayout::SlotOrigin(int slot, double* x, double* y) const {
  const int column = columns > 0 ? slot % columns : 0;
  const int row = columns > 0 ? slot / columns : 0;
  *x = left + column * (cardWidth + gap());
  *y = top + row * (cardHeight + gap());
}

bool PlanSheet(int perSheet, double sheetWidth, double sheetHeight, double cardWidth,
               double cardHeight, double bleed, SheetLayout* out, std::string* error) {
  if (perSheet < 1 || perSheet > kMaxPerSheet) {
    *error = "--per-sheet must be between 1 and " + std::to_string(kMaxPerSheet);
    return false;
  }
  const double margin = bleed + kCropMarkGap + kCropMarkLength;
  bool found = false;
  int bestWaste = 0;
  double bestSlack = 0;
  for (int turn = 0; turn < 2; ++turn) {
    const double sw = turn == 0 ? sheetWidth : sheetHeight;
    const double sh = turn == 0 ? sheetHeight : sheetWidth;
    for (int columns = 1; columns <= perSheet; ++columns) {
      const int rows = (perSheet + columns - 1) / columns;
      const double gridWidth = columns * cardWidth + (columns - 1) * 2 * bleed;
      const double gridHeight = rows * cardHeight + (rows - 1) * 2 * bleed;
      const double slackX = sw - gridWidth - 2 * margin;
      const double slackY = sh - gridHeight - 2 * margin;
      if (slackX < -1e-6 || slackY < -1e-6) continue;
      const int waste = columns * rows - perSheet;
      const double slack = std::min(slackX, slackY);
      if (!found || waste < bestWaste || (waste == bestWaste && slack > bestSlack + 1e-6)) {
        found = true;
        bestWaste = waste;
        bestSlack = slack;
        out->sheetWidth = sw;
        out->sheetHeight = sh;
        out->columns = columns;
        out->rows = rows;
        out->cardWidth = cardWidth;
        out->cardHeight = cardHeight;
        out->bleed = bleed;
        out->left = (sw - gridWidth) / 2;
        out->top = (sh - gridHeight) / 2;
      }
    }
  }
  if (!found) {
    *error = std::to_string(perSheet) + " cards of " + Mm(cardWidth) + " x " + Mm(cardHeight) +
             " mm with " + Mm(bleed) + " mm bleed and crop marks do not fit on a sheet of " +
             Mm(sheetWidth) + " x " + Mm(sheetHeight) + " mm";
    return false;
  }
  return true;
}

void DrawCropMarks(cairo_t* cr, const SheetLayout& layout) {
  const double gridRight =
      layout.left + layout.columns * layout.cardWidth + (layout.columns - 1) * layout.gap();
  const double gridBottom =
      layout.top + layout.rows * layout.cardHeight + (layout.rows - 1) * layout.gap();
  const double near = layout.bleed + kCropMarkGap;
  const double far = near + kCropMarkLength;
  cairo_save(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, kCropMarkWidth);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  for (int column = 0; column < layout.columns; ++column) {
    const double x0 = layout.left + column * (layout.cardWidth + layout.gap());
    for (double x : {x0, x0 + layout.cardWidth}) {
      cairo_move_to(cr, x, layout.top - far);
      cairo_line_to(cr, x, layout.top - near);
      cairo_move_to(cr, x, gridBottom + near);
      cairo_line_to(cr, x, gridBottom + far);
    }
  }
  for (int row = 0; row < layout.rows; ++row) {
    const double y0 = layout.top + row * (layout.cardHeight + layout.gap());
    for (double y : {y0, y0 + layout.cardHeight}) {
      cairo_move_to(cr, layout.left - far, y);
      cairo_line_to(cr, layout.left - near, y);
      cairo_move_to(cr, gridRight + near, y);
      cairo_line_to(cr, gridRight + far, y);
    }
  }
  cairo_stroke(cr);
  cairo_restore(cr);
}

}  // namespace refservice
