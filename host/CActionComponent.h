// Menu actions: the host calls an action component with the identifier of
// the menu item the user picked, and asks it for the states of the items it
// enables itself before showing a menu.
// Called on the host's user-interface thread only; no exception may escape (host/README.md).
#pragma once

#include "BaseTypes.h"
#include "CPMUnknown.h"
#include "HostInterfaceIDs.h"
#include "PMGeometry.h"

class IActiveContext;

// States of menu items: the host's list handed to the state update.
constexpr int16 kDisabled_Unselected = 0;
constexpr int16 kEnabledAction = 1;

class IActionStateList {
 public:
  virtual int32 Length() const = 0;
  virtual ActionID GetNthAction(int32 n) const = 0;
  virtual int16 GetNthActionState(int32 n) const = 0;
  virtual void SetNthActionState(int32 n, int16 state) = 0;

 protected:
  ~IActionStateList() = default;
};

class IActionComponent : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IACTIONCOMPONENT };
  // Sets the states of the entries of `list` the component enables itself;
  // other entries are left as the host supplied them.
  virtual void UpdateActionStates(IActiveContext* context, IActionStateList* list,
                                  PMPoint mousePoint, IPMUnknown* widget) = 0;
  // Runs the action `action`.
  virtual void DoAction(IActiveContext* context, ActionID action, PMPoint mousePoint,
                        IPMUnknown* widget) = 0;
  virtual ~IActionComponent() = default;
};

// Base of plug-in action components: does nothing for any action.
class CActionComponent : public CPMUnknown<IActionComponent> {
 public:
  explicit CActionComponent(IPMUnknown* boss) : CPMUnknown(boss) {}
  void UpdateActionStates(IActiveContext*, IActionStateList*, PMPoint, IPMUnknown*) override {}
  void DoAction(IActiveContext*, ActionID, PMPoint, IPMUnknown*) override {}
};
