// Base of observers: keeps the attach identifier and the enabled flag. Its
// Update, AutoAttach, AutoDetach and LazyUpdate do nothing; derived
// observers override what they watch. When destroyed it is detached from
// every subject it is still attached to.
#pragma once

#include "CPMUnknown.h"
#include "IObserver.h"

class CObserver : public CPMUnknown<IObserver> {
 public:
  explicit CObserver(IPMUnknown* boss, PMIID attachIID = IID_IOBSERVER);
  ~CObserver() override;

  void Update(const ClassID& theChange, ISubject* theSubject, const PMIID& protocol,
              void* changedBy) override;
  void AutoAttach() override;
  void AutoDetach() override;
  void SetAttachIID(const PMIID& iid) override { attachIID_ = iid; }
  PMIID GetAttachIID() const override { return attachIID_; }
  void SetEnabled(bool16 enabled) override { enabled_ = enabled ? 1 : 0; }
  bool16 IsEnabled() const override { return enabled_; }
  void LazyUpdate(ISubject* theSubject, const PMIID& protocol,
                  const LazyNotificationData* data) override;

 private:
  PMIID attachIID_;
  bool16 enabled_ = 1;
};
