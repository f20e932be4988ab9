// One keyboard event as the host hands it to a widget's event handler. The
// event belongs to the host and lives for the duration of the call.
#pragma once

#include "BaseTypes.h"
#include "VirtualKey.h"

class IEvent {
 public:
  enum EventType : int32 { kKeyDown = 0, kKeyUp = 1 };
  enum SystemHandledState : int32 {
    kNotHandled = 0,
    kHandledByPlugIn = 1,  // a handler consumed the event; the host does nothing more with it
    kHandledBySystem = 2,
  };

  // The first state query: true while the command (control) modifier is
  // held. Such keystrokes are shortcuts.
  virtual bool16 CmdKeyDown() const = 0;
  virtual bool16 ShiftKeyDown() const = 0;
  virtual bool16 OptionAltKeyDown() const = 0;
  virtual EventType GetType() const = 0;
  // The pressed key.
  virtual VirtualKey GetVirtualKey() const = 0;
  virtual void SetSystemHandledState(SystemHandledState state) = 0;
  virtual SystemHandledState GetSystemHandledState() const = 0;

 protected:
  ~IEvent() = default;
};
