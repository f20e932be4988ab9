// The cairo font faces of one export: each font is looked up and opened
// once, and a font the machine cannot open is drawn in its closest match.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "standin/fonts/font_resolver.h"

typedef struct _cairo_font_face cairo_font_face_t;

namespace standin {

class Document;

class FontFaces {
 public:
  // `fonts` and `doc` (whose font list is used; may be null) must outlive
  // this object.
  FontFaces(const FontResolver& fonts, const Document* doc) : fonts_(fonts), doc_(doc) {}
  ~FontFaces();
  FontFaces(const FontFaces&) = delete;
  FontFaces& operator=(const FontFaces&) = delete;

  // A face to draw `family` in `style` with (owned by this object), or null
  // when the machine has no font that can be opened at all.
  cairo_font_face_t* Face(const std::string& family, const std::string& style);

 private:
  // The face of `file`, or null when it cannot be opened.
  cairo_font_face_t* Open(const std::string& file, int index);

  const FontResolver& fonts_;
  const Document* doc_;
  std::map<std::pair<std::string, std::string>, cairo_font_face_t*> byName_;
  std::map<std::pair<std::string, int>, cairo_font_face_t*> byFile_;
};

}  // namespace standin
