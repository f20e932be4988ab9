// The on/off data of a button. Buttons are momentary: selecting one is
// pressing it, and it reads as not selected again at once.
#pragma once

#include "IPMUnknown.h"
#include "WidgetInterfaceIDs.h"

class IBooleanControlData : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IBOOLEANCONTROLDATA };

  // Presses the button: with `notifyOfChange` its subject sends
  // kTrueStateMessage under IID_IBOOLEANCONTROLDATA.
  virtual void Select(bool16 invalidate = true, bool16 notifyOfChange = true) = 0;
  // Releases it: with `notifyOfChange` sends kFalseStateMessage.
  virtual void Deselect(bool16 invalidate = true, bool16 notifyOfChange = true) = 0;
  // Always false for a momentary button.
  virtual bool16 IsSelected() const = 0;

  virtual ~IBooleanControlData() = default;
};
