/// @file
/// Decimal: a base-10 number with 50 significant digits, for money and other values that must not
/// pick up binary rounding (prices, discounts).

/// @class quarn::Decimal
/// A base-10 number with 50 significant digits, for money and other
/// values that must not pick up binary rounding (prices, discounts).
///
/// ```
///   auto price = *quarn::Decimal::parse("9.99");
///   (price * quarn::Decimal(12)).toString();  // "119.88"
/// ```
///
/// Built on Boost.Multiprecision's cpp_dec_float; include this header only
/// where decimal values are used.
#pragma once

#include <boost/multiprecision/cpp_dec_float.hpp>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace quarn {

class Decimal {
 public:
  /// The number type underneath.
  using Backend = boost::multiprecision::cpp_dec_float_50;

  /// Zero.
  Decimal() = default;
  /// The integer `v`, exactly (converts implicitly).
  template <class I>
  requires std::is_integral_v<I> Decimal(I v)
      : v_(static_cast<std::int64_t>(v)) {}  // NOLINT(google-explicit-constructor)
  /// The double `v`, binary rounding and all (parse() keeps decimal text exact).
  explicit Decimal(double v) : v_(v) {}
  /// The number `v`.
  explicit Decimal(Backend v) : v_(std::move(v)) {}

  /// Parses decimal text with a point as separator ("-12.50", "1e3"); the
  /// whole text must be a number.
  static std::optional<Decimal> parse(std::string_view text);

  /// The number underneath.
  [[nodiscard]] const Backend& backend() const { return v_; }
  /// The nearest double.
  [[nodiscard]] double toDouble() const { return v_.convert_to<double>(); }
  /// Plain decimal text without exponent or trailing zeros ("119.88", "3").
  [[nodiscard]] std::string toString() const;

  ///@{
  /// Arithmetic and comparison in 50 significant digits.
  friend Decimal operator+(const Decimal& a, const Decimal& b) { return Decimal(a.v_ + b.v_); }
  friend Decimal operator-(const Decimal& a, const Decimal& b) { return Decimal(a.v_ - b.v_); }
  friend Decimal operator*(const Decimal& a, const Decimal& b) { return Decimal(a.v_ * b.v_); }
  friend Decimal operator/(const Decimal& a, const Decimal& b) { return Decimal(a.v_ / b.v_); }
  friend bool operator==(const Decimal& a, const Decimal& b) { return a.v_ == b.v_; }
  friend bool operator<(const Decimal& a, const Decimal& b) { return a.v_ < b.v_; }
  friend bool operator>(const Decimal& a, const Decimal& b) { return b < a; }
  friend bool operator<=(const Decimal& a, const Decimal& b) { return !(b < a); }
  friend bool operator>=(const Decimal& a, const Decimal& b) { return !(a < b); }
  ///@}

 private:
  Backend v_;
};

}  // namespace quarn
