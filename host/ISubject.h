// The change notifier of a widget (or of another host object, such as the
// active selection). Observers attach for one protocol, the identifier of
// the data interface whose changes they want; Change calls the Update of
// every enabled observer attached for its protocol.
//
// The subject holds no reference on its observers. An observer derived from
// CObserver is detached from every subject when it is destroyed; any other
// observer must detach itself before it goes away.
#pragma once

#include "HostInterfaceIDs.h"
#include "IPMUnknown.h"
#include "WidgetInterfaceIDs.h"

class IObserver;

class ISubject : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ISUBJECT };

  // Attaches `observer` for changes of `protocol`; `asObserverIID` is the
  // interface under which the observer sits on its boss. Returns true when
  // attached now, false for a null observer or when the same (observer,
  // protocol, asObserverIID) is attached already (it is never attached twice).
  virtual bool16 AttachObserver(IObserver* observer, PMIID protocol,
                                PMIID asObserverIID = IID_IOBSERVER) = 0;
  // Returns true when that attachment existed and is removed.
  virtual bool16 DetachObserver(IObserver* observer, PMIID protocol,
                                PMIID asObserverIID = IID_IOBSERVER) = 0;
  virtual bool16 IsAttached(IObserver* observer, PMIID protocol,
                            PMIID asObserverIID = IID_IOBSERVER) const = 0;

  // Calls Update(theChange, this subject, protocol, changedBy) on every
  // enabled observer attached for `protocol`, in the order they attached.
  // Observers may attach and detach during the call; one detached before its
  // turn is not called. A host may drop notifications nested deeper than
  // its limit instead of recursing without end.
  virtual void Change(ClassID theChange, PMIID protocol, void* changedBy = nullptr) = 0;

  virtual ~ISubject() = default;
};
