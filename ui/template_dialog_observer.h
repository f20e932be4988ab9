// Observer of the template properties dialog (view 250): the dialog's OK and
// Cancel take the host's standard path through it, and nothing else.
#pragma once

#include "host/CDialogObserver.h"

class OslDialogObserver : public CDialogObserver {
 public:
  explicit OslDialogObserver(IPMUnknown* boss);
  ~OslDialogObserver() override;

  void Update(const ClassID& theChange, ISubject* theSubject, const PMIID& protocol,
              void* changedBy) override;
  void AutoAttach() override;
  void AutoDetach() override;
};
