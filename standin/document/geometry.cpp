#include "standin/document/geometry.h"

#include <algorithm>
#include <cmath>

namespace standin {

bool IsUsableMatrix(const PMMatrix& m) {
  for (double e : {m.A(), m.B(), m.C(), m.D(), m.Tx(), m.Ty()}) {
    if (!std::isfinite(e)) return false;
  }
  const double det = m.Determinant();
  return std::isfinite(det) && std::fabs(det) >= 1e-12;
}

bool IsUsableBox(const PMRect& box, const PMMatrix& m) {
  for (const PMPoint& corner :
       {box.LeftTop(), box.RightTop(), box.LeftBottom(), box.RightBottom()}) {
    const PMPoint p = m.Transform(corner);
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || std::fabs(p.x) > kMaxSpreadCoordinate ||
        std::fabs(p.y) > kMaxSpreadCoordinate)
      return false;
  }
  return true;
}

PMRect TransformedBox(const PMRect& box, const PMMatrix& m) {
  const PMPoint first = m.Transform(box.LeftTop());
  PMRect out(first.x, first.y, first.x, first.y);
  for (const PMPoint& corner : {box.RightTop(), box.LeftBottom(), box.RightBottom()}) {
    const PMPoint p = m.Transform(corner);
    out.left = std::min(out.left, p.x);
    out.top = std::min(out.top, p.y);
    out.right = std::max(out.right, p.x);
    out.bottom = std::max(out.bottom, p.y);
  }
  return out;
}

PMMatrix WithRotation(const PMMatrix& toSpread, const PMPoint& about, double degrees) {
  const double delta = degrees - toSpread.RotationAngle();
  return toSpread.Then(PMMatrix::Rotation(delta, about));
}

bool WithSkew(const PMMatrix& toSpread, const PMPoint& about, double degrees, PMMatrix* out) {
  if (!std::isfinite(degrees) || !(std::fabs(degrees) < 90)) return false;
  PMMatrix inverse = toSpread;
  if (!inverse.Invert()) return false;
  // The linear part is [sx 0; shear sy] followed by the rotation t.
  const double t = std::atan2(toSpread.B(), toSpread.A());
  const double cs = std::cos(t), sn = std::sin(t);
  const double sx = std::hypot(toSpread.A(), toSpread.B());
  const double sy = -toSpread.C() * sn + toSpread.D() * cs;
  const double shear = sy * std::tan(degrees * M_PI / 180.0);
  const double a = sx * cs, b = sx * sn;
  const double c = shear * cs - sy * sn, d = shear * sn + sy * cs;
  // Keep the inner point that lies on `about` where it is.
  const PMPoint q = inverse.Transform(about);
  const PMMatrix result(a, b, c, d, about.x - (a * q.x + c * q.y), about.y - (b * q.x + d * q.y));
  if (!IsUsableMatrix(result)) return false;
  *out = result;
  return true;
}

}  // namespace standin
