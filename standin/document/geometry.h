// Geometry of page items: which matrices and boxes a document may hold, and
// the rotation and skew operations of the transform commands.
#pragma once

#include "host/PMGeometry.h"

namespace standin {

// Largest magnitude of a coordinate in spread coordinates; beyond it an
// item cannot be shown (and later arithmetic could overflow).
constexpr double kMaxSpreadCoordinate = 1e9;

// True when every entry is finite and the matrix can be inverted (its
// determinant finite, at least 1e-12 in magnitude).
bool IsUsableMatrix(const PMMatrix& m);
// True when the corners of `box` mapped through `m` are finite and within
// kMaxSpreadCoordinate.
bool IsUsableBox(const PMRect& box, const PMMatrix& m);
// The bounding box of the corners of `box` mapped through `m`.
PMRect TransformedBox(const PMRect& box, const PMMatrix& m);

// `toSpread` (an inner-to-spread matrix) turned about `about` (spread
// coordinates) so that its rotation angle becomes `degrees`; its skew and
// scale stay.
PMMatrix WithRotation(const PMMatrix& toSpread, const PMPoint& about, double degrees);
// `toSpread` skewed about `about` so that its horizontal skew angle
// becomes `degrees`; its rotation and scale stay. False when `degrees` is
// not strictly between -90 and 90 or the result is not usable.
bool WithSkew(const PMMatrix& toSpread, const PMPoint& about, double degrees, PMMatrix* out);

}  // namespace standin
