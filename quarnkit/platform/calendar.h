/// @file
/// Calendar: the platform's calendar service: the components of a date (year, month, day, weekday,
/// hour, minute, second) in the current calendar and time zone.

/// @class quarn::platform::Calendar
/// The platform's calendar service: the components of a date (year,
/// month, day, weekday, hour, minute, second) in the current calendar and time
/// zone.
///
/// Kinds: DateComponents and CalendarComponents are values; calendars are
/// unique objects (not copyable), installed as services.
///
/// The default follows the Locale service: it uses the calendar of the current
/// locale (Gregorian for "en_US", Buddhist for "th_TH", whatever an
/// "@calendar=..." keyword names) in the device's time zone, through ICU, and
/// picks up a replaced Locale service on its next use. Tests install a
/// FixedTimeZoneCalendar.
///
/// ```
///   auto c = platform::Calendar::current()->components(Date(1706695200));
///   c->year;     // 2024 (in a time zone where it is still January 31st)
///   c->weekday;  // 4: Wednesday, with 1 = Sunday in the Gregorian calendar
/// ```
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "quarnkit/core/date.h"
#include "quarnkit/platform/service.h"

namespace quarn::platform {

/// The components of a date in one calendar and time zone. Month and day
/// start at 1; weekday follows the calendar's numbering (1 = Sunday ... 7 =
/// Saturday in the Gregorian calendar); year is the year of the era.
struct DateComponents {
  /// The year of the era.
  int year = 0;
  /// The month, from 1.
  int month = 0;
  /// The day of the month, from 1.
  int day = 0;
  /// The weekday (1 = Sunday in the Gregorian calendar).
  int weekday = 0;
  /// The hour, 0 to 23.
  int hour = 0;
  /// The minute.
  int minute = 0;
  /// The second.
  int second = 0;

  /// Equal when every component is.
  friend bool operator==(const DateComponents&, const DateComponents&) = default;
};

/// A unit of calendar arithmetic.
enum class CalendarComponent { day, weekOfMonth, month, year };

/// A set of calendar components, each set or not: an amount of calendar time
/// ("1 month", "2 weeks and 3 days") to add to a date or to format.
struct CalendarComponents {
  /// Years.
  std::optional<std::int64_t> year{};
  /// Months.
  std::optional<std::int64_t> month{};
  /// Weeks.
  std::optional<std::int64_t> weekOfMonth{};
  /// Days.
  std::optional<std::int64_t> day{};

  /// Whether no component is set.
  [[nodiscard]] bool isEmpty() const { return !year && !month && !weekOfMonth && !day; }
  /// The component `component`.
  [[nodiscard]] std::optional<std::int64_t>& operator[](CalendarComponent component);
  /// The component `component`.
  [[nodiscard]] const std::optional<std::int64_t>& operator[](CalendarComponent component) const;

  /// Equal when every component is.
  friend bool operator==(const CalendarComponents&, const CalendarComponents&) = default;
};

class Calendar {
 public:
  Calendar() = default;
  virtual ~Calendar() = default;
  Calendar(const Calendar&) = delete;
  Calendar& operator=(const Calendar&) = delete;

  /// The calendar's identifier, as ICU names it ("gregorian", "buddhist").
  [[nodiscard]] virtual std::string identifier() const = 0;
  /// The time zone the components are taken in ("Europe/Berlin").
  [[nodiscard]] virtual std::string timeZoneIdentifier() const = 0;
  /// The components of `date`; nothing for a date the calendar cannot
  /// represent (not finite, or beyond its range).
  [[nodiscard]] virtual std::optional<DateComponents> components(Date date) const = 0;

  /// `date` moved by `components` (larger units first, without wrapping
  /// into larger units: Jan 31 plus one month is the last day of February);
  /// nothing when the result is beyond the calendar's range. The default
  /// does the arithmetic with ICU in identifier() and timeZoneIdentifier().
  [[nodiscard]] virtual std::optional<Date> dateByAdding(const CalendarComponents& components,
                                                         Date date) const;
  /// The whole `component` units from `from` to `to` (negative when `to` is
  /// earlier); nothing when an instant is beyond the calendar's range. Same
  /// default as dateByAdding().
  [[nodiscard]] virtual std::optional<std::int64_t> wholeUnits(CalendarComponent component,
                                                               Date from, Date to) const;

  /// Whether dateByAdding() and wholeUnits() are certainly the default ICU
  /// arithmetic: true for this library's calendars, which keep it, false for
  /// any other subclass, which may replace it.
  [[nodiscard]] bool hasDefaultArithmetic() const;

  /// The current calendar (by default the Locale service's, see above).
  static std::shared_ptr<const Calendar> current();
  /// Replaces the current calendar; nullptr restores the default.
  static void setCurrent(std::shared_ptr<const Calendar> calendar);
};

/// A calendar of ICU for a locale identifier (whose calendar it uses) and a
/// time zone identifier (an unknown one reads as GMT). Thread-safe.
class ICUCalendar final : public Calendar {
 public:
  /// The calendar of `localeIdentifier` in the time zone `timeZoneIdentifier`.
  ICUCalendar(const std::string& localeIdentifier, const std::string& timeZoneIdentifier);
  ~ICUCalendar() override;
  ICUCalendar(const ICUCalendar&) = delete;
  ICUCalendar& operator=(const ICUCalendar&) = delete;

  [[nodiscard]] std::string identifier() const override;
  [[nodiscard]] std::string timeZoneIdentifier() const override;
  [[nodiscard]] std::optional<DateComponents> components(Date date) const override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// The test double: the proleptic Gregorian calendar at a fixed offset from
/// GMT, computed without ICU.
class FixedTimeZoneCalendar final : public Calendar {
 public:
  /// The Gregorian calendar `secondsFromGMT` seconds ahead of GMT.
  explicit FixedTimeZoneCalendar(int secondsFromGMT = 0) : secondsFromGMT_(secondsFromGMT) {}

  [[nodiscard]] std::string identifier() const override { return "gregorian"; }
  /// "GMT", or "GMT+0100" style for other offsets.
  [[nodiscard]] std::string timeZoneIdentifier() const override;
  [[nodiscard]] std::optional<DateComponents> components(Date date) const override;

 private:
  int secondsFromGMT_;
};

}  // namespace quarn::platform
