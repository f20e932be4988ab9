// Geometry in points: points, rectangles (y grows downwards) and 2-D affine
// matrices (x' = a*x + c*y + tx, y' = b*x + d*y + ty).
#pragma once

#include <cmath>

#include "BaseTypes.h"

struct PMPoint {
  PMReal x = 0, y = 0;
  PMPoint() = default;
  PMPoint(PMReal px, PMReal py) : x(px), y(py) {}
  PMReal X() const { return x; }
  PMReal Y() const { return y; }
};

struct PMRect {
  PMReal left = 0, top = 0, right = 0, bottom = 0;
  PMRect() = default;
  PMRect(PMReal l, PMReal t, PMReal r, PMReal b) : left(l), top(t), right(r), bottom(b) {}
  PMReal Left() const { return left; }
  PMReal Top() const { return top; }
  PMReal Right() const { return right; }
  PMReal Bottom() const { return bottom; }
  PMReal Width() const { return right - left; }
  PMReal Height() const { return bottom - top; }
  PMPoint LeftTop() const { return {left, top}; }
  PMPoint RightTop() const { return {right, top}; }
  PMPoint LeftBottom() const { return {left, bottom}; }
  PMPoint RightBottom() const { return {right, bottom}; }
  PMPoint Center() const { return {(left + right) / 2, (top + bottom) / 2}; }
};

class PMMatrix {
 public:
  PMMatrix() = default;
  PMMatrix(PMReal a, PMReal b, PMReal c, PMReal d, PMReal tx, PMReal ty)
      : a_(a), b_(b), c_(c), d_(d), tx_(tx), ty_(ty) {}

  PMReal A() const { return a_; }
  PMReal B() const { return b_; }
  PMReal C() const { return c_; }
  PMReal D() const { return d_; }
  PMReal Tx() const { return tx_; }
  PMReal Ty() const { return ty_; }

  PMPoint Transform(const PMPoint& p) const {
    return {a_ * p.x + c_ * p.y + tx_, b_ * p.x + d_ * p.y + ty_};
  }
  // This matrix followed by `next` (apply this first).
  PMMatrix Then(const PMMatrix& n) const {
    return {a_ * n.a_ + b_ * n.c_,           a_ * n.b_ + b_ * n.d_,
            c_ * n.a_ + d_ * n.c_,           c_ * n.b_ + d_ * n.d_,
            tx_ * n.a_ + ty_ * n.c_ + n.tx_, tx_ * n.b_ + ty_ * n.d_ + n.ty_};
  }
  PMReal Determinant() const { return a_ * d_ - b_ * c_; }
  // False (and this matrix unchanged) when it cannot be inverted.
  bool Invert() {
    const PMReal det = Determinant();
    if (std::fabs(det) < 1e-12) return false;
    const PMMatrix inv(d_ / det, -b_ / det, -c_ / det, a_ / det, (c_ * ty_ - d_ * tx_) / det,
                       (b_ * tx_ - a_ * ty_) / det);
    *this = inv;
    return true;
  }
  // Rotation angle in degrees, counter-clockwise on the page as a user sees
  // it (y grows downwards, so the sign is flipped from the matrix's).
  PMReal RotationAngle() const { return -std::atan2(b_, a_) * 180.0 / M_PI; }
  // Horizontal skew angle in degrees (0 for rotations and scales).
  PMReal SkewAngle() const {
    const PMReal rot = std::atan2(b_, a_);
    const PMReal sx = std::hypot(a_, b_);
    if (sx < 1e-12) return 0;
    // Remove the rotation; what is left is [sx, 0; shear, sy].
    const PMReal cs = std::cos(-rot), sn = std::sin(-rot);
    const PMReal c2 = cs * c_ - sn * d_;
    const PMReal d2 = sn * c_ + cs * d_;
    if (std::fabs(d2) < 1e-12) return 0;
    // A mirrored item (d2 < 0) is not skewed by its mirroring.
    return std::atan(c2 / d2) * 180.0 / M_PI;
  }
  static PMMatrix Rotation(PMReal degrees, const PMPoint& about) {
    const PMReal r = -degrees * M_PI / 180.0;
    const PMReal cs = std::cos(r), sn = std::sin(r);
    return PMMatrix(1, 0, 0, 1, -about.x, -about.y)
        .Then(PMMatrix(cs, sn, -sn, cs, 0, 0))
        .Then(PMMatrix(1, 0, 0, 1, about.x, about.y));
  }

 private:
  PMReal a_ = 1, b_ = 0, c_ = 0, d_ = 1, tx_ = 0, ty_ = 0;
};
