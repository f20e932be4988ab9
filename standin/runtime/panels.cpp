// Session panels, the active selection's subject, and the code of the
// ActiveSelectionObserver and CPanelCreator base classes.
#include "standin/runtime/panels.h"

#include <algorithm>

#include "host/ActiveSelectionObserver.h"
#include "host/CPanelCreator.h"
#include "host/IControlView.h"
#include "host/InterfacePtr.h"
#include "host/Utils.h"
#include "standin/runtime/dialogs.h"
#include "standin/runtime/events.h"
#include "standin/runtime/selection.h"
#include "standin/runtime/session.h"
#include "standin/runtime/views.h"

namespace standin {

namespace {

class SelectionMessage : public ISelectionMessage {
 public:
  explicit SelectionMessage(MessageType type) : type_(type) {}
  MessageType GetMessageType() const override { return type_; }
  bool16 WasSuiteAffected(PMIID) const override { return 1; }

 private:
  MessageType type_;
};

// Relays the session selection manager's changes to the selection subject.
// The listener it registers holds a token whose expiry tells that the
// selection manager (and the listener with it) is gone.
class SelectionHub {
 public:
  static SelectionHub& Get() {
    static auto* hub = new SelectionHub();
    return *hub;
  }

  ISubject* Subject() const {
    IPMUnknown* subject = boss_->QueryInterface(IID_ISUBJECT);
    if (subject) subject->Release();
    return static_cast<ISubject*>(subject);
  }

  void Sync() {
    if (!alive_.expired()) return;
    auto token = std::make_shared<int>(0);
    Session::Get().ActiveSelection().AddListener(
        [token] { Get().Send(ISelectionMessage::kSelectionChanged); });
    alive_ = token;
    if (registered_) Send(ISelectionMessage::kActiveSelectionChanged);
    registered_ = true;
  }

 private:
  SelectionHub() : boss_(std::make_unique<Boss>("kSelectionSubjectBoss")) {
    AddHostSubject(*boss_);
  }

  void Send(ISelectionMessage::MessageType type) {
    SelectionMessage message(type);
    if (ISubject* subject = Subject()) {
      subject->Change(kSelectionChangedMessage, IID_ISELECTIONCHANGED,
                      static_cast<ISelectionMessage*>(&message));
    }
  }

  std::unique_ptr<Boss> boss_;
  std::weak_ptr<int> alive_;
  bool registered_ = false;
};

IControlView* ViewOfNode(WidgetNode* node) {
  if (!node) return nullptr;
  IPMUnknown* view = node->GetBoss().QueryInterface(IID_ICONTROLVIEW);
  if (view) view->Release();
  return static_cast<IControlView*>(view);
}

ISelectionManager* ActiveSelectionManager() {
  Utils<ISelectionUtils> utils;
  return utils ? utils->GetActiveSelection() : nullptr;
}

}  // namespace

ISubject* SelectionSubject() { return SelectionHub::Get().Subject(); }

void SyncSelectionObservers() { SelectionHub::Get().Sync(); }

// ---- session panels ------------------------------------------------------------

PanelHost& PanelHost::Get() {
  static auto* host = new PanelHost();
  return *host;
}

PanelHost::Panel* PanelHost::Find(PluginID plugin, RsrcID rsrc) {
  for (auto& p : panels_) {
    if (p->plugin == plugin && p->rsrc == rsrc) return p.get();
  }
  return nullptr;
}

WidgetNode* PanelHost::Adopt(PluginID plugin, RsrcID rsrc, std::unique_ptr<Boss> boss) {
  WidgetNode* root = boss ? WidgetNode::Of(boss.get()) : nullptr;
  if (!root) return nullptr;
  if (Panel* old = Find(plugin, rsrc)) {
    HidePanel(*old);
    panels_.erase(std::find_if(panels_.begin(), panels_.end(),
                               [old](const auto& p) { return p.get() == old; }));
  }
  auto panel = std::make_unique<Panel>();
  panel->plugin = plugin;
  panel->rsrc = rsrc;
  panel->boss = std::move(boss);
  panel->root = root;
  root->visible = false;
  panels_.push_back(std::move(panel));
  return root;
}

WidgetNode* PanelHost::GetPanel(PluginID plugin, RsrcID rsrc, std::string* error) {
  if (Panel* panel = Find(plugin, rsrc)) return panel->root;
  InstallWidgetServices();
  const ViewSpec* view = ViewRegistry::Get().Find(plugin, rsrc);
  if (!view || view->kind != ViewSpec::Kind::kPanel) {
    *error = "the plug-in has no panel view " + std::to_string(rsrc);
    return nullptr;
  }
  return Adopt(plugin, rsrc, BuildView(*view));
}

bool PanelHost::Show(PluginID plugin, RsrcID rsrc, std::string* error) {
  if (!GetPanel(plugin, rsrc, error)) return false;
  Panel* panel = Find(plugin, rsrc);
  if (panel->shown) return true;
  panel->shown = true;
  panel->root->visible = true;
  SyncSelectionObservers();
  AttachTreeObservers(*panel->root);
  return true;
}

void PanelHost::HidePanel(Panel& panel) {
  if (!panel.shown) return;
  ReleaseKeyFocus(*panel.root);
  panel.shown = false;
  DetachTreeObservers(*panel.root);
  panel.root->visible = false;
}

void PanelHost::Hide(PluginID plugin, RsrcID rsrc) {
  if (Panel* panel = Find(plugin, rsrc)) HidePanel(*panel);
}

bool PanelHost::IsShown(PluginID plugin, RsrcID rsrc) const {
  for (const auto& p : panels_) {
    if (p->plugin == plugin && p->rsrc == rsrc) return p->shown;
  }
  return false;
}

void PanelHost::Reset() {
  for (auto& p : panels_) HidePanel(*p);
  panels_.clear();
}

}  // namespace standin

// ---- ActiveSelectionObserver ----------------------------------------------------------

ActiveSelectionObserver::ActiveSelectionObserver(IPMUnknown* boss, PMIID attachIID)
    : CObserver(boss, attachIID) {}

ActiveSelectionObserver::~ActiveSelectionObserver() {
  if (ISubject* subject = standin::SelectionSubject()) {
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
  standin::SyncSelectionObservers();
  if (ISubject* subject = standin::SelectionSubject()) {
    subject->AttachObserver(this, protocol, GetAttachIID());
    selection_ = selection;
  }
}

void ActiveSelectionObserver::DetachFromSelectionSubject(ISelectionManager* selection,
                                                         PMIID protocol) {
  if (!selection) return;
  if (ISubject* subject = standin::SelectionSubject()) {
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
  ISelectionManager* current = standin::ActiveSelectionManager();
  if (current) current->AddRef();
  return current;
}

void ActiveSelectionObserver::AttachToActiveSelection() {
  ISelectionManager* selection = standin::ActiveSelectionManager();
  if (!selection) return;
  AttachToSelectionSubject(selection);
  const standin::SelectionMessage message(ISelectionMessage::kSelectionChanged);
  HandleSelectionChanged(&message);
}

void ActiveSelectionObserver::DetachFromActiveSelection() {
  if (selection_) DetachFromSelectionSubject(selection_);
}

// ---- CPanelCreator -------------------------------------------------------------------

namespace {

const standin::ViewSpec* PanelViewOf(const IPMUnknown* creator, RsrcID rsrc) {
  const standin::Boss* boss = standin::Boss::Of(creator);
  auto& registry = standin::ViewRegistry::Get();
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
  auto& panels = standin::PanelHost::Get();
  standin::WidgetNode* root = panels.Adopt(view->plugin, view->rsrc, standin::BuildView(*view));
  if (root && AutoShowPanel()) {
    std::string ignored;
    panels.Show(view->plugin, view->rsrc, &ignored);
  }
  return standin::ViewOfNode(root);
}

IControlView* CPanelCreator::CreatePanelForDialog(IPanelControlData* parent) {
  standin::WidgetNode* parentNode = parent ? standin::WidgetNode::Of(parent) : nullptr;
  const standin::ViewSpec* view = PanelViewOf(this, GetPanelViewRsrcID());
  if (!parentNode || !view) return nullptr;
  return standin::ViewOfNode(parentNode->AdoptChild(standin::BuildView(*view)));
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
