#include "quarnkit/platform/date_components_formatter.h"

#include <unicode/measfmt.h>
#include <unicode/measunit.h>
#include <unicode/measure.h>
#include <unicode/unistr.h>

#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "quarnkit/platform/detail/icu_locale.h"
#include "quarnkit/platform/locale.h"

namespace quarn::platform {
namespace detail {

// The formatter of one locale and style, and the texts it made (periods of a
// product list repeat, and measure formatting is slow).
struct MeasureTexts {
  std::mutex mutex;
  std::unique_ptr<icu::MeasureFormat> format;
  std::map<std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int64_t>, std::string> texts;
};

}  // namespace detail

namespace {

constexpr std::size_t kMaxKeptTexts = 256;

UMeasureFormatWidth widthOf(DateComponentsFormatter::UnitsStyle style) {
  switch (style) {
    case DateComponentsFormatter::UnitsStyle::abbreviated:
      return UMEASFMT_WIDTH_NARROW;
    case DateComponentsFormatter::UnitsStyle::short_:
      return UMEASFMT_WIDTH_SHORT;
    case DateComponentsFormatter::UnitsStyle::full:
      break;
  }
  return UMEASFMT_WIDTH_WIDE;
}

// `components` in allowed units only; nothing when that is not exact.
std::optional<CalendarComponents> inAllowedUnits(CalendarComponents c, unsigned allowed) {
  using F = DateComponentsFormatter;
  if (c.year && !(allowed & F::kYear)) {
    if (!(allowed & F::kMonth) || std::abs(*c.year) > (std::int64_t{1} << 40)) return std::nullopt;
    c.month = c.month.value_or(0) + *c.year * 12;
    c.year.reset();
  }
  if (c.weekOfMonth && !(allowed & F::kWeekOfMonth)) {
    if (!(allowed & F::kDay) || std::abs(*c.weekOfMonth) > (std::int64_t{1} << 40)) {
      return std::nullopt;
    }
    c.day = c.day.value_or(0) + *c.weekOfMonth * 7;
    c.weekOfMonth.reset();
  }
  if ((c.month && !(allowed & F::kMonth)) || (c.day && !(allowed & F::kDay))) return std::nullopt;
  return c;
}

}  // namespace

DateComponentsFormatter::DateComponentsFormatter()
    : DateComponentsFormatter(kDay | kWeekOfMonth | kMonth, UnitsStyle::full,
                              Locale::current()->localeIdentifier()) {}

DateComponentsFormatter::DateComponentsFormatter(unsigned allowedUnits, UnitsStyle unitsStyle,
                                                 std::string_view localeIdentifier)
    : allowedUnits_(allowedUnits), unitsStyle_(unitsStyle), localeIdentifier_(localeIdentifier) {
  reset();
}

void DateComponentsFormatter::setAllowedUnits(unsigned allowedUnits) {
  allowedUnits_ = allowedUnits;
  reset();
}

void DateComponentsFormatter::setUnitsStyle(UnitsStyle style) {
  unitsStyle_ = style;
  reset();
}

void DateComponentsFormatter::setLocaleIdentifier(std::string_view localeIdentifier) {
  localeIdentifier_ = localeIdentifier;
  reset();
}

void DateComponentsFormatter::reset() {
  texts_ = std::make_shared<detail::MeasureTexts>();
  UErrorCode status = U_ZERO_ERROR;
  texts_->format = std::make_unique<icu::MeasureFormat>(detail::formattingLocale(localeIdentifier_),
                                                        widthOf(unitsStyle_), status);
  if (U_FAILURE(status)) texts_->format.reset();
}

std::optional<std::string> DateComponentsFormatter::string(
    const CalendarComponents& components) const {
  if (components.isEmpty()) return std::nullopt;
  const std::optional<CalendarComponents> c = inAllowedUnits(components, allowedUnits_);
  if (!c) return std::nullopt;
  const auto key = std::make_tuple(c->year.value_or(0), c->month.value_or(0),
                                   c->weekOfMonth.value_or(0), c->day.value_or(0));
  std::lock_guard lock(texts_->mutex);
  if (!texts_->format) return std::nullopt;
  if (auto it = texts_->texts.find(key); it != texts_->texts.end()) return it->second;

  UErrorCode status = U_ZERO_ERROR;
  std::vector<icu::Measure> measures;
  auto add = [&](std::int64_t amount, icu::MeasureUnit* unit) {
    if (U_SUCCESS(status)) measures.emplace_back(icu::Formattable(amount), unit, status);
  };
  const auto& [years, months, weeks, days] = key;
  if (years != 0) add(years, icu::MeasureUnit::createYear(status));
  if (months != 0) add(months, icu::MeasureUnit::createMonth(status));
  if (weeks != 0) add(weeks, icu::MeasureUnit::createWeek(status));
  if (days != 0) add(days, icu::MeasureUnit::createDay(status));
  if (measures.empty()) {
    // Zero of the smallest unit set: "0 days".
    if (c->day)
      add(0, icu::MeasureUnit::createDay(status));
    else if (c->weekOfMonth)
      add(0, icu::MeasureUnit::createWeek(status));
    else if (c->month)
      add(0, icu::MeasureUnit::createMonth(status));
    else
      add(0, icu::MeasureUnit::createYear(status));
  }
  if (U_FAILURE(status)) return std::nullopt;
  icu::UnicodeString text;
  icu::FieldPosition position;
  texts_->format->formatMeasures(measures.data(), static_cast<std::int32_t>(measures.size()), text,
                                 position, status);
  if (U_FAILURE(status)) return std::nullopt;
  std::string out;
  text.toUTF8String(out);
  if (texts_->texts.size() < kMaxKeptTexts) texts_->texts.emplace(key, out);
  return out;
}

}  // namespace quarn::platform
