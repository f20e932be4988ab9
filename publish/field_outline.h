// Where a page item lies on its page as drawn: the four corners of its
// inner bounds mapped onto the page (rotation and skew included), measured
// without changing the item.
#pragma once

#include "host/PMGeometry.h"
#include "host/UIDRef.h"

struct ItemOutline {
  // Left-top, right-top, right-bottom and left-bottom of the item's own
  // box, in points relative to the page's top-left corner (y down).
  PMPoint corners[4];
  // The smallest upright rectangle around the corners.
  PMRect Box() const;
};

// The outline of `item` on `page`. False (and `outline` untouched) when the
// item or the page has no geometry.
bool GetItemOutline(const UIDRef& item, const UIDRef& page, ItemOutline* outline);

// True when the interiors of `a` and `b` share an area larger than
// `tolerance` points in both directions (touching edges do not overlap).
bool BoxesOverlap(const PMRect& a, const PMRect& b, PMReal tolerance);
