// Date: an instant, as seconds since 1970-01-01T00:00:00Z in a double, with
// internet date-time (RFC 3339 / ISO 8601) parsing and formatting.
//
//   auto d = quarn::Date::parseISO8601("2024-01-31T10:00:00Z");
//   d->iso8601String();   // "2024-01-31T10:00:00Z"
//
// Calendar arithmetic in other time zones belongs to the platform's calendar
// service (ICU); this type only knows UTC.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarn {

class Date {
 public:
  /// Seconds between 1970-01-01 and 2001-01-01 (the platform's reference date).
  static constexpr double kReferenceDateOffset = 978307200.0;

  constexpr Date() = default;
  constexpr explicit Date(double secondsSince1970) : seconds_(secondsSince1970) {}

  static constexpr Date fromTimeIntervalSinceReferenceDate(double seconds) {
    return Date(seconds + kReferenceDateOffset);
  }

  [[nodiscard]] constexpr double timeIntervalSince1970() const { return seconds_; }
  [[nodiscard]] constexpr double timeIntervalSinceReferenceDate() const {
    return seconds_ - kReferenceDateOffset;
  }
  [[nodiscard]] constexpr double timeIntervalSince(Date other) const {
    return seconds_ - other.seconds_;
  }
  [[nodiscard]] constexpr Date addingTimeInterval(double seconds) const {
    return Date(seconds_ + seconds);
  }

  struct ParseOptions {
    /// Accept (and require no more than nanosecond) fractional seconds.
    bool fractionalSeconds = false;
  };

  /// Parses an internet date-time: "YYYY-MM-DDTHH:MM:SS" with optional
  /// fractional seconds (when allowed), then "Z" or a "+HH:MM"/"-HH:MM" offset.
  /// The whole text must match; anything else gives nothing.
  static std::optional<Date> parseISO8601(std::string_view text, ParseOptions options);
  static std::optional<Date> parseISO8601(std::string_view text) {
    return parseISO8601(text, ParseOptions{});
  }

  /// "2024-01-31T10:00:00Z", or with milliseconds ("...:00.250Z").
  [[nodiscard]] std::string iso8601String(bool fractionalSeconds = false) const;

  /// The platform's text form of a date: "2024-01-31 10:00:00 +0000".
  [[nodiscard]] std::string description() const;

  friend constexpr bool operator==(Date, Date) = default;
  friend constexpr auto operator<=>(Date a, Date b) { return a.seconds_ <=> b.seconds_; }

 private:
  double seconds_ = 0;
};

/// Days since 1970-01-01 of a proleptic Gregorian civil date.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day);

struct CivilDateTime {
  std::int64_t year;
  unsigned month, day, hour, minute, second;
  double fraction;  // in [0, 1)
};
/// The UTC civil date and time of an instant.
CivilDateTime civilFromDate(Date date);

}  // namespace quarn
