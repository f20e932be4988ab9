#include "ui/pref_panel_controller.h"

#include "plugin/impl_registry.h"
#include "plugin/osl_id.h"

static osl::RegisterImplementation<COslPrefPanelController> gRegisterCOslPrefPanelController(
    kOslPrefPanelControllerImpl);

COslPrefPanelController::COslPrefPanelController(IPMUnknown* boss) : CDialogController(boss) {}

COslPrefPanelController::~COslPrefPanelController() = default;
