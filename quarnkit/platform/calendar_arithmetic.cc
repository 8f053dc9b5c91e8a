// Calendar arithmetic of every Calendar: adding components to a date and
// counting whole units between two dates, with ICU in the calendar's own
// system and time zone.
#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "quarnkit/platform/calendar.h"

namespace quarn::platform {
namespace {

// Far inside every calendar's range.
constexpr double kMaxMillis = 1e17;

UCalendarDateFields icuField(CalendarComponent component) {
  switch (component) {
    case CalendarComponent::day:
      return UCAL_DATE;
    case CalendarComponent::weekOfMonth:
      return UCAL_WEEK_OF_YEAR;  // adds and counts weeks of seven days
    case CalendarComponent::month:
      return UCAL_MONTH;
    case CalendarComponent::year:
      break;
  }
  return UCAL_YEAR;
}

// Creating an ICU calendar (its locale data and its time zone) costs far
// more than the arithmetic done with it, and a paywall does a few operations
// per product. Each thread keeps the calendars it used last, one per
// calendar system and time zone, and sets the time anew for each operation.
icu::Calendar* icuCalendar(const Calendar& calendar, Date date) {
  const double millis = date.timeIntervalSince1970() * 1000.0;
  if (!std::isfinite(millis) || std::abs(millis) > kMaxMillis) return nullptr;
  struct Kept {
    std::string key;
    std::unique_ptr<icu::Calendar> calendar;
  };
  constexpr std::size_t kKept = 8;
  thread_local std::vector<Kept> kept;  // the newest last
  std::string key = calendar.identifier();
  key += '\n';
  key += calendar.timeZoneIdentifier();
  auto it = std::find_if(kept.begin(), kept.end(), [&](const Kept& k) { return k.key == key; });
  if (it == kept.end()) {
    UErrorCode status = U_ZERO_ERROR;
    const std::string locale = "@calendar=" + calendar.identifier();
    std::unique_ptr<icu::Calendar> c(icu::Calendar::createInstance(
        icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(calendar.timeZoneIdentifier())),
        icu::Locale(locale.c_str()), status));
    if (U_FAILURE(status) || !c) return nullptr;
    if (kept.size() == kKept) kept.erase(kept.begin());
    kept.push_back({std::move(key), std::move(c)});
    it = kept.end() - 1;
  }
  UErrorCode status = U_ZERO_ERROR;
  it->calendar->setTime(millis, status);
  return U_SUCCESS(status) ? it->calendar.get() : nullptr;
}

template <class Components>
auto& member(Components& components, CalendarComponent component) {
  switch (component) {
    case CalendarComponent::day:
      return components.day;
    case CalendarComponent::weekOfMonth:
      return components.weekOfMonth;
    case CalendarComponent::month:
      return components.month;
    case CalendarComponent::year:
      break;
  }
  return components.year;
}

}  // namespace

std::optional<std::int64_t>& CalendarComponents::operator[](CalendarComponent component) {
  return member(*this, component);
}

const std::optional<std::int64_t>& CalendarComponents::operator[](
    CalendarComponent component) const {
  return member(*this, component);
}

std::optional<Date> Calendar::dateByAdding(const CalendarComponents& components, Date date) const {
  icu::Calendar* c = icuCalendar(*this, date);
  if (!c) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  for (const CalendarComponent component :
       {CalendarComponent::year, CalendarComponent::month, CalendarComponent::weekOfMonth,
        CalendarComponent::day}) {
    const std::optional<std::int64_t>& amount = components[component];
    if (!amount || *amount == 0) continue;
    if (*amount > std::numeric_limits<std::int32_t>::max() ||
        *amount < std::numeric_limits<std::int32_t>::min()) {
      return std::nullopt;
    }
    c->add(icuField(component), static_cast<std::int32_t>(*amount), status);
  }
  const UDate millis = c->getTime(status);
  if (U_FAILURE(status) || !std::isfinite(millis) || std::abs(millis) > kMaxMillis) {
    return std::nullopt;
  }
  return Date(millis / 1000.0);
}

std::optional<std::int64_t> Calendar::wholeUnits(CalendarComponent component, Date from,
                                                 Date to) const {
  icu::Calendar* c = icuCalendar(*this, from);
  const double toMillis = to.timeIntervalSince1970() * 1000.0;
  if (!c || !std::isfinite(toMillis) || std::abs(toMillis) > kMaxMillis) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  const std::int32_t units = c->fieldDifference(toMillis, icuField(component), status);
  if (U_FAILURE(status)) return std::nullopt;
  return units;
}

}  // namespace quarn::platform
