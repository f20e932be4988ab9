#include "publish/page_items.h"

#include <algorithm>
#include <cmath>

#include "host/ILayout.h"
#include "host/IPageItemData.h"
#include "host/IPageItemStyle.h"
#include "host/Utils.h"

namespace {

constexpr PMReal kAngleTolerance = 1e-8;

bool IsZeroAngle(PMReal degrees) { return std::fabs(degrees) <= kAngleTolerance; }

// Calls `visit(items)` with the item list of every page, in page order.
template <class Visit>
void ForEachPage(IDocument* document, Visit visit) {
  if (!document) return;
  IDataBase* db = document->GetDocDataBase();
  InterfacePtr<ISpreadList> spreads(document, IID_ISPREADLIST);
  if (!db || !spreads) return;
  const int32 spreadCount = spreads->GetSpreadCount();
  for (int32 s = 0; s < spreadCount; ++s) {
    InterfacePtr<ISpread> spread(UIDRef(db, spreads->GetNthSpreadUID(s)), IID_ISPREAD);
    if (!spread) continue;
    const int32 pages = spread->GetNumPages();
    for (int32 p = 0; p < pages; ++p) {
      UIDList items(db);
      spread->GetItemsOnPage(p, &items, 0, 0);
      visit(items);
    }
  }
}

// Turns and unskews one item about its centre for as long as it lives, then
// gives the item back the very inner-to-parent matrix it had, so that
// measuring leaves no rounding behind.
class Straightened {
 public:
  Straightened(const UIDRef& item, PMReal rotation, PMReal skew)
      : item_(item), items_(item.GetDataBase()) {
    items_.Append(item.GetUID());
    InterfacePtr<ITransform> transform(item, IID_ITRANSFORM);
    Utils<ILayoutUtils> layout;
    if (!facade_ || !layout || !transform) return;
    saved_ = transform->GetInnerToParentMatrix();
    restore_ = true;
    const PMPoint about = layout->GetReferencePoint(items_, kCenterReference);
    if (!IsZeroAngle(rotation)) facade_->SetRotationAngle(items_, about, 0);
    if (!IsZeroAngle(skew)) facade_->SetSkewAngle(items_, about, 0);
  }
  ~Straightened() {
    if (restore_) facade_->SetInnerToParentMatrix(item_, saved_);
  }
  Straightened(const Straightened&) = delete;
  Straightened& operator=(const Straightened&) = delete;

 private:
  Utils<ITransformFacade> facade_;
  const UIDRef item_;
  UIDList items_;
  PMMatrix saved_;
  bool restore_ = false;
};

// The box of `geometry`'s inner bounds as they lie on `page` (page inner
// coordinates), as the smallest upright rectangle around its corners.
PMRect BoxOnPage(const IGeometry* geometry, const IPMUnknown* page) {
  PMMatrix toPage = InnerToPasteboardMatrix(geometry);
  PMMatrix pageToSpread = InnerToPasteboardMatrix(page);
  if (pageToSpread.Invert()) toPage = toPage.Then(pageToSpread);
  const PMRect box = geometry->GetBoundingBox();
  const PMPoint corners[] = {toPage.Transform(box.LeftTop()), toPage.Transform(box.RightTop()),
                             toPage.Transform(box.LeftBottom()),
                             toPage.Transform(box.RightBottom())};
  PMRect result(corners[0].x, corners[0].y, corners[0].x, corners[0].y);
  for (const PMPoint& corner : corners) {
    result.left = std::min(result.left, corner.x);
    result.right = std::max(result.right, corner.x);
    result.top = std::min(result.top, corner.y);
    result.bottom = std::max(result.bottom, corner.y);
  }
  return result;
}

void AppendUtf8(char32_t c, std::string* out) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

bool IsGroupItem(const UIDRef& item) {
  InterfacePtr<IGraphicFrameData> frame(item, IID_IGRAPHICFRAMEDATA);
  if (frame) return false;
  InterfacePtr<IHierarchy> hierarchy(item, IID_IHIERARCHY);
  return hierarchy && hierarchy->GetChildCount() > 0;
}

void CollectPageItems(IDocument* document, UIDList* items) {
  if (!items) return;
  ForEachPage(document, [items](const UIDList& onPage) {
    for (int32 i = 0; i < onPage.Length(); ++i) items->Append(onPage.At(i));
  });
}

PageItems::PageItems(IDocument* document)
    : items_(document ? document->GetDocDataBase() : nullptr) {
  int32 pageNumber = 0;
  ForEachPage(document, [this, &pageNumber](const UIDList& onPage) {
    ++pageNumber;
    for (int32 i = 0; i < onPage.Length(); ++i) {
      const UIDRef item = onPage.GetRef(i);
      items_.Append(item.GetUID());
      pageNumbers_.emplace(item.GetUID(), pageNumber);
      if (!IsGroupItem(item)) continue;
      InterfacePtr<IHierarchy> group(item, IID_IHIERARCHY);
      const int32 children = group->GetChildCount();
      for (int32 c = 0; c < children; ++c) pageNumbers_.emplace(group->GetChildUID(c), pageNumber);
    }
  });
}

int32 PageItems::PageNumberOf(UID item) const {
  const auto found = pageNumbers_.find(item);
  return found == pageNumbers_.end() ? 0 : found->second;
}

int32 GetItemPageNumber(IDocument* document, const UIDRef& item) {
  if (!document) return 0;
  IDataBase* db = document->GetDocDataBase();
  InterfacePtr<IHierarchy> hierarchy(item, IID_IHIERARCHY);
  InterfacePtr<ISpreadList> spreads(document, IID_ISPREADLIST);
  if (!db || !hierarchy || !spreads) return 0;
  const UID ownSpread = hierarchy->GetSpreadUID();
  int32 pagesBefore = 0;
  const int32 spreadCount = spreads->GetSpreadCount();
  for (int32 s = 0; s < spreadCount; ++s) {
    const UID spreadUID = spreads->GetNthSpreadUID(s);
    InterfacePtr<ISpread> spread(UIDRef(db, spreadUID), IID_ISPREAD);
    if (!spread) continue;
    const int32 pages = spread->GetNumPages();
    if (spreadUID != ownSpread) {
      pagesBefore += pages;
      continue;
    }
    for (int32 p = 0; p < pages; ++p) {
      UIDList onPage(db);
      spread->GetItemsOnPage(p, &onPage, 0, 0);
      for (int32 i = 0; i < onPage.Length(); ++i) {
        if (onPage.At(i) == item.GetUID()) return pagesBefore + p + 1;
        if (!IsGroupItem(onPage.GetRef(i))) continue;
        InterfacePtr<IHierarchy> group(onPage.GetRef(i), IID_IHIERARCHY);
        for (int32 c = 0; c < group->GetChildCount(); ++c) {
          if (group->GetChildUID(c) == item.GetUID()) return pagesBefore + p + 1;
        }
      }
    }
    return 0;
  }
  return 0;
}

UIDRef GetPageRef(IDocument* document, int32 pageNumber) {
  if (!document || pageNumber < 1) return UIDRef::gNull;
  InterfacePtr<IPageList> pages(document, IID_IPAGELIST);
  if (!pages || pageNumber > pages->GetPageCount()) return UIDRef::gNull;
  const UID page = pages->GetNthPageUID(pageNumber - 1);
  if (page == kInvalidUID) return UIDRef::gNull;
  return UIDRef(document->GetDocDataBase(), page);
}

PMRect GetPageBounds(const UIDRef& page) {
  InterfacePtr<IGeometry> geometry(page, IID_IGEOMETRY);
  return geometry ? geometry->GetBoundingBox() : PMRect();
}

PMRect GetItemBounds(const UIDRef& item, const UIDRef& page, PMReal* rotation, PMReal* skew) {
  if (rotation) *rotation = 0;
  if (skew) *skew = 0;
  InterfacePtr<IGeometry> geometry(item, IID_IGEOMETRY);
  if (!geometry) return PMRect();
  InterfacePtr<ITransform> transform(item, IID_ITRANSFORM);
  const PMReal itemRotation = transform ? transform->GetItemRotationAngle() : 0;
  const PMReal itemSkew = transform ? transform->GetItemSkewAngle() : 0;
  if (rotation) *rotation = itemRotation;
  if (skew) *skew = itemSkew;

  InterfacePtr<IGeometry> pageGeometry(page, IID_IGEOMETRY);
  PMRect box;
  if (IsZeroAngle(itemRotation) && IsZeroAngle(itemSkew)) {
    box = BoxOnPage(geometry, pageGeometry);
  } else {
    Straightened upright(item, itemRotation, itemSkew);
    box = BoxOnPage(geometry, pageGeometry);
  }
  const PMRect pageBox = pageGeometry ? pageGeometry->GetBoundingBox() : PMRect();
  return PMRect(box.left - pageBox.left, box.top - pageBox.top, box.right - pageBox.left,
                box.bottom - pageBox.top);
}

InterfacePtr<ITextModel> QueryFrameStory(const UIDRef& item) {
  InterfacePtr<IGraphicFrameData> frame(item, IID_IGRAPHICFRAMEDATA);
  if (!frame) return InterfacePtr<ITextModel>();
  const UID content = frame->GetTextContentUID();
  if (content == kInvalidUID) return InterfacePtr<ITextModel>();
  InterfacePtr<IMultiColumnItemData> columns(UIDRef(item.GetDataBase(), content),
                                             IID_IMULTICOLUMNITEMDATA);
  if (!columns) return InterfacePtr<ITextModel>();
  const UID story = columns->GetTextModelUID();
  if (story == kInvalidUID) return InterfacePtr<ITextModel>();
  return InterfacePtr<ITextModel>(UIDRef(item.GetDataBase(), story), IID_ITEXTMODEL);
}

void GetFrameText(const UIDRef& item, std::u32string* text) {
  if (!text) return;
  InterfacePtr<ITextModel> story = QueryFrameStory(item);
  if (!story) return;
  const int32 length = story->TotalLength();
  if (length > 1) story->GetText(0, length - 1, text);
}

bool GetLinkedFile(IDocument* document, const UIDRef& item, IDFile* file) {
  if (!document || !file) return false;
  InterfacePtr<IHierarchy> hierarchy(item, IID_IHIERARCHY);
  if (!hierarchy || hierarchy->GetChildCount() < 1) return false;
  const UID placed = hierarchy->GetChildUID(0);
  if (placed == kInvalidUID) return false;
  InterfacePtr<ILinkManager> links(document, IID_ILINKMANAGER);
  if (!links) return false;
  IDFile found;
  if (!links->GetLinkedFile(placed, &found) || found.IsEmpty()) return false;
  *file = found;
  return true;
}

std::string Utf32ToUtf8(const std::u32string& text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text) AppendUtf8(c, &out);
  return out;
}
