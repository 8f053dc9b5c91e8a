/// @file
/// DateComponentsFormatter: the platform's formatter of amounts of calendar time ("1 week", "12
/// Monate", "3日間"), over ICU's measure formatting with the locale's plural rules.

/// @class quarn::platform::DateComponentsFormatter
/// The platform's formatter of amounts of calendar
/// time ("1 week", "12 Monate", "3日間"), over ICU's measure formatting with
/// the locale's plural rules.
///
/// Kind: a value (a copy is an independent formatter; copies may share a
/// thread-safe cache of the texts already made, which nothing can observe).
///
/// ```
///   platform::DateComponentsFormatter f;   // day, week, month; full names
///   f.setLocaleIdentifier("de_DE");
///   f.string({.weekOfMonth = 1});          // "1 Woche"
///   f.string({.year = 1});                 // "12 Monate": years are not allowed
/// ```
///
/// A component whose unit is not allowed is expressed in an allowed unit when
/// that is exact (a year is 12 months, a week 7 days); otherwise, and for an
/// empty set, the formatter gives nothing.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "quarnkit/platform/calendar.h"

namespace quarn::platform {

namespace detail {
struct MeasureTexts;
}

/// Copies are independent formatters; const operations may be called from
/// several threads at once (each formatter keeps the texts it made).
class DateComponentsFormatter {
 public:
  /// How unit names are written: "1 wk", "1w", "1 week".
  enum class UnitsStyle { abbreviated, short_, full };
  /// A set of CalendarComponent values.
  enum AllowedUnits : unsigned {
    kDay = 1u << 0,
    kWeekOfMonth = 1u << 1,
    kMonth = 1u << 2,
    kYear = 1u << 3,
  };

  /// Day, week and month; full unit names; the current locale.
  DateComponentsFormatter();
  /// A formatter of `allowedUnits` (AllowedUnits bits) in `unitsStyle` for `localeIdentifier`.
  DateComponentsFormatter(unsigned allowedUnits, UnitsStyle unitsStyle,
                          std::string_view localeIdentifier);

  /// The units shown (AllowedUnits bits).
  [[nodiscard]] unsigned allowedUnits() const { return allowedUnits_; }
  /// Sets the units shown.
  void setAllowedUnits(unsigned allowedUnits);
  /// How unit names are written.
  [[nodiscard]] UnitsStyle unitsStyle() const { return unitsStyle_; }
  /// Sets how unit names are written.
  void setUnitsStyle(UnitsStyle style);
  /// The locale texts are made in.
  [[nodiscard]] const std::string& localeIdentifier() const { return localeIdentifier_; }
  /// Makes texts in `localeIdentifier` from now on.
  void setLocaleIdentifier(std::string_view localeIdentifier);

  /// The components as text ("1 week"); nothing when none of them is allowed and set.
  [[nodiscard]] std::optional<std::string> string(const CalendarComponents& components) const;

 private:
  void reset();

  unsigned allowedUnits_;
  UnitsStyle unitsStyle_;
  std::string localeIdentifier_;
  std::shared_ptr<detail::MeasureTexts> texts_;
};

}  // namespace quarn::platform
