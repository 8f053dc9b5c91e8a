/// @file
/// Interpolatable<T>: how a value is flattened into a list of numbers and rebuilt from one, so that
/// the interpolator can blend any such value.

/// @struct quarn::Interpolatable
/// How a value is flattened into a list of numbers and
/// rebuilt from one, so that the interpolator can blend any such value. The
/// types blended (and Vector3) are values.
///
/// Provided for:
/// | double, float               | [value]                                      |
/// | signed integers             | [value]; rebuilt by truncating towards zero, |
/// |                             | saturating at the type's range (NaN gives 0) |
/// | platform::Point             | [x, y]                                       |
/// | platform::Size              | [width, height]                              |
/// | platform::Rect              | [x, y, |width|, |height|]                    |
/// | platform::AffineTransform   | [a, b, c, d, tx, ty]                         |
/// | platform::Transform3D       | [m11, m12, ..., m44], row by row             |
/// | `Vector3<S>`                | [x, y, z] as doubles                         |
///
/// A host type takes part by specialising the template:
///
/// ```
///   template <> struct quarn::Interpolatable<Gauge> {
///     static void vectorize(const Gauge& g, std::vector<double>& out) { out = {g.level}; }
///     static Gauge from(std::span<const double> v) { return Gauge{v[0]}; }
///   };
/// ```
///
/// from() is given exactly as many numbers as vectorize() writes (never none).
#pragma once

#include <array>
#include <cmath>
#include <concepts>
#include <cstddef>
#include <limits>
#include <span>
#include <vector>

#include "quarnkit/platform/ui/geometry.h"
#include "quarnkit/platform/ui/transform.h"

namespace quarn {

template <class T>
struct Interpolatable;

template <class T>
concept InterpolatableValue = requires(const T& value, std::vector<double>& out,
                                       std::span<const double> numbers) {
  Interpolatable<T>::vectorize(value, out);
  { Interpolatable<T>::from(numbers) } -> std::same_as<T>;
};

/// The numbers of `value`.
template <InterpolatableValue T>
std::vector<double> vectorize(const T& value) {
  std::vector<double> out;
  Interpolatable<T>::vectorize(value, out);
  return out;
}

/// A three-component vector of floating-point scalars.
template <std::floating_point S>
struct Vector3 {
  S x = 0;  ///< The first component.
  S y = 0;  ///< The second component.
  S z = 0;  ///< The third component.
  /// Equal when every component is.
  friend bool operator==(const Vector3&, const Vector3&) = default;
};

/// Flattens a floating-point number into itself.
template <std::floating_point F>
struct Interpolatable<F> {
  /// Writes the numbers of the value into `out`.
  static void vectorize(F value, std::vector<double>& out) { out.assign(1, double(value)); }
  /// The value whose numbers are `v`.
  static F from(std::span<const double> v) { return static_cast<F>(v[0]); }
};

/// Flattens a signed integer into itself; rebuilt truncated and clamped to the
/// type's range.
template <std::signed_integral I>
struct Interpolatable<I> {
  /// Writes the numbers of the value into `out`.
  static void vectorize(I value, std::vector<double>& out) {
    out.assign(1, static_cast<double>(value));
  }
  /// The value whose numbers are `v`.
  static I from(std::span<const double> v) {
    const double x = std::trunc(v[0]);
    if (std::isnan(x)) return 0;
    // The bounds as doubles: the lower one is exact, the upper one is 2^(bits-1).
    constexpr double low = static_cast<double>(std::numeric_limits<I>::min());
    constexpr double high = -low;
    if (x <= low) return std::numeric_limits<I>::min();
    if (x >= high) return std::numeric_limits<I>::max();
    return static_cast<I>(x);
  }
};

/// Flattens `platform::Point` as the table above says.
template <>
struct Interpolatable<platform::Point> {
  /// Writes the numbers of the value into `out`.
  static void vectorize(const platform::Point& p, std::vector<double>& out) { out = {p.x, p.y}; }
  /// The value whose numbers are `v`.
  static platform::Point from(std::span<const double> v) { return {v[0], v[1]}; }
};

/// Flattens `platform::Size` as the table above says.
template <>
struct Interpolatable<platform::Size> {
  /// Writes the numbers of the value into `out`.
  static void vectorize(const platform::Size& s, std::vector<double>& out) {
    out = {s.width, s.height};
  }
  /// The value whose numbers are `v`.
  static platform::Size from(std::span<const double> v) { return {v[0], v[1]}; }
};

/// Flattens `platform::Rect` as the table above says.
template <>
struct Interpolatable<platform::Rect> {
  /// Writes the numbers of the value into `out`.
  static void vectorize(const platform::Rect& r, std::vector<double>& out) {
    out = {r.origin.x, r.origin.y, std::abs(r.size.width), std::abs(r.size.height)};
  }
  /// The value whose numbers are `v`.
  static platform::Rect from(std::span<const double> v) { return {{v[0], v[1]}, {v[2], v[3]}}; }
};

/// Flattens `platform::AffineTransform` as the table above says.
template <>
struct Interpolatable<platform::AffineTransform> {
  /// Writes the numbers of the value into `out`.
  static void vectorize(const platform::AffineTransform& t, std::vector<double>& out) {
    out = {t.a, t.b, t.c, t.d, t.tx, t.ty};
  }
  /// The value whose numbers are `v`.
  static platform::AffineTransform from(std::span<const double> v) {
    return {v[0], v[1], v[2], v[3], v[4], v[5]};
  }
};

/// Flattens `platform::Transform3D` as the table above says.
template <>
struct Interpolatable<platform::Transform3D> {
  /// Writes the numbers of the value into `out`.
  static void vectorize(const platform::Transform3D& m, std::vector<double>& out) {
    out = {m.m11, m.m12, m.m13, m.m14, m.m21, m.m22, m.m23, m.m24,
           m.m31, m.m32, m.m33, m.m34, m.m41, m.m42, m.m43, m.m44};
  }
  /// The value whose numbers are `v`.
  static platform::Transform3D from(std::span<const double> v) {
    return {v[0], v[1], v[2],  v[3],  v[4],  v[5],  v[6],  v[7],
            v[8], v[9], v[10], v[11], v[12], v[13], v[14], v[15]};
  }
};

/// Flattens `Vector3<S>` as the table above says.
template <std::floating_point S>
struct Interpolatable<Vector3<S>> {
  /// Writes the numbers of the value into `out`.
  static void vectorize(const Vector3<S>& p, std::vector<double>& out) {
    out = {double(p.x), double(p.y), double(p.z)};
  }
  /// The value whose numbers are `v`.
  static Vector3<S> from(std::span<const double> v) {
    return {static_cast<S>(v[0]), static_cast<S>(v[1]), static_cast<S>(v[2])};
  }
};

}  // namespace quarn
