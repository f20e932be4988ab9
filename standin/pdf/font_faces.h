// The fonts of one export: each font is looked up and opened once; a font
// the machine cannot open is drawn in its closest match, and a character a
// font lacks in a machine font that has it. Font files are opened only when
// they are regular files (see font_file.h). Text is shaped through Pango:
// every face opened here is also known to a private Pango font map, under a
// name of its own, so that Pango sets a run in exactly that file and takes
// only the characters the file lacks from the machine's fonts.
#pragma once

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "standin/fonts/font_resolver.h"

typedef struct _cairo_font_face cairo_font_face_t;
typedef struct _cairo_font_options cairo_font_options_t;
typedef struct _cairo_scaled_font cairo_scaled_font_t;
typedef struct _cairo_matrix cairo_matrix_t;
typedef struct _PangoFontMap PangoFontMap;
typedef struct _PangoFontDescription PangoFontDescription;
typedef struct _FcConfig FcConfig;
struct FT_FaceRec_;

namespace standin {

class Document;

class FontFaces {
 public:
  // Fallback look-ups for characters no open face has are remembered up to
  // this many characters; further ones draw in the run's own face.
  static constexpr size_t kMaxMissingCharacters = 4096;

  // `fonts` and `doc` (whose font list is used; may be null) must outlive
  // this object.
  FontFaces(const FontResolver& fonts, const Document* doc);
  ~FontFaces();
  FontFaces(const FontFaces&) = delete;
  FontFaces& operator=(const FontFaces&) = delete;

  // A face to draw `family` in `style` with (owned by this object), or null
  // when the machine has no font that can be opened at all. A font that is
  // not installed, or whose files cannot be opened, is drawn in the
  // machine's closest match and noted in Substitutions().
  cairo_font_face_t* Face(const std::string& family, const std::string& style);

  // True when `face` (one of this object's) has a glyph for `c`.
  bool HasGlyph(cairo_font_face_t* face, char32_t c) const;
  // A face (owned by this object) that has a glyph for `c`, as close to
  // `family` in `style` as the machine has; null when no font has one.
  cairo_font_face_t* FallbackFor(char32_t c, const std::string& family, const std::string& style);

  // The options every text of the export is measured and drawn with
  // (metrics not hinted, so that layout does not depend on the device).
  const cairo_font_options_t* Options() const { return options_; }
  // `face` at `matrix` (size and scales) with Options(); owned by this
  // object. Null when `face` is null.
  cairo_scaled_font_t* Scaled(cairo_font_face_t* face, const cairo_matrix_t& matrix);

  // The Pango font map that knows every face of this object besides the
  // machine's fonts (owned by this object; null when fontconfig fails).
  // Call after Description() for the faces a layout uses.
  PangoFontMap* PangoMap();
  // The description (owned by this object; size not set) under which Pango
  // finds exactly `face`, one of this object's faces; null for null or when
  // the face's file cannot be given to Pango.
  const PangoFontDescription* Description(cairo_font_face_t* face);

  // One line per font drawn in another than the one asked for, such as
  // `font "Corporate Sans Bold" is not installed; drawn in "DejaVu Sans
  // Bold" instead`, in the order they were met.
  const std::vector<std::string>& Substitutions() const { return substitutions_; }

 private:
  // The face of `file`, or null (with *error set) when it cannot be opened.
  cairo_font_face_t* Open(const std::string& file, int index, std::string* error);
  // Face() without its cache.
  cairo_font_face_t* Find(const std::string& family, const std::string& style);

  const FontResolver& fonts_;
  const Document* doc_;
  cairo_font_options_t* options_;
  std::map<std::pair<std::string, std::string>, cairo_font_face_t*> byName_;
  std::map<std::pair<std::string, int>, cairo_font_face_t*> byFile_;
  std::unordered_map<cairo_font_face_t*, FT_FaceRec_*> ftFaces_;
  std::map<std::tuple<cairo_font_face_t*, double, double, double, double>, cairo_scaled_font_t*>
      scaled_;
  std::vector<cairo_font_face_t*> fallbacks_;  // in the order they were found
  std::set<char32_t> missing_;                 // characters no font has
  std::vector<std::string> substitutions_;
  // Pango's view of the faces: the file each face came from, and the
  // private fontconfig configuration (the machine's fonts plus those files,
  // each under a family name of its own).
  std::unordered_map<cairo_font_face_t*, std::pair<std::string, int>> fileOf_;
  std::unordered_map<cairo_font_face_t*, PangoFontDescription*> descriptions_;
  FcConfig* config_ = nullptr;
  PangoFontMap* map_ = nullptr;
  bool configChanged_ = false;
};

}  // namespace standin
