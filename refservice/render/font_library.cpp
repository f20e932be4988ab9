#include "refservice/render/font_library.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

namespace refservice {

FontLibrary::FontLibrary(const TemplateBundle& bundle, FileSystem* fs) : bundle_(bundle) {
  config_ = FcInitLoadConfigAndFonts();
  if (config_ == nullptr) config_ = FcConfigCreate();
  for (const auto& [name, path] : bundle.fontFiles) {
    uint64_t size = 0;
    std::string error;
    // Opening through the data folder refuses a link anywhere below it.
    if (!fs->OpenForRead(path, &size, &error).valid()) continue;
    std::string full = bundle.dataDir + "/" + path;
    if (!FcConfigAppFontAddFile(config_, reinterpret_cast<const FcChar8*>(full.c_str()))) continue;
    FcFontSet* set = FcConfigGetFonts(config_, FcSetApplication);
    for (int i = 0; set != nullptr && i < set->nfont; ++i) {
      FcChar8* file = nullptr;
      if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) == FcResultMatch &&
          full == reinterpret_cast<const char*>(file)) {
        if (byFile_.count(name) == 0) {
          // A family name no system font has.
          const std::string family = "osl upload " + std::to_string(byFile_.size());
          FcPatternDel(set->fonts[i], FC_FAMILY);
          FcPatternAddString(set->fonts[i], FC_FAMILY,
                             reinterpret_cast<const FcChar8*>(family.c_str()));
          byFile_[name] = pango_fc_font_description_from_pattern(set->fonts[i], FALSE);
        }
      }
    }
  }
  uploadedMap_ = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
  pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(uploadedMap_), config_);
  systemMap_ = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
}

FontLibrary::~FontLibrary() {
  for (auto& [name, description] : byFile_) pango_font_description_free(description);
  for (auto& [name, description] : byName_) pango_font_description_free(description);
  if (uploadedMap_ != nullptr) {
    // The map keeps a reference to its configuration that its own end does not give back:
    // detached first, the configuration is freed with the map.
    pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(uploadedMap_), nullptr);
    g_object_unref(uploadedMap_);
  }
  if (systemMap_ != nullptr) g_object_unref(systemMap_);
  if (config_ != nullptr) FcConfigDestroy(config_);
}

FieldFont FontLibrary::Resolve(const RenderField& field) {
  FieldFont font;
  std::string file = field.fontFileName;
  if (byFile_.count(file) == 0 && !field.fontName.empty()) {
    for (const RenderField& other : bundle_.fields) {
      if (other.fontName == field.fontName && byFile_.count(other.fontFileName) != 0) {
        file = other.fontFileName;
        break;
      }
    }
  }
  auto uploaded = byFile_.find(file);
  if (uploaded != byFile_.end()) {
    font.map = uploadedMap_;
    font.description = uploaded->second;
    font.uploaded = true;
    font.fileName = file;
    return font;
  }
  auto known = byName_.find(field.fontName);
  if (known == byName_.end()) {
    PangoFontDescription* description =
        pango_font_description_from_string(field.fontName.empty() ? "Sans" : field.fontName.c_str());
    pango_font_description_unset_fields(description, PANGO_FONT_MASK_SIZE);
    known = byName_.emplace(field.fontName, description).first;
  }
  font.map = systemMap_;
  font.description = known->second;
  return font;
}

}  // namespace refservice
