// A panel's creator: tells the host which view resource makes the panel and
// under which services it is shown (for instance as a panel of the
// preferences dialog). CPanelCreator implements every operation.
// Called on the host's user-interface thread only; no exception may escape (host/README.md).
#pragma once

#include "HostInterfaceIDs.h"
#include "IControlView.h"
#include "IPMUnknown.h"
#include "IPanelControlData.h"
#include "WidgetInterfaceIDs.h"

class IPanelCreator : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IPANELCREATOR };

  // Builds the panel as a panel of the session (outside any dialog). Returns
  // its view, owned by the host, or null when the view resource is missing.
  virtual IControlView* CreatePanel() = 0;
  // Builds the panel into `parent` (a dialog's panel list). Returns its view,
  // owned by `parent`, or null when `parent` is null or the view resource is
  // missing.
  virtual IControlView* CreatePanelForDialog(IPanelControlData* parent) = 0;
  // Appends the services the panel is shown under.
  virtual void GetServiceIDs(K2Vector<ServiceID>& serviceIDs) const = 0;
  // The panel's resource identifier (0 when it has none).
  virtual RsrcID GetPanelRsrcID() const = 0;
  // True when the host shows the panel as soon as CreatePanel built it.
  virtual bool16 AutoShowPanel() const = 0;
  virtual ~IPanelCreator() = default;
  // The view resource the panel is built from.
  virtual RsrcID GetPanelViewRsrcID() const = 0;
};
