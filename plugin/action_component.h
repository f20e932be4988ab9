// The plug-in's menu actions: the single entry point of every user command
// (publishing, the stacking-group dialogs, the preferences) and the states
// of the menu items the plug-in enables itself.
#pragma once

#include "host/CActionComponent.h"

class OslActionComponent : public CActionComponent {
 public:
  explicit OslActionComponent(IPMUnknown* boss);
  void UpdateActionStates(IActiveContext* context, IActionStateList* list, PMPoint mousePoint,
                          IPMUnknown* widget) override;
  void DoAction(IActiveContext* context, ActionID action, PMPoint mousePoint,
                IPMUnknown* widget) override;
  ~OslActionComponent() override;
};
