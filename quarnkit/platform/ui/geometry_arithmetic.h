/// @file
/// Component-wise arithmetic on points and sizes: between points, between a
/// point and a size, between sizes, and with a scalar; and ceil/floor of each
/// component. Functions on the geometry values.
///
/// ```
///   Point p = origin + Size{10, 20} * 0.5;   // (origin.x + 5, origin.y + 10)
///   Point q = floor(p / 2.0);
/// ```
#pragma once

#include <cmath>

#include "quarnkit/platform/ui/geometry.h"

namespace quarn::platform {

namespace detail {
template <class Op>
constexpr Point componentwise(Point a, double x, double y, Op op) {
  return {op(a.x, x), op(a.y, y)};
}
template <class Op>
constexpr Size componentwise(Size a, double w, double h, Op op) {
  return {op(a.width, w), op(a.height, h)};
}
inline constexpr auto kAdd = [](double a, double b) { return a + b; };
inline constexpr auto kSubtract = [](double a, double b) { return a - b; };
inline constexpr auto kMultiply = [](double a, double b) { return a * b; };
inline constexpr auto kDivide = [](double a, double b) { return a / b; };
}  // namespace detail

///@{
/// Component-wise arithmetic: point with point, point with size, point with
/// scalar, size with size, size with scalar.
constexpr Point operator+(Point a, Point b) {
  return detail::componentwise(a, b.x, b.y, detail::kAdd);
}
constexpr Point operator-(Point a, Point b) {
  return detail::componentwise(a, b.x, b.y, detail::kSubtract);
}
constexpr Point operator*(Point a, Point b) {
  return detail::componentwise(a, b.x, b.y, detail::kMultiply);
}
constexpr Point operator/(Point a, Point b) {
  return detail::componentwise(a, b.x, b.y, detail::kDivide);
}
constexpr Point operator+(Point a, Size b) {
  return detail::componentwise(a, b.width, b.height, detail::kAdd);
}
constexpr Point operator-(Point a, Size b) {
  return detail::componentwise(a, b.width, b.height, detail::kSubtract);
}
constexpr Point operator*(Point a, Size b) {
  return detail::componentwise(a, b.width, b.height, detail::kMultiply);
}
constexpr Point operator/(Point a, Size b) {
  return detail::componentwise(a, b.width, b.height, detail::kDivide);
}
constexpr Point operator+(Point a, double s) {
  return detail::componentwise(a, s, s, detail::kAdd);
}
constexpr Point operator-(Point a, double s) {
  return detail::componentwise(a, s, s, detail::kSubtract);
}
constexpr Point operator*(Point a, double s) {
  return detail::componentwise(a, s, s, detail::kMultiply);
}
constexpr Point operator*(double s, Point a) { return a * s; }
constexpr Point operator/(Point a, double s) {
  return detail::componentwise(a, s, s, detail::kDivide);
}
constexpr Point operator-(Point a) { return {-a.x, -a.y}; }

constexpr Size operator+(Size a, Size b) {
  return detail::componentwise(a, b.width, b.height, detail::kAdd);
}
constexpr Size operator-(Size a, Size b) {
  return detail::componentwise(a, b.width, b.height, detail::kSubtract);
}
constexpr Size operator*(Size a, Size b) {
  return detail::componentwise(a, b.width, b.height, detail::kMultiply);
}
constexpr Size operator/(Size a, Size b) {
  return detail::componentwise(a, b.width, b.height, detail::kDivide);
}
constexpr Size operator+(Size a, double s) { return detail::componentwise(a, s, s, detail::kAdd); }
constexpr Size operator-(Size a, double s) {
  return detail::componentwise(a, s, s, detail::kSubtract);
}
constexpr Size operator*(Size a, double s) {
  return detail::componentwise(a, s, s, detail::kMultiply);
}
constexpr Size operator*(double s, Size a) { return a * s; }
constexpr Size operator/(Size a, double s) {
  return detail::componentwise(a, s, s, detail::kDivide);
}
///@}

///@{
/// Each coordinate rounded up or down.
inline Point ceil(Point p) { return {std::ceil(p.x), std::ceil(p.y)}; }
inline Point floor(Point p) { return {std::floor(p.x), std::floor(p.y)}; }
inline Size ceil(Size s) { return {std::ceil(s.width), std::ceil(s.height)}; }
inline Size floor(Size s) { return {std::floor(s.width), std::floor(s.height)}; }
///@}

}  // namespace quarn::platform
