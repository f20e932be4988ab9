#include "publish/field_outline.h"

#include <algorithm>
#include <cmath>

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

namespace {

PMPoint Side(const ItemOutline& outline, int from) {
  const PMPoint& a = outline.corners[from];
  const PMPoint& b = outline.corners[(from + 1) % 4];
  return PMPoint(b.x - a.x, b.y - a.y);
}

// How far the projections of `a` and `b` onto `axis` (unit length) share
// an interval; negative when they are apart.
PMReal SharedLength(const ItemOutline& a, const ItemOutline& b, PMReal ax, PMReal ay) {
  PMReal minA = 0, maxA = 0, minB = 0, maxB = 0;
  for (int i = 0; i < 4; ++i) {
    const PMReal pa = a.corners[i].x * ax + a.corners[i].y * ay;
    const PMReal pb = b.corners[i].x * ax + b.corners[i].y * ay;
    minA = i == 0 ? pa : std::min(minA, pa);
    maxA = i == 0 ? pa : std::max(maxA, pa);
    minB = i == 0 ? pb : std::min(minB, pb);
    maxB = i == 0 ? pb : std::max(maxB, pb);
  }
  return std::min(maxA, maxB) - std::max(minA, minB);
}

}  // namespace

bool OutlinesOverlap(const ItemOutline& a, const ItemOutline& b, PMReal tolerance) {
  // Two convex shapes are apart exactly when the projections onto one of
  // their sides' normals are apart.
  for (const ItemOutline* shape : {&a, &b}) {
    for (int i = 0; i < 2; ++i) {
      const PMPoint side = Side(*shape, i);
      const PMReal length = std::hypot(side.x, side.y);
      if (!(length > 0)) continue;
      if (SharedLength(a, b, -side.y / length, side.x / length) <= tolerance) return false;
    }
  }
  return true;
}

bool IsMirrored(const ItemOutline& outline) {
  const PMPoint across = Side(outline, 0);
  const PMPoint down = Side(outline, 1);
  return across.x * down.y - across.y * down.x < 0;
}

bool IsSkewed(const ItemOutline& outline) {
  const PMPoint across = Side(outline, 0);
  const PMPoint down = Side(outline, 1);
  const PMReal lengths = std::hypot(across.x, across.y) * std::hypot(down.x, down.y);
  if (!(lengths > 0)) return false;
  constexpr PMReal kSkewSine = 1.7453292519943295e-4;  // sin(0.01 degree)
  return std::fabs(across.x * down.x + across.y * down.y) / lengths > kSkewSine;
}
