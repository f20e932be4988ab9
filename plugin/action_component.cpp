#include "plugin/action_component.h"

#include <cstdlib>

#include "host/IApplication.h"
#include "host/IDialogCreator.h"
#include "host/IDialogMgr.h"
#include "host/IDialogPanelSwitcher.h"
#include "host/IPanelControlData.h"
#include "host/IServiceRegistry.h"
#include "host/ISession.h"
#include "host/InterfacePtr.h"
#include "host/PersistUtils.h"
#include "host/Utils.h"
#include "model/selection_suite.h"
#include "model/tag_map.h"
#include "plugin/designer_actions.h"
#include "plugin/publish_actions.h"
#include "plugin_base/entry_guard.h"
#include "plugin_base/impl_registry.h"
#include "plugin_base/osl_id.h"
#include "service_client/plugin_data.h"

static osl::RegisterImplementation<OslActionComponent> gRegisterOslActionComponent(
    kOslActionComponentImpl);

namespace {

constexpr int32 kAnyDepth = 9999;

// Opens the plug-in's modal dialog made from view `rsrc` and waits until it
// closes; its controller does the work. Ends silently when the application,
// its dialog manager or the dialog is missing.
void RunModalDialog(RsrcID rsrc) {
  InterfacePtr<IApplication> application(GetExecutionContextSession(), IID_IAPPLICATION);
  if (!application) return;
  InterfacePtr<IDialogMgr> dialogs(application->QueryDialogMgr());
  if (!dialogs) return;
  const RsrcSpec spec(LocaleSetting::GetLocale(), kOslPluginID, kViewRsrcType, rsrc, 1);
  IDialog* dialog = dialogs->CreateNewDialog(spec, IDialog::kMovableModal);
  if (!dialog) return;
  GetOslPlugInData().dialogResult = 0;
  dialog->Open();
  dialog->Wait();
}

// Opens the host's preferences dialog showing the panel `panelID`. Ends
// silently (opening nothing) when the service, its dialog, the panel list or
// that panel is missing.
void OpenPreferencesOnPanel(WidgetID panelID) {
  InterfacePtr<IServiceRegistry> registry(GetExecutionContextSession(), IID_ISERVICEREGISTRY);
  if (!registry) return;
  InterfacePtr<IPMUnknown> provider(registry->QueryServiceProvider(kPreferencesDialogService));
  InterfacePtr<IDialogCreator> creator(provider.get(), IID_IDIALOGCREATOR);
  if (!creator) return;
  IDialog* dialog = creator->CreateDialog();
  if (!dialog) return;
  InterfacePtr<IPanelControlData> panel(dialog->GetDialogPanel(), IID_IPANELCONTROLDATA);
  IControlView* list =
      panel ? panel->FindWidget(kPreferencesPanelListWidgetID, kAnyDepth) : nullptr;
  InterfacePtr<IDialogPanelSwitcher> switcher(list, IID_IDIALOGPANELSWITCHER);
  if (!switcher || !switcher->SwitchDialogPanelByID(panelID)) return;
  dialog->Open();
}

// Whether the selected item can be put into a stacking group: a front
// document with at least one group, exactly one selected item (or a text
// selection), one tag coming back for it, and that tag naming a field.
bool CanAddSelectedFieldToGroup() {
  Utils<ILayoutUIUtils> layout;
  IDocument* document = layout ? layout->GetFrontDocument() : nullptr;
  if (!document) return false;
  TagMap data = ReadStringMap(GetUIDRef(document));
  if (ParseStringMap(data[tagkeys::kStackingGroups], PMString(tagkeys::kGroupSeparator)).empty())
    return false;
  Utils<ISelectionUtils> selectionUtils;
  ISelectionManager* selection = selectionUtils ? selectionUtils->GetActiveSelection() : nullptr;
  InterfacePtr<IOslSuite> suite(selection, IID_IOSLSUITE);
  if (!suite || std::abs(suite->GetSelectionKind()) != 1) return false;
  TagMap tag;
  return ReadSelectionStringMap(selection, &tag) && !tag[tagkeys::kFieldName].IsEmpty();
}

// Enables the add-field-to-group entries of `list` when the selection
// allows it; otherwise leaves them as the host supplied them.
void UpdateAddFieldToGroupState(IActionStateList* list) {
  bool checked = false;
  bool available = false;
  for (int32 n = 0; n < list->Length(); ++n) {
    if (list->GetNthAction(n) != kOslAddFieldToStackingGroupActionID) continue;
    if (!checked) {
      available = CanAddSelectedFieldToGroup();
      checked = true;
    }
    if (available) list->SetNthActionState(n, kEnabledAction);
  }
}

}  // namespace

OslActionComponent::OslActionComponent(IPMUnknown* boss) : CActionComponent(boss) {}

OslActionComponent::~OslActionComponent() = default;

void OslActionComponent::UpdateActionStates(IActiveContext*, IActionStateList* list, PMPoint,
                                            IPMUnknown*) {
  if (!list) return;
  osl::GuardedEntry("the menu's states", [list] {
    UpdateAddFieldToGroupState(list);
    UpdatePublishActionStates(list);
  });
}

void OslActionComponent::DoAction(IActiveContext*, ActionID action, PMPoint, IPMUnknown*) {
  osl::GuardedEntry("the menu action", [action] {
    if (RunPublishAction(action) || RunDesignerToolAction(action)) return;
    if (action == kOslCreateStackingGroupActionID) {
      RunModalDialog(kCreateStackingGroupDialogRsrcID);
    } else if (action == kOslAddFieldToStackingGroupActionID) {
      RunModalDialog(kAddFieldToStackingGroupDialogRsrcID);
    } else if (action == kOslPreferencesActionID) {
      OpenPreferencesOnPanel(kOslPrefPanelID);
    }
  });
}
