#include "ui/template_dialog_controller.h"

#include "plugin/ImplRegistry.h"
#include "plugin/OslID.h"

static osl::RegisterImplementation<OslDialogController> gRegisterOslDialogController(
    kOslDialogControllerImpl);

OslDialogController::OslDialogController(IPMUnknown* boss) : CDialogController(boss) {}

OslDialogController::~OslDialogController() = default;
