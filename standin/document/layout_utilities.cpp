#include "standin/document/layout_utilities.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "host/ILayout.h"
#include "standin/document/document.h"
#include "standin/document/geometry.h"

namespace standin {

namespace {

// The items of `list`, all of them, or false when the list names no
// document or an item that does not exist.
bool ResolveItems(const UIDList& list, Document** doc, std::vector<PageItem*>* items) {
  *doc = Document::FromDataBase(list.GetDataBase());
  if (!*doc) return false;
  for (int32 i = 0; i < list.Length(); ++i) {
    PageItem* item = (*doc)->FindItem(list.At(i));
    if (!item) return false;
    items->push_back(item);
  }
  return true;
}

class LayoutUtils : public CPMUnknown<ILayoutUtils> {
 public:
  using CPMUnknown::CPMUnknown;
  PMPoint GetReferencePoint(const UIDList& items, ReferencePointKind kind) const override {
    Document* doc = Document::FromDataBase(items.GetDataBase());
    bool any = false;
    PMRect box;
    for (int32 i = 0; doc && i < items.Length(); ++i) {
      const PageItem* item = doc->FindItem(items.At(i));
      if (!item) continue;
      const PMRect b = TransformedBox(item->bounds, item->InnerToSpread());
      if (!any) {
        box = b;
        any = true;
      } else {
        box = PMRect(std::min(box.left, b.left), std::min(box.top, b.top),
                     std::max(box.right, b.right), std::max(box.bottom, b.bottom));
      }
    }
    if (!any) return PMPoint();
    const int32 k =
        (kind >= kTopLeftReference && kind <= kBottomRightReference) ? kind : kCenterReference;
    const PMReal xs[] = {box.left, (box.left + box.right) / 2, box.right};
    const PMReal ys[] = {box.top, (box.top + box.bottom) / 2, box.bottom};
    return PMPoint(xs[k % 3], ys[k / 3]);
  }
};

class TransformFacade : public CPMUnknown<ITransformFacade> {
 public:
  using CPMUnknown::CPMUnknown;

  ErrorCode SetRotationAngle(const UIDList& items, const PMPoint& about, PMReal degrees) override {
    if (!std::isfinite(degrees) || !std::isfinite(about.x) || !std::isfinite(about.y))
      return kFailure;
    return Apply(items, [&](const PMMatrix& toSpread, PMMatrix* out) {
      *out = WithRotation(toSpread, about, degrees);
      return IsUsableMatrix(*out);
    });
  }

  ErrorCode SetSkewAngle(const UIDList& items, const PMPoint& about, PMReal degrees) override {
    if (!std::isfinite(about.x) || !std::isfinite(about.y)) return kFailure;
    return Apply(items, [&](const PMMatrix& toSpread, PMMatrix* out) {
      return WithSkew(toSpread, about, degrees, out);
    });
  }

  ErrorCode SetVisible(const UIDList& items, bool16 visible) override {
    Document* doc = nullptr;
    std::vector<PageItem*> resolved;
    if (!ResolveItems(items, &doc, &resolved)) return kFailure;
    for (PageItem* item : resolved) doc->SetItemVisible(item, visible != 0);
    return kSuccess;
  }

  bool16 IsVisible(const UIDRef& item) const override {
    Document* doc = Document::FromDataBase(item.GetDataBase());
    const PageItem* found = doc ? doc->FindItem(item.GetUID()) : nullptr;
    return found && found->visible;
  }

  ErrorCode SetInnerToParentMatrix(const UIDRef& item, const PMMatrix& matrix) override {
    Document* doc = Document::FromDataBase(item.GetDataBase());
    PageItem* found = doc ? doc->FindItem(item.GetUID()) : nullptr;
    return found && doc->SetItemMatrix(found, matrix) ? kSuccess : kFailure;
  }

 private:
  using Change = std::function<bool(const PMMatrix& toSpread, PMMatrix* out)>;

  // Works out every item's new inner-to-spread matrix first and changes
  // nothing when one cannot be made; then gives each item the matrix that
  // puts it there under its (possibly just changed) groups.
  static ErrorCode Apply(const UIDList& items, const Change& change) {
    Document* doc = nullptr;
    std::vector<PageItem*> resolved;
    if (!ResolveItems(items, &doc, &resolved)) return kFailure;
    std::vector<PMMatrix> targets(resolved.size());
    for (size_t i = 0; i < resolved.size(); ++i) {
      if (!change(resolved[i]->InnerToSpread(), &targets[i]) ||
          !IsUsableBox(resolved[i]->bounds, targets[i]))
        return kFailure;
    }
    ErrorCode result = kSuccess;
    for (size_t i = 0; i < resolved.size(); ++i) {
      PMMatrix parentInverse;
      if (resolved[i]->parent) parentInverse = resolved[i]->parent->InnerToSpread();
      if (!parentInverse.Invert() ||
          !doc->SetItemMatrix(resolved[i], targets[i].Then(parentInverse)))
        result = kFailure;
    }
    return result;
  }
};

}  // namespace

void AddLayoutUtilities(Boss& session) {
  session.AddNew<LayoutUtils>(IID_ILAYOUTUTILS);
  session.AddNew<TransformFacade>(IID_ITRANSFORMFACADE);
}

}  // namespace standin
