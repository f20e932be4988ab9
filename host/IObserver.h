// An observer: receives the changes of the subjects it is attached to. The
// host calls AutoAttach when the observer's widget, panel or dialog is shown
// and AutoDetach when it is hidden or closed.
// Called on the host's user-interface thread only; no exception may escape (host/README.md).
#pragma once

#include "HostInterfaceIDs.h"
#include "IPMUnknown.h"
#include "WidgetInterfaceIDs.h"

class ISubject;
// Data of a lazy (deferred) notification; opaque to observers.
class LazyNotificationData;

class IObserver : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IOBSERVER };

  // One change of `theSubject`: `theChange` is the change message,
  // `protocol` the interface the observer attached for, `changedBy` data of
  // the change (for selection messages an ISelectionMessage*; else usually
  // null).
  virtual void Update(const ClassID& theChange, ISubject* theSubject, const PMIID& protocol,
                      void* changedBy) = 0;
  // Attaches to (detaches from) the subjects the observer watches.
  virtual void AutoAttach() = 0;
  virtual void AutoDetach() = 0;
  // The interface under which the observer sits on its boss.
  virtual void SetAttachIID(const PMIID& iid) = 0;
  virtual PMIID GetAttachIID() const = 0;
  // A disabled observer is skipped by the subjects it is attached to.
  virtual void SetEnabled(bool16 enabled) = 0;
  virtual bool16 IsEnabled() const = 0;
  // A deferred notification; a host that sends none never calls it.
  virtual void LazyUpdate(ISubject* theSubject, const PMIID& protocol,
                          const LazyNotificationData* data) = 0;

  virtual ~IObserver() = default;
};
