// What a page item looks like: placed files, stroke, opacity.
#pragma once

#include "HostInterfaceIDs.h"
#include "IDFile.h"
#include "IPMUnknown.h"
#include "ITextModel.h"

// On the document boss: the files placed in the document.
class ILinkManager : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ILINKMANAGER };
  // The full path of the file placed as object `placed` (the image a
  // graphic frame holds as its first child). False when it holds none.
  virtual bool16 GetLinkedFile(UID placed, IDFile* file) const = 0;
  virtual ~ILinkManager() = default;
};

// On page items that have a graphic style: their stroke.
class IGraphicStyle : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IGRAPHICSTYLE };
  // Stroke weight in points (0: no stroke).
  virtual PMReal GetStrokeWeight() const = 0;
  // The stroke colour; false when the stroke has none the host can name.
  virtual bool16 GetStrokeColor(ColorInfo* color) const = 0;
  virtual ~IGraphicStyle() = default;
};

// On page items with an opacity attribute.
class IOpacity : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IOPACITY };
  // Opacity in percent (0 to 100).
  virtual PMReal GetOpacity() const = 0;
  virtual ~IOpacity() = default;
};
