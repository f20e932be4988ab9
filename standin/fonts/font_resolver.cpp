#include "standin/fonts/font_resolver.h"

#include <fontconfig/fontconfig.h>

#include <climits>
#include <memory>

#include "standin/core/utf8.h"
#include "standin/document/document.h"
#include "text/ascii_case.h"

namespace standin {

namespace {

struct PatternDeleter {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
struct FontSetDeleter {
  void operator()(FcFontSet* s) const { FcFontSetDestroy(s); }
};
struct ObjectSetDeleter {
  void operator()(FcObjectSet* s) const { FcObjectSetDestroy(s); }
};
using Pattern = std::unique_ptr<FcPattern, PatternDeleter>;

bool FontconfigReady() {
  static const bool ready = FcInit() == FcTrue;
  return ready;
}

// The position of `wanted` among the values of `object` (compared ignoring
// ASCII case), or -1; *name gets the value as the font spells it.
int NameIndex(FcPattern* font, const char* object, const std::string& wanted, std::string* name) {
  const std::string lower = textutil::Lower(wanted);
  FcChar8* value = nullptr;
  for (int i = 0; FcPatternGetString(font, object, i, &value) == FcResultMatch; ++i) {
    const std::string text(reinterpret_cast<const char*>(value));
    if (textutil::Lower(text) == lower) {
      *name = text;
      return i;
    }
  }
  return -1;
}

// The best match of the machine's fonts for `pattern` (which this fills in
// with the configuration's defaults), its names and file in *out. With
// `mustHave` (not 0), a match without a glyph for it does not count.
bool BestMatch(FcPattern* pattern, char32_t mustHave, ResolvedFont* out) {
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  Pattern match(FcFontMatch(nullptr, pattern, &result));
  FcChar8* path = nullptr;
  if (!match || FcPatternGetString(match.get(), FC_FILE, 0, &path) != FcResultMatch) return false;
  FcCharSet* covered = nullptr;
  if (mustHave && (FcPatternGetCharSet(match.get(), FC_CHARSET, 0, &covered) != FcResultMatch ||
                   !FcCharSetHasChar(covered, static_cast<FcChar32>(mustHave))))
    return false;
  FcChar8* name = nullptr;
  out->family = FcPatternGetString(match.get(), FC_FAMILY, 0, &name) == FcResultMatch
                    ? reinterpret_cast<const char*>(name)
                    : "";
  out->style = FcPatternGetString(match.get(), FC_STYLE, 0, &name) == FcResultMatch
                   ? reinterpret_cast<const char*>(name)
                   : "";
  out->files.assign(1, reinterpret_cast<const char*>(path));
  out->faceIndex = 0;
  FcPatternGetInteger(match.get(), FC_INDEX, 0, &out->faceIndex);
  out->overridden = false;
  return true;
}

// A pattern asking for `family` in `style` (either may be empty).
Pattern NamePattern(const std::string& family, const std::string& style) {
  Pattern pattern(FcPatternCreate());
  if (!family.empty())
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  if (!style.empty())
    FcPatternAddString(pattern.get(), FC_STYLE, reinterpret_cast<const FcChar8*>(style.c_str()));
  return pattern;
}

}  // namespace

bool FontResolver::Resolve(const Document* doc, const std::string& family, const std::string& style,
                           ResolvedFont* out) const {
  if (family.empty()) return false;
  if (doc) {
    if (const FontOverride* font = doc->FindFontOverride(family, style)) {
      out->family = font->family;
      out->style = font->style;
      out->files.clear();
      for (const std::string& file : font->files) out->files.push_back(doc->ResolvePath(file));
      out->faceIndex = 0;
      out->overridden = true;
      return true;
    }
  }
  if (!FontconfigReady()) return false;
  Pattern pattern(FcPatternCreate());
  FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  std::unique_ptr<FcObjectSet, ObjectSetDeleter> objects(
      FcObjectSetBuild(FC_FAMILY, FC_STYLE, FC_FILE, FC_INDEX, nullptr));
  std::unique_ptr<FcFontSet, FontSetDeleter> fonts(
      FcFontList(nullptr, pattern.get(), objects.get()));
  if (!fonts) return false;
  // The best font names the family and style earliest among its names (a
  // condensed face lists the plain family too, but not first as its style).
  int bestScore = INT_MAX;
  for (int i = 0; i < fonts->nfont; ++i) {
    FcPattern* font = fonts->fonts[i];
    std::string familyName, styleName;
    const int f = NameIndex(font, FC_FAMILY, family, &familyName);
    const int s = NameIndex(font, FC_STYLE, style, &styleName);
    FcChar8* file = nullptr;
    if (f < 0 || s < 0 || FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) continue;
    int index = 0;
    FcPatternGetInteger(font, FC_INDEX, 0, &index);
    const std::string path(reinterpret_cast<const char*>(file));
    const int score = f + s;
    if (score < bestScore || (score == bestScore && path < out->files.front())) {
      bestScore = score;
      out->family = familyName;
      out->style = styleName;
      out->files.assign(1, path);
      out->faceIndex = index;
      out->overridden = false;
    }
  }
  return bestScore != INT_MAX;
}

bool FontResolver::ClosestMachineFont(const std::string& family, const std::string& style,
                                      ResolvedFont* out) const {
  if (!FontconfigReady()) return false;
  Pattern pattern = NamePattern(family, style);
  return BestMatch(pattern.get(), 0, out);
}

bool FontResolver::MachineFontFor(char32_t c, const std::string& family, const std::string& style,
                                  ResolvedFont* out) const {
  if (!FontconfigReady()) return false;
  Pattern pattern = NamePattern(family, style);
  FcCharSet* wanted = FcCharSetCreate();
  FcCharSetAddChar(wanted, static_cast<FcChar32>(c));
  FcPatternAddCharSet(pattern.get(), FC_CHARSET, wanted);
  FcCharSetDestroy(wanted);
  // The match prefers fonts that cover the character but may give one
  // that does not.
  return BestMatch(pattern.get(), c, out);
}

}  // namespace standin
