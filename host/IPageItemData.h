// Interfaces that tell page items apart.
#pragma once

#include "HostInterfaceIDs.h"
#include "IPMUnknown.h"
#include "UIDRef.h"

// Present only on guides, the kind of item that is never a field.
class IGuideData : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IGUIDEDATA };
  virtual ~IGuideData() = default;
};

// On frames: names the object that holds the frame's content.
class IGraphicFrameData : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IGRAPHICFRAMEDATA };
  // UID of the text content object, or kInvalidUID when the frame holds no text.
  virtual UID GetTextContentUID() const = 0;
  virtual ~IGraphicFrameData() = default;
};

// On a frame's text content: the story it shows.
class IMultiColumnItemData : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IMULTICOLUMNITEMDATA };
  // UID of the story (text model), or kInvalidUID.
  virtual UID GetTextModelUID() const = 0;
  virtual ~IMultiColumnItemData() = default;
};
