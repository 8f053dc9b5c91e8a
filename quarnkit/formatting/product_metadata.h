/// @file
/// Store product metadata: every display text of a subscription product
/// (its price, the price per year, month and week, the price measured against
/// a reference product, the period, the introductory offer, the discount).
///
/// ```
///   SKProductMetadataProvider provider;   // platform formatters, current locale
///   std::vector<SKProductMeta> metas = provider.productsMetadata(products);
///   metas[0].localizedPricePerWeek();   // "$0.99" for a year at $49.99
///   metas[0].discountPercentage();      // 80.8 against the weekly product at $4.99
/// ```
///
/// A host shows prices its own way by handing in its own PriceFormatter and
/// PeriodFormatter (price_formatters.h); the calendar and the clock the
/// relative count reads are injectable too (by default the current ones).
///
/// The reference ("relative") product is given, or else the list's weekly
/// product, or else its monthly one. A product is measured against it by how
/// many whole units of the reference's period its own period holds from now
/// in the calendar: a month holds 4 weeks, a year 12 months. With
/// RelativePeriodCount::exactLength it is measured by exact lengths instead
/// (a month is 365 ÷ 12 ÷ 7 weeks). A product whose period is shorter than
/// one reference unit, a reference without a usable period, or a reference
/// priced at 0 leave the relative texts and the discount absent.
///
/// SKProductMeta and SKProductMetadataProvider are values (the product a
/// meta names is shared and immutable; a provider's formatters, calendar and
/// clock are shared and only read). A provider's operations are const and
/// may run on several threads at once: each call formats with its own clones
/// of the price formatter. Clones are kept between calls (creating one costs
/// more than a paywall's formatting) and a clone serves one call at a time.
/// So are relative counts, for the second of the clock they were counted in,
/// when the calendar's arithmetic is the library's own (a paywall asks once
/// per product, many times a second; calendar arithmetic is slow).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/core/value.h"
#include "quarnkit/formatting/price_formatters.h"
#include "quarnkit/platform/calendar.h"
#include "quarnkit/platform/currency_formatter.h"
#include "quarnkit/platform/date_components_formatter.h"
#include "quarnkit/platform/store/store_product.h"

namespace quarn::platform {
class Clock;
}

namespace quarn {

/// The display texts of one product. Only the two introductory texts can be
/// changed after creation.
class SKProductMeta {
 public:
  /// The texts a provider computed, handed over at creation (each absent when
  /// its formatter could not make it).
  struct Fields {
    std::shared_ptr<const platform::SKProduct> product;  ///< The product described.
    std::optional<std::string> localizedPrice;           ///< Its price ("$49.99").
    std::optional<std::string> localizedPricePerYear;    ///< Its price for a year.
    std::optional<std::string> localizedPricePerMonth;   ///< Its price for a month.
    std::optional<std::string> localizedPricePerWeek;    ///< Its price for a week.
    std::optional<std::string>
        localizedPricePerRelativePeriod;  ///< Its price for one period of the relative product.
    std::optional<std::string>
        localizedRelativePrice;  ///< The relative product's price for the same length of time.
    std::optional<std::string> localizedPeriod;              ///< Its period ("1 year").
    std::optional<std::string> localizedIntroductoryPrice;   ///< The introductory offer's price.
    std::optional<std::string> localizedIntroductoryPeriod;  ///< The introductory offer's period.
    /// Saving against the relative product, in percent.
    std::optional<float> discountPercentage;
  };

  /// The metadata of the product `productIdentifier`.
  SKProductMeta(std::string productIdentifier, Fields fields)
      : productIdentifier_(std::move(productIdentifier)), f_(std::move(fields)) {}

  /// The store's identifier of the product.
  [[nodiscard]] const std::string& productIdentifier() const { return productIdentifier_; }
  /// See Fields::product.
  [[nodiscard]] const std::shared_ptr<const platform::SKProduct>& product() const {
    return f_.product;
  }
  /// See Fields::localizedPrice.
  [[nodiscard]] const std::optional<std::string>& localizedPrice() const {
    return f_.localizedPrice;
  }
  /// See Fields::localizedPricePerYear.
  [[nodiscard]] const std::optional<std::string>& localizedPricePerYear() const {
    return f_.localizedPricePerYear;
  }
  /// See Fields::localizedPricePerMonth.
  [[nodiscard]] const std::optional<std::string>& localizedPricePerMonth() const {
    return f_.localizedPricePerMonth;
  }
  /// See Fields::localizedPricePerWeek.
  [[nodiscard]] const std::optional<std::string>& localizedPricePerWeek() const {
    return f_.localizedPricePerWeek;
  }
  /// See Fields::localizedPricePerRelativePeriod.
  [[nodiscard]] const std::optional<std::string>& localizedPricePerRelativePeriod() const {
    return f_.localizedPricePerRelativePeriod;
  }
  /// See Fields::localizedRelativePrice.
  [[nodiscard]] const std::optional<std::string>& localizedRelativePrice() const {
    return f_.localizedRelativePrice;
  }
  /// See Fields::localizedPeriod.
  [[nodiscard]] const std::optional<std::string>& localizedPeriod() const {
    return f_.localizedPeriod;
  }
  /// See Fields::localizedIntroductoryPrice.
  [[nodiscard]] const std::optional<std::string>& localizedIntroductoryPrice() const {
    return f_.localizedIntroductoryPrice;
  }
  /// See Fields::localizedIntroductoryPeriod.
  [[nodiscard]] const std::optional<std::string>& localizedIntroductoryPeriod() const {
    return f_.localizedIntroductoryPeriod;
  }
  /// See Fields::discountPercentage.
  [[nodiscard]] std::optional<float> discountPercentage() const { return f_.discountPercentage; }

  /// Replaces the introductory offer's price text.
  void setLocalizedIntroductoryPrice(std::optional<std::string> text) {
    f_.localizedIntroductoryPrice = std::move(text);
  }
  /// Replaces the introductory offer's period text.
  void setLocalizedIntroductoryPeriod(std::optional<std::string> text) {
    f_.localizedIntroductoryPeriod = std::move(text);
  }

 private:
  std::string productIdentifier_;
  Fields f_;
};

/// A store product as the provider takes it: shared and immutable.
using SKProductRef = std::shared_ptr<const platform::SKProduct>;

/// Computes the display texts of store products, each against a relative
/// product (see the file's description). A value; its operations are const
/// and may run on several threads at once.
class SKProductMetadataProvider {
 public:
  /// How a product's period is counted in units of the relative product's
  /// period.
  enum class RelativePeriodCount {
    /// Whole calendar units between now and now plus the period: a month is
    /// 4 weeks (however long the month), a year 12 months or 52 weeks.
    wholeCalendarUnits,
    /// Exact lengths: a month is 365 ÷ 12 ÷ 7 weeks, a year 365 ÷ 7.
    exactLength,
  };

  /// Periods in days, weeks and months with full unit names in the current
  /// locale; prices in currency style; the current calendar and clock.
  SKProductMetadataProvider();
  /// The formatters given; a null one is the platform's default. A null
  /// calendar or clock is the current one at each call.
  SKProductMetadataProvider(std::shared_ptr<const PeriodFormatter> dateComponentsFormatter,
                            std::shared_ptr<const PriceFormatter> priceFormatter,
                            std::shared_ptr<const platform::Calendar> calendar = nullptr,
                            std::shared_ptr<const platform::Clock> clock = nullptr);
  /// The platform's formatters, configured as given.
  SKProductMetadataProvider(platform::DateComponentsFormatter dateComponentsFormatter,
                            platform::CurrencyFormatter priceFormatter);

  /// The formatter of periods.
  [[nodiscard]] const PeriodFormatter& dateComponentsFormatter() const {
    return *dateComponentsFormatter_;
  }
  /// The prototype each call clones and sets to the products' price locales.
  [[nodiscard]] const PriceFormatter& priceFormatter() const { return *priceFormatter_; }
  /// Null: the current calendar at each call.
  [[nodiscard]] const std::shared_ptr<const platform::Calendar>& calendar() const {
    return calendar_;
  }
  /// Null: the current clock at each call.
  [[nodiscard]] const std::shared_ptr<const platform::Clock>& clock() const { return clock_; }

  /// Whether per-period prices are made to end in .19, .49, .79 or .99.
  bool allowsNiceRounding = true;
  /// How the relative texts and the discount count periods.
  RelativePeriodCount relativePeriodCount = RelativePeriodCount::wholeCalendarUnits;

  /// The texts of `product`; nothing when it has no subscription period.
  [[nodiscard]] std::optional<SKProductMeta> metadata(
      const SKProductRef& product, const SKProductRef& relativeProduct = {}) const;
  /// The texts of every product that has a subscription period, in order,
  /// against `relativeProduct` or, without one, getRelativeProduct(products).
  [[nodiscard]] std::vector<SKProductMeta> productsMetadata(
      const std::vector<SKProductRef>& products, const SKProductRef& relativeProduct = {}) const;

  /// The first product whose normalized period is 1 week, else the first
  /// whose period is 1 month, else none.
  static SKProductRef getRelativeProduct(const std::vector<SKProductRef>& products);

  struct RelativeCounts;
  class FormatterPool;
  class CountMemory;

 private:
  [[nodiscard]] std::optional<SKProductMeta> metadata(const SKProductRef& product,
                                                      const SKProductRef& relativeProduct,
                                                      RelativeCounts& counts) const;

  [[nodiscard]] std::int64_t relativeCount(const platform::SKProductSubscriptionPeriod& period,
                                           const platform::SKProductSubscriptionPeriod& unit,
                                           RelativeCounts& counts) const;
  [[nodiscard]] std::int64_t calendarCount(const platform::SKProductSubscriptionPeriod& period,
                                           const platform::SKProductSubscriptionPeriod& unit,
                                           RelativeCounts& counts) const;

  std::shared_ptr<const PeriodFormatter> dateComponentsFormatter_;
  std::shared_ptr<const PriceFormatter> priceFormatter_;
  std::shared_ptr<const platform::Calendar> calendar_;
  std::shared_ptr<const platform::Clock> clock_;
  std::shared_ptr<FormatterPool> formatters_;
  std::shared_ptr<CountMemory> counts_;
};

/// The product as template values: "id", "title", "description", "price"
/// (a double) and, with a period, "period": {"unit": raw unit of the
/// normalized period, "value": its count}.
Value::Object toVars(const platform::SKProduct& product);

}  // namespace quarn
