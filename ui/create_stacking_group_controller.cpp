#include "ui/create_stacking_group_controller.h"

#include "plugin/impl_registry.h"
#include "plugin/osl_id.h"

static osl::RegisterImplementation<CreateStackingGroupController>
    gRegisterCreateStackingGroupController(kCreateStackingGroupControllerImpl);

CreateStackingGroupController::CreateStackingGroupController(IPMUnknown* boss)
    : CDialogController(boss) {}

CreateStackingGroupController::~CreateStackingGroupController() = default;
