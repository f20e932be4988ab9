#include "ui/field_panel_observer.h"

#include <cstdlib>

#include "host/IControlView.h"
#include "host/IDropDownListController.h"
#include "host/ILabel.h"
#include "host/IStringListControlData.h"
#include "host/ISubject.h"
#include "host/ITextControlData.h"
#include "host/InterfacePtr.h"
#include "host/PersistUtils.h"
#include "host/Utils.h"
#include "model/control_types.h"
#include "model/selection_suite.h"
#include "model/tag_map.h"
#include "plugin_base/entry_guard.h"
#include "plugin_base/impl_registry.h"
#include "plugin_base/osl_id.h"
#include "ui/stored_text.h"

static osl::RegisterImplementation<COslSelectionObserver> gRegisterCOslSelectionObserver(
    kOslSelectionObserverImpl);

namespace {

constexpr int32 kAnyDepth = 9999;

// The field controls and their captions, enabled only for a single item.
constexpr WidgetID kFieldControls[] = {kOslFieldNameLabelWidgetID,   kOslControlTypeWidgetID,
                                       kOslControlTypeLabelWidgetID, kOslFieldNameWidgetID,
                                       kOslPromptTextWidgetID,       kOslPromptTextLabelWidgetID};

// The widgets whose changes are written back, with the data they announce.
struct WatchedWidget {
  WidgetID id;
  PMIID protocol;
};
constexpr WatchedWidget kWatchedWidgets[] = {
    {kOslControlTypeWidgetID, IID_ISTRINGLISTCONTROLDATA},
    {kOslFieldNameWidgetID, IID_ITEXTCONTROLDATA},
    {kOslPromptTextWidgetID, IID_ITEXTCONTROLDATA},
};

// Sets a flag for the life of the scope.
class BusyScope {
 public:
  explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~BusyScope() { flag_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& flag_;
};

IControlView* FindWidget(IPanelControlData* panel, WidgetID id) {
  return panel ? panel->FindWidget(id, kAnyDepth) : nullptr;
}

// Interface `T` of widget `id` of `panel`, or null.
template <class T>
InterfacePtr<T> WidgetData(IPanelControlData* panel, WidgetID id) {
  return InterfacePtr<T>(FindWidget(panel, id), static_cast<PMIID>(T::kDefaultIID));
}

PMString Untranslated(PMString text) {
  text.SetTranslatable(false);
  return text;
}

const PMString& LabelSeparator() {
  static const PMString separator(tagkeys::kLabelSeparator);
  return separator;
}

}  // namespace

PMString KeepAsciiLetters(const PMString& text) {
  std::u16string letters;
  for (char16_t c : text.Text()) {
    if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) letters.push_back(c);
  }
  return Untranslated(PMString(letters));
}

COslSelectionObserver::COslSelectionObserver(IPMUnknown* boss)
    : ActiveSelectionObserver(boss, IID_IOBSERVER) {}

COslSelectionObserver::~COslSelectionObserver() = default;

void COslSelectionObserver::AutoAttach() {
  ActiveSelectionObserver::AutoAttach();
  osl::GuardedEntry("the field panel", [this] { AttachWidgets(true); });
}

void COslSelectionObserver::AutoDetach() {
  ActiveSelectionObserver::AutoDetach();
  osl::GuardedEntry("the field panel", [this] { AttachWidgets(false); });
}

void COslSelectionObserver::AttachWidgets(bool attach) {
  InterfacePtr<IPanelControlData> panel(this, IID_IPANELCONTROLDATA);
  if (!panel) return;
  for (const WatchedWidget& widget : kWatchedWidgets) {
    InterfacePtr<ISubject> subject(FindWidget(panel, widget.id), IID_ISUBJECT);
    if (!subject) continue;
    if (attach) {
      subject->AttachObserver(this, widget.protocol, GetAttachIID());
    } else {
      subject->DetachObserver(this, widget.protocol, GetAttachIID());
    }
  }
}

void COslSelectionObserver::Update(const ClassID& theChange, ISubject* theSubject,
                                   const PMIID& protocol, void* changedBy) {
  ActiveSelectionObserver::Update(theChange, theSubject, protocol, changedBy);
  osl::GuardedEntry("the field panel's edit",
                    [&] { WriteToSelection(theSubject, theChange); });
}

void COslSelectionObserver::HandleSelectionChanged(const ISelectionMessage*) {
  osl::GuardedEntry("the field panel", [this] { RefreshFromSelection(); });
}

void COslSelectionObserver::HandleSelectionAttributeChanged(const ISelectionMessage*) {}

void COslSelectionObserver::RefreshFromSelection() {
  if (busy_) return;
  BusyScope busy(busy_);

  PMString fieldName;
  PMString promptText;
  int32 position = 0;
  int kind = 0;
  InterfacePtr<ISelectionManager> selection(QueryAbstractSelection());
  TagMap tags;
  if (ReadSelectionStringMap(selection.get(), &tags)) {
    fieldName = tags[tagkeys::kFieldName];
    promptText = tags[tagkeys::kPromptText];
    position = controltypes::PositionOfCode(tags[tagkeys::kControlType].GetAsNumber());
  }
  InterfacePtr<IOslSuite> suite(selection.get(), IID_IOSLSUITE);
  if (suite) kind = suite->GetSelectionKind();
  const bool single = std::abs(kind) == 1;
  if (!single) {
    fieldName.clear();
    promptText.clear();
    position = 0;
  }

  InterfacePtr<IPanelControlData> panel(this, IID_IPANELCONTROLDATA);
  if (!panel) return;
  for (WidgetID id : kFieldControls) {
    IControlView* view = FindWidget(panel, id);
    if (!view) continue;
    if (single) {
      view->Enable(1, 1);
    } else {
      view->Disable(1);
    }
  }
  if (auto name = WidgetData<ITextControlData>(panel, kOslFieldNameWidgetID)) {
    name->SetString(Untranslated(fieldName), 1, 1);
  }
  if (auto prompt = WidgetData<ITextControlData>(panel, kOslPromptTextWidgetID)) {
    prompt->SetString(Untranslated(promptText), 1, 1);
  }

  const auto frame =
      kind == -1 ? controltypes::FrameKind::kText : controltypes::FrameKind::kGraphic;
  if (auto entries = WidgetData<IStringListControlData>(panel, kOslControlTypeWidgetID)) {
    entries->Clear(1, 1);
    for (int32 p = 0; p < controltypes::ListLength(frame); ++p) {
      PMString entry(controltypes::ListKey(frame, p));
      entry.Translate();
      entries->AddString(entry, IStringListControlData::kEnd, 1, 1);
    }
  }
  if (auto list = WidgetData<IDropDownListController>(panel, kOslControlTypeWidgetID)) {
    if (single) {
      list->Select(position, 1, 1);
    } else {
      list->Deselect(1, 1);
    }
  }
  ShowTemplateName(panel);
}

void COslSelectionObserver::ShowTemplateName(IPanelControlData* panel) const {
  auto shown = WidgetData<ITextControlData>(panel, kOslTemplateNameWidgetID);
  if (!shown) return;
  PMString name;
  Utils<ILayoutUIUtils> layout;
  if (IDocument* document = layout ? layout->GetFrontDocument() : nullptr) {
    name = ReadStringMap(GetUIDRef(document))[PMString(tagkeys::kDocName)];
  }
  if (name.IsEmpty()) {
    name = PMString("0x199e00kVoidTemplateKey");
    name.Translate();
  }
  shown->SetString(Untranslated(name), 1, 1);
}

void COslSelectionObserver::WriteToSelection(ISubject* theSubject, const ClassID& theChange) {
  if (busy_) return;
  BusyScope busy(busy_);

  InterfacePtr<IControlView> changed(theSubject, IID_ICONTROLVIEW);
  if (!changed) return;
  InterfacePtr<IPanelControlData> panel(this, IID_IPANELCONTROLDATA);
  if (!panel) return;
  const WidgetID id = changed->GetWidgetID();
  const bool editCommitted = (id == kOslFieldNameWidgetID || id == kOslPromptTextWidgetID) &&
                             theChange == kTextChangeStateMessage;
  if (id != kOslControlTypeWidgetID && !editCommitted) return;

  InterfacePtr<ISelectionManager> selection(QueryAbstractSelection());
  InterfacePtr<ILabelSuite> labels(selection.get(), IID_ILABELSUITE);
  if (!labels) return;
  // The panel's values belong to the one item it showed. An edit that
  // commits after the selection changed to several items (or none, or an
  // item the panel does not edit) would write the panel's cleared values
  // into every selected item: nothing is written then.
  InterfacePtr<IOslSuite> suite(selection.get(), IID_IOSLSUITE);
  if (!suite || std::abs(suite->GetSelectionKind()) != 1) return;
  K2Vector<WideString> current;
  labels->GetLabels(current);
  if (current.size() != 1) return;
  TagMap tags = ParseStringMap(PMString(current.front()), LabelSeparator());

  if (auto name = WidgetData<ITextControlData>(panel, kOslFieldNameWidgetID)) {
    const PMString typed = name->GetString();
    const PMString letters = KeepAsciiLetters(typed);
    tags[tagkeys::kFieldName] = letters;
    if (letters != typed) name->SetString(letters, 1, 1);
  }
  if (auto prompt = WidgetData<ITextControlData>(panel, kOslPromptTextWidgetID)) {
    // The box shows what is stored; the designer is told what was dropped.
    const PMString typed = prompt->GetString();
    const PMString stored = StoreTypedText("0x199e00kPromptTextWhatKey", typed);
    tags[tagkeys::kPromptText] = stored;
    if (stored != typed) prompt->SetString(stored, 1, 1);
  }
  PMString& controlType = tags[tagkeys::kControlType];
  controlType = ControlTypeToStore(panel, controlType);
  labels->SetLabel(JoinStringMap(tags, LabelSeparator()).AsWideString());
}

PMString COslSelectionObserver::ControlTypeToStore(IPanelControlData* panel,
                                                   const PMString& stored) const {
  int32 position = 0;
  if (IControlView* view = FindWidget(panel, kOslControlTypeWidgetID)) {
    InterfacePtr<IDropDownListController> list(view, IID_IDROPDOWNLISTCONTROLLER);
    if (list) position = list->GetSelected();
    if (!view->IsEnabled()) {
      position = controltypes::kDisabledListPosition;
    } else if (position == IDropDownListController::kNoSelection) {
      // The list shows no entry when the stored code has none on this kind
      // of frame; the designer chose nothing, so the code stays.
      return stored;
    }
  }
  PMString code;
  code.AppendNumber(controltypes::CodeOfPosition(position));
  return Untranslated(code);
}
