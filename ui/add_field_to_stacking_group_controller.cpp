#include "ui/add_field_to_stacking_group_controller.h"

#include "plugin/impl_registry.h"
#include "plugin/osl_id.h"

static osl::RegisterImplementation<AddFieldToStackingGroupController>
    gRegisterAddFieldToStackingGroupController(kAddFieldToStackingGroupControllerImpl);

AddFieldToStackingGroupController::AddFieldToStackingGroupController(IPMUnknown* boss)
    : CDialogController(boss) {}

AddFieldToStackingGroupController::~AddFieldToStackingGroupController() = default;
