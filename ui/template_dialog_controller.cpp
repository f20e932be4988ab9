#include "ui/template_dialog_controller.h"

#include "host/CAlert.h"
#include "host/IActiveContext.h"
#include "host/IControlView.h"
#include "host/IDropDownListController.h"
#include "host/IPanelControlData.h"
#include "host/IStringListControlData.h"
#include "host/ITextControlData.h"
#include "host/ITriStateControlData.h"
#include "host/PersistUtils.h"
#include "host/Utils.h"
#include "host/WidgetInterfaceIDs.h"
#include "model/tag_map.h"
#include "plugin_base/entry_guard.h"
#include "plugin_base/impl_registry.h"
#include "plugin_base/osl_id.h"
#include "service_client/plugin_data.h"
#include "ui/stored_text.h"

static osl::RegisterImplementation<OslDialogController> gRegisterOslDialogController(
    kOslDialogControllerImpl);

namespace {

// Widgets are looked up through every nested panel of the dialog.
constexpr int32 kWidgetDepth = 9999;

IDocument* FrontDocument() {
  Utils<ILayoutUIUtils> layout;
  return layout ? layout->GetFrontDocument() : nullptr;
}

template <class T>
InterfacePtr<T> FindWidgetAs(const IPanelControlData* panel, WidgetID id, PMIID iid) {
  IControlView* widget = panel ? panel->FindWidget(id, kWidgetDepth) : nullptr;
  return InterfacePtr<T>(widget, iid);
}

}  // namespace

OslDialogController::OslDialogController(IPMUnknown* boss) : CDialogController(boss) {}

OslDialogController::~OslDialogController() = default;

void OslDialogController::InitializeDialogFields(IActiveContext* context) {
  CDialogController::InitializeDialogFields(context);
  osl::GuardedEntry("the dialog", [&] {
    if (!context || !context->GetContextDocument()) {
      CAlert::InformationAlert(
          PMString("dlgContext->GetContextDocument() == NULL", PMString::kDontTranslateDuringCall));
    }
    PMString name;
    TagMap map;
    if (IDocument* document = FrontDocument()) {
      map = ReadStringMap(::GetUIDRef(document));
      name = map[PMString(tagkeys::kDocName)];
    }
    InterfacePtr<IPanelControlData> panel(this, IID_IPANELCONTROLDATA);
    if (!panel) return;

    if (auto text =
            FindWidgetAs<ITextControlData>(panel, kOslDocNameWidgetID, IID_ITEXTCONTROLDATA)) {
      name.SetTranslatable(false);
      text->SetString(name, true, true);
    }
    if (auto list = FindWidgetAs<IDropDownListController>(panel, kOslClientTypeWidgetID,
                                                          IID_IDROPDOWNLISTCONTROLLER)) {
      // A stored client type the list does not offer (written by hand or by
      // another version) opens on the first entry, so that OK never stores a
      // position that is no entry.
      int32 position = map[PMString(tagkeys::kClientType)].GetAsNumber();
      auto entries = FindWidgetAs<IStringListControlData>(panel, kOslClientTypeWidgetID,
                                                          IID_ISTRINGLISTCONTROLDATA);
      if (position < 0 || (entries && position >= entries->Length())) position = 0;
      list->Select(position, true, true);
    }
    IControlView* refreshBox = panel->FindWidget(kOslRefreshBoxWidgetID, kWidgetDepth);
    InterfacePtr<ITriStateControlData> refresh(refreshBox, IID_ITRISTATECONTROLDATA);
    if (refreshBox && refresh) {
      if (map[PMString(tagkeys::kDocID)].IsEmpty()) {
        refreshBox->Disable(true);
        refresh->SetState(ITriStateControlData::kUnknown, true, true);
      } else {
        refreshBox->Enable(true, true);
        refresh->SetState(ITriStateControlData::kUnselected, true, true);
      }
    }
  });
}

WidgetID OslDialogController::ValidateDialogFields(IActiveContext* context) {
  return osl::GuardedEntry("the dialog's check", kOKButtonWidgetID, [&] {
    const WidgetID result = CDialogController::ValidateDialogFields(context);
    InterfacePtr<IPanelControlData> panel(this, IID_IPANELCONTROLDATA);
    auto text = FindWidgetAs<ITextControlData>(panel, kOslDocNameWidgetID, IID_ITEXTCONTROLDATA);
    if (!text) return result;
    // The name is checked as it will be stored: a name of separator
    // characters only ("||") would be stored empty.
    const PMString name = StoredLabelValue(text->GetString());
    for (int32 i = 0; i < name.CharCount(); ++i) {
      if (name[i] != u' ') return result;
    }
    PMString message("0x199e00kTemplateNameRequiredKey");
    message.Translate();
    CAlert::WarningAlert(message);
    return kOslDocNameWidgetID;
  });
}

void OslDialogController::ApplyDialogFields(IActiveContext* context, const WidgetID& widgetId) {
  CDialogController::ApplyDialogFields(context, widgetId);
  osl::GuardedEntry("the dialog's OK", [&] {
    InterfacePtr<IPanelControlData> panel(this, IID_IPANELCONTROLDATA);
    auto text = FindWidgetAs<ITextControlData>(panel, kOslDocNameWidgetID, IID_ITEXTCONTROLDATA);
    IDocument* document = FrontDocument();
    if (!panel || !text || !document) return;

    const UIDRef documentRef = ::GetUIDRef(document);
    TagMap map = ReadStringMap(documentRef);
    map[PMString(tagkeys::kDocName)] =
        StoreTypedText("0x199e00kTemplateNameWhatKey", text->GetString());
    if (auto list = FindWidgetAs<IDropDownListController>(panel, kOslClientTypeWidgetID,
                                                          IID_IDROPDOWNLISTCONTROLLER)) {
      PMString position;
      position.AppendNumber(static_cast<int64>(list->GetSelected()));
      map[PMString(tagkeys::kClientType)] = position;
    }
    WriteStringMap(documentRef, map);

    OslPlugInData& data = GetOslPlugInData();
    data.dialogResult = 1;
    auto refresh =
        FindWidgetAs<ITriStateControlData>(panel, kOslRefreshBoxWidgetID, IID_ITRISTATECONTROLDATA);
    if (refresh && refresh->IsSelected()) data.dialogResult = 2;
  });
}
