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

// True when the interiors of the outlines `a` and `b` (each a parallelogram,
// rotated or skewed as drawn) overlap by more than `tolerance` points across
// every separating direction: two rotated frames whose upright boxes meet but
// whose shapes do not are apart.
bool OutlinesOverlap(const ItemOutline& a, const ItemOutline& b, PMReal tolerance);

// True when the outline is drawn mirrored (its corners run the other way
// round than the item's own box), and when its sides are not at right
// angles (skewed) by more than a hundredth of a degree.
bool IsMirrored(const ItemOutline& outline);
bool IsSkewed(const ItemOutline& outline);
