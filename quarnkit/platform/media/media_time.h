/// @file
/// MediaTime and MediaTimeRange (values): positions and spans of media as
/// exact rational times (value / timescale seconds) with flags and an epoch,
/// the way the media player stand-in and stored playback data express them.
///
/// ```
///   auto start = platform::MediaTime::make(3, 2);           // 1.5 s
///   auto range = platform::MediaTimeRange{start, platform::MediaTime::make(2, 1)};
///   range.containsTime(platform::MediaTime::make(7, 2));    // false: the end is excluded
///   range.formattedDescription();                           // "1.50 - 3.50" in English
/// ```
///
/// A time is numeric (valid, finite and definite), invalid, indefinite, or
/// positive or negative infinity. A time whose valid flag is set but whose
/// timescale is 0 or below has no meaning as a number: it is kept as it was
/// read, but every operation treats it as invalid.
///
/// Comparison is exact for numeric times of any timescales and orders the
/// others: negative infinity < numeric < indefinite < positive infinity <
/// invalid. Addition and subtraction are exact too; a result that does not fit
/// (a value beyond 64 bits, a common timescale beyond 32 bits that cannot be
/// reduced) throws std::overflow_error rather than wrapping.
#pragma once

#include <compare>
#include <cstdint>
#include <string>

namespace quarn::platform {

/// A time as a rational number of seconds (value / timescale), or a special time: invalid,
/// indefinite or infinite. A value.
struct MediaTime {
  /// The bits of `flags`, as stored data writes them.
  enum Flag : std::uint32_t {
    valid = 1U << 0,
    hasBeenRounded = 1U << 1,
    positiveInfinity = 1U << 2,
    negativeInfinity = 1U << 3,
    indefinite = 1U << 4,
  };

  /// The numerator: value / timescale seconds.
  std::int64_t value = 0;
  /// Units per second.
  std::int32_t timescale = 0;
  /// The Flag bits.
  std::uint32_t flags = 0;
  /// The epoch: times of different epochs do not combine.
  std::int64_t epoch = 0;

  /// value / timescale seconds, valid (invalid when timescale <= 0).
  static MediaTime make(std::int64_t value, std::int32_t timescale, std::int64_t epoch = 0);
  /// 0 seconds.
  static MediaTime zero() { return make(0, 1); }
  /// An invalid time.
  static MediaTime invalidTime() { return {}; }
  /// An indefinite time (a live stream's duration).
  static MediaTime indefiniteTime() { return {0, 0, valid | indefinite, 0}; }
  /// Positive infinity.
  static MediaTime positiveInfinityTime() { return {0, 0, valid | positiveInfinity, 0}; }
  /// Negative infinity.
  static MediaTime negativeInfinityTime() { return {0, 0, valid | negativeInfinity, 0}; }

  /// Marked valid and meaningful: a special time, or a numeric one with a
  /// positive timescale.
  [[nodiscard]] bool isValid() const;
  /// Whether it is the indefinite time.
  [[nodiscard]] bool isIndefinite() const { return isValid() && (flags & indefinite) != 0; }
  /// Whether it is positive infinity.
  [[nodiscard]] bool isPositiveInfinity() const {
    return isValid() && (flags & positiveInfinity) != 0;
  }
  /// Whether it is negative infinity.
  [[nodiscard]] bool isNegativeInfinity() const {
    return isValid() && (flags & negativeInfinity) != 0;
  }
  /// Valid, finite and definite: value / timescale is its meaning.
  [[nodiscard]] bool isNumeric() const;
  /// The time in seconds: NaN when invalid or indefinite, ±infinity for the
  /// infinities.
  [[nodiscard]] double seconds() const;

  /// Times in order: negative infinity, numeric times (by epoch, then value),
  /// indefinite, positive infinity, invalid.
  friend std::weak_ordering operator<=>(const MediaTime& a, const MediaTime& b);
  /// Equal times: 1/2 and 2/4 are equal; so are two invalid times.
  friend bool operator==(const MediaTime& a, const MediaTime& b) {
    return (a <=> b) == std::weak_ordering::equivalent;
  }

  /// Exact sums and differences. An invalid operand, times of different
  /// epochs, or opposite infinities give an invalid time; an infinity wins
  /// over a finite or indefinite operand, and indefinite over a numeric one.
  friend MediaTime operator+(const MediaTime& a, const MediaTime& b);
  /// The exact difference (see operator+).
  friend MediaTime operator-(const MediaTime& a, const MediaTime& b);
  /// The negated time.
  MediaTime operator-() const;
};

/// A span of media time: a start and a duration. A value.
struct MediaTimeRange {
  /// Where the range starts.
  MediaTime start;
  /// How long it is.
  MediaTime duration;

  /// Both times valid.
  [[nodiscard]] bool isValid() const { return start.isValid() && duration.isValid(); }
  /// start + duration (may throw std::overflow_error).
  [[nodiscard]] MediaTime end() const { return start + duration; }
  /// start <= time < start + duration, computed exactly without overflow.
  /// False when the range or the time is not valid, and for non-numeric
  /// times and starts; an infinite duration has no end.
  [[nodiscard]] bool containsTime(const MediaTime& time) const;
  /// Whether the ranges overlap or touch: one contains the other's start or
  /// end.
  [[nodiscard]] bool isIntersection(const MediaTimeRange& other) const;
  /// "1.50 - 3.50": the start and end in seconds with two fraction digits,
  /// in the current locale's number format; the empty text for an invalid
  /// range (a timescale of 0 or less) and an indefinite one.
  [[nodiscard]] std::string formattedDescription() const;
  /// As formattedDescription, in the locale `localeIdentifier`.
  [[nodiscard]] std::string formattedDescription(const std::string& localeIdentifier) const;

  /// Equal when start and duration are.
  friend bool operator==(const MediaTimeRange&, const MediaTimeRange&) = default;
};

}  // namespace quarn::platform
