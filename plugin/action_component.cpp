#include "plugin/action_component.h"

#include "plugin/impl_registry.h"
#include "plugin/osl_id.h"
#include "plugin/publish_actions.h"

static osl::RegisterImplementation<OslActionComponent> gRegisterOslActionComponent(
    kOslActionComponentImpl);

OslActionComponent::OslActionComponent(IPMUnknown* boss) : CActionComponent(boss) {}

OslActionComponent::~OslActionComponent() = default;

void OslActionComponent::UpdateActionStates(IActiveContext* context, IActionStateList* list,
                                            PMPoint mousePoint, IPMUnknown* widget) {
  CActionComponent::UpdateActionStates(context, list, mousePoint, widget);
  UpdatePublishActionStates(list);
}

void OslActionComponent::DoAction(IActiveContext* context, ActionID action, PMPoint mousePoint,
                                  IPMUnknown* widget) {
  if (RunPublishAction(action)) return;
  CActionComponent::DoAction(context, action, mousePoint, widget);
}
