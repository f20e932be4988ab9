#include "ui/create_stacking_group_controller.h"

#include "host/CAlert.h"
#include "host/IDropDownListController.h"
#include "host/IPanelControlData.h"
#include "host/ITextControlData.h"
#include "host/InterfacePtr.h"
#include "host/PersistUtils.h"
#include "host/Utils.h"
#include "host/WidgetInterfaceIDs.h"
#include "model/tag_map.h"
#include "plugin_base/entry_guard.h"
#include "plugin_base/impl_registry.h"
#include "plugin_base/osl_id.h"

static osl::RegisterImplementation<CreateStackingGroupController>
    gRegisterCreateStackingGroupController(kCreateStackingGroupControllerImpl);

namespace {

constexpr int32 kAnyDepth = 9999;

// Interface `T` of widget `id` in the controller's own panel, or null.
template <class T>
InterfacePtr<T> DialogWidget(const CDialogController& controller, WidgetID id) {
  InterfacePtr<IPanelControlData> panel(controller.QueryIfNilElseAddRef(nullptr));
  IControlView* view = panel ? panel->FindWidget(id, kAnyDepth) : nullptr;
  return InterfacePtr<T>(view, static_cast<PMIID>(T::kDefaultIID));
}

}  // namespace

bool IsStorableGroupName(const PMString& name) {
  if (name.IsEmpty()) return false;
  const PMString groupSeparator(tagkeys::kGroupSeparator);
  const PMString labelSeparator(tagkeys::kLabelSeparator);
  // As a key of the group table, nested in the document's label.
  TagMap groups;
  groups[name] = PMString("0");
  TagMap document;
  document[PMString(tagkeys::kStackingGroups)] = JoinStringMap(groups, groupSeparator);
  const TagMap readDocument =
      ParseStringMap(JoinStringMap(document, labelSeparator), labelSeparator);
  auto nested = readDocument.find(PMString(tagkeys::kStackingGroups));
  if (nested == readDocument.end()) return false;
  const TagMap readGroups = ParseStringMap(nested->second, groupSeparator);
  if (readGroups.size() != 1 || readGroups.begin()->first != name) return false;
  // As the value of a field's "MemberofGroup".
  return CleanMapValue(name, labelSeparator) == name;
}

CreateStackingGroupController::CreateStackingGroupController(IPMUnknown* boss)
    : CDialogController(boss) {}

CreateStackingGroupController::~CreateStackingGroupController() = default;

void CreateStackingGroupController::InitializeDialogFields(IActiveContext* context) {
  CDialogController::InitializeDialogFields(context);
  osl::GuardedEntry("the dialog", [&] {
    if (auto direction = DialogWidget<IDropDownListController>(*this, kOslMoveDirectionWidgetID)) {
      direction->Select(0, 1, 1);
    }
    if (auto name = DialogWidget<ITextControlData>(*this, kOslGroupNameWidgetID)) {
      name->SetString(PMString("", PMString::kDontTranslateDuringCall), 1, 1);
    }
  });
}

WidgetID CreateStackingGroupController::ValidateDialogFields(IActiveContext* context) {
  return osl::GuardedEntry("the dialog's check", kOKButtonWidgetID, [&] {
    const WidgetID result = CDialogController::ValidateDialogFields(context);
    auto name = DialogWidget<ITextControlData>(*this, kOslGroupNameWidgetID);
    if (name && !IsStorableGroupName(name->GetString())) {
      PMString message("0x199e00kGroupNameRefusedKey");
      message.Translate();
      CAlert::WarningAlert(message);
      return kOslGroupNameWidgetID;
    }
    return result;
  });
}

void CreateStackingGroupController::ApplyDialogFields(IActiveContext* context,
                                                      const WidgetID& widgetId) {
  CDialogController::ApplyDialogFields(context, widgetId);
  osl::GuardedEntry("the dialog's OK", [&] {
    auto nameBox = DialogWidget<ITextControlData>(*this, kOslGroupNameWidgetID);
    Utils<ILayoutUIUtils> layout;
    IDocument* document = layout ? layout->GetFrontDocument() : nullptr;
    if (!nameBox || !document) return;

    const UIDRef documentRef = GetUIDRef(document);
    TagMap map = ReadStringMap(documentRef);
    const PMString name = nameBox->GetString();
    PMString direction("0", PMString::kDontTranslateDuringCall);
    if (auto list = DialogWidget<IDropDownListController>(*this, kOslMoveDirectionWidgetID)) {
      direction.clear();
      direction.AppendNumber(list->GetSelected());
    }
    if (name.IsEmpty()) return;

    const PMString separator(tagkeys::kGroupSeparator);
    PMString& stored = map[PMString(tagkeys::kStackingGroups)];
    TagMap groups = ParseStringMap(stored, separator);
    groups[name] = direction;
    stored = JoinStringMap(groups, separator);
    WriteStringMap(documentRef, map);
  });
}
