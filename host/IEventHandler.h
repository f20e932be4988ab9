// The event handler of a widget (on the widget's boss): the host passes the
// widget's keyboard and pointer events to it. Every handler answers true
// when it consumed the event, false to let the host go on with it.
// Called on the host's user-interface thread only; no exception may escape (host/README.md).
#pragma once

#include "HostInterfaceIDs.h"
#include "IControlView.h"
#include "IEvent.h"
#include "IPMUnknown.h"

class IEventHandler : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IEVENTHANDLER };

  virtual bool16 Activate(IEvent* e) = 0;
  virtual bool16 Deactivate(IEvent* e) = 0;
  virtual void Suspend(IEvent* e) = 0;
  virtual void Resume(IEvent* e) = 0;
  virtual bool16 MouseMove(IEvent* e) = 0;
  virtual bool16 MouseExit(IEvent* e) = 0;
  virtual bool16 MouseDrag(IEvent* e) = 0;
  virtual bool16 LButtonDn(IEvent* e) = 0;
  virtual bool16 RButtonDn(IEvent* e) = 0;
  virtual bool16 MButtonDn(IEvent* e) = 0;
  virtual bool16 LButtonUp(IEvent* e) = 0;
  virtual bool16 RButtonUp(IEvent* e) = 0;
  virtual bool16 MButtonUp(IEvent* e) = 0;
  virtual bool16 ButtonDblClk(IEvent* e) = 0;
  virtual bool16 ButtonTrplClk(IEvent* e) = 0;
  virtual bool16 ButtonQuadClk(IEvent* e) = 0;
  virtual bool16 ButtonQuintClk(IEvent* e) = 0;
  virtual bool16 MouseWheel(IEvent* e) = 0;
  virtual bool16 TabletEvent(IEvent* e) = 0;
  virtual bool16 GestureEvent(IEvent* e) = 0;
  virtual bool16 MultiTouchEvent(IEvent* e) = 0;
  virtual bool16 ControlCmd(IEvent* e) = 0;
  // A key was pressed while the widget has the keyboard focus.
  virtual bool16 KeyDown(IEvent* e) = 0;
  // A key command (a character to insert, a shortcut) for the widget.
  virtual bool16 KeyCmd(IEvent* e) = 0;
  virtual bool16 KeyUp(IEvent* e) = 0;
  // Keyboard focus: the host asks before and tells after the widget gets or
  // gives up the focus.
  virtual bool16 PreGetKeyFocus(IEvent* e) = 0;
  virtual void PostGetKeyFocus(IEvent* e) = 0;
  virtual bool16 PreGiveUpKeyFocus(IEvent* e) = 0;
  virtual void PostGiveUpKeyFocus(IEvent* e) = 0;
  virtual bool16 WillingToGiveUpKeyFocus() = 0;
  virtual void SuspendKeyFocus() = 0;
  virtual void ResumeKeyFocus() = 0;
  virtual bool16 CanHaveKeyFocus() const = 0;
  virtual bool16 WantsTabKeyFocus() const = 0;
  // The widget the handler serves.
  virtual void SetView(IControlView* view) = 0;

  virtual ~IEventHandler() = default;
};
