#include "ui/add_field_to_stacking_group_controller.h"

#include "host/IDropDownListController.h"
#include "host/ILabel.h"
#include "host/IPanelControlData.h"
#include "host/IStringListControlData.h"
#include "host/ITextControlData.h"
#include "host/InterfacePtr.h"
#include "host/PersistUtils.h"
#include "host/Utils.h"
#include "model/tag_map.h"
#include "plugin_base/entry_guard.h"
#include "plugin_base/impl_registry.h"
#include "plugin_base/osl_id.h"
#include "ui/document_field_names.h"
#include "ui/stored_text.h"

static osl::RegisterImplementation<AddFieldToStackingGroupController>
    gRegisterAddFieldToStackingGroupController(kAddFieldToStackingGroupControllerImpl);

namespace {

constexpr int32 kAnyDepth = 9999;

template <class T>
InterfacePtr<T> WidgetData(IPanelControlData* panel, WidgetID id) {
  IControlView* view = panel ? panel->FindWidget(id, kAnyDepth) : nullptr;
  return InterfacePtr<T>(view, static_cast<PMIID>(T::kDefaultIID));
}

ISelectionManager* ActiveSelection() {
  Utils<ISelectionUtils> utils;
  return utils ? utils->GetActiveSelection() : nullptr;
}

IDocument* FrontDocument() {
  Utils<ILayoutUIUtils> layout;
  return layout ? layout->GetFrontDocument() : nullptr;
}

// Refills list `id` with the none entry and `entries`, then selects the
// entry whose text is `current` (the none entry when there is none).
void FillList(IPanelControlData* panel, WidgetID id, const K2Vector<PMString>& entries,
              const PMString& current) {
  auto list = WidgetData<IStringListControlData>(panel, id);
  if (!list) return;
  list->Clear(1, 1);
  PMString none("0x199e00kNoneKey");
  none.Translate();
  list->AddString(none, IStringListControlData::kEnd, 1, 1);
  for (const PMString& entry : entries) list->AddString(entry, IStringListControlData::kEnd, 1, 1);
  int32 position = list->GetIndex(current);
  if (position < 0) position = 0;
  if (auto selection = WidgetData<IDropDownListController>(panel, id)) {
    selection->Select(position, 1, 1);
  }
}

// The text of the entry chosen in list `id`, or "" for the none entry.
PMString ChosenEntry(IPanelControlData* panel, WidgetID id) {
  auto selection = WidgetData<IDropDownListController>(panel, id);
  auto text = WidgetData<ITextControlData>(panel, id);
  if (!selection || !text || selection->GetSelected() <= 0) return PMString();
  return text->GetString();
}

}  // namespace

AddFieldToStackingGroupController::AddFieldToStackingGroupController(IPMUnknown* boss)
    : CDialogController(boss) {}

AddFieldToStackingGroupController::~AddFieldToStackingGroupController() = default;

void AddFieldToStackingGroupController::InitializeDialogFields(IActiveContext* context) {
  CDialogController::InitializeDialogFields(context);
  osl::GuardedEntry("the dialog", [&] {
    InterfacePtr<IPanelControlData> panel(QueryIfNilElseAddRef(nullptr));
    if (!panel) return;

    TagMap tags;
    ReadSelectionStringMap(ActiveSelection(), &tags);
    IDocument* document = FrontDocument();

    K2Vector<PMString> groups;
    if (document) {
      const TagMap map = ReadStringMap(GetUIDRef(document));
      auto stored = map.find(PMString(tagkeys::kStackingGroups));
      if (stored != map.end()) {
        for (const auto& group : ParseStringMap(stored->second, PMString(tagkeys::kGroupSeparator)))
          groups.push_back(group.first);
      }
    }
    FillList(panel, kOslMemberOfGroupWidgetID, groups, tags[tagkeys::kMemberOfGroup]);

    const PMString own = tags[tagkeys::kFieldName];
    K2Vector<PMString> fields;
    for (const PMString& name : CollectFieldNames(document)) {
      if (name != own) fields.push_back(name);
    }
    FillList(panel, kOslDependsOnWidgetID, fields, tags[tagkeys::kDependsOn]);
  });
}

WidgetID AddFieldToStackingGroupController::ValidateDialogFields(IActiveContext* context) {
  return CDialogController::ValidateDialogFields(context);
}

void AddFieldToStackingGroupController::ApplyDialogFields(IActiveContext* context,
                                                          const WidgetID& widgetId) {
  CDialogController::ApplyDialogFields(context, widgetId);
  osl::GuardedEntry("the dialog's OK", [&] {
    InterfacePtr<IPanelControlData> panel(QueryIfNilElseAddRef(nullptr));
    if (!panel) return;
    const PMString group = ChosenEntry(panel, kOslMemberOfGroupWidgetID);
    PMString dependsOn = ChosenEntry(panel, kOslDependsOnWidgetID);

    ISelectionManager* selection = ActiveSelection();
    InterfacePtr<ILabelSuite> labels(selection, IID_ILABELSUITE);
    if (!labels) return;
    TagMap tags;
    if (!ReadSelectionStringMap(selection, &tags)) return;
    tags[tagkeys::kMemberOfGroup] = group;
    if (group.IsEmpty()) dependsOn.clear();
    tags[tagkeys::kDependsOn] = StoreTypedText("0x199e00kDependsOnWhatKey", dependsOn);
    WriteSelectionStringMap(selection, tags);
  });
}
