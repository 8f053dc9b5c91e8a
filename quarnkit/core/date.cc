#include "quarnkit/core/date.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace quarn {

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  // Howard Hinnant's days_from_civil.
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

CivilDateTime civilFromDate(Date date) {
  const double t = date.timeIntervalSince1970();
  const double whole = std::floor(t);
  auto secs = static_cast<std::int64_t>(whole);
  std::int64_t days = secs >= 0 ? secs / 86400 : -((-secs + 86399) / 86400);
  std::int64_t rem = secs - days * 86400;
  // civil_from_days
  std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
  return CivilDateTime{y,
                       m,
                       d,
                       static_cast<unsigned>(rem / 3600),
                       static_cast<unsigned>(rem % 3600 / 60),
                       static_cast<unsigned>(rem % 60),
                       t - whole};
}

namespace {

bool digits(std::string_view s, size_t pos, size_t n, unsigned& out) {
  if (pos + n > s.size()) return false;
  unsigned v = 0;
  for (size_t i = pos; i < pos + n; ++i) {
    const char c = s[i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  out = v;
  return true;
}

unsigned daysInMonth(unsigned year, unsigned month) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0))) return 29;
  return kDays[month - 1];
}

}  // namespace

std::optional<Date> Date::parseISO8601(std::string_view s, ParseOptions options) {
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!digits(s, 0, 4, year) || s.size() < 20 || s[4] != '-' || !digits(s, 5, 2, month) ||
      s[7] != '-' || !digits(s, 8, 2, day) || s[10] != 'T' || !digits(s, 11, 2, hour) ||
      s[13] != ':' || !digits(s, 14, 2, minute) || s[16] != ':' || !digits(s, 17, 2, second)) {
    return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59) {
    return std::nullopt;
  }
  size_t pos = 19;
  double fraction = 0;
  if (pos < s.size() && s[pos] == '.') {
    if (!options.fractionalSeconds) return std::nullopt;
    ++pos;
    double scale = 0.1;
    const size_t start = pos;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
      fraction += (s[pos] - '0') * scale;
      scale /= 10;
      ++pos;
    }
    if (pos == start || pos - start > 9) return std::nullopt;
  }
  if (pos >= s.size()) return std::nullopt;
  int offset = 0;
  if (s[pos] == 'Z') {
    ++pos;
  } else if (s[pos] == '+' || s[pos] == '-') {
    unsigned oh = 0, om = 0;
    if (!digits(s, pos + 1, 2, oh) || pos + 3 >= s.size() || s[pos + 3] != ':' ||
        !digits(s, pos + 4, 2, om) || oh > 23 || om > 59) {
      return std::nullopt;
    }
    offset = static_cast<int>(oh * 3600 + om * 60) * (s[pos] == '-' ? -1 : 1);
    pos += 6;
  } else {
    return std::nullopt;
  }
  if (pos != s.size()) return std::nullopt;
  const std::int64_t days = daysFromCivil(year, month, day);
  const double secs = static_cast<double>(days * 86400 + std::int64_t{hour} * 3600 +
                                          std::int64_t{minute} * 60 + second) -
                      offset + fraction;
  return Date(secs);
}

std::string Date::iso8601String(bool fractionalSeconds) const {
  const CivilDateTime c = civilFromDate(*this);
  if (fractionalSeconds) {
    const auto millis =
        static_cast<unsigned>(std::min(999.0, std::floor(c.fraction * 1000 + 1e-6)));
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}Z", c.year, c.month, c.day, c.hour,
                       c.minute, c.second, millis);
  }
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}Z", c.year, c.month, c.day, c.hour,
                     c.minute, c.second);
}

std::string Date::description() const {
  const CivilDateTime c = civilFromDate(*this);
  return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02} +0000", c.year, c.month, c.day, c.hour,
                     c.minute, c.second);
}

}  // namespace quarn
