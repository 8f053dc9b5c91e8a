/// @file
/// Timing functions: maps from linear progress 0...1 to eased progress.
///
/// InterpolationFunction is the interface every timing function implements
/// (BasicInterpolation, SpringInterpolation, or the host's own); the
/// implementations are values. TimingFunction is a value too: a handle that
/// holds one of them by shared reference, so that an interpolator sees changes
/// made to a spring it was given; copies of the handle share that function,
/// which nothing changes through the handle. Any callable double(double)
/// converts too.
///
/// ```
///   TimingFunction f = BasicInterpolation::easeOut;
///   f(0.5);                                         // 0.875
///   auto spring = std::make_shared<SpringInterpolation>();
///   TimingFunction g = spring;                      // shares the spring
/// ```
#pragma once

#include <concepts>
#include <memory>
#include <type_traits>
#include <utility>

namespace quarn {

/// A timing function: maps the progress of an animation (0...1) to the progress of its value.
/// Implemented by the library's curves and by the host's.
class InterpolationFunction {
 public:
  virtual ~InterpolationFunction() = default;
  /// The value's progress at animation progress `t`.
  [[nodiscard]] virtual double operator()(double t) const = 0;
  /// The same as calling the function.
  [[nodiscard]] double apply(double t) const { return (*this)(t); }

 protected:
  InterpolationFunction() = default;
  /// Copied as a value, by subclasses.
  InterpolationFunction(const InterpolationFunction&) = default;
  /// Copied as a value, by subclasses.
  InterpolationFunction& operator=(const InterpolationFunction&) = default;
};

/// A shared handle to a timing function. Never empty: the default is linear.
class TimingFunction {
 public:
  TimingFunction();
  /// Shares `function` (a null pointer means linear).
  template <std::derived_from<InterpolationFunction> F>
  TimingFunction(std::shared_ptr<F> function)  // NOLINT(google-explicit-constructor)
      : function_(std::move(function)) {
    if (!function_) *this = TimingFunction();
  }
  /// Copies a timing function value (a BasicInterpolation case).
  template <std::derived_from<InterpolationFunction> F>
  TimingFunction(const F& function)  // NOLINT(google-explicit-constructor)
      : function_(std::make_shared<const F>(function)) {}
  /// Wraps any other callable double(double).
  template <class F>
  requires(!std::derived_from<std::remove_cvref_t<F>, InterpolationFunction> &&
           !std::same_as<std::remove_cvref_t<F>, TimingFunction> &&
           std::is_invocable_r_v<double, const std::remove_cvref_t<F>&, double>)
      // The constraint keeps copies and moves of TimingFunction out.
      // NOLINTNEXTLINE(google-explicit-constructor,bugprone-forwarding-reference-overload)
      TimingFunction(F&& function)
      : function_(
            std::make_shared<const Callable<std::remove_cvref_t<F>>>(std::forward<F>(function))) {}

  /// The function at `t`.
  double operator()(double t) const { return (*function_)(t); }
  /// The function shared.
  [[nodiscard]] const std::shared_ptr<const InterpolationFunction>& function() const {
    return function_;
  }

 private:
  template <class F>
  class Callable final : public InterpolationFunction {
   public:
    explicit Callable(F f) : f_(std::move(f)) {}
    double operator()(double t) const override { return f_(t); }

   private:
    F f_;
  };

  std::shared_ptr<const InterpolationFunction> function_;
};

}  // namespace quarn
