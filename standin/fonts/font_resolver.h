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

  // A font file to draw `family` in `style` with: the resolved font's main
  // file when it can be read, else the machine's closest match (another
  // family if need be). False only when the machine has no font at all.
  bool DrawingFace(const Document* doc, const std::string& family, const std::string& style,
                   std::string* file, int* faceIndex) const;
};

}  // namespace standin
