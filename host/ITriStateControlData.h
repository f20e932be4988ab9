// The state of a check box or radio button: clear, selected, or the third
// ("mixed") state.
#pragma once

#include "IPMUnknown.h"
#include "WidgetInterfaceIDs.h"

class ITriStateControlData : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ITRISTATECONTROLDATA };
  enum TriState : int32 { kUnselected = 0, kSelected = 1, kUnknown = 2 };

  // Each setter, with `notifyOfChange`, makes the widget's subject send
  // kFalseStateMessage, kTrueStateMessage or kUnknownStateMessage (after the
  // new state) under IID_ITRISTATECONTROLDATA, also when the state did not
  // change.
  virtual void Select(bool16 invalidate = true, bool16 notifyOfChange = true) = 0;
  virtual void Deselect(bool16 invalidate = true, bool16 notifyOfChange = true) = 0;
  virtual void SetUnknown(bool16 invalidate = true, bool16 notifyOfChange = true) = 0;
  // Values other than kUnselected and kSelected set the third state.
  virtual void SetState(TriState state, bool16 invalidate = true, bool16 notifyOfChange = true) = 0;

  virtual TriState GetState() const = 0;
  virtual bool16 IsSelected() const = 0;
  virtual bool16 IsDeselected() const = 0;
  virtual bool16 IsUnknown() const = 0;

  virtual ~ITriStateControlData() = default;
};
