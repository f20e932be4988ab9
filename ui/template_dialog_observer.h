// Observer of the template properties dialog (view 250): the dialog's OK and
// Cancel take the host's standard path through it.
#pragma once

#include "host/CDialogObserver.h"

class OslDialogObserver : public CDialogObserver {
 public:
  explicit OslDialogObserver(IPMUnknown* boss);
  ~OslDialogObserver() override;
};
