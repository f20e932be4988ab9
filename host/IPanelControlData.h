// The widgets of a panel (dialogs, panels and nested panel widgets carry
// it). The panel owns its widgets; pointers it hands out carry no reference
// and stay valid as long as the panel exists.
#pragma once

#include "IControlView.h"
#include "IPMUnknown.h"
#include "WidgetInterfaceIDs.h"

class IPanelControlData : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IPANELCONTROLDATA };

  // The first widget with identifier `id` in tree order (each widget before
  // the widgets nested in it), among the panel's own widgets and the widgets
  // of nested panels down to `depth` levels below them: depth 0 searches only
  // the panel's own widgets, depth 1 also those of its nested panels, and so
  // on. Hidden and disabled widgets are found too. Null when there is none,
  // when `id` is kInvalidWidgetID or `depth` is negative. The panel itself
  // never matches.
  virtual IControlView* FindWidget(WidgetID id, int32 depth = 0) const = 0;

  // The panel's own widgets, in order. GetWidget answers null outside
  // 0..Length()-1.
  virtual int32 Length() const = 0;
  virtual IControlView* GetWidget(int32 index) const = 0;

  virtual ~IPanelControlData() = default;
};
