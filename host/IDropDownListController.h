// The selection of a drop-down list.
#pragma once

#include "IPMUnknown.h"
#include "WidgetInterfaceIDs.h"

class IDropDownListController : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IDROPDOWNLISTCONTROLLER };
  static constexpr int32 kNoSelection = -1;

  // Selects the entry at `index`. A position outside the list (including
  // one past its last entry) leaves nothing selected. With `notifyOfChange`
  // the widget's subject sends kPopupChangeStateMessage under
  // IID_ISTRINGLISTCONTROLDATA, the protocol observers of a list attach to,
  // also when the selection did not change.
  virtual void Select(int32 index, bool16 invalidate = true, bool16 notifyOfChange = true) = 0;
  // Leaves nothing selected; notifies like Select.
  virtual void Deselect(bool16 invalidate = true, bool16 notifyOfChange = true) = 0;
  // The selected position, or kNoSelection.
  virtual int32 GetSelected() const = 0;
  virtual bool16 IsSelected(int32 index) const = 0;

  virtual ~IDropDownListController() = default;
};
