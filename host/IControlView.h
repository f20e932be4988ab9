// The view of one widget (every widget boss carries it): its identifier,
// enable state and visibility. The redraw flags ask the host to redraw the
// widget; they change nothing of its state.
#pragma once

#include "IPMUnknown.h"
#include "WidgetInterfaceIDs.h"

class IControlView : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ICONTROLVIEW };

  // The widget's identifier (kInvalidWidgetID for widgets without one).
  virtual WidgetID GetWidgetID() const = 0;

  // Enable state of the widget itself. A widget inside a disabled panel
  // keeps its own state but cannot be operated by the user.
  virtual void Enable(bool16 enable = true, bool16 invalidate = true) = 0;
  virtual void Disable(bool16 invalidate = true) = 0;
  virtual bool16 IsEnabled() const = 0;

  // Visibility of the widget itself (same rule as the enable state).
  virtual void Show(bool16 doShow = true) = 0;
  virtual void Hide() = 0;
  virtual bool16 IsVisible() const = 0;

  virtual ~IControlView() = default;
};
