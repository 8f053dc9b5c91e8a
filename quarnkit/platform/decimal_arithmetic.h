/// @file
/// Decimal arithmetic with a rounding behaviour, as the platform's decimal
/// numbers do it: division that gives not-a-number (never infinity, never an
/// exception) for a zero divisor, rounding to a scale with a chosen mode, and
/// exact fractions for amounts that must be rounded once, at the end.
///
/// Kinds: values.
///
/// ```
///   const platform::DecimalRoundingBehavior down{platform::RoundingMode::down, 2};
///   platform::dividing(*Decimal::parse("49.99"), Decimal(52), down);   // 0.96
///   platform::dividing(Decimal(1), Decimal(0), down);                  // NaN
///
///   // 4.99 × 7 ÷ 7, exactly: 4.99 (an inexact 1 ÷ 7 first would give 4.98)
///   auto week = *platform::ExactFraction::of(*Decimal::parse("4.99")) *
///               platform::ExactFraction(7, 7);
///   week.rounded(2, platform::RoundingMode::down);                     // {499, 2}
/// ```
#pragma once

#include <boost/multiprecision/cpp_int.hpp>
#include <cstdint>
#include <optional>

#include "quarnkit/core/decimal.h"
#include "quarnkit/platform/currency_formatter.h"

namespace quarn::platform {

/// How a value is rounded to a scale. `plain` rounds halves away from zero,
/// `down` toward negative infinity, `up` toward positive infinity, `bankers`
/// halves to the even digit.
enum class RoundingMode { plain, down, up, bankers };

/// How a result is rounded: the mode and the decimal places kept. A value.
struct DecimalRoundingBehavior {
  /// How halves and digits beyond the scale are rounded.
  RoundingMode roundingMode = RoundingMode::plain;
  /// Decimal places kept.
  int scale = 0;
};

/// The decimal not-a-number.
Decimal notANumber();
/// Whether `value` is not a number.
[[nodiscard]] bool isNaN(const Decimal& value);
/// Neither not-a-number nor infinite.
[[nodiscard]] bool isFinite(const Decimal& value);

/// `value` rounded to `behavior`; not-a-number stays so.
Decimal rounding(const Decimal& value, const DecimalRoundingBehavior& behavior);
/// `dividend` ÷ `divisor` rounded to `behavior`; not-a-number when the
/// divisor is zero or either operand is not finite.
Decimal dividing(const Decimal& dividend, const Decimal& divisor,
                 const DecimalRoundingBehavior& behavior);

/// An exact fraction of integers of any size.
class ExactFraction {
 public:
  /// The integer type of numerator and denominator.
  using Integer = boost::multiprecision::number<boost::multiprecision::cpp_int_backend<>,
                                                boost::multiprecision::et_off>;

  /// `numerator` ÷ `denominator`; the denominator must not be zero.
  ExactFraction(std::int64_t numerator = 0, std::int64_t denominator = 1);
  /// `numerator` ÷ `denominator`; the denominator must not be zero.
  ExactFraction(Integer numerator, Integer denominator);
  /// The exact value of a finite decimal.
  static std::optional<ExactFraction> of(const Decimal& value);
  /// The exact value of a fixed-point amount; nothing when it has none.
  static std::optional<ExactFraction> of(FixedPointDecimal value);

  /// -1, 0 or 1.
  [[nodiscard]] int sign() const;
  /// Whether it is zero.
  [[nodiscard]] bool isZero() const { return sign() == 0; }

  /// The exact sum.
  friend ExactFraction operator+(const ExactFraction& a, const ExactFraction& b);
  /// The exact difference.
  friend ExactFraction operator-(const ExactFraction& a, const ExactFraction& b);
  /// The exact product.
  friend ExactFraction operator*(const ExactFraction& a, const ExactFraction& b);
  /// Nothing when `b` is zero.
  friend std::optional<ExactFraction> operator/(const ExactFraction& a, const ExactFraction& b);
  /// Equal as numbers.
  friend bool operator==(const ExactFraction& a, const ExactFraction& b);
  /// Ordered as numbers.
  friend bool operator<(const ExactFraction& a, const ExactFraction& b);

  /// The value rounded once to `scale` decimal places; nothing when it does
  /// not fit a FixedPointDecimal.
  [[nodiscard]] std::optional<FixedPointDecimal> rounded(int scale, RoundingMode mode) const;
  /// The same as a decimal (which holds any size).
  [[nodiscard]] Decimal roundedDecimal(int scale, RoundingMode mode) const;
  /// The nearest double.
  [[nodiscard]] double toDouble() const;

 private:
  [[nodiscard]] Integer roundedUnits(int scale, RoundingMode mode) const;

  Integer numerator_;
  Integer denominator_;  // > 0
};

}  // namespace quarn::platform
