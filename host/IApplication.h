// The application (on the session boss).
#pragma once

#include "IDialogMgr.h"
#include "IPMUnknown.h"
#include "IPanelMgr.h"
#include "WidgetInterfaceIDs.h"

class IApplication : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IAPPLICATION };
  // The dialog manager with a reference added, or null.
  virtual IDialogMgr* QueryDialogMgr() const = 0;
  // The panel manager with a reference added, or null.
  virtual IPanelMgr* QueryPanelManager() const = 0;
  virtual ~IApplication() = default;
};
