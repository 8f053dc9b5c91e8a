/// @file
/// Transforms of the headless toolkit: the 2-D affine transform views and
/// layers use, and the 4x4 transform of layers. Both are values.
///
/// AffineTransform (a, b, c, d, tx, ty) maps (x, y) to
/// (a x + c y + tx, b x + d y + ty); the default is the identity.
///
/// ```
///   auto t = AffineTransform::rotation(std::numbers::pi / 2);
///   t.apply({1, 0});   // (0, 1), up to rounding
/// ```
#pragma once

#include <cmath>

#include "quarnkit/platform/ui/geometry.h"

namespace quarn::platform {

/// A 2D affine transform: x' = a x + c y + tx, y' = b x + d y + ty; the
/// default is the identity. A value.
struct AffineTransform {
  double a = 1;   ///< x scale (and rotation).
  double b = 0;   ///< y shear (and rotation).
  double c = 0;   ///< x shear (and rotation).
  double d = 1;   ///< y scale (and rotation).
  double tx = 0;  ///< x translation.
  double ty = 0;  ///< y translation.

  /// The identity.
  static AffineTransform identity() { return {}; }
  /// A rotation by `angle` radians.
  static AffineTransform rotation(double angle) {
    const double s = std::sin(angle);
    const double k = std::cos(angle);
    return {k, s, -s, k, 0, 0};
  }
  /// Whether it is the identity.
  [[nodiscard]] bool isIdentity() const { return *this == AffineTransform{}; }
  /// `p` transformed.
  [[nodiscard]] Point apply(Point p) const {
    return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty};
  }

  /// Equal when every coefficient is.
  friend bool operator==(const AffineTransform&, const AffineTransform&) = default;
};

/// A 4x4 layer transform, row by row; the default is the identity.
struct Transform3D {
  ///@{
  /// The coefficient of row i, column j (mij).
  double m11 = 1, m12 = 0, m13 = 0, m14 = 0;
  double m21 = 0, m22 = 1, m23 = 0, m24 = 0;
  double m31 = 0, m32 = 0, m33 = 1, m34 = 0;
  double m41 = 0, m42 = 0, m43 = 0, m44 = 1;
  ///@}

  /// Equal when every coefficient is.
  friend bool operator==(const Transform3D&, const Transform3D&) = default;
};

}  // namespace quarn::platform
