// Reading the layout of a document for publishing: which page items there
// are and on which page, where an item lies on its page, the text of a text
// frame and the file placed in a graphic frame.
//
// Every host interface may be missing: a missing spread list, spread, page
// or item interface reads as "nothing there" (no items, page 0, an empty
// rectangle, no text, no file). Geometry is in points, y growing downwards.
#pragma once

#include <string>
#include <unordered_map>

#include "host/IDFile.h"
#include "host/IDocument.h"
#include "host/ITextModel.h"
#include "host/InterfacePtr.h"
#include "host/PMGeometry.h"
#include "host/UIDRef.h"

// Appends to `items` the page items of every page of `document`: spreads in
// document order, the pages of each spread in order, and on each page the
// items the spread lists for it (neither the page itself nor pasteboard
// items). A group is one item; its members are not listed. `items` should
// be made on the document's database.
void CollectPageItems(IDocument* document, UIDList* items);

// True when `item` is a group: an item without frame data that has
// children.
bool IsGroupItem(const UIDRef& item);

// The page items of a document (as CollectPageItems lists them) together
// with their page numbers, from one walk over the pages.
class PageItems {
 public:
  // Walks `document` once; null gives no items.
  explicit PageItems(IDocument* document);

  const UIDList& Items() const { return items_; }
  // The 1-based page number GetItemPageNumber gives for `item`: the first
  // page that lists it, or lists a group holding it as a direct child. 0
  // when no page does.
  int32 PageNumberOf(UID item) const;

 private:
  UIDList items_;
  std::unordered_map<UID, int32> pageNumbers_;
};

// The 1-based page number of `item`, counted over all spreads in order: the
// first page of the item's own spread whose item list holds the item, or a
// group (an item without frame data that has children) holding it as a
// direct child. 0 when no page does. Searches the item's spread only; for
// many items use PageItems, which answers the same from one walk.
int32 GetItemPageNumber(IDocument* document, const UIDRef& item);

// The page with 1-based number `pageNumber`; the null reference outside the
// document.
UIDRef GetPageRef(IDocument* document, int32 pageNumber);

// The page's own bounds (its inner bounding box).
PMRect GetPageBounds(const UIDRef& page);

// The bounding box of `item` on `page`: relative to the page's top-left
// corner, left <= right and top <= bottom. A rotated or skewed item is
// measured upright: it is turned and unskewed about its centre, measured,
// and given back exactly the inner-to-parent matrix it had (through the
// host's transform commands) before this returns. `rotation` and `skew` (optional) receive
// the item's rotation and horizontal skew angles in degrees. An empty
// rectangle (angles 0) when the item has no geometry.
PMRect GetItemBounds(const UIDRef& item, const UIDRef& page, PMReal* rotation = nullptr,
                     PMReal* skew = nullptr);

// The story of a text frame `item` (a frame whose text content carries a
// story), or null for any other item.
InterfacePtr<ITextModel> QueryFrameStory(const UIDRef& item);

// The text of the story of text frame `item` without its closing
// end-of-story character, appended to `text`. Nothing for other items.
void GetFrameText(const UIDRef& item, std::u32string* text);

// The full path of the file placed in the first child of `item`, through
// the document's link manager. False (and `file` untouched) when there is
// none.
bool GetLinkedFile(IDocument* document, const UIDRef& item, IDFile* file);

// `text` as UTF-8; code points that are not Unicode scalar values become
// U+FFFD.
std::string Utf32ToUtf8(const std::u32string& text);
