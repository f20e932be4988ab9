// A dialog service provider's creator (the preferences dialog's provider
// carries one).
#pragma once

#include "IDialog.h"
#include "IPMUnknown.h"
#include "WidgetInterfaceIDs.h"

class IDialogCreator : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IDIALOGCREATOR };
  // A new, closed dialog owned by the host (see IDialog.h), or null.
  virtual IDialog* CreateDialog() = 0;
  virtual ~IDialogCreator() = default;
};
