#include "ui/template_dialog_controller.h"

#include "plugin/impl_registry.h"
#include "plugin/osl_id.h"

static osl::RegisterImplementation<OslDialogController> gRegisterOslDialogController(
    kOslDialogControllerImpl);

OslDialogController::OslDialogController(IPMUnknown* boss) : CDialogController(boss) {}

OslDialogController::~OslDialogController() = default;
