// The host's font utility (IFontMgr on the session boss) and its font
// objects (IPMFont).
#pragma once

#include "standin/core/boss.h"
#include "standin/fonts/font_resolver.h"

namespace standin {

// Adds IFontMgr to the session boss. Fonts are resolved through `resolver`
// (which must outlive the session boss); the font objects it hands out
// live as long as the session boss. Font files are checked with FreeType
// (font_file.h).
void AddFontManager(Boss& session, const FontResolver& resolver);

}  // namespace standin
