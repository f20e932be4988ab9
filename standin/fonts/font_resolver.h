// Where fonts come from: a document's override list first, then the
// machine's fonts through fontconfig.
#pragma once

#include <string>
#include <vector>

namespace standin {

class Document;

struct ResolvedFont {
  std::string family;  // as the font names itself
  std::string style;
  // Full paths, main file first; empty for a protected font.
  std::vector<std::string> files;
  int faceIndex = 0;        // the face inside files[0] (font collections)
  bool overridden = false;  // the document's override list gave the files
};

class FontResolver {
 public:
  // Resolves `family` in `style` (both compared ignoring case). The
  // override of `doc` (null: none) wins; otherwise the machine's font whose
  // names match best. False when neither knows the family in that style.
  bool Resolve(const Document* doc, const std::string& family, const std::string& style,
               ResolvedFont* out) const;

  // The machine's font closest to `family` in `style` (another family if
  // need be; empty names: the machine's default font), with its names as
  // the font gives them. False only when the machine has no font at all.
  bool ClosestMachineFont(const std::string& family, const std::string& style,
                          ResolvedFont* out) const;

  // A machine font that has a glyph for `c`, as close to `family` in
  // `style` as there is. False when no font of the machine has one.
  bool MachineFontFor(char32_t c, const std::string& family, const std::string& style,
                      ResolvedFont* out) const;
};

}  // namespace standin
