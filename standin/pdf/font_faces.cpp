#include "standin/pdf/font_faces.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include "standin/core/utf8.h"

namespace standin {

FontFaces::~FontFaces() {
  for (auto& [key, face] : byFile_) {
    if (face) cairo_font_face_destroy(face);
  }
}

cairo_font_face_t* FontFaces::Open(const std::string& file, int index) {
  auto found = byFile_.find({file, index});
  if (found != byFile_.end()) return found->second;
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FILE, reinterpret_cast<const FcChar8*>(file.c_str()));
  FcPatternAddInteger(pattern, FC_INDEX, index);
  cairo_font_face_t* face = cairo_ft_font_face_create_for_pattern(pattern);
  FcPatternDestroy(pattern);
  // The file is read when a size of the face is first made: try one.
  cairo_matrix_t size, identity;
  cairo_matrix_init_scale(&size, 10, 10);
  cairo_matrix_init_identity(&identity);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_scaled_font_t* probe = cairo_scaled_font_create(face, &size, &identity, options);
  const bool usable = cairo_font_face_status(face) == CAIRO_STATUS_SUCCESS &&
                      cairo_scaled_font_status(probe) == CAIRO_STATUS_SUCCESS;
  cairo_scaled_font_destroy(probe);
  cairo_font_options_destroy(options);
  if (!usable) {
    cairo_font_face_destroy(face);
    face = nullptr;
  }
  byFile_[{file, index}] = face;
  return face;
}

cairo_font_face_t* FontFaces::Face(const std::string& family, const std::string& style) {
  const auto key = std::make_pair(AsciiLower(family), AsciiLower(style));
  auto found = byName_.find(key);
  if (found != byName_.end()) return found->second;
  cairo_font_face_t* face = nullptr;
  std::string file;
  int index = 0;
  if (fonts_.DrawingFace(doc_, family, style, &file, &index)) face = Open(file, index);
  // The machine's default face when the font's own cannot be opened.
  if (!face && fonts_.DrawingFace(nullptr, "", "", &file, &index)) face = Open(file, index);
  byName_[key] = face;
  return face;
}

}  // namespace standin
