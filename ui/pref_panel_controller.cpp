#include "ui/pref_panel_controller.h"

#include "plugin_base/entry_guard.h"
#include "plugin_base/impl_registry.h"
#include "plugin_base/osl_id.h"
#include "service_client/plugin_data.h"

static osl::RegisterImplementation<COslPrefPanelController> gRegisterCOslPrefPanelController(
    kOslPrefPanelControllerImpl);

COslPrefPanelController::COslPrefPanelController(IPMUnknown* boss) : CDialogController(boss) {}

COslPrefPanelController::~COslPrefPanelController() = default;

void COslPrefPanelController::InitializeDialogFields(IActiveContext* context) {
  CDialogController::InitializeDialogFields(context);
  osl::GuardedEntry("the dialog", [&] {
    OslPlugInData& data = GetOslPlugInData();
    data.LoadSettings();
    SetTextControlData(kOslUserWidgetID, data.user);
    SetTextControlData(kOslPasswordWidgetID, data.password);
    SetTextControlData(kOslServerWidgetID, data.server);
  });
}

WidgetID COslPrefPanelController::ValidateDialogFields(IActiveContext* context) {
  return osl::GuardedEntry("the dialog's check", kOKButtonWidgetID, [&] {
    const WidgetID result = CDialogController::ValidateDialogFields(context);
    OslPlugInData& data = GetOslPlugInData();
    data.user = GetTextControlData(kOslUserWidgetID);
    data.password = GetTextControlData(kOslPasswordWidgetID);
    data.server = GetTextControlData(kOslServerWidgetID);
    data.BuildEndpoints();
    data.SaveSettings();
    return result;
  });
}

void COslPrefPanelController::ApplyDialogFields(IActiveContext*, const WidgetID&) {}
