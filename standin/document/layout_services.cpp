// The layout interfaces on spreads, pages and page items: hierarchy,
// geometry and transforms.
#include "host/ILabel.h"
#include "host/ILayout.h"
#include "host/IPageItemData.h"
#include "host/InterfacePtr.h"
#include "host/PersistUtils.h"
#include "standin/document/document.h"
#include "standin/document/object_services.h"

namespace standin {

namespace {

void AppendItems(const std::vector<std::unique_ptr<PageItem>>& items, UIDList* list) {
  for (const auto& item : items) list->Append(item->uid);
}

class SpreadImpl : public CPMUnknown<ISpread> {
 public:
  SpreadImpl(IPMUnknown* boss, Document* doc, Spread* spread)
      : CPMUnknown(boss), doc_(doc), spread_(spread) {}
  int32 GetNumPages() const override { return static_cast<int32>(spread_->pages.size()); }
  UID GetNthPageUID(int32 index) const override {
    const Page* page = PageAt(index);
    return page ? page->uid : kInvalidUID;
  }
  void GetItemsOnPage(int32 index, UIDList* items, bool16 includePage,
                      bool16 includePasteboard) const override {
    const Page* page = PageAt(index);
    if (!page || !items) return;
    if (items->IsEmpty() && !items->GetDataBase()) *items = UIDList(doc_);
    if (includePage) items->Append(page->uid);
    AppendItems(page->items, items);
    if (includePasteboard) AppendItems(spread_->pasteboard, items);
  }

 private:
  const Page* PageAt(int32 index) const {
    if (index < 0 || static_cast<size_t>(index) >= spread_->pages.size()) return nullptr;
    return spread_->pages[static_cast<size_t>(index)].get();
  }
  Document* doc_;
  Spread* spread_;
};

// Children are given once, when the boss is made: the document's structure
// does not change while it is open.
class HierarchyImpl : public CPMUnknown<IHierarchy> {
 public:
  HierarchyImpl(IPMUnknown* boss, std::vector<UID> children, UID parent, UID spread)
      : CPMUnknown(boss), children_(std::move(children)), parent_(parent), spread_(spread) {}
  int32 GetChildCount() const override { return static_cast<int32>(children_.size()); }
  UID GetChildUID(int32 index) const override {
    if (index < 0 || static_cast<size_t>(index) >= children_.size()) return kInvalidUID;
    return children_[static_cast<size_t>(index)];
  }
  UID GetParentUID() const override { return parent_; }
  UID GetSpreadUID() const override { return spread_; }

 private:
  std::vector<UID> children_;
  UID parent_;
  UID spread_;
};

class PageGeometry : public CPMUnknown<IGeometry> {
 public:
  PageGeometry(IPMUnknown* boss, Page* page) : CPMUnknown(boss), page_(page) {}
  PMRect GetBoundingBox() const override { return page_->bounds; }

 private:
  Page* page_;
};

class PageTransform : public CPMUnknown<ITransform> {
 public:
  PageTransform(IPMUnknown* boss, Page* page) : CPMUnknown(boss), page_(page) {}
  PMMatrix GetInnerToParentMatrix() const override { return page_->matrix; }
  PMReal GetItemRotationAngle() const override { return page_->matrix.RotationAngle(); }
  PMReal GetItemSkewAngle() const override { return page_->matrix.SkewAngle(); }

 private:
  Page* page_;
};

class ItemGeometry : public CPMUnknown<IGeometry> {
 public:
  ItemGeometry(IPMUnknown* boss, PageItem* item) : CPMUnknown(boss), item_(item) {}
  PMRect GetBoundingBox() const override { return item_->bounds; }

 private:
  PageItem* item_;
};

class ItemTransform : public CPMUnknown<ITransform> {
 public:
  ItemTransform(IPMUnknown* boss, PageItem* item) : CPMUnknown(boss), item_(item) {}
  PMMatrix GetInnerToParentMatrix() const override { return item_->matrix; }
  PMReal GetItemRotationAngle() const override { return item_->InnerToSpread().RotationAngle(); }
  PMReal GetItemSkewAngle() const override { return item_->InnerToSpread().SkewAngle(); }

 private:
  PageItem* item_;
};

class ItemLabel : public CPMUnknown<ILabel> {
 public:
  ItemLabel(IPMUnknown* boss, Document* doc, PageItem* item)
      : CPMUnknown(boss), doc_(doc), item_(item) {}
  const WideString& GetLabel() const override { return item_->label; }
  void SetLabel(const WideString& label) override { doc_->SetItemLabel(item_, label); }

 private:
  Document* doc_;
  PageItem* item_;
};

class GuideData : public CPMUnknown<IGuideData> {
 public:
  using CPMUnknown::CPMUnknown;
};

class FrameData : public CPMUnknown<IGraphicFrameData> {
 public:
  FrameData(IPMUnknown* boss, UID content) : CPMUnknown(boss), content_(content) {}
  UID GetTextContentUID() const override { return content_; }

 private:
  UID content_;
};

class ColumnData : public CPMUnknown<IMultiColumnItemData> {
 public:
  ColumnData(IPMUnknown* boss, UID story) : CPMUnknown(boss), story_(story) {}
  UID GetTextModelUID() const override { return story_; }

 private:
  UID story_;
};

}  // namespace

void AddSpreadServices(Boss& boss, Document* doc, Spread* spread) {
  boss.AddNew<SpreadImpl>(IID_ISPREAD, doc, spread);
  std::vector<UID> children;
  for (const auto& page : spread->pages) {
    for (const auto& item : page->items) children.push_back(item->uid);
  }
  for (const auto& item : spread->pasteboard) children.push_back(item->uid);
  boss.AddNew<HierarchyImpl>(IID_IHIERARCHY, std::move(children), kInvalidUID, spread->uid);
}

void AddPageServices(Boss& boss, Page* page) {
  boss.AddNew<PageGeometry>(IID_IGEOMETRY, page);
  boss.AddNew<PageTransform>(IID_ITRANSFORM, page);
  boss.AddNew<HierarchyImpl>(IID_IHIERARCHY, std::vector<UID>{}, page->spread->uid,
                             page->spread->uid);
}

void AddItemServices(Boss& boss, Document* doc, PageItem* item) {
  boss.AddNew<ItemLabel>(IID_ILABEL, doc, item);
  std::vector<UID> children;
  for (const auto& child : item->children) children.push_back(child->uid);
  if (item->imageUID != kInvalidUID) children.push_back(item->imageUID);
  if (item->contentUID != kInvalidUID) children.push_back(item->contentUID);
  const UID parent = item->parent ? item->parent->uid : item->spread->uid;
  boss.AddNew<HierarchyImpl>(IID_IHIERARCHY, std::move(children), parent, item->spread->uid);
  boss.AddNew<ItemGeometry>(IID_IGEOMETRY, item);
  boss.AddNew<ItemTransform>(IID_ITRANSFORM, item);
  switch (item->kind) {
    case ItemKind::kGuide:
      boss.AddNew<GuideData>(IID_IGUIDEDATA);
      break;
    case ItemKind::kTextFrame:
      boss.AddNew<FrameData>(IID_IGRAPHICFRAMEDATA, item->contentUID);
      AddTextFrameServices(boss, item);
      AddStyleServices(boss, item);
      break;
    case ItemKind::kGraphicFrame:
      boss.AddNew<FrameData>(IID_IGRAPHICFRAMEDATA, kInvalidUID);
      AddStyleServices(boss, item);
      break;
    case ItemKind::kOther:
      AddStyleServices(boss, item);
      break;
    case ItemKind::kGroup:
      AddStyleServices(boss, item);
      break;
  }
}

void AddTextContentServices(Boss& boss, PageItem* frame) {
  boss.AddNew<ColumnData>(IID_IMULTICOLUMNITEMDATA, frame->storyUID);
  boss.AddNew<HierarchyImpl>(IID_IHIERARCHY, std::vector<UID>{}, frame->uid, frame->spread->uid);
}

void AddPlacedImageServices(Boss& boss, PageItem* frame) {
  boss.AddNew<HierarchyImpl>(IID_IHIERARCHY, std::vector<UID>{}, frame->uid, frame->spread->uid);
}

}  // namespace standin

PMMatrix InnerToPasteboardMatrix(const IPMUnknown* object) {
  InterfacePtr<ITransform> transform(object, IID_ITRANSFORM);
  if (!transform) return PMMatrix();
  PMMatrix m = transform->GetInnerToParentMatrix();
  const UIDRef ref = GetUIDRef(object);
  InterfacePtr<IHierarchy> hierarchy(object, IID_IHIERARCHY);
  // Up through the enclosing groups; the spread (without ITransform) ends
  // the walk. The bound guards against a cycle.
  for (int level = 0; hierarchy && ref.GetDataBase() && level <= 1024; ++level) {
    const UIDRef parent(ref.GetDataBase(), hierarchy->GetParentUID());
    InterfacePtr<ITransform> parentTransform(parent, IID_ITRANSFORM);
    if (!parentTransform) break;
    m = m.Then(parentTransform->GetInnerToParentMatrix());
    hierarchy = InterfacePtr<IHierarchy>(parent, IID_IHIERARCHY);
  }
  return m;
}
