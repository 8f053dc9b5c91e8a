// Product metadata with formatters, a calendar and a clock handed in the way a
// host does: stubs that print the number with two decimals and
// "<count> <unit>", so the arithmetic shows apart from ICU; formatters that
// give no text; a calendar and a clock other than the current ones.
#include "quarnkit/formatting/price_formatters.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <thread>

#include "quarnkit/formatting/product_metadata.h"
#include "quarnkit/platform/runtime/clock.h"

namespace quarn {
namespace {

using platform::SKProduct;
using platform::SKProductSubscriptionPeriod;
using Unit = platform::SKProductPeriodUnit;

// The locales set on any clone of one stub.
struct LocaleLog {
  std::mutex mutex;
  std::vector<std::string> locales;
};

class TwoDecimals final : public PriceFormatter {
 public:
  explicit TwoDecimals(std::optional<double> failsAbove = std::nullopt, int digits = 2)
      : failsAbove_(failsAbove), digits_(digits) {}

  std::shared_ptr<LocaleLog> log = std::make_shared<LocaleLog>();

  std::unique_ptr<PriceFormatter> clone() const override {
    return std::make_unique<TwoDecimals>(*this);
  }
  std::string localeIdentifier() const override { return locale_; }
  void setLocaleIdentifier(std::string_view locale) override {
    locale_ = locale;
    const std::lock_guard lock(log->mutex);
    log->locales.emplace_back(locale);
  }
  int maximumFractionDigits() const override { return digits_; }
  std::optional<std::string> string(const Decimal& amount) const override {
    const double value = amount.toDouble();
    if (failsAbove_ && value > *failsAbove_) return std::nullopt;
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    return std::string(text);
  }

 private:
  std::optional<double> failsAbove_;
  int digits_;
  std::string locale_ = "prototype";
};

class NoPrices final : public PriceFormatter {
 public:
  std::unique_ptr<PriceFormatter> clone() const override { return std::make_unique<NoPrices>(); }
  std::string localeIdentifier() const override { return {}; }
  void setLocaleIdentifier(std::string_view) override {}
  std::optional<std::string> string(const Decimal&) const override { return std::nullopt; }
};

class CountAndUnit final : public PeriodFormatter {
 public:
  explicit CountAndUnit(bool fails = false) : fails_(fails) {}
  std::optional<std::string> string(const platform::CalendarComponents& c) const override {
    if (fails_) return std::nullopt;
    if (c.year) return std::to_string(*c.year) + " year";
    if (c.month) return std::to_string(*c.month) + " month";
    if (c.weekOfMonth) return std::to_string(*c.weekOfMonth) + " week";
    if (c.day) return std::to_string(*c.day) + " day";
    return std::nullopt;
  }

 private:
  bool fails_;
};

// Adds a day to anything and counts a fixed number of whole units, or
// cannot add at all.
class StubCalendar final : public platform::Calendar {
 public:
  explicit StubCalendar(std::optional<std::int64_t> units) : units_(units) {}
  std::string identifier() const override { return "gregorian"; }
  std::string timeZoneIdentifier() const override { return "GMT"; }
  std::optional<platform::DateComponents> components(Date) const override { return {}; }
  std::optional<Date> dateByAdding(const platform::CalendarComponents&, Date date) const override {
    if (!units_) return std::nullopt;
    return Date(date.timeIntervalSince1970() + 86400);
  }
  std::optional<std::int64_t> wholeUnits(platform::CalendarComponent, Date, Date) const override {
    return units_;
  }

 private:
  std::optional<std::int64_t> units_;
};

SKProductRef product(const char* id, const char* price, SKProductSubscriptionPeriod period,
                     const char* locale = "en_US") {
  auto out = std::make_shared<SKProduct>();
  out->productIdentifier = id;
  out->price = *Decimal::parse(price);
  out->priceLocale = locale;
  out->subscriptionPeriod = period;
  return out;
}

const Date kJanuary31{1706659200};  // 2024-01-31T00:00:00Z: the month from now is February

SKProductMetadataProvider hostProvider(
    std::shared_ptr<const PriceFormatter> prices,
    std::shared_ptr<const PeriodFormatter> periods = std::make_shared<CountAndUnit>(),
    std::shared_ptr<const platform::Calendar> calendar =
        std::make_shared<platform::FixedTimeZoneCalendar>()) {
  return SKProductMetadataProvider(std::move(periods), std::move(prices), std::move(calendar),
                                   std::make_shared<platform::ManualClock>(kJanuary31));
}

TEST(HostPriceFormattersTest, EveryTextThroughTheHostsFormatters) {
  const auto stub = std::make_shared<TwoDecimals>();
  const SKProductMetadataProvider provider = hostProvider(stub);
  auto yearly = std::make_shared<SKProduct>(
      *product("y", "49.99", SKProductSubscriptionPeriod{Unit::year, 1}));
  yearly->introductoryPrice =
      platform::SKProductDiscount{.price = Decimal(0),
                                  .priceLocale = "de_DE",
                                  .subscriptionPeriod = {Unit::day, 3},
                                  .paymentMode = platform::SKProductDiscountPaymentMode::freeTrial};
  const auto weekly = product("w", "4.99", SKProductSubscriptionPeriod{Unit::day, 7});
  const auto monthly = product("m", "9.99", SKProductSubscriptionPeriod{Unit::month, 1});

  const auto metas = provider.productsMetadata({yearly, monthly, weekly});
  ASSERT_EQ(metas.size(), 3u);
  const SKProductMeta& y = metas[0];
  EXPECT_EQ(y.localizedPrice(), "49.99");
  EXPECT_EQ(y.localizedPeriod(), "1 year");
  EXPECT_EQ(y.localizedPricePerYear(), "49.99");
  EXPECT_EQ(y.localizedPricePerMonth(), "4.19");    // 4.16, nice
  EXPECT_EQ(y.localizedPricePerWeek(), "0.99");     // 0.95, nice
  EXPECT_EQ(y.localizedRelativePrice(), "259.48");  // 52 whole weeks
  EXPECT_EQ(y.localizedPricePerRelativePeriod(), "0.99");
  EXPECT_EQ(y.localizedIntroductoryPrice(), "0.00");
  EXPECT_EQ(y.localizedIntroductoryPeriod(), "3 day");
  EXPECT_EQ(metas[1].localizedRelativePrice(), "19.96");          // 4 weeks
  EXPECT_EQ(metas[1].localizedPricePerRelativePeriod(), "2.49");  // 2.4975 → 2.50, nice
  EXPECT_EQ(metas[2].localizedPeriod(), "7 day");                 // as given, not normalized
  EXPECT_EQ(metas[2].discountPercentage(), std::nullopt);

  // Clones took the price locales; the prototype kept its own.
  EXPECT_EQ(stub->localeIdentifier(), "prototype");
  EXPECT_EQ(stub->log->locales, (std::vector<std::string>{"en_US", "de_DE"}));
}

// Counts its own uses without a lock: two calls formatting with one clone at
// once would lose counts (and are a data race under the thread sanitizer).
class Tally final : public PriceFormatter {
 public:
  std::shared_ptr<std::atomic<int>> clones = std::make_shared<std::atomic<int>>(0);
  std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);
  std::shared_ptr<std::mutex> mutex = std::make_shared<std::mutex>();
  std::shared_ptr<std::vector<const int*>> counts = std::make_shared<std::vector<const int*>>();

  std::unique_ptr<PriceFormatter> clone() const override {
    ++*clones;
    auto copy = std::make_unique<Tally>(*this);
    const std::lock_guard lock(*mutex);
    counts->push_back(&copy->uses_);
    return copy;
  }
  std::string localeIdentifier() const override { return {}; }
  void setLocaleIdentifier(std::string_view) override {}
  std::optional<std::string> string(const Decimal&) const override {
    ++*calls;
    const int before = uses_;
    uses_ = before + 1;
    return "p";
  }

 private:
  mutable int uses_ = 0;
};

TEST(HostPriceFormattersTest, ClonesAreKeptBetweenCallsAndServeOneCallAtATime) {
  const auto tally = std::make_shared<Tally>();
  const SKProductMetadataProvider provider = hostProvider(tally);
  const std::vector<SKProductRef> paywall = {
      product("w", "4.99", SKProductSubscriptionPeriod{Unit::week, 1}),
      product("y", "49.99", SKProductSubscriptionPeriod{Unit::year, 1}, "de_DE")};
  for (int i = 0; i < 3; ++i) ASSERT_EQ(provider.productsMetadata(paywall).size(), 2u);
  EXPECT_EQ(*tally->clones, 2);  // one per locale, made by the first call

  const SKProductMetadataProvider copy = provider;  // shares the kept clones
  std::vector<std::thread> threads;
  for (const SKProductMetadataProvider* p : {&provider, &copy, &provider}) {
    threads.emplace_back([p, &paywall] {
      for (int i = 0; i < 300; ++i) (void)p->productsMetadata(paywall);
    });
  }
  for (std::thread& t : threads) t.join();
  int counted = 0;
  for (const int* uses : *tally->counts) counted += *uses;
  EXPECT_EQ(counted, tally->calls->load());
  EXPECT_LE(*tally->clones, 6);  // at most one per locale and call at once
}

TEST(HostPriceFormattersTest, RelativePriceIsRoundedToTheCurrencysDigits) {
  // A currency without fraction digits: 4 × 2.99 shows as a whole amount,
  // rounded half-even.
  const auto provider = hostProvider(std::make_shared<TwoDecimals>(std::nullopt, 0));
  const auto meta =
      provider.metadata(product("m", "9.99", SKProductSubscriptionPeriod{Unit::month, 1}),
                        product("w", "2.99", SKProductSubscriptionPeriod{Unit::week, 1}));
  EXPECT_EQ(meta->localizedRelativePrice(), "12.00");
  EXPECT_EQ(meta->localizedPrice(), "9.99");  // a store price is shown as it is
}

TEST(HostPriceFormattersTest, AFormatterWithoutTextLeavesOnlyItsFieldsAbsent) {
  const auto yearly = product("y", "49.99", SKProductSubscriptionPeriod{Unit::year, 1});
  const auto weekly = product("w", "4.99", SKProductSubscriptionPeriod{Unit::week, 1});

  const auto noPrices = hostProvider(std::make_shared<NoPrices>()).metadata(yearly, weekly);
  ASSERT_TRUE(noPrices);
  EXPECT_EQ(noPrices->localizedPrice(), std::nullopt);
  EXPECT_EQ(noPrices->localizedPricePerWeek(), std::nullopt);
  EXPECT_EQ(noPrices->localizedRelativePrice(), std::nullopt);
  EXPECT_EQ(noPrices->localizedPeriod(), "1 year");
  EXPECT_NEAR(*noPrices->discountPercentage(), 80.734, 0.001);  // a number, not a text

  const auto noPeriods =
      hostProvider(std::make_shared<TwoDecimals>(), std::make_shared<CountAndUnit>(true))
          .metadata(yearly, weekly);
  EXPECT_EQ(noPeriods->localizedPeriod(), std::nullopt);
  EXPECT_EQ(noPeriods->localizedPrice(), "49.99");
  EXPECT_EQ(noPeriods->localizedRelativePrice(), "259.48");

  // Only the amounts it cannot show are missing.
  const auto some = hostProvider(std::make_shared<TwoDecimals>(100.0)).metadata(yearly, weekly);
  EXPECT_EQ(some->localizedRelativePrice(), std::nullopt);
  EXPECT_EQ(some->localizedPrice(), "49.99");
  EXPECT_EQ(some->localizedPricePerRelativePeriod(), "0.99");
}

TEST(HostPriceFormattersTest, TheInjectedCalendarAndClockAreTheOnesRead) {
  // The current clock stands at March 1 (a month of 31 days); the injected
  // one at January 31 (the month from then has 29).
  const platform::ScopedService<platform::Clock> elsewhere(
      std::make_shared<platform::ManualClock>(Date(1709251200)));
  const auto monthly = product("m", "30", SKProductSubscriptionPeriod{Unit::month, 1});
  const auto daily = product("d", "1", SKProductSubscriptionPeriod{Unit::day, 1});
  const auto prices = std::make_shared<TwoDecimals>();
  EXPECT_EQ(hostProvider(prices).metadata(monthly, daily)->localizedRelativePrice(), "29.00");

  const auto counted =
      hostProvider(prices, std::make_shared<CountAndUnit>(), std::make_shared<StubCalendar>(3))
          .metadata(monthly, daily);
  EXPECT_EQ(counted->localizedRelativePrice(), "3.00");
  EXPECT_EQ(counted->localizedPricePerRelativePeriod(), "9.99");  // 10.00, nice

  const auto cannotAdd = hostProvider(prices, std::make_shared<CountAndUnit>(),
                                      std::make_shared<StubCalendar>(std::nullopt))
                             .metadata(monthly, daily);
  EXPECT_EQ(cannotAdd->localizedRelativePrice(), std::nullopt);
  EXPECT_EQ(cannotAdd->discountPercentage(), std::nullopt);
  EXPECT_EQ(cannotAdd->localizedPrice(), "30.00");
}

TEST(HostPriceFormattersTest, NullFormattersAreThePlatformOnes) {
  const SKProductMetadataProvider provider(nullptr, nullptr, nullptr,
                                           std::make_shared<platform::ManualClock>(kJanuary31));
  const auto meta = provider.metadata(
      product("w", "4.99", SKProductSubscriptionPeriod{Unit::week, 1}, "de_DE"), nullptr);
  EXPECT_EQ(meta->localizedPrice(), "4,99\u00a0€");
  EXPECT_TRUE(meta->localizedPeriod().has_value());
}

TEST(HostPriceFormattersTest, ExactAmountsReachDecimalTextUnchanged) {
  EXPECT_EQ(toDecimal({499, 2}), *Decimal::parse("4.99"));
  EXPECT_EQ(toDecimal({-5, 3}), *Decimal::parse("-0.005"));
  EXPECT_EQ(toDecimal({12, -2}), Decimal(1200));
  EXPECT_EQ(toDecimal({0, 2}), Decimal(0));
  EXPECT_EQ(toDecimal({INT64_MIN, 18}), *Decimal::parse("-9.223372036854775808"));
  // The default exact form goes through string() of that decimal.
  EXPECT_EQ(TwoDecimals().exactString({1199, 2}), "11.99");
}

}  // namespace
}  // namespace quarn
