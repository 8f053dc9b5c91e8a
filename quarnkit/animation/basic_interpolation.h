/// @file
/// BasicInterpolation: the four cubic timing functions, values.

/// @class quarn::BasicInterpolation
/// The four cubic timing functions, values.
///
/// ```
///   BasicInterpolation::easeInOut(0.25);     // 4 * 0.25^3 = 0.0625
///   TimingFunction f = BasicInterpolation::easeIn;
/// ```
///
/// | case      | f(t)                                         |
/// | linear    | t                                            |
/// | easeIn    | t^3                                          |
/// | easeOut   | (t - 1)^3 + 1                                |
/// | easeInOut | 4t^3 when t < 0.5, otherwise (2t - 2)^3/2 + 1 |
///
/// Values are equal and hash by case. Inputs outside 0...1 follow the same
/// polynomials (beyond about 5e102 a cube overflows to infinity).
#pragma once

#include <cstddef>
#include <functional>

#include "quarnkit/animation/interpolation_function.h"

namespace quarn {

class BasicInterpolation final : public InterpolationFunction {
 public:
  /// The four easing curves.
  enum class Case { linear, easeIn, easeOut, easeInOut };

  /// t.
  static const BasicInterpolation linear;
  /// t³: slow start.
  static const BasicInterpolation easeIn;
  /// (t - 1)³ + 1: slow end.
  static const BasicInterpolation easeOut;
  /// 4t³ for t below 0.5, else ((2t - 2)³) / 2 + 1: slow start and end.
  static const BasicInterpolation easeInOut;
  /// The cases in declaration order.
  static const BasicInterpolation allCases[4];

  /// The curve `c`.
  explicit BasicInterpolation(Case c) : case_(c) {}

  /// Which curve it is.
  [[nodiscard]] Case kind() const { return case_; }
  /// evaluate() of this curve.
  double operator()(double t) const override { return evaluate(case_, t); }

  /// Curve `c` at `t` (0...1; other values are extrapolated by the formula).
  static double evaluate(Case c, double t) {
    switch (c) {
      case Case::linear:
        return t;
      case Case::easeIn:
        return t * t * t;
      case Case::easeOut: {
        const double u = t - 1;
        return u * u * u + 1;
      }
      case Case::easeInOut: {
        if (t < 0.5) return 4 * t * t * t;
        const double u = 2 * t - 2;
        return 0.5 * u * u * u + 1;
      }
    }
    return t;
  }

  /// Equal when the curves are.
  friend bool operator==(const BasicInterpolation& a, const BasicInterpolation& b) {
    return a.case_ == b.case_;
  }

 private:
  Case case_;
};

inline const BasicInterpolation BasicInterpolation::linear{Case::linear};
inline const BasicInterpolation BasicInterpolation::easeIn{Case::easeIn};
inline const BasicInterpolation BasicInterpolation::easeOut{Case::easeOut};
inline const BasicInterpolation BasicInterpolation::easeInOut{Case::easeInOut};
inline const BasicInterpolation BasicInterpolation::allCases[4] = {
    BasicInterpolation{Case::linear}, BasicInterpolation{Case::easeIn},
    BasicInterpolation{Case::easeOut}, BasicInterpolation{Case::easeInOut}};

}  // namespace quarn

/// Hashes a curve by its case.
template <>
struct std::hash<quarn::BasicInterpolation> {
  /// The hash of the case.
  std::size_t operator()(const quarn::BasicInterpolation& f) const noexcept {
    return std::hash<int>()(static_cast<int>(f.kind()));
  }
};
