#include "refservice/render/ink_markers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "colour/cmyk_conversion.h"

namespace refservice {
namespace {

constexpr int kGridSteps = 65536;
// How far from a half-way point a printed component may lie and still be read as that marker:
// cairo prints six decimals (an error of at most 0.033 steps), the nearest whole multiple is half a
// step away.
constexpr double kMarkerSlack = 0.15;

double Clamp100(double value) { return std::isfinite(value) ? std::clamp(value, 0.0, 100.0) : 0.0; }

// The grid point below `value` (0..1): its marker is (point + 0.5) / 65536.
int GridPoint(double value) {
  const double scaled = std::floor(std::clamp(value, 0.0, 1.0) * kGridSteps);
  return std::clamp(static_cast<int>(scaled), 0, kGridSteps - 1);
}

double MarkerValue(int point) { return (point + 0.5) / kGridSteps; }

// The grid point whose marker `value` prints, or -1 when it prints none.
int MarkerPoint(double value) {
  if (!(value >= 0 && value <= 1)) return -1;
  const double scaled = value * kGridSteps - 0.5;
  const double point = std::round(scaled);
  if (std::fabs(scaled - point) > kMarkerSlack || point < 0 || point >= kGridSteps) return -1;
  return static_cast<int>(point);
}

// A PDF number token: optional sign, digits with at most one point, at least one digit.
bool ParseNumber(const std::string& text, size_t begin, size_t end, double* value) {
  if (begin >= end || end - begin > 32) return false;
  size_t at = begin;
  if (text[at] == '+' || text[at] == '-') ++at;
  bool digit = false, point = false;
  for (; at < end; ++at) {
    const char c = text[at];
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (!digit) return false;
  // from_chars reads the C locale's form whatever the process's locale is; it takes no '+'.
  const char* first = text.data() + begin + (text[begin] == '+' ? 1 : 0);
  return std::from_chars(first, text.data() + end, *value).ec == std::errc();
}

bool IsWhite(char c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

bool IsDelimiter(char c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
         c == '}' || c == '/' || c == '%';
}

// An ink component (0..100) as a PDF operand from 0 to 1.
std::string Operand(double percent) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.4f", Clamp100(percent) / 100.0);
  std::string text = buffer;
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

}  // namespace

void InkMarkers::ColourFor(double c, double m, double y, double k, double* r, double* g,
                           double* b) {
  const double ink[4] = {Clamp100(c), Clamp100(m), Clamp100(y), Clamp100(k)};
  double rgb[3];
  colour::DefaultCmykConversion().Convert(ink, rgb);
  const auto inkKey = std::make_tuple(ink[0], ink[1], ink[2], ink[3]);
  auto known = byInk_.find(inkKey);
  if (known == byInk_.end()) {
    if (markers_.size() >= kMaxInkMarkers) {
      *r = rgb[0], *g = rgb[1], *b = rgb[2];
      return;
    }
    // The nearest free grid point: another ink of the same RGB moves one step along blue.
    const int red = GridPoint(rgb[0]), green = GridPoint(rgb[1]);
    int blue = GridPoint(rgb[2]);
    while (byGrid_.count(std::make_tuple(red, green, blue)) != 0) {
      blue = blue + 1 < kGridSteps ? blue + 1 : 0;
    }
    InkMarker marker;
    marker.r = MarkerValue(red);
    marker.g = MarkerValue(green);
    marker.b = MarkerValue(blue);
    marker.c = ink[0], marker.m = ink[1], marker.y = ink[2], marker.k = ink[3];
    byGrid_[std::make_tuple(red, green, blue)] = markers_.size();
    known = byInk_.emplace(inkKey, markers_.size()).first;
    markers_.push_back(marker);
  }
  const InkMarker& marker = markers_[known->second];
  *r = marker.r, *g = marker.g, *b = marker.b;
}

std::string ReplaceInkMarkers(const std::string& content, const std::vector<InkMarker>& markers) {
  std::map<std::tuple<int, int, int>, const InkMarker*> byGrid;
  for (const InkMarker& marker : markers) {
    byGrid[std::make_tuple(MarkerPoint(marker.r), MarkerPoint(marker.g), MarkerPoint(marker.b))] =
        &marker;
  }
  std::string out;
  out.reserve(content.size());
  size_t copied = 0;  // content before this offset is in `out`
  // The last three tokens, when they were numbers: where each began and its grid point.
  struct NumberToken {
    size_t begin;
    int point;
  } recent[3];
  int numbers = 0;  // how many of the last tokens were numbers (up to 3)
  const size_t size = content.size();
  size_t at = 0;
  while (at < size) {
    const char c = content[at];
    if (IsWhite(c)) {
      ++at;
      continue;
    }
    if (c == '%') {  // a comment, to the end of the line
      while (at < size && content[at] != '\n' && content[at] != '\r') ++at;
      numbers = 0;
      continue;
    }
    if (c == '(') {  // a literal string: balanced brackets, backslash escapes
      int depth = 0;
      while (at < size) {
        const char s = content[at++];
        if (s == '\\') {
          if (at < size) ++at;
        } else if (s == '(') {
          ++depth;
        } else if (s == ')' && --depth == 0) {
          break;
        }
      }
      numbers = 0;
      continue;
    }
    if (c == '<' && (at + 1 >= size || content[at + 1] != '<')) {  // a hex string
      while (at < size && content[at] != '>') ++at;
      if (at < size) ++at;
      numbers = 0;
      continue;
    }
    if (IsDelimiter(c)) {  // names and the other delimiters: never colour operands
      at += c == '<' || c == '>' ? (at + 1 < size && content[at + 1] == c ? 2 : 1) : 1;
      if (c == '/') {
        while (at < size && !IsWhite(content[at]) && !IsDelimiter(content[at])) ++at;
      }
      numbers = 0;
      continue;
    }
    const size_t begin = at;
    while (at < size && !IsWhite(content[at]) && !IsDelimiter(content[at])) ++at;
    const size_t end = at;
    double value = 0;
    if (ParseNumber(content, begin, end, &value)) {
      if (numbers == 3) {
        recent[0] = recent[1];
        recent[1] = recent[2];
        numbers = 2;
      }
      recent[numbers++] = NumberToken{begin, MarkerPoint(value)};
      continue;
    }
    const std::string word = content.substr(begin, std::min<size_t>(end - begin, 3));
    if (end - begin == 2 && (word == "rg" || word == "RG") && numbers == 3) {
      auto found = byGrid.find(std::make_tuple(recent[0].point, recent[1].point, recent[2].point));
      if (recent[0].point >= 0 && recent[1].point >= 0 && recent[2].point >= 0 &&
          found != byGrid.end()) {
        const InkMarker& ink = *found->second;
        out.append(content, copied, recent[0].begin - copied);
        out += Operand(ink.c) + " " + Operand(ink.m) + " " + Operand(ink.y) + " " + Operand(ink.k) +
               (word == "rg" ? " k" : " K");
        copied = end;
      }
    } else if (end - begin == 2 && word == "ID") {
      // Inline image data: binary, up to a white-space-delimited EI.
      size_t scan = end + 1;
      while (scan + 2 < size && !(IsWhite(content[scan - 1]) && content[scan] == 'E' &&
                                  content[scan + 1] == 'I' && IsWhite(content[scan + 2]))) {
        ++scan;
      }
      at = scan + 2 < size ? scan + 2 : size;
    }
    numbers = 0;
  }
  out.append(content, copied, std::string::npos);
  return out;
}

}  // namespace refservice
