/// @file
/// Interpolator<T>: blends a value through a sequence of key values.

/// @class quarn::Interpolator
/// Blends a value through a sequence of key values.
///
/// The key values are flattened into lists of numbers once (interpolatable.h);
/// interpolateValue(progress) clamps the progress to 0...1, eases it through the
/// timing function, picks the segment between two consecutive key values and
/// blends their numbers linearly, then rebuilds a T.
///
/// ```
///   Interpolator<double> heights({0, 10, 30}, BasicInterpolation::linear);
///   heights.interpolateValue(0.75);   // 20: halfway through the second segment
/// ```
///
/// With s segments, x = eased * s lies in segment max(ceil(x) - 1, 0), so
/// segments are half-open on the left (x = 1 ends segment 0). An eased value
/// below 0 extrapolates along the first segment and one above 1 (an
/// overshooting spring) along the last. One key value gives that value for any
/// progress. A progress that is not a number counts as 0. The end of a segment
/// is its key value exactly, and key values whose difference overflows (near
/// the largest doubles, of opposite signs) still blend to finite values.
///
/// Construction throws std::invalid_argument for an empty list of key values,
/// key values that flatten to no numbers, or key values whose lists differ in
/// length. An interpolator is a unique object (not copyable; animators share
/// one through a std::shared_ptr); it reuses its working vector, so one
/// instance serves one thread at a time.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "quarnkit/animation/interpolatable.h"
#include "quarnkit/animation/interpolation_function.h"

namespace quarn {

namespace detail {
/// The untyped part of Interpolator<T>: key values as rows of one flat list.
class InterpolatorCore {
 public:
  /// `values` holds `count` rows of `width` numbers each. Throws as above.
  InterpolatorCore(std::vector<double> values, std::size_t count, std::size_t width,
                   TimingFunction function);

  /// Fills current() for `progress` and returns it.
  std::span<const double> interpolate(double progress);

  [[nodiscard]] std::size_t count() const { return count_; }
  [[nodiscard]] std::size_t width() const { return width_; }
  [[nodiscard]] std::span<const double> current() const { return current_; }
  [[nodiscard]] std::span<const double> value(std::size_t i) const {
    return std::span(values_).subspan(i * width_, width_);
  }
  [[nodiscard]] std::span<const double> diffVector(std::size_t i) const {
    return std::span(diffVectors_).subspan(i * width_, width_);
  }
  TimingFunction function;

 private:
  std::size_t count_;
  std::size_t width_;
  std::vector<double> current_;
  std::vector<double> values_;
  std::vector<double> diffVectors_;
};

/// Flattens `values`, checking that they are not empty and flatten alike.
template <class T>
InterpolatorCore makeInterpolatorCore(const std::vector<T>& values, TimingFunction function);
/// The checks of makeInterpolatorCore(): throws std::invalid_argument.
void checkKeyValue(std::size_t index, std::size_t width, std::size_t firstWidth);
void checkKeyValueCount(std::size_t count);
}  // namespace detail

template <InterpolatableValue T>
class Interpolator {
 public:
  /// Blends through `values` (at least two, each flattening to the same count of numbers; else
  /// std::invalid_argument) with `function`.
  Interpolator(const std::vector<T>& values, TimingFunction function)
      : core_(detail::makeInterpolatorCore(values, std::move(function))) {}
  /// Blends from `from` to `to` with `function`.
  Interpolator(const T& from, const T& to, TimingFunction function)
      : Interpolator(std::vector<T>{from, to}, std::move(function)) {}
  Interpolator(const Interpolator&) = delete;
  Interpolator& operator=(const Interpolator&) = delete;

  /// The value at `progress`: the timing function applied, then the two key values around it
  /// blended.
  T interpolateValue(double progress) {
    return Interpolatable<T>::from(core_.interpolate(progress));
  }

  /// The timing function; assignable.
  TimingFunction& function() { return core_.function; }
  /// The timing function.
  [[nodiscard]] const TimingFunction& function() const { return core_.function; }
  /// The number of key values.
  [[nodiscard]] std::size_t count() const { return core_.count(); }
  /// Key value `i`, flattened.
  [[nodiscard]] std::span<const double> value(std::size_t i) const { return core_.value(i); }
  /// Key value i + 1 minus key value i.
  [[nodiscard]] std::span<const double> diffVector(std::size_t i) const {
    return core_.diffVector(i);
  }
  /// The numbers of the value last interpolated.
  [[nodiscard]] std::span<const double> current() const { return core_.current(); }

 private:
  detail::InterpolatorCore core_;
};

/// @cond INTERNAL
template <class T>
detail::InterpolatorCore detail::makeInterpolatorCore(const std::vector<T>& values,
                                                      TimingFunction function) {
  checkKeyValueCount(values.size());
  std::vector<double> flat;
  std::vector<double> one;
  std::size_t width = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    Interpolatable<T>::vectorize(values[i], one);
    if (i == 0) width = one.size();
    checkKeyValue(i, one.size(), width);
    if (i == 0) flat.reserve(values.size() * width);
    flat.insert(flat.end(), one.begin(), one.end());
  }
  return InterpolatorCore(std::move(flat), values.size(), width, std::move(function));
}
/// @endcond

}  // namespace quarn
