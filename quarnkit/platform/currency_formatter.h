/// @file
/// CurrencyFormatter: the platform's number formatter in currency style, over ICU.

/// @class quarn::platform::CurrencyFormatter
/// The platform's number formatter in currency style, over
/// ICU. Its locale can be changed; the currency is the one the locale names
/// ("en_US@currency=EUR") or else the one of its region, and amounts are
/// rounded half-even to the currency's own digits (two for EUR, none for JPY).
///
/// Kinds: values (a copy is an independent formatter; copies share only the
/// immutable style of their locale).
///
/// ```
///   platform::CurrencyFormatter f("de_DE");
///   f.string(*Decimal::parse("1234.5"));             // "1.234,50 €"
///   f.setLocaleIdentifier("ja_JP");
///   f.string(platform::FixedPointDecimal{499, 2});   // "￥5"
/// ```
///
/// An identifier ICU does not know formats as the root locale (logged once).
/// Formatting never throws: a value that is not a finite number, or a locale
/// whose currency code is malformed, gives nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "quarnkit/core/decimal.h"

namespace quarn::platform {

/// An exact decimal amount: units × 10^-scale ({11988, 2} is 119.88).
struct FixedPointDecimal {
  /// The amount in units of 10^-scale.
  std::int64_t units = 0;
  /// The decimal places: the amount is units × 10^-scale.
  int scale = 0;

  /// The exact value of a finite decimal of at most 18 digits.
  static std::optional<FixedPointDecimal> of(const Decimal& value);

  /// Equal when units and scale are (1.50 and 1.5 are not).
  friend bool operator==(const FixedPointDecimal&, const FixedPointDecimal&) = default;
};

namespace detail {
struct CurrencyStyle;
}

/// Copies are independent formatters; a formatter's const operations may be
/// called from several threads at once.
class CurrencyFormatter {
 public:
  /// A formatter for the Locale service's current locale.
  CurrencyFormatter();
  /// A formatter in currency style for `localeIdentifier`.
  explicit CurrencyFormatter(std::string_view localeIdentifier);

  /// The locale amounts are formatted in.
  [[nodiscard]] const std::string& localeIdentifier() const { return localeIdentifier_; }
  /// Formats in `localeIdentifier` from now on (its currency included).
  void setLocaleIdentifier(std::string_view localeIdentifier);

  /// The ISO 4217 code of the currency ("EUR"); empty when it is malformed.
  [[nodiscard]] const std::string& currencyCode() const;
  /// How many fraction digits amounts are rounded to.
  [[nodiscard]] int maximumFractionDigits() const;

  /// The amount as currency text; nothing when it cannot be formatted.
  [[nodiscard]] std::optional<std::string> string(const Decimal& value) const;
  /// The exact amount as currency text; nothing when it cannot be formatted.
  [[nodiscard]] std::optional<std::string> string(FixedPointDecimal value) const;

 private:
  std::string localeIdentifier_;
  std::shared_ptr<const detail::CurrencyStyle> style_;
};

}  // namespace quarn::platform
