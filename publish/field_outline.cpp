#include "publish/field_outline.h"

#include <algorithm>

#include "host/ILayout.h"
#include "host/InterfacePtr.h"

PMRect ItemOutline::Box() const {
  PMRect box(corners[0].x, corners[0].y, corners[0].x, corners[0].y);
  for (const PMPoint& corner : corners) {
    box.left = std::min(box.left, corner.x);
    box.right = std::max(box.right, corner.x);
    box.top = std::min(box.top, corner.y);
    box.bottom = std::max(box.bottom, corner.y);
  }
  return box;
}

bool GetItemOutline(const UIDRef& item, const UIDRef& page, ItemOutline* outline) {
  if (!outline) return false;
  InterfacePtr<IGeometry> geometry(item, IID_IGEOMETRY);
  InterfacePtr<IGeometry> pageGeometry(page, IID_IGEOMETRY);
  if (!geometry || !pageGeometry) return false;
  PMMatrix toPage = InnerToPasteboardMatrix(geometry);
  PMMatrix pageToSpread = InnerToPasteboardMatrix(pageGeometry);
  if (pageToSpread.Invert()) toPage = toPage.Then(pageToSpread);
  const PMRect box = geometry->GetBoundingBox();
  const PMRect pageBox = pageGeometry->GetBoundingBox();
  const PMPoint corners[] = {box.LeftTop(), box.RightTop(), box.RightBottom(), box.LeftBottom()};
  for (int i = 0; i < 4; ++i) {
    const PMPoint p = toPage.Transform(corners[i]);
    outline->corners[i] = PMPoint(p.x - pageBox.left, p.y - pageBox.top);
  }
  return true;
}

bool BoxesOverlap(const PMRect& a, const PMRect& b, PMReal tolerance) {
  const PMReal width = std::min(a.right, b.right) - std::max(a.left, b.left);
  const PMReal height = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
  return width > tolerance && height > tolerance;
}
