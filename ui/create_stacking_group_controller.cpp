#include "ui/create_stacking_group_controller.h"

#include "plugin/ImplRegistry.h"
#include "plugin/OslID.h"

static osl::RegisterImplementation<CreateStackingGroupController>
    gRegisterCreateStackingGroupController(kCreateStackingGroupControllerImpl);

CreateStackingGroupController::CreateStackingGroupController(IPMUnknown* boss)
    : CDialogController(boss) {}

CreateStackingGroupController::~CreateStackingGroupController() = default;
