// Base of dialog observers: the host's standard OK and Cancel behaviour.
// AutoAttach attaches to the OK and Cancel buttons of the observer's own
// panel (at any depth; a panel without them attaches nothing) for
// IID_IBOOLEANCONTROLDATA. Update, on a press of OK, asks the dialog's
// controller to validate: kDefaultWidgetId applies (ApplyDialog with the OK
// button's identifier) and closes the dialog; any other identifier keeps it
// open, gives that widget the focus and is reported by the host. A press of
// Cancel tells the controller (UserCancelled) and closes without applying.
// The controller is the one on the observer's boss, else the dialog's; a
// dialog without one closes on OK with nothing applied.
// Called on the host's user-interface thread only; no exception may escape (host/README.md).
#pragma once

#include "CObserver.h"

class CDialogObserver : public CObserver {
 public:
  explicit CDialogObserver(IPMUnknown* boss, PMIID attachIID = IID_IOBSERVER);
  ~CDialogObserver() override;

  void Update(const ClassID& theChange, ISubject* theSubject, const PMIID& protocol,
              void* changedBy) override;
  void AutoAttach() override;
  void AutoDetach() override;

  // Closes the dialog that holds the observer's panel (does nothing when it
  // is closed already or the panel is in no dialog).
  virtual void CloseDialog();
  // The end-of-dialog step CloseDialog runs: the dialog closes, its
  // observers are detached and its controller is told.
  virtual void FireOffEndDialogCmd();
};
