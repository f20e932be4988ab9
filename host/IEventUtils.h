// The host's keyboard utility (reached through UtilsBoss::QueryUtils): the
// feedback for a keystroke an edit-box filter refuses (what the user sees or
// hears is the host's).
#pragma once

#include "IEvent.h"
#include "IPMUnknown.h"
#include "WidgetInterfaceIDs.h"

class IEventUtils : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IEVENTUTILS };
  // Gives the host's feedback for the refused keystroke `event` (null is
  // ignored). The event is not changed.
  virtual void RefuseKeyStroke(IEvent* event) = 0;
  virtual ~IEventUtils() = default;
};
