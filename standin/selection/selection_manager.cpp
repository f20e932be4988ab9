#include "standin/selection/selection_manager.h"

#include "host/ILabel.h"
#include "standin/core/object_model.h"
#include "standin/document/document.h"

namespace standin {

namespace {

class SelectionManagerImpl : public CPMUnknown<ISelectionManager> {
 public:
  SelectionManagerImpl(IPMUnknown* boss, SelectionManager* sel) : CPMUnknown(boss), sel_(sel) {}
  bool SelectionExists() const override {
    return !sel_->SelectedItems().empty() || sel_->TextFrame() != kInvalidUID;
  }

 private:
  SelectionManager* sel_;
};

class IntegratorTarget : public CPMUnknown<IIntegratorTarget> {
 public:
  IntegratorTarget(IPMUnknown* boss, SelectionManager* sel) : CPMUnknown(boss), sel_(sel) {}
  std::unique_ptr<TargetSuiteCollection> GetTarget(PMIID iid) const override {
    auto collection = std::make_unique<TargetSuiteCollection>();
    for (auto kind : sel_->Present()) {
      IPMUnknown* impl = sel_->ConcreteBoss(kind).QueryInterface(iid);
      if (impl) collection->emplace_back(impl);
    }
    return collection;
  }

 private:
  SelectionManager* sel_;
};

class LayoutTarget : public CPMUnknown<ILayoutTarget> {
 public:
  LayoutTarget(IPMUnknown* boss, SelectionManager* sel) : CPMUnknown(boss), sel_(sel) {}
  bool HasSelection() const override { return !sel_->SelectedItems().empty(); }
  UIDList GetUIDList() const override {
    UIDList list(sel_->SelectedDocument());
    for (UID uid : sel_->SelectedItems()) list.Append(uid);
    return list;
  }

 private:
  SelectionManager* sel_;
};

class TextTarget : public CPMUnknown<ITextTarget> {
 public:
  TextTarget(IPMUnknown* boss, SelectionManager* sel) : CPMUnknown(boss), sel_(sel) {}
  UIDRef GetTextModel() const override {
    Document* doc = sel_->SelectedDocument();
    PageItem* frame = doc ? doc->FindItem(sel_->TextFrame()) : nullptr;
    return frame ? doc->Ref(frame->storyUID) : UIDRef();
  }

 private:
  SelectionManager* sel_;
};

// The labels of the selected items: the layout selection's items, or the
// frame that holds a text selection.
class LabelSuite : public CPMUnknown<ILabelSuite> {
 public:
  LabelSuite(IPMUnknown* boss, SelectionManager* sel) : CPMUnknown(boss), sel_(sel) {}
  void GetLabels(K2Vector<WideString>& labels) const override {
    for (PageItem* item : Items()) labels.push_back(item->label);
  }
  void SetLabel(const WideString& label) override {
    Document* doc = sel_->SelectedDocument();
    for (PageItem* item : Items()) doc->SetItemLabel(item, label);
  }

 private:
  std::vector<PageItem*> Items() const {
    std::vector<PageItem*> items;
    Document* doc = sel_->SelectedDocument();
    if (!doc) return items;
    for (UID uid : sel_->SelectedItems()) {
      if (PageItem* item = doc->FindItem(uid)) items.push_back(item);
    }
    if (items.empty() && sel_->TextFrame() != kInvalidUID) {
      if (PageItem* item = doc->FindItem(sel_->TextFrame())) items.push_back(item);
    }
    return items;
  }
  SelectionManager* sel_;
};

}  // namespace

SelectionManager::SelectionManager(const ObjectModel& objects) : objects_(objects) {
  RebuildBosses();
}

void SelectionManager::RebuildBosses() {
  abstract_ = objects_.MakeBoss("kAbstractSelectionBoss");
  abstract_->AddNew<SelectionManagerImpl>(IID_ISELECTIONMANAGER, this);
  abstract_->AddNew<IntegratorTarget>(IID_IINTEGRATORTARGET, this);
  abstract_->AddNew<LabelSuite>(IID_ILABELSUITE, this);
  layout_ = objects_.MakeBoss("kLayoutSelectionBoss");
  layout_->AddNew<LayoutTarget>(IID_ILAYOUTTARGET, this);
  text_ = objects_.MakeBoss("kTextSelectionBoss");
  text_->AddNew<TextTarget>(IID_ITEXTTARGET, this);
  defaults_ = objects_.MakeBoss("kDefaultsSelectionBoss");
}

SelectionManager::~SelectionManager() = default;

ISelectionManager* SelectionManager::Interface() const {
  IPMUnknown* impl = abstract_->QueryInterface(IID_ISELECTIONMANAGER);
  if (impl) impl->Release();
  return static_cast<ISelectionManager*>(impl);
}

Boss& SelectionManager::ConcreteBoss(Concrete kind) {
  switch (kind) {
    case Concrete::kLayout:
      return *layout_;
    case Concrete::kText:
      return *text_;
    case Concrete::kDefaults:
      break;
  }
  return *defaults_;
}

void SelectionManager::SelectItems(Document* doc, const std::vector<UID>& uids) {
  doc_ = doc;
  items_.clear();
  for (UID uid : uids) {
    if (doc && doc->FindItem(uid)) items_.push_back(uid);
  }
  textFrame_ = kInvalidUID;
  present_ = {doc ? Concrete::kLayout : Concrete::kDefaults};
  Notify();
}

void SelectionManager::SelectText(Document* doc, UID frame) {
  doc_ = doc;
  items_.clear();
  textFrame_ = frame;
  present_ = {Concrete::kText};
  Notify();
}

void SelectionManager::Clear() {
  doc_ = nullptr;
  items_.clear();
  textFrame_ = kInvalidUID;
  present_ = {Concrete::kDefaults};
  Notify();
}

int SelectionManager::AddListener(std::function<void()> listener) {
  listeners_.emplace_back(nextToken_, std::move(listener));
  return nextToken_++;
}

void SelectionManager::RemoveListener(int token) {
  for (auto it = listeners_.begin(); it != listeners_.end(); ++it) {
    if (it->first == token) {
      listeners_.erase(it);
      return;
    }
  }
}

void SelectionManager::Notify() {
  // A listener may add or remove listeners: walk a copy.
  auto listeners = listeners_;
  for (auto& entry : listeners) entry.second();
}

}  // namespace standin
