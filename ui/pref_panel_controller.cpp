#include "ui/pref_panel_controller.h"

#include "plugin/ImplRegistry.h"
#include "plugin/OslID.h"

static osl::RegisterImplementation<COslPrefPanelController> gRegisterCOslPrefPanelController(
    kOslPrefPanelControllerImpl);

COslPrefPanelController::COslPrefPanelController(IPMUnknown* boss) : CDialogController(boss) {}

COslPrefPanelController::~COslPrefPanelController() = default;
