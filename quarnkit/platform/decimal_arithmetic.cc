#include "quarnkit/platform/decimal_arithmetic.h"

#include <limits>
#include <string>

namespace quarn::platform {
namespace {

using Integer = ExactFraction::Integer;

Integer powerOfTen(int n) {
  Integer p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

// `n` ÷ `d` (d > 0) rounded to an integer by `mode`.
Integer divideRounded(const Integer& n, const Integer& d, RoundingMode mode) {
  Integer q = n / d;  // truncated toward zero
  const Integer r = n - q * d;
  if (r == 0) return q;
  const bool negative = n < 0;
  switch (mode) {
    case RoundingMode::down:
      return negative ? q - 1 : q;
    case RoundingMode::up:
      return negative ? q : q + 1;
    case RoundingMode::plain:
    case RoundingMode::bankers: {
      const Integer twice = 2 * abs(r);
      const bool away = twice > d || (twice == d && (mode == RoundingMode::plain || q % 2 != 0));
      return away ? (negative ? q - 1 : q + 1) : q;
    }
  }
  return q;
}

Decimal decimalOf(const Integer& units, int scale) {
  std::string text = abs(units).str();
  if (scale > 0) {
    if (text.size() <= static_cast<std::size_t>(scale)) {
      text.insert(0, static_cast<std::size_t>(scale) + 1 - text.size(), '0');
    }
    text.insert(text.size() - static_cast<std::size_t>(scale), 1, '.');
  }
  if (units < 0) text.insert(0, 1, '-');
  return Decimal::parse(text).value_or(notANumber());
}

}  // namespace

Decimal notANumber() {
  return Decimal(Decimal::Backend(std::numeric_limits<Decimal::Backend>::quiet_NaN()));
}

bool isNaN(const Decimal& value) { return boost::multiprecision::isnan(value.backend()); }

bool isFinite(const Decimal& value) { return boost::multiprecision::isfinite(value.backend()); }

Decimal rounding(const Decimal& value, const DecimalRoundingBehavior& behavior) {
  const std::optional<ExactFraction> exact = ExactFraction::of(value);
  if (!exact) return notANumber();
  return exact->roundedDecimal(behavior.scale, behavior.roundingMode);
}

Decimal dividing(const Decimal& dividend, const Decimal& divisor,
                 const DecimalRoundingBehavior& behavior) {
  const std::optional<ExactFraction> a = ExactFraction::of(dividend);
  const std::optional<ExactFraction> b = ExactFraction::of(divisor);
  if (!a || !b) return notANumber();
  const std::optional<ExactFraction> q = *a / *b;
  if (!q) return notANumber();
  return q->roundedDecimal(behavior.scale, behavior.roundingMode);
}

ExactFraction::ExactFraction(std::int64_t numerator, std::int64_t denominator)
    : ExactFraction(Integer(numerator), Integer(denominator)) {}

ExactFraction::ExactFraction(Integer numerator, Integer denominator)
    : numerator_(std::move(numerator)), denominator_(std::move(denominator)) {
  if (denominator_ < 0) {
    numerator_ = -numerator_;
    denominator_ = -denominator_;
  }
}

std::optional<ExactFraction> ExactFraction::of(const Decimal& value) {
  if (!isFinite(value)) return std::nullopt;
  const std::string text = value.toString();  // plain digits, no exponent
  // Digits are taken eighteen at a time: one multiplication of the growing
  // integer per group instead of per digit (a decimal may have thousands).
  Integer units = 0;
  int scale = 0;
  bool point = false;
  std::uint64_t group = 0;
  std::uint64_t groupScale = 1;
  const auto flush = [&] {
    units = units * groupScale + group;
    group = 0;
    groupScale = 1;
  };
  for (const char c : text) {
    if (c == '.') {
      point = true;
    } else if (c >= '0' && c <= '9') {
      group = group * 10 + static_cast<std::uint64_t>(c - '0');
      groupScale *= 10;
      if (point) ++scale;
      if (groupScale == 1'000'000'000'000'000'000U) flush();
    }
  }
  flush();
  if (!text.empty() && text[0] == '-') units = -units;
  return ExactFraction(units, powerOfTen(scale));
}

std::optional<ExactFraction> ExactFraction::of(FixedPointDecimal value) {
  if (value.scale < 0) return std::nullopt;
  return ExactFraction(Integer(value.units), powerOfTen(value.scale));
}

int ExactFraction::sign() const { return numerator_.sign(); }

ExactFraction operator+(const ExactFraction& a, const ExactFraction& b) {
  if (a.denominator_ == b.denominator_) return {a.numerator_ + b.numerator_, a.denominator_};
  return {a.numerator_ * b.denominator_ + b.numerator_ * a.denominator_,
          a.denominator_ * b.denominator_};
}

ExactFraction operator-(const ExactFraction& a, const ExactFraction& b) {
  return a + ExactFraction(-b.numerator_, b.denominator_);
}

ExactFraction operator*(const ExactFraction& a, const ExactFraction& b) {
  return {a.numerator_ * b.numerator_, a.denominator_ * b.denominator_};
}

std::optional<ExactFraction> operator/(const ExactFraction& a, const ExactFraction& b) {
  if (b.isZero()) return std::nullopt;
  return ExactFraction(a.numerator_ * b.denominator_, a.denominator_ * b.numerator_);
}

bool operator==(const ExactFraction& a, const ExactFraction& b) {
  return a.numerator_ * b.denominator_ == b.numerator_ * a.denominator_;
}

bool operator<(const ExactFraction& a, const ExactFraction& b) {
  return a.numerator_ * b.denominator_ < b.numerator_ * a.denominator_;
}

ExactFraction::Integer ExactFraction::roundedUnits(int scale, RoundingMode mode) const {
  if (scale >= 0) return divideRounded(numerator_ * powerOfTen(scale), denominator_, mode);
  return divideRounded(numerator_, denominator_ * powerOfTen(-scale), mode) * powerOfTen(-scale);
}

std::optional<FixedPointDecimal> ExactFraction::rounded(int scale, RoundingMode mode) const {
  const Integer units = roundedUnits(scale, mode);
  if (units > std::numeric_limits<std::int64_t>::max() ||
      units < std::numeric_limits<std::int64_t>::min()) {
    return std::nullopt;
  }
  return FixedPointDecimal{units.convert_to<std::int64_t>(), std::max(scale, 0)};
}

Decimal ExactFraction::roundedDecimal(int scale, RoundingMode mode) const {
  return decimalOf(roundedUnits(scale, mode), std::max(scale, 0));
}

double ExactFraction::toDouble() const {
  // Scale both to below 2^1000 so that the conversions stay finite.
  const Integer n = abs(numerator_);
  const std::size_t bits = std::max(n == 0 ? 0 : msb(n), msb(denominator_));
  const std::size_t shift = bits > 1000 ? bits - 1000 : 0;
  const double nd = static_cast<Integer>(n >> shift).convert_to<double>();
  const double dd = static_cast<Integer>(denominator_ >> shift).convert_to<double>();
  const double q = dd == 0 ? std::numeric_limits<double>::infinity() : nd / dd;
  return numerator_ < 0 ? -q : q;
}

}  // namespace quarn::platform
