// Headless widgets: state in WidgetNode, one implementation per data
// interface, subjects that notify attached observers.
#include "standin/ui/widgets.h"

#include <algorithm>
#include <cstdio>

#include "host/IObserver.h"
#include "host/CPMUnknown.h"
#include "host/IBooleanControlData.h"
#include "host/IControlView.h"
#include "host/IDialogPanelSwitcher.h"
#include "host/IDropDownListController.h"
#include "host/IPanelControlData.h"
#include "host/IStringListControlData.h"
#include "host/ISubject.h"
#include "host/ITextControlData.h"
#include "host/InterfacePtr.h"
#include "standin/core/object_model.h"
#include "standin/ui/subjects.h"

namespace standin {

namespace {

// ---- widget implementations -------------------------------------------------------

IControlView* ViewOf(const WidgetNode* node) {
  if (!node) return nullptr;
  IPMUnknown* view = node->GetBoss().QueryInterface(IID_ICONTROLVIEW);
  if (view) view->Release();
  return static_cast<IControlView*>(view);
}

class ControlViewImpl : public CPMUnknown<IControlView> {
 public:
  ControlViewImpl(IPMUnknown* boss, const WidgetSpec& spec, WidgetNode* parent,
                  const WidgetToolkit* toolkit)
      : CPMUnknown(boss),
        node_(std::make_unique<WidgetNode>(static_cast<Boss*>(boss), spec, parent, toolkit)) {}

  WidgetNode* Node() const { return node_.get(); }

  WidgetID GetWidgetID() const override { return node_->Id(); }
  void Enable(bool16 enable, bool16) override { node_->enabled = enable != 0; }
  void Disable(bool16) override { node_->enabled = false; }
  bool16 IsEnabled() const override { return node_->enabled ? 1 : 0; }
  void Show(bool16 doShow) override { node_->visible = doShow != 0; }
  void Hide() override { node_->visible = false; }
  bool16 IsVisible() const override { return node_->visible ? 1 : 0; }

 private:
  std::unique_ptr<WidgetNode> node_;
};

class PanelControlDataImpl : public CPMUnknown<IPanelControlData> {
 public:
  PanelControlDataImpl(IPMUnknown* boss, WidgetNode* node) : CPMUnknown(boss), node_(node) {}
  IControlView* FindWidget(WidgetID id, int32 depth) const override {
    return ViewOf(node_->Find(id, depth));
  }
  int32 Length() const override { return static_cast<int32>(node_->ChildBosses().size()); }
  IControlView* GetWidget(int32 index) const override {
    const auto& children = node_->ChildBosses();
    if (index < 0 || static_cast<size_t>(index) >= children.size()) return nullptr;
    return ViewOf(WidgetNode::Of(children[static_cast<size_t>(index)].get()));
  }

 private:
  WidgetNode* node_;
};

class PanelSwitcherImpl : public CPMUnknown<IDialogPanelSwitcher> {
 public:
  PanelSwitcherImpl(IPMUnknown* boss, WidgetNode* node) : CPMUnknown(boss), node_(node) {}
  bool16 SwitchDialogPanelByID(WidgetID panelID) override {
    if (panelID == kInvalidWidgetID) return 0;
    const auto panels = node_->Children();
    auto it = std::find_if(panels.begin(), panels.end(),
                           [panelID](WidgetNode* p) { return p->Id() == panelID; });
    if (it == panels.end()) return 0;
    for (WidgetNode* p : panels) p->visible = (p == *it);
    return 1;
  }
  WidgetID GetSelectedPanelID() const override {
    for (WidgetNode* p : node_->Children()) {
      if (p->visible) return p->Id();
    }
    return kInvalidWidgetID;
  }
  int32 GetPanelCount() const override { return static_cast<int32>(node_->Children().size()); }
  WidgetID GetPanelID(int32 index) const override {
    const auto panels = node_->Children();
    if (index < 0 || static_cast<size_t>(index) >= panels.size()) return kInvalidWidgetID;
    return panels[static_cast<size_t>(index)]->Id();
  }

 private:
  WidgetNode* node_;
};

class TextControlDataImpl : public CPMUnknown<ITextControlData> {
 public:
  TextControlDataImpl(IPMUnknown* boss, WidgetNode* node) : CPMUnknown(boss), node_(node) {}

  void SetString(const PMString& text, bool16, bool16 notifyOfChange) override {
    switch (node_->Kind()) {
      case WidgetKind::kDropDown: {
        int32 index = -1;
        for (size_t i = 0; i < node_->entries.size(); ++i) {
          if (node_->entries[i] == text) {
            index = static_cast<int32>(i);
            break;
          }
        }
        node_->selected = index;
        if (notifyOfChange) node_->Notify(kPopupChangeStateMessage, IID_ISTRINGLISTCONTROLDATA);
        return;
      }
      case WidgetKind::kStaticText: {
        PMString shown = text;
        shown.Translate();
        node_->text = shown;
        break;
      }
      default:
        node_->text = text;
        node_->caret = node_->text.CharCount();
        node_->committedText = text;
        break;
    }
    if (notifyOfChange) node_->Notify(kTextChangeStateMessage, IID_ITEXTCONTROLDATA);
  }

  PMString GetString() const override {
    if (node_->Kind() != WidgetKind::kDropDown) return node_->text;
    const int32 sel = node_->selected;
    if (sel < 0 || static_cast<size_t>(sel) >= node_->entries.size()) return PMString();
    return node_->entries[static_cast<size_t>(sel)];
  }

 private:
  WidgetNode* node_;
};

class StringListImpl : public CPMUnknown<IStringListControlData> {
 public:
  StringListImpl(IPMUnknown* boss, WidgetNode* node) : CPMUnknown(boss), node_(node) {}

  void Clear(bool16, bool16 notifyOfChange) override {
    node_->entries.clear();
    node_->selected = -1;
    if (notifyOfChange) node_->Notify(kListChangedMessage, IID_ISTRINGLISTCONTROLDATA);
  }

  void AddString(const PMString& text, int32 atIndex, bool16, bool16 notifyOfChange) override {
    auto& entries = node_->entries;
    if (atIndex < 0 || static_cast<size_t>(atIndex) >= entries.size()) {
      entries.push_back(text);
    } else {
      entries.insert(entries.begin() + atIndex, text);
      if (node_->selected >= atIndex) ++node_->selected;
    }
    if (notifyOfChange) node_->Notify(kListChangedMessage, IID_ISTRINGLISTCONTROLDATA);
  }

  void RemoveString(int32 index, bool16, bool16 notifyOfChange) override {
    auto& entries = node_->entries;
    if (index < 0 || static_cast<size_t>(index) >= entries.size()) return;
    entries.erase(entries.begin() + index);
    if (node_->selected == index) {
      node_->selected = -1;
    } else if (node_->selected > index) {
      --node_->selected;
    }
    if (notifyOfChange) node_->Notify(kListChangedMessage, IID_ISTRINGLISTCONTROLDATA);
  }

  int32 Length() const override { return static_cast<int32>(node_->entries.size()); }

  PMString GetString(int32 index) const override {
    if (index < 0 || static_cast<size_t>(index) >= node_->entries.size()) return PMString();
    return node_->entries[static_cast<size_t>(index)];
  }

  int32 GetIndex(const PMString& text) const override {
    for (size_t i = 0; i < node_->entries.size(); ++i) {
      if (node_->entries[i] == text) return static_cast<int32>(i);
    }
    return -1;
  }

 private:
  WidgetNode* node_;
};

class DropDownImpl : public CPMUnknown<IDropDownListController> {
 public:
  DropDownImpl(IPMUnknown* boss, WidgetNode* node) : CPMUnknown(boss), node_(node) {}

  void Select(int32 index, bool16, bool16 notifyOfChange) override {
    const bool inList = index >= 0 && static_cast<size_t>(index) < node_->entries.size();
    node_->selected = inList ? index : kNoSelection;
    if (notifyOfChange) node_->Notify(kPopupChangeStateMessage, IID_ISTRINGLISTCONTROLDATA);
  }
  void Deselect(bool16, bool16 notifyOfChange) override {
    node_->selected = kNoSelection;
    if (notifyOfChange) node_->Notify(kPopupChangeStateMessage, IID_ISTRINGLISTCONTROLDATA);
  }
  int32 GetSelected() const override { return node_->selected; }
  bool16 IsSelected(int32 index) const override {
    return index >= 0 && index == node_->selected ? 1 : 0;
  }

 private:
  WidgetNode* node_;
};

class TriStateImpl : public CPMUnknown<ITriStateControlData> {
 public:
  TriStateImpl(IPMUnknown* boss, WidgetNode* node) : CPMUnknown(boss), node_(node) {}

  void Select(bool16 invalidate, bool16 notify) override {
    SetState(kSelected, invalidate, notify);
  }
  void Deselect(bool16 invalidate, bool16 notify) override {
    SetState(kUnselected, invalidate, notify);
  }
  void SetUnknown(bool16 invalidate, bool16 notify) override {
    SetState(kUnknown, invalidate, notify);
  }
  void SetState(TriState state, bool16, bool16 notifyOfChange) override {
    if (state != kUnselected && state != kSelected) state = kUnknown;
    node_->state = state;
    if (!notifyOfChange) return;
    const ClassID change = state == kSelected     ? kTrueStateMessage
                           : state == kUnselected ? kFalseStateMessage
                                                  : kUnknownStateMessage;
    node_->Notify(change, IID_ITRISTATECONTROLDATA);
  }
  TriState GetState() const override { return node_->state; }
  bool16 IsSelected() const override { return node_->state == kSelected ? 1 : 0; }
  bool16 IsDeselected() const override { return node_->state == kUnselected ? 1 : 0; }
  bool16 IsUnknown() const override { return node_->state == kUnknown ? 1 : 0; }

 private:
  WidgetNode* node_;
};

class ButtonImpl : public CPMUnknown<IBooleanControlData> {
 public:
  ButtonImpl(IPMUnknown* boss, WidgetNode* node) : CPMUnknown(boss), node_(node) {}
  void Select(bool16, bool16 notifyOfChange) override {
    if (notifyOfChange) node_->Notify(kTrueStateMessage, IID_IBOOLEANCONTROLDATA);
  }
  void Deselect(bool16, bool16 notifyOfChange) override {
    if (notifyOfChange) node_->Notify(kFalseStateMessage, IID_IBOOLEANCONTROLDATA);
  }
  bool16 IsSelected() const override { return 0; }

 private:
  WidgetNode* node_;
};

const char* DefaultBossClass(WidgetKind kind) {
  switch (kind) {
    case WidgetKind::kPanel:
      return "kPanelWidgetBoss";
    case WidgetKind::kCluster:
      return "kClusterWidgetBoss";
    case WidgetKind::kPanelList:
      return "kPanelListWidgetBoss";
    case WidgetKind::kEditBox:
      return "kEditBoxWidgetBoss";
    case WidgetKind::kStaticText:
      return "kStaticTextWidgetBoss";
    case WidgetKind::kDropDown:
      return "kDropDownListWidgetBoss";
    case WidgetKind::kCheckBox:
      return "kCheckBoxWidgetBoss";
    case WidgetKind::kRadio:
      return "kRadioButtonWidgetBoss";
    case WidgetKind::kButton:
      return "kButtonWidgetBoss";
  }
  return "kPanelWidgetBoss";
}

template <class Impl>
void AddIfAbsent(Boss& boss, PMIID iid, WidgetNode* node) {
  if (!boss.Has(iid)) boss.AddNew<Impl>(iid, node);
}

PMString Translated(const std::string& key) {
  PMString text(key);
  text.Translate();
  return text;
}

// Observers sit under one of these interfaces.
constexpr PMIID kObserverIIDs[] = {IID_IOBSERVER, IID_IACTIVESELECTIONOBSERVER};

}  // namespace

// ---- kinds ---------------------------------------------------------------------

const char* WidgetKindName(WidgetKind kind) {
  switch (kind) {
    case WidgetKind::kPanel:
      return "panel";
    case WidgetKind::kCluster:
      return "cluster";
    case WidgetKind::kPanelList:
      return "panellist";
    case WidgetKind::kEditBox:
      return "editbox";
    case WidgetKind::kStaticText:
      return "text";
    case WidgetKind::kDropDown:
      return "dropdown";
    case WidgetKind::kCheckBox:
      return "checkbox";
    case WidgetKind::kRadio:
      return "radio";
    case WidgetKind::kButton:
      return "button";
  }
  return "panel";
}

bool ParseWidgetKind(const std::string& name, WidgetKind* kind) {
  static constexpr WidgetKind kAll[] = {
      WidgetKind::kPanel,    WidgetKind::kCluster,    WidgetKind::kPanelList,
      WidgetKind::kEditBox,  WidgetKind::kStaticText, WidgetKind::kDropDown,
      WidgetKind::kCheckBox, WidgetKind::kRadio,      WidgetKind::kButton};
  for (WidgetKind k : kAll) {
    if (name == WidgetKindName(k)) {
      *kind = k;
      return true;
    }
  }
  return false;
}

bool IsContainerKind(WidgetKind kind) {
  return kind == WidgetKind::kPanel || kind == WidgetKind::kCluster ||
         kind == WidgetKind::kPanelList;
}

// ---- nodes ---------------------------------------------------------------------

WidgetNode::WidgetNode(Boss* boss, const WidgetSpec& spec, WidgetNode* parent,
                       const WidgetToolkit* toolkit)
    : enabled(spec.enabled),
      visible(spec.visible),
      state(spec.state),
      boss_(boss),
      kind_(spec.kind),
      id_(spec.id),
      name_(spec.name),
      caption_(spec.caption.empty() ? PMString() : Translated(spec.caption)),
      password_(spec.password),
      parent_(parent),
      toolkit_(toolkit) {
  if (kind_ == WidgetKind::kStaticText) {
    text = Translated(spec.text);
  } else {
    text = PMString(spec.text, PMString::kDontTranslateDuringCall);
  }
  caret = text.CharCount();
  committedText = text;
  for (const auto& key : spec.entries) entries.push_back(Translated(key));
  if (spec.selected >= 0 && static_cast<size_t>(spec.selected) < entries.size()) {
    selected = spec.selected;
  }
}

WidgetNode::~WidgetNode() {
  // Children go first, last one first, while this node still exists.
  while (!children_.empty()) children_.pop_back();
}

WidgetNode* WidgetNode::Of(const IPMUnknown* object) {
  Boss* boss = Boss::Of(object);
  if (!boss) return nullptr;
  IPMUnknown* view = boss->QueryInterface(IID_ICONTROLVIEW);
  if (!view) return nullptr;
  view->Release();
  auto* impl = dynamic_cast<ControlViewImpl*>(static_cast<IControlView*>(view));
  return impl ? impl->Node() : nullptr;
}

WidgetNode* WidgetNode::Root() {
  WidgetNode* node = this;
  while (node->parent_) node = node->parent_;
  return node;
}

std::string WidgetNode::Label() const {
  if (id_ == kInvalidWidgetID) return name_.empty() ? std::string("(unnamed widget)") : name_;
  char buf[16];
  std::snprintf(buf, sizeof(buf), "0x%x", static_cast<unsigned>(id_));
  return buf;
}

bool WidgetNode::IsOperable() const {
  for (const WidgetNode* n = this; n; n = n->parent_) {
    if (!n->enabled || !n->visible) return false;
  }
  return true;
}

std::vector<WidgetNode*> WidgetNode::Children() const {
  std::vector<WidgetNode*> nodes;
  nodes.reserve(children_.size());
  for (const auto& child : children_) {
    if (WidgetNode* n = WidgetNode::Of(child.get())) nodes.push_back(n);
  }
  return nodes;
}

WidgetNode* WidgetNode::AddChild(const WidgetSpec& spec) {
  return AdoptChild(BuildWidget(spec, this, *toolkit_));
}

WidgetNode* WidgetNode::AdoptChild(std::unique_ptr<Boss> child) {
  if (!child) return nullptr;
  WidgetNode* node = WidgetNode::Of(child.get());
  if (!node) return nullptr;
  node->parent_ = this;
  children_.push_back(std::move(child));
  return node;
}

WidgetNode* WidgetNode::Find(WidgetID id, int32 depth) {
  if (id == kInvalidWidgetID || depth < 0) return nullptr;
  for (WidgetNode* child : Children()) {
    if (child->id_ == id) return child;
    if (depth > 0 && IsContainerKind(child->kind_)) {
      if (WidgetNode* found = child->Find(id, depth - 1)) return found;
    }
  }
  return nullptr;
}

WidgetNode* WidgetNode::FindByName(const std::string& name) {
  if (name.empty()) return nullptr;
  for (WidgetNode* child : Children()) {
    if (child->name_ == name) return child;
    if (WidgetNode* found = child->FindByName(name)) return found;
  }
  return nullptr;
}

void WidgetNode::ForEach(const std::function<void(WidgetNode&)>& visit) {
  visit(*this);
  for (WidgetNode* child : Children()) child->ForEach(visit);
}

ISubject* WidgetNode::Subject() const {
  IPMUnknown* subject = boss_->QueryInterface(IID_ISUBJECT);
  if (subject) subject->Release();
  return static_cast<ISubject*>(subject);
}

void WidgetNode::Notify(ClassID change, PMIID protocol) {
  if (ISubject* subject = Subject()) subject->Change(change, protocol, nullptr);
}

// ---- building ------------------------------------------------------------------

WidgetNode* MakeWidget(Boss& boss, const WidgetSpec& spec, WidgetNode* parent,
                       const WidgetToolkit& toolkit) {
  auto* view = boss.AddNew<ControlViewImpl>(IID_ICONTROLVIEW, spec, parent, &toolkit);
  WidgetNode* node = view->Node();
  toolkit.subjects.AddSubject(boss);
  switch (spec.kind) {
    case WidgetKind::kPanelList:
      AddIfAbsent<PanelSwitcherImpl>(boss, IID_IDIALOGPANELSWITCHER, node);
      [[fallthrough]];
    case WidgetKind::kPanel:
    case WidgetKind::kCluster:
      AddIfAbsent<PanelControlDataImpl>(boss, IID_IPANELCONTROLDATA, node);
      break;
    case WidgetKind::kEditBox:
      AddIfAbsent<TextControlDataImpl>(boss, IID_ITEXTCONTROLDATA, node);
      if (!boss.Has(IID_IEVENTHANDLER) && toolkit.addEditBoxHandler) {
        toolkit.addEditBoxHandler(boss);
      }
      break;
    case WidgetKind::kStaticText:
      AddIfAbsent<TextControlDataImpl>(boss, IID_ITEXTCONTROLDATA, node);
      break;
    case WidgetKind::kDropDown:
      AddIfAbsent<StringListImpl>(boss, IID_ISTRINGLISTCONTROLDATA, node);
      AddIfAbsent<DropDownImpl>(boss, IID_IDROPDOWNLISTCONTROLLER, node);
      AddIfAbsent<TextControlDataImpl>(boss, IID_ITEXTCONTROLDATA, node);
      break;
    case WidgetKind::kCheckBox:
    case WidgetKind::kRadio:
      AddIfAbsent<TriStateImpl>(boss, IID_ITRISTATECONTROLDATA, node);
      break;
    case WidgetKind::kButton:
      AddIfAbsent<ButtonImpl>(boss, IID_IBOOLEANCONTROLDATA, node);
      break;
  }
  for (const auto& child : spec.children) node->AddChild(child);
  return node;
}

std::unique_ptr<Boss> BuildWidget(const WidgetSpec& spec, WidgetNode* parent,
                                  const WidgetToolkit& toolkit) {
  const std::string bossClass =
      spec.bossClass.empty() ? DefaultBossClass(spec.kind) : spec.bossClass;
  std::unique_ptr<Boss> boss = toolkit.objects.MakeBoss(bossClass);
  MakeWidget(*boss, spec, parent, toolkit);
  return boss;
}

void AttachTreeObservers(WidgetNode& root) {
  std::vector<WidgetNode*> nodes;
  root.ForEach([&nodes](WidgetNode& n) { nodes.push_back(&n); });
  for (WidgetNode* n : nodes) {
    for (PMIID iid : kObserverIIDs) {
      InterfacePtr<IObserver> observer(&n->GetBoss(), iid);
      if (observer) observer->AutoAttach();
    }
  }
}

void DetachTreeObservers(WidgetNode& root) {
  std::vector<WidgetNode*> nodes;
  root.ForEach([&nodes](WidgetNode& n) { nodes.push_back(&n); });
  for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
    for (PMIID iid : kObserverIIDs) {
      InterfacePtr<IObserver> observer(&(*it)->GetBoss(), iid);
      if (observer) observer->AutoDetach();
    }
  }
}

}  // namespace standin
