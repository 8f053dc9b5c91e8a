// The linear blend shared by the interpolator and the geometry functions.
#pragma once

#include <cmath>

namespace quarn::detail {

/// a + t (b - a), which is `b` itself at t = 1 and stays finite when b - a
/// overflows although the blend does not (key values of opposite signs near
/// the largest double).
inline double blend(double a, double b, double t) {
  if (t == 1) return b;
  const double difference = b - a;
  if (std::isfinite(difference)) return a + t * difference;
  return a * (1 - t) + b * t;
}

}  // namespace quarn::detail
