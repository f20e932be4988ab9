// The host's panel manager (IApplication::QueryPanelManager): the panels
// plug-ins add to the host's window.
#pragma once

#include "IControlView.h"
#include "IPMUnknown.h"
#include "WidgetInterfaceIDs.h"

class IPanelMgr : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IPANELMGR };
  // The panel whose top widget has identifier `panelWidgetID` (built or
  // not, shown or not), or null. No reference is added; the panel lives as
  // long as the host.
  virtual IControlView* GetPanelFromWidgetID(WidgetID panelWidgetID) const = 0;
  virtual ~IPanelMgr() = default;
};
