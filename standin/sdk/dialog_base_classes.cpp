// The code of the CDialogController and CDialogObserver base classes; the
// standard OK path runs on the current host's dialogs.
#include <cstdio>
#include <limits>
#include <locale>
#include <sstream>

#include "host/CDialogController.h"
#include "host/CDialogObserver.h"
#include "host/IBooleanControlData.h"
#include "host/IDialog.h"
#include "host/ISubject.h"
#include "host/ITextControlData.h"
#include "standin/app/host.h"
#include "standin/ui/key_events.h"
#include "standin/ui/widgets.h"

namespace {

constexpr int32 kAnyDepth = std::numeric_limits<int32>::max();

}  // namespace

// ---- CDialogController -----------------------------------------------------------

CDialogController::CDialogController(IPMUnknown* boss) : CPMUnknown(boss) {}

CDialogController::~CDialogController() = default;

void CDialogController::InitializeDialog(IActiveContext* context) {
  if (context) context->AddRef();
  context_.reset(context);
  InitializeFields();
  SetInitialized(1);
}

IActiveContext* CDialogController::QueryDialogContext() const {
  if (context_) context_->AddRef();
  return context_.get();
}

WidgetID CDialogController::ValidateDialog() { return ValidateFields(); }

void CDialogController::ApplyDialog(const WidgetID& widgetId) { ApplyFields(widgetId); }

void CDialogController::ResetDialog() { ResetFields(); }

void CDialogController::UserCancelled() {}

void CDialogController::DialogClosing() {
  ClosingDialog();
  context_.reset();
  SetInitialized(0);
}

PMString CDialogController::GetName() const {
  const standin::WidgetNode* node = standin::WidgetNode::Of(this);
  return node ? node->Caption() : PMString();
}

IPMUnknown* CDialogController::QueryWidget(const WidgetID& widgetId, IPanelControlData* panel,
                                           PMIID iid) const {
  InterfacePtr<IPanelControlData> data(QueryIfNilElseAddRef(panel));
  if (!data) return nullptr;
  IControlView* view = data->FindWidget(widgetId, kAnyDepth);
  return view ? view->QueryInterface(iid) : nullptr;
}

void CDialogController::SetTextControlData(const WidgetID& widgetId, const PMString& text,
                                           IPanelControlData* panel, bool16 invalidate,
                                           bool16 notifyOfChange) {
  InterfacePtr<ITextControlData> data(
      static_cast<ITextControlData*>(QueryWidget(widgetId, panel, IID_ITEXTCONTROLDATA)));
  if (data) data->SetString(text, invalidate, notifyOfChange);
}

PMString CDialogController::GetTextControlData(const WidgetID& widgetId,
                                               IPanelControlData* panel) const {
  InterfacePtr<ITextControlData> data(
      static_cast<ITextControlData*>(QueryWidget(widgetId, panel, IID_ITEXTCONTROLDATA)));
  return data ? data->GetString() : PMString();
}

void CDialogController::SetTextValue(const WidgetID& widgetId, const PMReal& value,
                                     IPanelControlData* panel, bool16 invalidate,
                                     bool16 notifyOfChange) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out.precision(15);
  out << value;
  SetTextControlData(widgetId, PMString(out.str(), PMString::kDontTranslateDuringCall), panel,
                     invalidate, notifyOfChange);
}

PMReal CDialogController::GetTextValue(const WidgetID& widgetId, IPanelControlData* panel,
                                       bool16* isValid) const {
  std::istringstream in(GetTextControlData(widgetId, panel).GetUTF8String());
  in.imbue(std::locale::classic());
  PMReal value = 0;
  in >> value;
  const bool ok = !in.fail() && (in >> std::ws).eof();
  if (isValid) *isValid = ok ? 1 : 0;
  return ok ? value : 0;
}

void CDialogController::SetTextValueControlState(const WidgetID& widgetId, bool16 enabled,
                                                 IPanelControlData* panel, bool16 invalidate) {
  InterfacePtr<IControlView> view(
      static_cast<IControlView*>(QueryWidget(widgetId, panel, IID_ICONTROLVIEW)));
  if (view) view->Enable(enabled, invalidate);
}

bool16 CDialogController::GetTextValueControlState(const WidgetID& widgetId,
                                                   IPanelControlData* panel) const {
  InterfacePtr<IControlView> view(
      static_cast<IControlView*>(QueryWidget(widgetId, panel, IID_ICONTROLVIEW)));
  return view ? view->IsEnabled() : 0;
}

void CDialogController::SetBooleanControlData(const WidgetID& widgetId, bool16 selected,
                                              IPanelControlData* panel, bool16 invalidate,
                                              bool16 notifyOfChange) {
  InterfacePtr<IBooleanControlData> button(
      static_cast<IBooleanControlData*>(QueryWidget(widgetId, panel, IID_IBOOLEANCONTROLDATA)));
  if (button) {
    if (selected) {
      button->Select(invalidate, notifyOfChange);
    } else {
      button->Deselect(invalidate, notifyOfChange);
    }
    return;
  }
  SetTriStateControlData(widgetId, selected, panel, invalidate, notifyOfChange);
}

bool16 CDialogController::GetBooleanControlData(const WidgetID& widgetId,
                                                IPanelControlData* panel) const {
  InterfacePtr<IBooleanControlData> button(
      static_cast<IBooleanControlData*>(QueryWidget(widgetId, panel, IID_IBOOLEANCONTROLDATA)));
  if (button) return button->IsSelected();
  return GetTriStateControlData(widgetId, panel) == ITriStateControlData::kSelected ? 1 : 0;
}

void CDialogController::SetTriStateControlData(const WidgetID& widgetId, bool16 selected,
                                               IPanelControlData* panel, bool16 invalidate,
                                               bool16 notifyOfChange) {
  SetTriStateControlData(
      widgetId, selected ? ITriStateControlData::kSelected : ITriStateControlData::kUnselected,
      panel, invalidate, notifyOfChange);
}

void CDialogController::SetTriStateControlData(const WidgetID& widgetId,
                                               ITriStateControlData::TriState state,
                                               IPanelControlData* panel, bool16 invalidate,
                                               bool16 notifyOfChange) {
  InterfacePtr<ITriStateControlData> box(
      static_cast<ITriStateControlData*>(QueryWidget(widgetId, panel, IID_ITRISTATECONTROLDATA)));
  if (box) box->SetState(state, invalidate, notifyOfChange);
}

ITriStateControlData::TriState CDialogController::GetTriStateControlData(
    const WidgetID& widgetId, IPanelControlData* panel) const {
  InterfacePtr<ITriStateControlData> box(
      static_cast<ITriStateControlData*>(QueryWidget(widgetId, panel, IID_ITRISTATECONTROLDATA)));
  return box ? box->GetState() : ITriStateControlData::kUnselected;
}

WidgetID CDialogController::GetSelectedClusterWidget(const WidgetID& clusterId,
                                                     IPanelControlData* panel) const {
  InterfacePtr<IControlView> cluster(
      static_cast<IControlView*>(QueryWidget(clusterId, panel, IID_ICONTROLVIEW)));
  standin::WidgetNode* node = standin::WidgetNode::Of(cluster.get());
  if (!node) return kInvalidWidgetID;
  for (standin::WidgetNode* child : node->Children()) {
    InterfacePtr<ITriStateControlData> box(&child->GetBoss(), IID_ITRISTATECONTROLDATA);
    if (box && box->IsSelected()) return child->Id();
  }
  return kInvalidWidgetID;
}

void CDialogController::SetSelectedClusterWidget(const WidgetID& widgetId, IPanelControlData* panel,
                                                 bool16 invalidate, bool16 notifyOfChange) {
  InterfacePtr<IControlView> view(
      static_cast<IControlView*>(QueryWidget(widgetId, panel, IID_ICONTROLVIEW)));
  standin::WidgetNode* node = standin::WidgetNode::Of(view.get());
  if (!node || !node->Parent()) return;
  for (standin::WidgetNode* sibling : node->Parent()->Children()) {
    InterfacePtr<ITriStateControlData> box(&sibling->GetBoss(), IID_ITRISTATECONTROLDATA);
    if (!box) continue;
    if (sibling == node) {
      box->Select(invalidate, notifyOfChange);
    } else if (!box->IsDeselected()) {
      box->Deselect(invalidate, notifyOfChange);
    }
  }
}

IStringListControlData* CDialogController::QueryListControlDataInterface(
    const WidgetID& widgetId, IPanelControlData* panel) const {
  return static_cast<IStringListControlData*>(
      QueryWidget(widgetId, panel, IID_ISTRINGLISTCONTROLDATA));
}

IPanelControlData* CDialogController::QueryIfNilElseAddRef(IPanelControlData* panel) const {
  if (panel) {
    panel->AddRef();
    return panel;
  }
  return static_cast<IPanelControlData*>(QueryInterface(IID_IPANELCONTROLDATA));
}

void CDialogController::SelectDialogWidget(const WidgetID& widgetId, IPanelControlData* panel) {
  InterfacePtr<IControlView> view(
      static_cast<IControlView*>(QueryWidget(widgetId, panel, IID_ICONTROLVIEW)));
  if (standin::WidgetNode* node = standin::WidgetNode::Of(view.get())) standin::SetKeyFocus(*node);
}

void CDialogController::ApplyFields(const WidgetID& widgetId) {
  ApplyDialogFields(context_.get(), widgetId);
}

WidgetID CDialogController::ValidateFields() { return ValidateDialogFields(context_.get()); }

void CDialogController::ResetFields() { ResetDialogFields(context_.get()); }

void CDialogController::InitializeFields() { InitializeDialogFields(context_.get()); }

void CDialogController::InitializeDialogFields(IActiveContext*) {}

WidgetID CDialogController::ValidateDialogFields(IActiveContext*) { return kDefaultWidgetId; }

void CDialogController::ApplyDialogFields(IActiveContext*, const WidgetID&) {}

void CDialogController::ResetDialogFields(IActiveContext* context) {
  InitializeDialogFields(context);
}

void CDialogController::ClosingDialog() {}

// ---- CDialogObserver -------------------------------------------------------------

namespace {

// The subjects of the OK and Cancel buttons of `observer`'s own panel.
std::vector<ISubject*> ButtonSubjects(const IPMUnknown* observer) {
  std::vector<ISubject*> subjects;
  InterfacePtr<IPanelControlData> panel(observer, IID_IPANELCONTROLDATA);
  if (!panel) return subjects;
  for (WidgetID id : {kOKButtonWidgetID, kCancelButtonWidgetID}) {
    IControlView* view = panel->FindWidget(id, kAnyDepth);
    InterfacePtr<ISubject> subject(view, IID_ISUBJECT);
    if (subject) subjects.push_back(subject.get());
  }
  return subjects;
}

}  // namespace

CDialogObserver::CDialogObserver(IPMUnknown* boss, PMIID attachIID) : CObserver(boss, attachIID) {}

CDialogObserver::~CDialogObserver() = default;

void CDialogObserver::AutoAttach() {
  for (ISubject* subject : ButtonSubjects(this)) {
    subject->AttachObserver(this, IID_IBOOLEANCONTROLDATA, GetAttachIID());
  }
}

void CDialogObserver::AutoDetach() {
  for (ISubject* subject : ButtonSubjects(this)) {
    subject->DetachObserver(this, IID_IBOOLEANCONTROLDATA, GetAttachIID());
  }
}

void CDialogObserver::Update(const ClassID& theChange, ISubject* theSubject, const PMIID& protocol,
                             void*) {
  if (protocol != IID_IBOOLEANCONTROLDATA || theChange != kTrueStateMessage) return;
  InterfacePtr<IControlView> button(theSubject, IID_ICONTROLVIEW);
  standin::WidgetNode* node = standin::WidgetNode::Of(this);
  if (!button || !node) return;
  auto& host = standin::Host::Current().Dialogs();
  if (button->GetWidgetID() == kOKButtonWidgetID) {
    if (host.ConfirmDialog(*node->Root())) CloseDialog();
  } else if (button->GetWidgetID() == kCancelButtonWidgetID) {
    host.CancelDialog(*node->Root());
    CloseDialog();
  }
}

void CDialogObserver::CloseDialog() { FireOffEndDialogCmd(); }

void CDialogObserver::FireOffEndDialogCmd() {
  standin::WidgetNode* node = standin::WidgetNode::Of(this);
  if (!node) return;
  InterfacePtr<IDialog> dialog(&node->Root()->GetBoss(), IID_IDIALOG);
  if (dialog && dialog->IsOpen()) dialog->Close();
}
