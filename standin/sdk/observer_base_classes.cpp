// The code of the host's observer and panel base classes: CObserver,
// ActiveSelectionObserver (on the current host's selection subject) and
// CPanelCreator (on the current host's views and panels).
#include "host/ActiveSelectionObserver.h"
#include "host/CObserver.h"
#include "host/CPanelCreator.h"
#include "host/IControlView.h"
#include "host/InterfacePtr.h"
#include "host/Utils.h"
#include "standin/app/host.h"

namespace {

class SelectionChanged : public ISelectionMessage {
 public:
  MessageType GetMessageType() const override { return kSelectionChanged; }
  bool16 WasSuiteAffected(PMIID) const override { return 1; }
};

ISubject* SelectionSubjectOfHost() {
  standin::Host* host = standin::Host::CurrentOrNull();
  return host ? host->ActiveSelectionSubject().Subject() : nullptr;
}

ISelectionManager* ActiveSelectionManager() {
  Utils<ISelectionUtils> utils;
  return utils ? utils->GetActiveSelection() : nullptr;
}

IControlView* ViewOfNode(standin::WidgetNode* node) {
  if (!node) return nullptr;
  IPMUnknown* view = node->GetBoss().QueryInterface(IID_ICONTROLVIEW);
  if (view) view->Release();
  return static_cast<IControlView*>(view);
}

}  // namespace

// ---- CObserver -----------------------------------------------------------------

CObserver::CObserver(IPMUnknown* boss, PMIID attachIID) : CPMUnknown(boss), attachIID_(attachIID) {}

CObserver::~CObserver() {
  if (standin::Host* host = standin::Host::CurrentOrNull()) host->Subjects().Forget(this);
}

void CObserver::Update(const ClassID&, ISubject*, const PMIID&, void*) {}
void CObserver::AutoAttach() {}
void CObserver::AutoDetach() {}
void CObserver::LazyUpdate(ISubject*, const PMIID&, const LazyNotificationData*) {}

// ---- ActiveSelectionObserver ----------------------------------------------------------

ActiveSelectionObserver::ActiveSelectionObserver(IPMUnknown* boss, PMIID attachIID)
    : CObserver(boss, attachIID) {}

ActiveSelectionObserver::~ActiveSelectionObserver() {
  if (ISubject* subject = SelectionSubjectOfHost()) {
    subject->DetachObserver(this, IID_ISELECTIONCHANGED, GetAttachIID());
  }
}

void ActiveSelectionObserver::Update(const ClassID& theChange, ISubject* theSubject,
                                     const PMIID& protocol, void* changedBy) {
  if (protocol == IID_ISELECTIONCHANGED) {
    HandleSelectionUpdate(theChange, theSubject, protocol, changedBy);
  }
}

void ActiveSelectionObserver::AutoAttach() { AttachToActiveSelection(); }

void ActiveSelectionObserver::AutoDetach() { DetachFromActiveSelection(); }

void ActiveSelectionObserver::HandleSelectionChanged(const ISelectionMessage*) {}
void ActiveSelectionObserver::HandleFrequentSelectionChanged(const ISelectionMessage*) {}
void ActiveSelectionObserver::HandleSelectionAttributeChanged(const ISelectionMessage*) {}

void ActiveSelectionObserver::AttachToSelectionSubject(ISelectionManager* selection,
                                                       PMIID protocol) {
  if (!selection) return;
    if (ISubject* subject = SelectionSubjectOfHost()) {
    subject->AttachObserver(this, protocol, GetAttachIID());
    selection_ = selection;
  }
}

void ActiveSelectionObserver::DetachFromSelectionSubject(ISelectionManager* selection,
                                                         PMIID protocol) {
  if (!selection) return;
  if (ISubject* subject = SelectionSubjectOfHost()) {
    subject->DetachObserver(this, protocol, GetAttachIID());
  }
  if (selection == selection_) selection_ = nullptr;
}

void ActiveSelectionObserver::HandleActiveSelectionChanged() {
  DetachFromActiveSelection();
  AttachToActiveSelection();
}

void ActiveSelectionObserver::HandleSelectionUpdate(const ClassID&, ISubject*, const PMIID&,
                                                    void* changedBy) {
  const auto* message = static_cast<const ISelectionMessage*>(changedBy);
  switch (message ? message->GetMessageType() : ISelectionMessage::kSelectionChanged) {
    case ISelectionMessage::kSelectionChanged:
      HandleSelectionChanged(message);
      break;
    case ISelectionMessage::kFrequentSelectionChanged:
      HandleFrequentSelectionChanged(message);
      break;
    case ISelectionMessage::kSelectionAttributeChanged:
      HandleSelectionAttributeChanged(message);
      break;
    case ISelectionMessage::kActiveSelectionChanged:
      HandleActiveSelectionChanged();
      break;
  }
}

ISelectionManager* ActiveSelectionObserver::QueryAbstractSelection() const {
  if (!selection_) return nullptr;
  // The observer follows the active selection, which the session may have
  // replaced since the observer attached.
  ISelectionManager* current = ActiveSelectionManager();
  if (current) current->AddRef();
  return current;
}

void ActiveSelectionObserver::AttachToActiveSelection() {
  ISelectionManager* selection = ActiveSelectionManager();
  if (!selection) return;
  AttachToSelectionSubject(selection);
  const SelectionChanged message;
  HandleSelectionChanged(&message);
}

void ActiveSelectionObserver::DetachFromActiveSelection() {
  if (selection_) DetachFromSelectionSubject(selection_);
}

// ---- CPanelCreator -------------------------------------------------------------------

namespace {

const standin::ViewSpec* PanelViewOf(const IPMUnknown* creator, RsrcID rsrc) {
  const standin::Boss* boss = standin::Boss::Of(creator);
  const auto& registry = standin::Host::Current().Views();
  if (boss) {
    if (const auto* view = registry.FindPanelOfBoss(boss->ClassName(), rsrc)) return view;
  }
  // A panel view of that resource bound to another class (or to none).
  return rsrc == 0 ? nullptr : registry.FindPanel(rsrc);
}

}  // namespace

CPanelCreator::~CPanelCreator() = default;

IControlView* CPanelCreator::CreatePanel() {
  const standin::ViewSpec* view = PanelViewOf(this, GetPanelViewRsrcID());
  if (!view) return nullptr;
  standin::Host& host = standin::Host::Current();
  auto& panels = host.Panels();
  standin::WidgetNode* root =
      panels.Adopt(view->plugin, view->rsrc, standin::BuildView(*view, host.Toolkit()));
  if (root && AutoShowPanel()) {
    std::string ignored;
    panels.Show(view->plugin, view->rsrc, &ignored);
  }
  return ViewOfNode(root);
}

IControlView* CPanelCreator::CreatePanelForDialog(IPanelControlData* parent) {
  standin::WidgetNode* parentNode = parent ? standin::WidgetNode::Of(parent) : nullptr;
  const standin::ViewSpec* view = PanelViewOf(this, GetPanelViewRsrcID());
  if (!parentNode || !view) return nullptr;
  return ViewOfNode(
      parentNode->AdoptChild(standin::BuildView(*view, standin::Host::Current().Toolkit())));
}

void CPanelCreator::GetServiceIDs(K2Vector<ServiceID>& serviceIDs) const {
  if (const standin::ViewSpec* view = PanelViewOf(this, GetPanelRsrcID())) {
    serviceIDs.insert(serviceIDs.end(), view->services.begin(), view->services.end());
  }
}

RsrcID CPanelCreator::GetPanelRsrcID() const {
  const standin::ViewSpec* view = PanelViewOf(this, 0);
  return view ? view->rsrc : 0;
}

RsrcID CPanelCreator::GetPanelViewRsrcID() const { return GetPanelRsrcID(); }
