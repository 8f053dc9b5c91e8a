#include "quarnkit/platform/media/media_time.h"

#include <unicode/numberformatter.h>

#include <boost/multiprecision/cpp_int.hpp>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "quarnkit/platform/detail/icu_locale.h"
#include "quarnkit/platform/locale.h"

namespace quarn::platform {

namespace {

// Wide enough for every product the operations form: a value (64 bits)
// times up to three timescales (31 bits each).
using Wide = boost::multiprecision::int256_t;

constexpr std::uint32_t kSpecial =
    MediaTime::positiveInfinity | MediaTime::negativeInfinity | MediaTime::indefinite;

// Where a time or the end of a range lies on the time line.
enum class Place { negativeInfinity, numeric, indefinite, positiveInfinity, invalid };

Place placeOf(const MediaTime& t) {
  if (!t.isValid()) return Place::invalid;
  if ((t.flags & MediaTime::negativeInfinity) != 0) return Place::negativeInfinity;
  if ((t.flags & MediaTime::positiveInfinity) != 0) return Place::positiveInfinity;
  if ((t.flags & MediaTime::indefinite) != 0) return Place::indefinite;
  return Place::numeric;
}

// An exact point: num / den seconds (den > 0) in an epoch.
struct Point {
  Place place = Place::invalid;
  std::int64_t epoch = 0;
  Wide num = 0;
  Wide den = 1;
};

Point pointOf(const MediaTime& t) {
  Point p{placeOf(t), t.epoch, 0, 1};
  if (p.place == Place::numeric) {
    p.num = t.value;
    p.den = t.timescale;
  }
  return p;
}

// Sum of two points of one epoch; a numeric sum stays exact.
Point sum(const Point& a, const Point& b) {
  if (a.place == Place::invalid || b.place == Place::invalid || a.epoch != b.epoch) return {};
  const bool positive = a.place == Place::positiveInfinity || b.place == Place::positiveInfinity;
  const bool negative = a.place == Place::negativeInfinity || b.place == Place::negativeInfinity;
  if (positive && negative) return {};
  if (positive) return {Place::positiveInfinity, a.epoch};
  if (negative) return {Place::negativeInfinity, a.epoch};
  if (a.place == Place::indefinite || b.place == Place::indefinite) {
    return {Place::indefinite, a.epoch};
  }
  // Over the common timescale, so that 1/3 + 1/6 is 3/6.
  const Wide common = boost::multiprecision::lcm(a.den, b.den);
  return {Place::numeric, a.epoch, a.num * (common / a.den) + b.num * (common / b.den), common};
}

std::weak_ordering compare(const Point& a, const Point& b) {
  if (a.place != b.place || a.place != Place::numeric) {
    if (a.place != b.place) return a.place <=> b.place;
    return std::weak_ordering::equivalent;  // the same special place
  }
  if (a.epoch != b.epoch) return a.epoch <=> b.epoch;
  const Wide left = a.num * b.den;
  const Wide right = b.num * a.den;
  if (left < right) return std::weak_ordering::less;
  if (left > right) return std::weak_ordering::greater;
  return std::weak_ordering::equivalent;
}

// start <= p < end for a numeric start and point.
bool contains(const MediaTimeRange& range, const Point& p) {
  if (!range.isValid() || p.place != Place::numeric) return false;
  const Point start = pointOf(range.start);
  if (start.place != Place::numeric) return false;
  if (compare(start, p) == std::weak_ordering::greater) return false;
  const Point end = sum(start, pointOf(range.duration));
  if (end.place == Place::positiveInfinity) return true;
  return end.place == Place::numeric && compare(p, end) == std::weak_ordering::less;
}

[[noreturn]] void overflow(const char* operation) {
  throw std::overflow_error(std::string("MediaTime ") + operation +
                            ": the exact result does not fit a media time");
}

// A numeric result num/den as a media time: the fraction as is, or reduced
// until it fits; never rounded.
MediaTime fitted(Wide num, Wide den, std::int64_t epoch, const char* operation) {
  const auto fits = [](const Wide& n, const Wide& d) {
    return n >= std::numeric_limits<std::int64_t>::min() &&
           n <= std::numeric_limits<std::int64_t>::max() &&
           d <= std::numeric_limits<std::int32_t>::max();
  };
  if (!fits(num, den)) {
    const Wide g = boost::multiprecision::gcd(num, den);
    if (g > 1) {
      num /= g;
      den /= g;
    }
    if (!fits(num, den)) overflow(operation);
  }
  return MediaTime::make(static_cast<std::int64_t>(num), static_cast<std::int32_t>(den), epoch);
}

MediaTime timeOf(const Point& p, const char* operation) {
  switch (p.place) {
    case Place::negativeInfinity:
      return MediaTime::negativeInfinityTime();
    case Place::positiveInfinity:
      return MediaTime::positiveInfinityTime();
    case Place::indefinite:
      return MediaTime::indefiniteTime();
    case Place::invalid:
      return MediaTime::invalidTime();
    case Place::numeric:
      break;
  }
  return fitted(p.num, p.den, p.epoch, operation);
}

std::string formatSeconds(const icu::number::LocalizedNumberFormatter& formatter, double seconds) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeString text = formatter.formatDouble(seconds, status).toString(status);
  std::string out;
  if (U_FAILURE(status)) return std::to_string(seconds);
  text.toUTF8String(out);
  return out;
}

}  // namespace

MediaTime MediaTime::make(std::int64_t value, std::int32_t timescale, std::int64_t epoch) {
  return {value, timescale, valid, epoch};
}

bool MediaTime::isValid() const {
  if ((flags & valid) == 0) return false;
  return (flags & kSpecial) != 0 || timescale > 0;
}

bool MediaTime::isNumeric() const { return placeOf(*this) == Place::numeric; }

double MediaTime::seconds() const {
  switch (placeOf(*this)) {
    case Place::numeric:
      return static_cast<double>(value) / timescale;
    case Place::positiveInfinity:
      return std::numeric_limits<double>::infinity();
    case Place::negativeInfinity:
      return -std::numeric_limits<double>::infinity();
    case Place::indefinite:
    case Place::invalid:
      break;
  }
  return std::numeric_limits<double>::quiet_NaN();
}

std::weak_ordering operator<=>(const MediaTime& a, const MediaTime& b) {
  return compare(pointOf(a), pointOf(b));
}

MediaTime operator+(const MediaTime& a, const MediaTime& b) {
  if (a.isNumeric() && b.isNumeric() && a.timescale == b.timescale && a.epoch == b.epoch) {
    // The common case stays in 64 bits.
    std::int64_t value = 0;
    if (__builtin_add_overflow(a.value, b.value, &value)) overflow("addition");
    return MediaTime::make(value, a.timescale, a.epoch);
  }
  return timeOf(sum(pointOf(a), pointOf(b)), "addition");
}

MediaTime MediaTime::operator-() const {
  switch (placeOf(*this)) {
    case Place::positiveInfinity:
      return negativeInfinityTime();
    case Place::negativeInfinity:
      return positiveInfinityTime();
    case Place::numeric:
      if (value == std::numeric_limits<std::int64_t>::min()) overflow("negation");
      return make(-value, timescale, epoch);
    case Place::indefinite:
    case Place::invalid:
      break;
  }
  return *this;
}

MediaTime operator-(const MediaTime& a, const MediaTime& b) {
  if (b.isNumeric() && b.value == std::numeric_limits<std::int64_t>::min()) {
    // -b does not fit, a - b may.
    Point nb = pointOf(b);
    nb.num = -nb.num;
    return timeOf(sum(pointOf(a), nb), "subtraction");
  }
  return a + (-b);
}

bool MediaTimeRange::containsTime(const MediaTime& time) const {
  return contains(*this, pointOf(time));
}

bool MediaTimeRange::isIntersection(const MediaTimeRange& other) const {
  if (!isValid() || !other.isValid()) return false;
  const Point ownStart = pointOf(start);
  const Point otherStart = pointOf(other.start);
  return contains(*this, otherStart) || contains(*this, sum(otherStart, pointOf(other.duration))) ||
         contains(other, ownStart) || contains(other, sum(ownStart, pointOf(duration)));
}

std::string MediaTimeRange::formattedDescription() const {
  return formattedDescription(Locale::current()->localeIdentifier());
}

std::string MediaTimeRange::formattedDescription(const std::string& localeIdentifier) const {
  const auto formatter =
      icu::number::NumberFormatter::withLocale(detail::formattingLocale(localeIdentifier))
          .precision(icu::number::Precision::fixedFraction(2));
  const double from = start.seconds();
  const double to = from + duration.seconds();
  // An invalid or indefinite range has no numbers to show.
  if (!isValid() || std::isnan(from) || std::isnan(to)) return {};
  return formatSeconds(formatter, from) + " - " + formatSeconds(formatter, to);
}

}  // namespace quarn::platform
