#include "quarnkit/platform/calendar.h"

#include <fmt/format.h>
#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <cmath>
#include <cstdlib>
#include <typeinfo>

#include "quarnkit/platform/locale.h"

namespace quarn::platform {

// ----- ICUCalendar ---------------------------------------------------------

struct ICUCalendar::Impl {
  std::mutex mutex;  // an icu::Calendar is not thread-safe
  std::unique_ptr<icu::Calendar> calendar;
  std::string timeZone;
  // The second of the last instant asked for, and its components: callers
  // that read the clock in a burst (one set of facts per list) ask for
  // instants within one second many times. Time zone offsets are whole
  // seconds, so every instant of a second has that second's components.
  std::optional<double> lastSecond;
  DateComponents last;
};

ICUCalendar::ICUCalendar(const std::string& localeIdentifier, const std::string& timeZoneIdentifier)
    : impl_(std::make_unique<Impl>()) {
  icu::TimeZone* zone =
      icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(timeZoneIdentifier));
  icu::UnicodeString id;
  zone->getID(id);
  id.toUTF8String(impl_->timeZone);
  UErrorCode status = U_ZERO_ERROR;
  impl_->calendar.reset(
      icu::Calendar::createInstance(zone, icu::Locale(localeIdentifier.c_str()), status));
  if (U_FAILURE(status) || !impl_->calendar) {
    // Only an allocation failure gets here; fall back to the root locale.
    status = U_ZERO_ERROR;
    impl_->calendar.reset(icu::Calendar::createInstance(
        icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(timeZoneIdentifier)),
        icu::Locale::getRoot(), status));
  }
  if (impl_->calendar) impl_->calendar->setLenient(false);
}

ICUCalendar::~ICUCalendar() = default;

std::string ICUCalendar::identifier() const {
  return impl_->calendar ? impl_->calendar->getType() : "gregorian";
}

std::string ICUCalendar::timeZoneIdentifier() const { return impl_->timeZone; }

std::optional<DateComponents> ICUCalendar::components(Date date) const {
  const double millis = date.timeIntervalSince1970() * 1000.0;
  if (!std::isfinite(millis) || !impl_->calendar) return std::nullopt;
  // Far inside the calendar's range, where a second is never partly out of it.
  const std::optional<double> second =
      std::abs(millis) < 1e15 ? std::optional(std::floor(millis / 1000.0)) : std::nullopt;
  std::lock_guard lock(impl_->mutex);
  if (second && impl_->lastSecond == second) return impl_->last;
  icu::Calendar& c = *impl_->calendar;
  UErrorCode status = U_ZERO_ERROR;
  c.setTime(millis, status);  // not lenient: out of range is an error
  DateComponents out;
  out.year = c.get(UCAL_YEAR, status);
  out.month = c.get(UCAL_MONTH, status) + 1;
  out.day = c.get(UCAL_DATE, status);
  out.weekday = c.get(UCAL_DAY_OF_WEEK, status);  // 1 = Sunday, whatever the first weekday
  out.hour = c.get(UCAL_HOUR_OF_DAY, status);
  out.minute = c.get(UCAL_MINUTE, status);
  out.second = c.get(UCAL_SECOND, status);
  if (U_FAILURE(status)) return std::nullopt;
  impl_->lastSecond = second;
  impl_->last = out;
  return out;
}

// ----- FixedTimeZoneCalendar -----------------------------------------------

std::string FixedTimeZoneCalendar::timeZoneIdentifier() const {
  if (secondsFromGMT_ == 0) return "GMT";
  const int minutes = std::abs(secondsFromGMT_) / 60;
  return fmt::format("GMT{}{:02}{:02}", secondsFromGMT_ < 0 ? '-' : '+', minutes / 60,
                     minutes % 60);
}

std::optional<DateComponents> FixedTimeZoneCalendar::components(Date date) const {
  // Keep far from the limits of the 64-bit day arithmetic.
  const double seconds = date.timeIntervalSince1970() + secondsFromGMT_;
  if (!std::isfinite(seconds) || std::abs(seconds) > 1e15) return std::nullopt;
  const CivilDateTime civil = civilFromDate(Date(seconds));
  const auto days = static_cast<std::int64_t>(std::floor(seconds / 86400));
  DateComponents out;
  out.year = static_cast<int>(civil.year);
  out.month = static_cast<int>(civil.month);
  out.day = static_cast<int>(civil.day);
  out.weekday = static_cast<int>(((days + 4) % 7 + 7) % 7) + 1;  // 1970-01-01 was a Thursday (5)
  out.hour = static_cast<int>(civil.hour);
  out.minute = static_cast<int>(civil.minute);
  out.second = static_cast<int>(civil.second);
  return out;
}

// ----- The current calendar --------------------------------------------------

namespace {

// The default: the calendar of the Locale service's current locale and time
// zone, rebuilt when they change.
class LocaleCalendar final : public Calendar {
 public:
  [[nodiscard]] std::string identifier() const override { return calendar()->identifier(); }
  [[nodiscard]] std::string timeZoneIdentifier() const override {
    return calendar()->timeZoneIdentifier();
  }
  [[nodiscard]] std::optional<DateComponents> components(Date date) const override {
    return calendar()->components(date);
  }

 private:
  [[nodiscard]] std::shared_ptr<const ICUCalendar> calendar() const {
    const auto locale = Locale::current();
    std::string localeId = locale->localeIdentifier();
    std::string zoneId = locale->timeZoneIdentifier();
    std::lock_guard lock(mutex_);
    if (!cached_ || localeId != localeId_ || zoneId != zoneId_) {
      cached_ = std::make_shared<const ICUCalendar>(localeId, zoneId);
      localeId_ = std::move(localeId);
      zoneId_ = std::move(zoneId);
    }
    return cached_;
  }

  mutable std::mutex mutex_;
  mutable std::shared_ptr<const ICUCalendar> cached_;
  mutable std::string localeId_, zoneId_;
};

}  // namespace

bool Calendar::hasDefaultArithmetic() const {
  const std::type_info& type = typeid(*this);
  return type == typeid(ICUCalendar) || type == typeid(FixedTimeZoneCalendar) ||
         type == typeid(LocaleCalendar);
}

namespace {

ServiceSlot<const Calendar>& slot() {
  static ServiceSlot<const Calendar> s([] { return std::make_shared<const LocaleCalendar>(); });
  return s;
}

}  // namespace

std::shared_ptr<const Calendar> Calendar::current() { return slot().get(); }
void Calendar::setCurrent(std::shared_ptr<const Calendar> calendar) {
  slot().set(std::move(calendar));
}

}  // namespace quarn::platform
