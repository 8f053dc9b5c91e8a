/// @file
/// The formatters product metadata shows its texts with: a price formatter
/// (an amount in currency style, in a locale the provider sets) and a period
/// formatter (an amount of calendar time such as "1 week"). A host that shows
/// prices its own way implements these two; the built-in ones format with the
/// platform's currency and date-components formatters.
///
/// Kinds: PriceFormatter and PeriodFormatter are interfaces the host
/// implements (held by the provider in a std::shared_ptr);
/// CurrencyPriceFormatter and DateComponentsPeriodFormatter are values.
///
/// ```
///   class MyPrices final : public quarn::PriceFormatter { ... };
///   SKProductMetadataProvider provider(std::make_shared<MyPeriods>(),
///                                      std::make_shared<MyPrices>());
/// ```
///
/// A formatter that cannot format a value returns nothing: only that text of
/// the metadata is then absent.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "quarnkit/core/decimal.h"
#include "quarnkit/platform/calendar.h"
#include "quarnkit/platform/currency_formatter.h"
#include "quarnkit/platform/date_components_formatter.h"

namespace quarn {

/// Formats amounts of money in currency style for a settable locale. The
/// provider never formats with the instance it was given: each call works on
/// its own clones, one per price locale, so an implementation needs no locks
/// as long as clone() copies rather than shares its mutable state.
class PriceFormatter {
 public:
  virtual ~PriceFormatter() = default;

  /// An independent formatter with the same settings.
  [[nodiscard]] virtual std::unique_ptr<PriceFormatter> clone() const = 0;

  /// The locale the next amounts are formatted in ("en_US").
  [[nodiscard]] virtual std::string localeIdentifier() const = 0;
  /// The locale (and with it the currency) of the amounts formatted next.
  virtual void setLocaleIdentifier(std::string_view localeIdentifier) = 0;

  /// How many fraction digits the currency shows; computed amounts that are
  /// not prices of the store (a relative price) are rounded half-even to
  /// them before formatting. Two unless the implementation knows better.
  [[nodiscard]] virtual int maximumFractionDigits() const { return 2; }

  /// The amount as text; nothing when it cannot be formatted.
  [[nodiscard]] virtual std::optional<std::string> string(const Decimal& amount) const = 0;
  /// An exact amount as text; by default the same as string() of its
  /// decimal value.
  [[nodiscard]] virtual std::optional<std::string> exactString(
      platform::FixedPointDecimal amount) const;
};

/// Formats amounts of calendar time. Called from every thread that shares
/// the provider holding it, so its const operations must be safe to run at
/// once.
class PeriodFormatter {
 public:
  virtual ~PeriodFormatter() = default;

  /// The components as text ("1 week"); nothing when they cannot be
  /// formatted.
  [[nodiscard]] virtual std::optional<std::string> string(
      const platform::CalendarComponents& components) const = 0;
};

/// The decimal value of an exact amount ({499, 2} is 4.99).
Decimal toDecimal(platform::FixedPointDecimal amount);

/// The platform's currency formatter as a PriceFormatter.
class CurrencyPriceFormatter final : public PriceFormatter {
 public:
  /// Currency style in the current locale.
  CurrencyPriceFormatter() = default;
  /// Formats with `formatter`, whose settings stay as they are.
  explicit CurrencyPriceFormatter(platform::CurrencyFormatter formatter)
      : formatter_(std::move(formatter)) {}

  /// The platform formatter used.
  [[nodiscard]] const platform::CurrencyFormatter& formatter() const { return formatter_; }

  [[nodiscard]] std::unique_ptr<PriceFormatter> clone() const override;
  [[nodiscard]] std::string localeIdentifier() const override;
  void setLocaleIdentifier(std::string_view localeIdentifier) override;
  [[nodiscard]] int maximumFractionDigits() const override;
  [[nodiscard]] std::optional<std::string> string(const Decimal& amount) const override;
  [[nodiscard]] std::optional<std::string> exactString(
      platform::FixedPointDecimal amount) const override;

 private:
  platform::CurrencyFormatter formatter_;
};

/// The platform's date-components formatter as a PeriodFormatter.
class DateComponentsPeriodFormatter final : public PeriodFormatter {
 public:
  /// Days, weeks and months (not years) with full unit names in the current
  /// locale.
  DateComponentsPeriodFormatter() = default;
  /// Formats with `formatter`, whose settings stay as they are.
  explicit DateComponentsPeriodFormatter(platform::DateComponentsFormatter formatter)
      : formatter_(std::move(formatter)) {}

  /// The platform formatter used.
  [[nodiscard]] const platform::DateComponentsFormatter& formatter() const { return formatter_; }

  [[nodiscard]] std::optional<std::string> string(
      const platform::CalendarComponents& components) const override;

 private:
  platform::DateComponentsFormatter formatter_;
};

}  // namespace quarn
