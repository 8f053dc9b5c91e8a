#include "quarnkit/formatting/subscription_period.h"

#include <cmath>
#include <limits>

namespace quarn {

using platform::CalendarComponent;
using platform::ExactFraction;
using platform::SKProductPeriodUnit;
using platform::SKProductSubscriptionPeriod;

std::optional<CalendarComponent> dateComponent(SKProductPeriodUnit unit) {
  switch (unit) {
    case SKProductPeriodUnit::day:
      return CalendarComponent::day;
    case SKProductPeriodUnit::week:
      return CalendarComponent::weekOfMonth;
    case SKProductPeriodUnit::month:
      return CalendarComponent::month;
    case SKProductPeriodUnit::year:
      return CalendarComponent::year;
  }
  return std::nullopt;
}

platform::CalendarComponents dateComponets(const SKProductSubscriptionPeriod& period) {
  platform::CalendarComponents components;
  if (const auto component = dateComponent(period.unit)) {
    components[*component] = period.numberOfUnits;
  }
  return components;
}

SKProductSubscriptionPeriod fixed(const SKProductSubscriptionPeriod& period) {
  if (period.unit == SKProductPeriodUnit::day && period.numberOfUnits == 7) {
    return {SKProductPeriodUnit::week, 1};
  }
  return period;
}

SKProductSubscriptionPeriod normalized(const SKProductSubscriptionPeriod& period) {
  if (period.unit == SKProductPeriodUnit::month && period.numberOfUnits % 12 == 0) {
    return {SKProductPeriodUnit::year, period.numberOfUnits / 12};
  }
  if (period.unit == SKProductPeriodUnit::day && period.numberOfUnits % 7 == 0) {
    return {SKProductPeriodUnit::week, period.numberOfUnits / 7};
  }
  return period;
}

bool isPriceable(const SKProductSubscriptionPeriod& period) {
  return dateComponent(period.unit).has_value() && period.numberOfUnits >= 1;
}

namespace detail {

std::optional<ExactFraction> unitsInPeriod(const SKProductSubscriptionPeriod& period,
                                           PriceUnit unit) {
  if (!isPriceable(period)) return std::nullopt;
  // [period unit][price unit]: how many price units one period unit is.
  static constexpr std::int64_t kRatios[4][3][2] = {
      {{1, 7}, {1, 30}, {1, 365}},    // day
      {{1, 1}, {84, 365}, {7, 365}},  // week
      {{365, 84}, {1, 1}, {1, 12}},   // month
      {{365, 7}, {12, 1}, {1, 1}},    // year
  };
  const auto& r = kRatios[static_cast<std::size_t>(period.unit)][static_cast<std::size_t>(unit)];
  return ExactFraction(r[0], r[1]) * ExactFraction(period.numberOfUnits);
}

std::optional<std::int64_t> lengthInTwelfthsOfADay(const SKProductSubscriptionPeriod& period) {
  if (!isPriceable(period)) return std::nullopt;
  static constexpr std::int64_t kTwelfths[4] = {12, 84, 365, 4380};
  const std::int64_t unit = kTwelfths[static_cast<std::size_t>(period.unit)];
  if (period.numberOfUnits > std::numeric_limits<std::int64_t>::max() / unit) return std::nullopt;
  return unit * period.numberOfUnits;
}

std::optional<std::int64_t> niceRoundedCents(std::int64_t cents) {
  if (cents < 0) return std::nullopt;
  const std::int64_t whole = cents / 100 * 100;
  const std::int64_t fraction = cents % 100;
  if (fraction < 15) {
    if (whole == 0) return std::nullopt;  // would be -0.01
    return whole - 1;                     // t − 1 + 0.99
  }
  if (fraction < 40) return whole + 19;
  if (fraction < 65) return whole + 49;
  if (fraction < 90) return whole + 79;
  return whole + 99;
}

}  // namespace detail

namespace {

Decimal pricePer(const SKProductSubscriptionPeriod& period, const Decimal& totalPrice,
                 detail::PriceUnit unit) {
  const std::optional<ExactFraction> count = detail::unitsInPeriod(period, unit);
  const std::optional<ExactFraction> total = ExactFraction::of(totalPrice);
  if (!count || !total) return platform::notANumber();
  return (*total / *count)->roundedDecimal(2, platform::RoundingMode::down);
}

}  // namespace

Decimal pricePerWeek(const SKProductSubscriptionPeriod& period, const Decimal& totalPrice) {
  return pricePer(period, totalPrice, detail::PriceUnit::week);
}

Decimal pricePerMonth(const SKProductSubscriptionPeriod& period, const Decimal& totalPrice) {
  return pricePer(period, totalPrice, detail::PriceUnit::month);
}

Decimal pricePerYear(const SKProductSubscriptionPeriod& period, const Decimal& totalPrice) {
  return pricePer(period, totalPrice, detail::PriceUnit::year);
}

double niceRounding(double value) {
  if (!std::isfinite(value) || value < 0 || value >= 9e15) return value;
  const double whole = std::trunc(value);
  const double fraction = std::round((value - whole) * 100);  // halves away from zero
  if (fraction >= 100) return value;
  const auto cents = static_cast<std::int64_t>(whole) * 100 + static_cast<std::int64_t>(fraction);
  const std::optional<std::int64_t> nice = detail::niceRoundedCents(cents);
  return nice ? static_cast<double>(*nice) / 100 : value;
}

}  // namespace quarn
