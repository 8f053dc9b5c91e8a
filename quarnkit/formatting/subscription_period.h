/// @file
/// Subscription-period arithmetic: a store period as calendar components, its
/// normal forms, and the price per week, month and year of a price paid once
/// per period.
///
/// ```
///   const platform::SKProductSubscriptionPeriod month{platform::SKProductPeriodUnit::month, 1};
///   pricePerYear(month, *Decimal::parse("9.99")).toString();   // "119.88"
///   pricePerWeek(month, *Decimal::parse("9.99")).toString();   // "2.29"
///   normalized({platform::SKProductPeriodUnit::month, 24});     // 2 years
/// ```
///
/// A period converts with 7 days a week, 30 days a month (for daily prices),
/// 365 days a year and 12 months a year; a month is 365 ÷ 12 ÷ 7 weeks. Each
/// per-period price is computed exactly and then truncated once to cents
/// (toward negative infinity). A period that cannot be priced (a unit other
/// than the four, or a count below 1) gives not-a-number.
#pragma once

#include <cstdint>
#include <optional>

#include "quarnkit/core/decimal.h"
#include "quarnkit/platform/calendar.h"
#include "quarnkit/platform/decimal_arithmetic.h"
#include "quarnkit/platform/store/store_product.h"

namespace quarn {

/// The calendar component of a period unit (week is week-of-month); nothing
/// for a unit other than the four.
std::optional<platform::CalendarComponent> dateComponent(platform::SKProductPeriodUnit unit);

/// The period as calendar components: only its unit's component is set, to
/// the count; empty for a unit other than the four.
platform::CalendarComponents dateComponets(const platform::SKProductSubscriptionPeriod& period);

/// 7 days become 1 week; any other period is returned unchanged.
platform::SKProductSubscriptionPeriod fixed(const platform::SKProductSubscriptionPeriod& period);

/// A multiple of 12 months becomes years, a multiple of 7 days weeks; any
/// other period is returned unchanged.
platform::SKProductSubscriptionPeriod normalized(
    const platform::SKProductSubscriptionPeriod& period);

/// Whether the period can be priced: one of the four units and a count of at
/// least 1.
bool isPriceable(const platform::SKProductSubscriptionPeriod& period);

/// `totalPrice` spread over the weeks of `period` (a month holds 365/84,
/// a day 1/7), rounded down to cents; not a number for a period that cannot
/// be priced.
Decimal pricePerWeek(const platform::SKProductSubscriptionPeriod& period,
                     const Decimal& totalPrice);
/// `totalPrice` spread over the months of `period` (a year holds 12, a week
/// 84/365), rounded down to cents; not a number for a period that cannot be
/// priced.
Decimal pricePerMonth(const platform::SKProductSubscriptionPeriod& period,
                      const Decimal& totalPrice);
/// `totalPrice` spread over the years of `period` (a week is 7/365 of one),
/// rounded down to cents; not a number for a period that cannot be priced.
Decimal pricePerYear(const platform::SKProductSubscriptionPeriod& period,
                     const Decimal& totalPrice);

/// A per-period price made to end in .19, .49, .79 or .99 of its whole part
/// (5.10 and 5.00 become 4.99, 12.20 becomes 12.19, 12.45 12.49, 12.70
/// 12.79, 12.95 12.99). A value whose cents round to 1.00 (12.999), a
/// negative value, and a value that would turn negative (0.10) are returned
/// unchanged.
double niceRounding(double value);

namespace detail {

enum class PriceUnit { week, month, year };

/// How many `unit`s one period is (week: a month is 365/84 weeks); nothing
/// for a period that cannot be priced.
std::optional<platform::ExactFraction> unitsInPeriod(
    const platform::SKProductSubscriptionPeriod& period, PriceUnit unit);

/// The period's length in twelfths of a day (a month is 365 twelfths), so
/// that periods of any units compare exactly; nothing when it cannot be priced.
std::optional<std::int64_t> lengthInTwelfthsOfADay(
    const platform::SKProductSubscriptionPeriod& period);

/// niceRounding() of an amount in cents; nothing when it leaves the amount
/// unchanged.
std::optional<std::int64_t> niceRoundedCents(std::int64_t cents);

}  // namespace detail
}  // namespace quarn
