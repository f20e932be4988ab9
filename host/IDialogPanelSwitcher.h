// The panel list of a dialog made of panels (the preferences dialog's
// kPreferencesPanelListWidgetID carries it): one panel shows at a time.
#pragma once

#include "IPMUnknown.h"
#include "WidgetInterfaceIDs.h"

class IDialogPanelSwitcher : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IDIALOGPANELSWITCHER };
  // Shows the panel whose widget identifier is `panelID` and hides the
  // others. False (and nothing changes) when the list has no such panel.
  virtual bool16 SwitchDialogPanelByID(WidgetID panelID) = 0;
  // The panel showing (kInvalidWidgetID when the list is empty).
  virtual WidgetID GetSelectedPanelID() const = 0;
  virtual int32 GetPanelCount() const = 0;
  // The panel at `index` in list order; kInvalidWidgetID outside the list.
  virtual WidgetID GetPanelID(int32 index) const = 0;
  virtual ~IDialogPanelSwitcher() = default;
};
