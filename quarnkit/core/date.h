/// @file
/// Date: an instant, as seconds since 1970-01-01T00:00:00Z in a double, with internet date-time
/// (RFC 3339 / ISO 8601) parsing and formatting.

/// @class quarn::Date
/// An instant, as seconds since 1970-01-01T00:00:00Z in a double, with
/// internet date-time (RFC 3339 / ISO 8601) parsing and formatting.
///
/// ```
///   auto d = quarn::Date::parseISO8601("2024-01-31T10:00:00Z");
///   d->iso8601String();   // "2024-01-31T10:00:00Z"
/// ```
///
/// Calendar arithmetic in other time zones belongs to the platform's calendar
/// service (ICU); this type only knows UTC.
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
  /// The instant `secondsSince1970` seconds after 1970-01-01T00:00:00Z.
  constexpr explicit Date(double secondsSince1970) : seconds_(secondsSince1970) {}

  /// The instant `seconds` after the reference date (2001-01-01T00:00:00Z).
  static constexpr Date fromTimeIntervalSinceReferenceDate(double seconds) {
    return Date(seconds + kReferenceDateOffset);
  }

  /// Seconds since 1970-01-01T00:00:00Z.
  [[nodiscard]] constexpr double timeIntervalSince1970() const { return seconds_; }
  /// Seconds since the reference date (2001-01-01T00:00:00Z).
  [[nodiscard]] constexpr double timeIntervalSinceReferenceDate() const {
    return seconds_ - kReferenceDateOffset;
  }
  /// Seconds from `other` to this date (negative when `other` is later).
  [[nodiscard]] constexpr double timeIntervalSince(Date other) const {
    return seconds_ - other.seconds_;
  }
  /// The date `seconds` later.
  [[nodiscard]] constexpr Date addingTimeInterval(double seconds) const {
    return Date(seconds_ + seconds);
  }

  /// How strictly parseISO8601() reads.
  struct ParseOptions {
    /// Accept (and require no more than nanosecond) fractional seconds.
    bool fractionalSeconds = false;
  };

  /// Parses an internet date-time: "YYYY-MM-DDTHH:MM:SS" with optional
  /// fractional seconds (when allowed), then "Z" or a "+HH:MM"/"-HH:MM" offset.
  /// The whole text must match; anything else gives nothing.
  static std::optional<Date> parseISO8601(std::string_view text, ParseOptions options);
  /// The same, without fractional seconds.
  static std::optional<Date> parseISO8601(std::string_view text) {
    return parseISO8601(text, ParseOptions{});
  }

  /// "2024-01-31T10:00:00Z", or with milliseconds ("...:00.250Z").
  [[nodiscard]] std::string iso8601String(bool fractionalSeconds = false) const;

  /// The platform's text form of a date: "2024-01-31 10:00:00 +0000".
  [[nodiscard]] std::string description() const;

  /// Equal when the instants are.
  friend constexpr bool operator==(Date, Date) = default;
  /// Ordered by time.
  friend constexpr auto operator<=>(Date a, Date b) { return a.seconds_ <=> b.seconds_; }

 private:
  double seconds_ = 0;
};

/// Days since 1970-01-01 of a proleptic Gregorian civil date.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day);

/// A UTC calendar date and time of day. A value.
struct CivilDateTime {
  std::int64_t year;  ///< Proleptic Gregorian year.
  ///@{
  /// Month (1 to 12), day of the month (1 to 31), hour, minute and second.
  unsigned month, day, hour, minute, second;
  ///@}
  double fraction;  ///< The fraction of the second, in [0, 1).
};
/// The UTC civil date and time of an instant.
CivilDateTime civilFromDate(Date date);

}  // namespace quarn
