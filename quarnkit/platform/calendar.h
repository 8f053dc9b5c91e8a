// Calendar: the platform's calendar service: the components of a date (year,
// month, day, weekday, hour, minute, second) in the current calendar and time
// zone.
//
// The default follows the Locale service: it uses the calendar of the current
// locale (Gregorian for "en_US", Buddhist for "th_TH", whatever an
// "@calendar=..." keyword names) in the device's time zone, through ICU, and
// picks up a replaced Locale service on its next use. Tests install a
// FixedTimeZoneCalendar.
//
//   auto c = platform::Calendar::current()->components(Date(1706695200));
//   c->year;     // 2024 (in a time zone where it is still January 31st)
//   c->weekday;  // 4: Wednesday, with 1 = Sunday in the Gregorian calendar
#pragma once

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
  int year = 0;
  int month = 0;
  int day = 0;
  int weekday = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;

  friend bool operator==(const DateComponents&, const DateComponents&) = default;
};

class Calendar {
 public:
  virtual ~Calendar() = default;

  /// The calendar's identifier, as ICU names it ("gregorian", "buddhist").
  [[nodiscard]] virtual std::string identifier() const = 0;
  /// The time zone the components are taken in ("Europe/Berlin").
  [[nodiscard]] virtual std::string timeZoneIdentifier() const = 0;
  /// The components of `date`; nothing for a date the calendar cannot
  /// represent (not finite, or beyond its range).
  [[nodiscard]] virtual std::optional<DateComponents> components(Date date) const = 0;

  /// The current calendar (by default the Locale service's, see above).
  static std::shared_ptr<const Calendar> current();
  /// Replaces the current calendar; nullptr restores the default.
  static void setCurrent(std::shared_ptr<const Calendar> calendar);
};

/// A calendar of ICU for a locale identifier (whose calendar it uses) and a
/// time zone identifier (an unknown one reads as GMT). Thread-safe.
class ICUCalendar final : public Calendar {
 public:
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
  explicit FixedTimeZoneCalendar(int secondsFromGMT = 0) : secondsFromGMT_(secondsFromGMT) {}

  [[nodiscard]] std::string identifier() const override { return "gregorian"; }
  /// "GMT", or "GMT+0100" style for other offsets.
  [[nodiscard]] std::string timeZoneIdentifier() const override;
  [[nodiscard]] std::optional<DateComponents> components(Date date) const override;

 private:
  int secondsFromGMT_;
};

}  // namespace quarn::platform
