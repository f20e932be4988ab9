#include "standin/pdf/font_faces.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include FT_FREETYPE_H

#include "standin/core/utf8.h"
#include "standin/document/document.h"
#include "standin/fonts/font_file.h"
#include "text/ascii_case.h"

namespace standin {

namespace {

const cairo_user_data_key_t kFontFileKey{};

void CloseFile(void* file) { FontFileCloser()(static_cast<FontFile*>(file)); }

std::string Quoted(const std::string& family, const std::string& style) {
  return "\"" + family + (style.empty() ? "" : " " + style) + "\"";
}

}  // namespace

FontFaces::FontFaces(const FontResolver& fonts, const Document* doc)
    : fonts_(fonts), doc_(doc), options_(cairo_font_options_create()) {
  cairo_font_options_set_hint_metrics(options_, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options_, CAIRO_HINT_STYLE_NONE);
}

FontFaces::~FontFaces() {
  for (auto& [face, description] : descriptions_) {
    if (description) pango_font_description_free(description);
  }
  if (map_) g_object_unref(map_);
  if (config_) FcConfigDestroy(config_);
  for (auto& [key, font] : scaled_) cairo_scaled_font_destroy(font);
  for (auto& [key, face] : byFile_) {
    if (face) cairo_font_face_destroy(face);
  }
  cairo_font_options_destroy(options_);
}

cairo_font_face_t* FontFaces::Open(const std::string& file, int index, std::string* error) {
  auto found = byFile_.find({file, index});
  if (found != byFile_.end()) {
    if (!found->second) *error = "font file " + file + ": cannot be opened";
    return found->second;
  }
  cairo_font_face_t* face = nullptr;
  FontFilePtr opened = OpenFontFile(file, index, error);
  if (opened) {
    FT_FaceRec_* ft = FaceOf(*opened);
    face = cairo_ft_font_face_create_for_ft_face(ft, 0);
    // The file stays open as long as cairo uses the face (cairo may keep it
    // in its caches after this object is gone).
    if (cairo_font_face_set_user_data(face, &kFontFileKey, opened.get(), CloseFile) ==
        CAIRO_STATUS_SUCCESS) {
      opened.release();
      ftFaces_[face] = ft;
      fileOf_[face] = {file, index};
    } else {
      *error = "font file " + file + ": cannot be used";
      cairo_font_face_destroy(face);
      face = nullptr;
    }
  }
  byFile_[{file, index}] = face;
  return face;
}

cairo_font_face_t* FontFaces::Face(const std::string& family, const std::string& style) {
  const auto key = std::make_pair(textutil::Lower(family), textutil::Lower(style));
  auto found = byName_.find(key);
  if (found != byName_.end()) return found->second;
  cairo_font_face_t* face = Find(family, style);
  byName_[key] = face;
  return face;
}

cairo_font_face_t* FontFaces::Find(const std::string& family, const std::string& style) {
  std::string why;
  ResolvedFont font;
  if (fonts_.Resolve(doc_, family, style, &font)) {
    if (font.files.empty()) {
      why = "is not installed and the document gives no files for it";
    } else if (cairo_font_face_t* face = Open(font.files.front(), font.faceIndex, &why)) {
      return face;
    } else {
      why = "cannot be used (" + why + ")";
    }
  } else if (!family.empty()) {
    why = "is not installed";
  }
  // The machine's closest match, else its default font.
  ResolvedFont closest;
  cairo_font_face_t* face = nullptr;
  std::string ignored;
  if (fonts_.ClosestMachineFont(family, style, &closest))
    face = Open(closest.files.front(), closest.faceIndex, &ignored);
  if (!face && fonts_.ClosestMachineFont("", "", &closest))
    face = Open(closest.files.front(), closest.faceIndex, &ignored);
  if (!why.empty()) {
    substitutions_.push_back(
        "font " + Quoted(family, style) + " " + why + "; drawn in " +
        (face ? Quoted(closest.family, closest.style) : std::string("no font")) + " instead");
  }
  return face;
}

bool FontFaces::HasGlyph(cairo_font_face_t* face, char32_t c) const {
  auto found = ftFaces_.find(face);
  return found != ftFaces_.end() && FT_Get_Char_Index(found->second, c) != 0;
}

cairo_font_face_t* FontFaces::FallbackFor(char32_t c, const std::string& family,
                                          const std::string& style) {
  for (cairo_font_face_t* face : fallbacks_) {
    if (HasGlyph(face, c)) return face;
  }
  if (missing_.count(c) || missing_.size() >= kMaxMissingCharacters) return nullptr;
  ResolvedFont font;
  std::string ignored;
  cairo_font_face_t* face = nullptr;
  if (fonts_.MachineFontFor(c, family, style, &font))
    face = Open(font.files.front(), font.faceIndex, &ignored);
  if (!face || !HasGlyph(face, c)) {
    missing_.insert(c);
    return nullptr;
  }
  fallbacks_.push_back(face);
  return face;
}

PangoFontMap* FontFaces::PangoMap() {
  if (!map_) {
    if (!config_) config_ = FcInitLoadConfigAndFonts();
    if (!config_) return nullptr;
    map_ = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
    if (!map_) return nullptr;
    pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(map_), config_);
    configChanged_ = false;
  } else if (configChanged_) {
    pango_fc_font_map_config_changed(PANGO_FC_FONT_MAP(map_));
    configChanged_ = false;
  }
  return map_;
}

const PangoFontDescription* FontFaces::Description(cairo_font_face_t* face) {
  auto known = descriptions_.find(face);
  if (known != descriptions_.end()) return known->second;
  PangoFontDescription* description = nullptr;
  auto file = fileOf_.find(face);
  if (!config_) config_ = FcInitLoadConfigAndFonts();
  const auto* path = file != fileOf_.end()
                         ? reinterpret_cast<const FcChar8*>(file->second.first.c_str())
                         : nullptr;
  if (config_ && path && FcConfigAppFontAddFile(config_, path)) {
    // The file's face under a family name no other font has: a run asking
    // for it gets this file and nothing else.
    const std::string name = "osl face " + std::to_string(descriptions_.size());
    FcFontSet* set = FcConfigGetFonts(config_, FcSetApplication);
    for (int i = 0; set && i < set->nfont && !description; ++i) {
      FcChar8* added = nullptr;
      int index = 0;
      if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &added) != FcResultMatch ||
          FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index) != FcResultMatch ||
          file->second.first != reinterpret_cast<const char*>(added) ||
          (index & 0xFFFF) != file->second.second) {
        continue;
      }
      FcPatternDel(set->fonts[i], FC_FAMILY);
      FcPatternAddString(set->fonts[i], FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
      description = pango_fc_font_description_from_pattern(set->fonts[i], FALSE);
    }
    configChanged_ = true;
  }
  descriptions_[face] = description;
  return description;
}

cairo_scaled_font_t* FontFaces::Scaled(cairo_font_face_t* face, const cairo_matrix_t& matrix) {
  if (!face) return nullptr;
  const auto key = std::make_tuple(face, matrix.xx, matrix.yx, matrix.xy, matrix.yy);
  auto found = scaled_.find(key);
  if (found != scaled_.end()) return found->second;
  cairo_matrix_t identity;
  cairo_matrix_init_identity(&identity);
  cairo_scaled_font_t* font = cairo_scaled_font_create(face, &matrix, &identity, options_);
  scaled_[key] = font;
  return font;
}

}  // namespace standin
