// Stories and the text attributes in force at a character.
#pragma once

#include "HostInterfaceIDs.h"
#include "IPMUnknown.h"
#include "PMString.h"

// A colour as text or a stroke uses it.
struct ColorInfo {
  enum Kind : int32 { kProcess = 0, kSpot = 1 };
  Kind kind = kProcess;
  PMString name;  // the swatch's name; empty for an unnamed colour
  // Process components: cyan, magenta, yellow and black, each 0 to 1 (a
  // spot colour gives its process equivalent).
  PMReal c = 0, m = 0, y = 0, k = 0;
};

// The attributes in force at one character of a story. Every getter answers
// false (and leaves its output alone) when the story does not carry that
// attribute at the character.
class ITextAttributes : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ITEXTATTRIBUTES };
  enum Alignment : int32 {
    kAlignLeft = 0,
    kAlignCenter = 1,
    kAlignRight = 2,
    kAlignJustify = 3,
  };
  virtual bool16 GetFontFamily(PMString* family) const = 0;
  virtual bool16 GetFontStyle(PMString* style) const = 0;
  virtual bool16 GetPointSize(PMReal* points) const = 0;
  virtual bool16 GetFillColor(ColorInfo* color) const = 0;
  // The fill tint in percent, or -1 when the run has none.
  virtual bool16 GetFillTint(PMReal* percent) const = 0;
  // Tracking as a fraction of an em (-0.01 = -10/1000 em).
  virtual bool16 GetTracking(PMReal* tracking) const = 0;
  virtual bool16 GetLeading(PMReal* points) const = 0;
  virtual bool16 GetUnderline(bool16* underline) const = 0;
  virtual bool16 GetParagraphAlignment(Alignment* alignment) const = 0;
  // Horizontal and vertical scale as fractions (1 = 100 %).
  virtual bool16 GetHorizontalScale(PMReal* scale) const = 0;
  virtual bool16 GetVerticalScale(PMReal* scale) const = 0;
  virtual ~ITextAttributes() = default;
};

// On a story (the UID IMultiColumnItemData names): its text, which always
// ends with the story's closing end-of-story character (U+000D).
class ITextModel : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ITEXTMODEL };
  // The number of characters (UTF-32), the end-of-story character included.
  virtual int32 TotalLength() const = 0;
  // Appends the characters [start, start + count) to `text` (clamped to the
  // story).
  virtual void GetText(int32 start, int32 count, std::u32string* text) const = 0;
  // The attributes in force at character `index` with a reference added, or
  // null outside the story.
  virtual ITextAttributes* QueryAttributesAt(int32 index) const = 0;
  virtual ~ITextModel() = default;
};

// On a text frame (the page item): how the frame places its text.
class ITextFrameOptions : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ITEXTFRAMEOPTIONS };
  enum VerticalJustification : int32 {
    kTopAlign = 0,
    kCenterAlign = 1,
    kBottomAlign = 2,
    kJustifyAlign = 3,
  };
  virtual VerticalJustification GetVerticalJustification() const = 0;
  virtual ~ITextFrameOptions() = default;
};
