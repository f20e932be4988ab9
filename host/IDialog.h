// A dialog made from a view resource (on the dialog's boss, which also
// carries the dialog's top panel: IPanelControlData, IControlView and the
// controller and observer the resource binds to it).
//
// The host owns every dialog. A closed dialog is destroyed when the host
// next creates a dialog or returns to its command loop, so a caller must not
// keep the pointer beyond the operation that opened the dialog.
#pragma once

#include "IControlView.h"
#include "IPMUnknown.h"
#include "WidgetInterfaceIDs.h"

class IDialog : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IDIALOG };
  enum DialogType : int32 { kMovableModal = 0, kModeless = 1 };
  enum Result : int32 { kNoResult = 0, kOK = 1, kCancelled = 2 };

  // Opens the dialog: every controller in it gets InitializeDialog with the
  // active context (front document and selection), then every observer in it
  // AutoAttach. Does nothing when the dialog is open.
  virtual void Open() = 0;
  // Closes the dialog: observers AutoDetach, controllers DialogClosing. Does
  // nothing when it is closed.
  virtual void Close() = 0;
  // Runs the dialog until the user closes it (opening it first when needed)
  // and answers how it ended; Wait always returns with the dialog closed.
  virtual Result Wait() = 0;
  virtual bool16 IsOpen() const = 0;
  // kOK after an applied OK, kCancelled after any other close, kNoResult
  // before the first close.
  virtual Result GetResult() const = 0;
  // The dialog's top panel; no reference is added.
  virtual IControlView* GetDialogPanel() const = 0;
  virtual DialogType GetDialogType() const = 0;

  virtual ~IDialog() = default;
};
