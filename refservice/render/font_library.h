// The fonts of one rendering: the template's uploaded font files in a private fontconfig
// configuration beside the system's fonts, each under a family name of its own (so a field set in
// an uploaded font is drawn with exactly that file, never with a system font of the same name,
// while the characters the file lacks come from the system fonts that have them), and the
// system's fonts for fields whose font was not uploaded.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "refservice/render/template_bundle.h"

typedef struct _PangoFontMap PangoFontMap;
typedef struct _PangoFontDescription PangoFontDescription;
typedef struct _FcConfig FcConfig;

namespace refservice {

// How a field's font was found.
struct FieldFont {
  PangoFontMap* map = nullptr;                // owned by the library
  PangoFontDescription* description = nullptr;  // owned by the library; size not set
  bool uploaded = false;    // drawn in the template's uploaded font file
  std::string fileName;     // that file's asset name, when uploaded
};

class FontLibrary {
 public:
  // Adds every uploaded font file of `bundle` that can be read below its data folder (`fs`
  // checks that no link is in the way). Files fontconfig cannot read are left out.
  FontLibrary(const TemplateBundle& bundle, FileSystem* fs);
  ~FontLibrary();
  FontLibrary(const FontLibrary&) = delete;
  FontLibrary& operator=(const FontLibrary&) = delete;

  // The font of `field`: its uploaded file (by fontFileName, else by the fontFileName of another
  // field of the same fontName, as a publish uploads each font file once), else the system font
  // fontconfig matches to its fontName.
  FieldFont Resolve(const RenderField& field);

 private:
  const TemplateBundle& bundle_;
  FcConfig* config_ = nullptr;          // the system's fonts and the uploaded ones
  PangoFontMap* uploadedMap_ = nullptr;  // over config_
  PangoFontMap* systemMap_ = nullptr;    // the system's fonts
  std::map<std::string, PangoFontDescription*> byFile_;  // asset name -> description
  std::map<std::string, PangoFontDescription*> byName_;  // fontName -> fallback description
};

}  // namespace refservice
