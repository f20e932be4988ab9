// Fonts: resolving a family and style to a font and the files it comes from.
#pragma once

#include "HostInterfaceIDs.h"
#include "IDFile.h"
#include "IPMUnknown.h"
#include "PMString.h"

class IPMFont : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IPMFONT };
  // The font's name as the host shows it (such as "DejaVu Sans Bold").
  virtual PMString GetFontName() const = 0;
  // Appends the files the font comes from, main file first. A font the
  // host may not hand out (a protected font) has none.
  virtual void GetFontFiles(K2Vector<IDFile>* files) const = 0;
  virtual ~IPMFont() = default;
};

// Font utilities (UtilsBoss::QueryUtils).
class IFontMgr : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IFONTMGR };
  // The font of `family` in `style` (both compared ignoring case) with a
  // reference added, or null when the host knows no such family in that
  // style. `document` (any interface of a document; null: the machine's
  // fonts only) may say where its fonts come from, and then it wins.
  virtual IPMFont* QueryFont(const IPMUnknown* document, const PMString& family,
                             const PMString& style) const = 0;
  // True when `file` holds a font the host can draw with: a regular file
  // whose first face opens and has glyphs. False for a file that is
  // missing, empty, cut short, damaged or not a font, and for anything but
  // a regular file (a FIFO or device is refused without waiting on it).
  virtual bool16 IsUsableFontFile(const IDFile& file) const = 0;
  virtual ~IFontMgr() = default;
};
