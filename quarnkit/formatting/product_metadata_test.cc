#include "quarnkit/formatting/product_metadata.h"

#include <gtest/gtest.h>

#include <thread>

#include "quarnkit/core/log.h"
#include "quarnkit/formatting/string_formatter.h"
#include "quarnkit/formatting/subscription_period.h"
#include "quarnkit/platform/calendar.h"
#include "quarnkit/platform/runtime/clock.h"

namespace quarn {
namespace {

using platform::SKProduct;
using platform::SKProductPeriodUnit;
using platform::SKProductSubscriptionPeriod;
using Unit = SKProductPeriodUnit;

Decimal dec(const char* text) { return *Decimal::parse(text); }

SKProductRef product(const char* id, const char* price,
                     std::optional<SKProductSubscriptionPeriod> p, const char* locale = "en_US") {
  auto out = std::make_shared<SKProduct>();
  out->productIdentifier = id;
  out->price = dec(price);
  out->priceLocale = locale;
  out->subscriptionPeriod = p;
  return out;
}

// Fixed "now" (2024-01-31T00:00:00Z, so a month is February) in UTC.
class ProductMetadataTest : public ::testing::Test {
 protected:
  std::shared_ptr<platform::ManualClock> clock_ =
      std::make_shared<platform::ManualClock>(Date(1706659200));
  platform::ScopedService<platform::Clock> clockScope_{clock_};
  platform::ScopedService<platform::Calendar> calendarScope_{
      std::make_shared<platform::FixedTimeZoneCalendar>()};
  SKProductMetadataProvider provider_{
      platform::DateComponentsFormatter(platform::DateComponentsFormatter::kDay |
                                            platform::DateComponentsFormatter::kWeekOfMonth |
                                            platform::DateComponentsFormatter::kMonth,
                                        platform::DateComponentsFormatter::UnitsStyle::full,
                                        "en_US"),
      platform::CurrencyFormatter("en_US")};
};

TEST(SubscriptionPeriodTest, NormalFormsAndComponents) {
  EXPECT_EQ(normalized({Unit::day, 7}), (SKProductSubscriptionPeriod{Unit::week, 1}));
  EXPECT_EQ(fixed({Unit::day, 7}), (SKProductSubscriptionPeriod{Unit::week, 1}));
  EXPECT_EQ(fixed({Unit::day, 14}), (SKProductSubscriptionPeriod{Unit::day, 14}));
  EXPECT_EQ(normalized({Unit::day, 14}), (SKProductSubscriptionPeriod{Unit::week, 2}));
  EXPECT_EQ(normalized({Unit::month, 24}), (SKProductSubscriptionPeriod{Unit::year, 2}));
  EXPECT_EQ(normalized({Unit::month, 18}), (SKProductSubscriptionPeriod{Unit::month, 18}));
  EXPECT_EQ(dateComponets({Unit::week, 2}), (platform::CalendarComponents{.weekOfMonth = 2}));
  EXPECT_TRUE(dateComponets({static_cast<Unit>(9), 2}).isEmpty());
}

TEST(SubscriptionPeriodTest, PricesPerPeriodAreExactThenTruncated) {
  struct Case {
    SKProductSubscriptionPeriod period;
    const char* price;
    const char* perWeek;
    const char* perMonth;
    const char* perYear;
  };
  for (const Case& c : {
           Case{{Unit::month, 1}, "9.99", "2.29", "9.99", "119.88"},
           Case{{Unit::year, 1}, "49.99", "0.95", "4.16", "49.99"},
           Case{{Unit::day, 7}, "4.99", "4.99", "21.38", "260.19"},  // not 4.98
           Case{{Unit::week, 1}, "4.99", "4.99", "21.68", "260.19"},
           Case{{Unit::month, 3}, "-1", "-0.08", "-0.34", "-4"},  // toward −∞
       }) {
    const Decimal price = dec(c.price);
    EXPECT_EQ(pricePerWeek(c.period, price).toString(), c.perWeek) << c.price;
    EXPECT_EQ(pricePerMonth(c.period, price).toString(), c.perMonth) << c.price;
    EXPECT_EQ(pricePerYear(c.period, price).toString(), c.perYear) << c.price;
  }
  // A period that cannot be priced gives not-a-number, never infinity.
  EXPECT_TRUE(platform::isNaN(pricePerWeek({Unit::month, 0}, dec("9.99"))));
  EXPECT_TRUE(platform::isNaN(pricePerYear({static_cast<Unit>(7), 1}, dec("9.99"))));
  EXPECT_TRUE(platform::isNaN(pricePerMonth({Unit::week, -2}, dec("9.99"))));
}

TEST(SubscriptionPeriodTest, NiceRoundingTable) {
  const std::pair<double, double> cases[] = {
      {4.99, 4.99},     {5.00, 4.99},   {5.10, 4.99},   {12.20, 12.19},  {12.45, 12.49},
      {12.70, 12.79},   {12.95, 12.99}, {12.15, 12.19}, {12.144, 11.99}, {12.149, 12.19},
      {12.999, 12.999}, {0.95, 0.99},   {0.10, 0.10},   {0.0, 0.0},      {-3.0, -3.0},
  };
  for (const auto& [value, expected] : cases) {
    EXPECT_DOUBLE_EQ(niceRounding(value), expected) << value;
  }
}

TEST(SubscriptionPeriodTest, RelativeProductChoice) {
  const auto monthly = product("m", "9.99", SKProductSubscriptionPeriod{Unit::month, 1});
  const auto sevenDays = product("d7", "2.99", SKProductSubscriptionPeriod{Unit::day, 7});
  const auto weekly = product("w", "2.99", SKProductSubscriptionPeriod{Unit::week, 1});
  const auto twelveMonths = product("m12", "49.99", SKProductSubscriptionPeriod{Unit::month, 12});
  const auto fourWeeks = product("w4", "9.99", SKProductSubscriptionPeriod{Unit::week, 4});
  const auto lifetime = product("l", "99", std::nullopt);
  using P = SKProductMetadataProvider;
  EXPECT_EQ(P::getRelativeProduct({lifetime, monthly, sevenDays, weekly}), sevenDays);
  EXPECT_EQ(P::getRelativeProduct({twelveMonths, fourWeeks, monthly}), monthly);
  EXPECT_EQ(P::getRelativeProduct({twelveMonths, fourWeeks, lifetime}), nullptr);
  EXPECT_EQ(P::getRelativeProduct({}), nullptr);
}

TEST_F(ProductMetadataTest, EveryTextOfAYearlyProductWithATrial) {
  auto yearly = std::make_shared<SKProduct>(
      *product("y", "49.99", SKProductSubscriptionPeriod{Unit::year, 1}));
  yearly->introductoryPrice =
      platform::SKProductDiscount{.price = Decimal(0),
                                  .priceLocale = "de_DE",
                                  .subscriptionPeriod = {Unit::day, 3},
                                  .paymentMode = platform::SKProductDiscountPaymentMode::freeTrial};
  const auto weekly = product("w", "4.99", SKProductSubscriptionPeriod{Unit::week, 1});
  const auto meta = provider_.metadata(yearly, weekly);
  ASSERT_TRUE(meta);
  EXPECT_EQ(meta->productIdentifier(), "y");
  EXPECT_EQ(meta->product(), yearly);
  EXPECT_EQ(meta->localizedPrice(), "$49.99");
  EXPECT_EQ(meta->localizedPeriod(), "12 months");
  EXPECT_EQ(meta->localizedPricePerYear(), "$49.99");
  EXPECT_EQ(meta->localizedPricePerMonth(), "$4.19");  // 4.16
  EXPECT_EQ(meta->localizedPricePerWeek(), "$0.99");   // 0.95
  // 52 whole weeks of $4.99 (the year from now has 366 days).
  EXPECT_EQ(meta->localizedRelativePrice(), "$259.48");
  EXPECT_NEAR(*meta->discountPercentage(), 80.734, 0.001);
  EXPECT_EQ(meta->localizedPricePerRelativePeriod(), "$0.99");  // 0.96
  EXPECT_EQ(meta->localizedIntroductoryPrice(), "0,00\u00a0€");
  EXPECT_EQ(meta->localizedIntroductoryPeriod(), "3 days");

  provider_.allowsNiceRounding = false;
  const auto plain = provider_.metadata(yearly, weekly);
  EXPECT_EQ(plain->localizedPricePerWeek(), "$0.95");
  EXPECT_EQ(plain->localizedPricePerMonth(), "$4.16");
  EXPECT_EQ(plain->localizedPricePerRelativePeriod(), "$0.96");
}

TEST_F(ProductMetadataTest, AMonthCountsFourWeeksUnlessExactLengthsAreAsked) {
  // A month against a weekly product is 4 of its weeks, in a February of 29
  // days as in a March of 31; exact lengths make it 365/84 weeks.
  provider_.allowsNiceRounding = false;
  const auto monthly = product("m", "9.99", SKProductSubscriptionPeriod{Unit::month, 1});
  const auto weekly = product("w", "2.99", SKProductSubscriptionPeriod{Unit::week, 1});
  for (const double days : {0.0, 30.0}) {  // Jan 31, then Mar 1, 2024
    clock_->advance(days * 86400);
    const auto meta = provider_.metadata(monthly, weekly);
    EXPECT_EQ(meta->localizedPricePerWeek(), "$2.29");  // not measured against anything
    EXPECT_EQ(meta->localizedRelativePrice(), "$11.96");
    EXPECT_NEAR(*meta->discountPercentage(), 16.471, 0.001);
    EXPECT_EQ(meta->localizedPricePerRelativePeriod(), "$2.50");  // 2.4975, rounded
    EXPECT_EQ(StoreKitHelpers::StringFormatter(*meta).string("Save %discount%%"), "Save 16%");
  }

  provider_.relativePeriodCount = SKProductMetadataProvider::RelativePeriodCount::exactLength;
  const auto exact = provider_.metadata(monthly, weekly);
  EXPECT_EQ(exact->localizedRelativePrice(), "$12.99");
  EXPECT_NEAR(*exact->discountPercentage(), 23.108, 0.001);
  EXPECT_EQ(exact->localizedPricePerRelativePeriod(), "$2.30");
  EXPECT_EQ(StoreKitHelpers::StringFormatter(*exact).string("Save %discount%%"), "Save 23%");
}

TEST_F(ProductMetadataTest, AYearCountsTwelveMonthsAtEitherRule) {
  const auto yearly = product("y", "49.99", SKProductSubscriptionPeriod{Unit::year, 1});
  const auto monthly = product("m", "9.99", SKProductSubscriptionPeriod{Unit::month, 1});
  using Count = SKProductMetadataProvider::RelativePeriodCount;
  for (const Count count : {Count::wholeCalendarUnits, Count::exactLength}) {
    provider_.relativePeriodCount = count;
    const auto meta = provider_.metadata(yearly, monthly);
    EXPECT_EQ(meta->localizedRelativePrice(), "$119.88");
    EXPECT_NEAR(*meta->discountPercentage(), 58.300, 0.001);
    EXPECT_EQ(meta->localizedPricePerRelativePeriod(), "$4.19");  // 4.1658 → 4.17, nice
  }
}

TEST_F(ProductMetadataTest, WholeDiscountsStayWhole) {
  // 16.00 for two weeks against 10.00 a week saves exactly 20%; the same
  // sum in 32-bit floats, (1 − 16 ÷ 20) × 100, is 19.999998, which
  // "%discount%" would truncate to 19.
  const auto twoWeeks = product("w2", "16", SKProductSubscriptionPeriod{Unit::week, 2});
  const auto weekly = product("w", "10", SKProductSubscriptionPeriod{Unit::week, 1});
  const auto meta = provider_.metadata(twoWeeks, weekly);
  EXPECT_EQ(meta->discountPercentage(), 20.0f);
}

TEST_F(ProductMetadataTest, RelativeTextsAbsentWhereTheyMeanNothing) {
  const auto weekly = product("w", "4.99", SKProductSubscriptionPeriod{Unit::week, 1});
  const auto threeDays = product("d3", "0.99", SKProductSubscriptionPeriod{Unit::day, 3});
  const auto free = product("f", "0", SKProductSubscriptionPeriod{Unit::week, 1});
  const auto zeroCount = product("z", "4.99", SKProductSubscriptionPeriod{Unit::week, 0});
  const auto oddUnit = product("u", "4.99", SKProductSubscriptionPeriod{static_cast<Unit>(5), 1});

  const auto self = provider_.metadata(weekly, weekly);  // discount exactly 0
  EXPECT_EQ(self->localizedRelativePrice(), "$4.99");
  EXPECT_EQ(self->discountPercentage(), std::nullopt);

  const auto shorter = provider_.metadata(threeDays, weekly);
  EXPECT_EQ(shorter->localizedRelativePrice(), std::nullopt);
  EXPECT_EQ(shorter->localizedPricePerRelativePeriod(), std::nullopt);
  EXPECT_EQ(shorter->discountPercentage(), std::nullopt);
  EXPECT_EQ(shorter->localizedPricePerWeek(), "$2.19");  // 2.31

  const auto againstFree = provider_.metadata(weekly, free);  // would be −∞ %
  EXPECT_EQ(againstFree->localizedRelativePrice(), "$0.00");
  EXPECT_EQ(againstFree->discountPercentage(), std::nullopt);

  for (const auto& bad : {zeroCount, oddUnit}) {
    const auto meta = provider_.metadata(bad, weekly);
    ASSERT_TRUE(meta);
    EXPECT_EQ(meta->localizedPrice(), "$4.99");
    EXPECT_EQ(meta->localizedPeriod(), std::nullopt);
    EXPECT_EQ(meta->localizedPricePerWeek(), std::nullopt);
    EXPECT_EQ(meta->localizedRelativePrice(), std::nullopt);
    // As a relative product it has no period: a discount of 100 otherwise.
    const auto against = provider_.metadata(weekly, bad);
    EXPECT_EQ(against->discountPercentage(), std::nullopt);
    EXPECT_EQ(against->localizedRelativePrice(), std::nullopt);
  }
  EXPECT_EQ(provider_.metadata(product("l", "99", std::nullopt), weekly), std::nullopt);
}

TEST_F(ProductMetadataTest, SmallPerPeriodPricesNeverTurnNegative) {
  const auto cheap = product("c", "1.99", SKProductSubscriptionPeriod{Unit::year, 1});
  const auto meta = provider_.metadata(cheap, nullptr);
  EXPECT_EQ(meta->localizedPricePerWeek(), "$0.03");   // not "-$0.01"
  EXPECT_EQ(meta->localizedPricePerMonth(), "$0.19");  // 0.16
}

TEST_F(ProductMetadataTest, UnusablePricesLeaveTheirTextsAbsent) {
  testing::LogCapture log;
  for (const char* price : {"-4.99", "1e20"}) {
    const auto meta =
        provider_.metadata(product("bad", price, SKProductSubscriptionPeriod{Unit::week, 1}), {});
    ASSERT_TRUE(meta);
    EXPECT_EQ(meta->localizedPrice(), std::nullopt);
    EXPECT_EQ(meta->localizedPricePerYear(), std::nullopt);
    EXPECT_EQ(meta->localizedPeriod(), "1 week");
  }
  auto nan =
      std::make_shared<SKProduct>(*product("nan", "1", SKProductSubscriptionPeriod{Unit::week, 1}));
  nan->price = platform::notANumber();
  EXPECT_EQ(provider_.metadata(nan, {})->localizedPrice(), std::nullopt);
  EXPECT_EQ(log.count("has no usable price"), 3u);
}

// Prices far beyond the largest are refused by their magnitude, before their
// exact value (of hundreds of thousands of digits) is built, and the warning
// shows them in exponent notation.
TEST_F(ProductMetadataTest, HugePricesAreRefusedByMagnitude) {
  testing::LogCapture log;
  for (const char* price : {"1e300000", "-1.25e300000", "1e15", "123456789012345678901234567890"}) {
    const auto meta =
        provider_.metadata(product("big", price, SKProductSubscriptionPeriod{Unit::week, 1}), {});
    ASSERT_TRUE(meta);
    EXPECT_EQ(meta->localizedPrice(), std::nullopt);
  }
  EXPECT_EQ(log.texts(LogLevel::warning),
            (std::vector<std::string>{
                "[SKProductMetadataProvider] Product big has no usable price (1e+300000)",
                "[SKProductMetadataProvider] Product big has no usable price (-1.25e+300000)",
                "[SKProductMetadataProvider] Product big has no usable price (1e+15)",
                "[SKProductMetadataProvider] Product big has no usable price "
                "(1.23456789012345679e+29)"}));
  // Just within: 15 nines.
  EXPECT_EQ(
      provider_
          .metadata(product("max", "999999999999999", SKProductSubscriptionPeriod{Unit::week, 1}),
                    {})
          ->localizedPrice(),
      "$999,999,999,999,999.00");
}

TEST_F(ProductMetadataTest, PriceTextsInSeveralLocales) {
  const auto yearly = product("y", "49.99", SKProductSubscriptionPeriod{Unit::year, 1}, "de_DE");
  const auto yen = product("j", "4800", SKProductSubscriptionPeriod{Unit::year, 1}, "ja_JP");
  const auto metas = provider_.productsMetadata({yearly, yen});
  ASSERT_EQ(metas.size(), 2u);
  EXPECT_EQ(metas[0].localizedPrice(), "49,99\u00a0€");
  EXPECT_EQ(metas[0].localizedPricePerWeek(), "0,99\u00a0€");
  EXPECT_EQ(metas[1].localizedPrice(), "￥4,800");
  EXPECT_EQ(metas[1].localizedPricePerMonth(), "￥400");  // 399.99 after nice rounding
}

TEST_F(ProductMetadataTest, ListsAreMeasuredAgainstTheirWeeklyProduct) {
  const auto monthly = product("m", "9.99", SKProductSubscriptionPeriod{Unit::month, 1});
  const auto weekly = product("w", "2.99", SKProductSubscriptionPeriod{Unit::day, 7});
  const auto lifetime = product("l", "49.99", std::nullopt);
  const auto metas = provider_.productsMetadata({monthly, lifetime, weekly});
  ASSERT_EQ(metas.size(), 2u);
  EXPECT_EQ(metas[0].productIdentifier(), "m");
  EXPECT_EQ(metas[0].localizedRelativePrice(), "$11.96");
  EXPECT_EQ(metas[1].localizedPeriod(), "7 days");
  EXPECT_EQ(metas[1].discountPercentage(), std::nullopt);
}

// A calendar behind a host's subclass: nothing vouches for its arithmetic, so
// a provider counts afresh at every call, as if nothing were kept.
class HostCalendar final : public platform::Calendar {
 public:
  explicit HostCalendar(std::shared_ptr<const platform::Calendar> inner)
      : inner_(std::move(inner)) {}
  [[nodiscard]] std::string identifier() const override { return inner_->identifier(); }
  [[nodiscard]] std::string timeZoneIdentifier() const override {
    return inner_->timeZoneIdentifier();
  }
  [[nodiscard]] std::optional<platform::DateComponents> components(Date date) const override {
    return inner_->components(date);
  }

 private:
  std::shared_ptr<const platform::Calendar> inner_;
};

TEST_F(ProductMetadataTest, CountsKeptForASecondAgreeWithCountsMadeAfresh) {
  // Instants where whole units change: month ends (2024 is a leap year), the
  // days of Berlin and New York ending, their daylight-saving changes; each
  // read at several points of its second and of the seconds around it, in one
  // zone after another within one second.
  const double boundaries[] = {
      1706655600,  // 2024-01-30T23:00Z, midnight in Berlin
      1706659200,  // 2024-01-31T00:00Z
      1706677200,  // 2024-01-31T05:00Z, midnight in New York
      1709161200,  // 2024-02-28T23:00Z
      1709164800,  // 2024-02-29T00:00Z
      1710054000,  // 2024-03-10T07:00Z, New York moves to summer time
      1711846800,  // 2024-03-31T01:00Z, Berlin moves to summer time
      1729990800,  // 2024-10-27T01:00Z, Berlin moves back
      1730613600,  // 2024-11-03T06:00Z, New York moves back
      1735686000,  // 2024-12-31T23:00Z
  };
  const std::shared_ptr<const platform::Calendar> calendars[] = {
      std::make_shared<platform::FixedTimeZoneCalendar>(),
      std::make_shared<platform::ICUCalendar>("de_DE", "Europe/Berlin"),
      std::make_shared<platform::ICUCalendar>("en_US", "America/New_York"),
      std::make_shared<platform::ICUCalendar>("th_TH", "Asia/Bangkok"),  // Buddhist
  };
  std::vector<SKProductRef> products;
  for (const SKProductSubscriptionPeriod period : {SKProductSubscriptionPeriod{Unit::day, 3},
                                                   {Unit::day, 7},
                                                   {Unit::day, 30},
                                                   {Unit::week, 1},
                                                   {Unit::week, 5},
                                                   {Unit::month, 1},
                                                   {Unit::month, 3},
                                                   {Unit::month, 6},
                                                   {Unit::year, 1}}) {
    products.push_back(product("p", "10", period));
  }
  // Priced at 1 a unit, so the relative price is the count.
  std::vector<SKProductRef> relatives;
  for (const Unit unit : {Unit::day, Unit::week, Unit::month, Unit::year}) {
    relatives.push_back(product("r", "1", SKProductSubscriptionPeriod{unit, 1}));
  }
  auto relativeTexts = [&](const SKProductMetadataProvider& provider, const SKProductRef& r) {
    std::vector<std::optional<std::string>> out;
    for (const auto& m : provider.productsMetadata(products, r)) {
      out.push_back(m.localizedRelativePrice());
      out.push_back(m.localizedPricePerRelativePeriod());
    }
    return out;
  };
  auto providerWith = [](std::shared_ptr<const platform::Calendar> calendar) {
    return SKProductMetadataProvider(
        std::make_shared<const DateComponentsPeriodFormatter>(),
        std::make_shared<const CurrencyPriceFormatter>(platform::CurrencyFormatter("en_US")),
        std::move(calendar));
  };
  const SKProductMetadataProvider kept = providerWith(nullptr);  // the current calendar
  std::size_t changes = 0;  // counts that differ from the previous instant's
  std::vector<std::optional<std::string>> previous;
  for (const double boundary : boundaries) {
    for (const double offset : {-3600.0, -1.0, -0.5, 0.0, 0.25, 0.999, 1.0, 60.0}) {
      const platform::ScopedService<platform::Clock> clock(
          std::make_shared<platform::ManualClock>(Date(boundary + offset)));
      for (const auto& calendar : calendars) {
        const platform::ScopedService<platform::Calendar> current(calendar);
        const SKProductMetadataProvider afresh =
            providerWith(std::make_shared<HostCalendar>(calendar));
        for (const SKProductRef& r : relatives) {
          SCOPED_TRACE(::testing::Message() << calendar->timeZoneIdentifier() << " at "
                                            << std::fixed << boundary + offset << " against "
                                            << static_cast<int>(r->subscriptionPeriod->unit));
          const auto texts = relativeTexts(kept, r);
          EXPECT_EQ(texts, relativeTexts(afresh, r));
          if (calendar == calendars[1] && r == relatives[0]) {
            changes += !previous.empty() && texts != previous;
            previous = texts;
          }
        }
      }
    }
  }
  // The instants do cross boundaries where counts change.
  EXPECT_GT(changes, 4u);
}

TEST_F(ProductMetadataTest, OneProviderServesTwoThreads) {
  std::vector<SKProductRef> products;
  for (const char* locale : {"en_US", "de_DE", "ja_JP", "fr_FR"}) {
    products.push_back(product("y", "49.99", SKProductSubscriptionPeriod{Unit::year, 1}, locale));
    products.push_back(product("w", "4.99", SKProductSubscriptionPeriod{Unit::week, 1}, locale));
  }
  auto texts = [&] {
    std::vector<std::optional<std::string>> out;
    for (const auto& m : provider_.productsMetadata(products)) {
      out.push_back(m.localizedPrice());
      out.push_back(m.localizedRelativePrice());
    }
    return out;
  };
  const auto expected = texts();
  std::vector<std::optional<std::string>> a, b;
  std::thread t1([&] {
    for (int i = 0; i < 50; ++i) a = texts();
  });
  std::thread t2([&] {
    for (int i = 0; i < 50; ++i) b = texts();
  });
  t1.join();
  t2.join();
  EXPECT_EQ(a, expected);
  EXPECT_EQ(b, expected);
}

TEST(ProductVarsTest, ToVars) {
  const auto p = product("com.example.m", "9.99", SKProductSubscriptionPeriod{Unit::month, 24});
  const Value vars(toVars(*p));
  EXPECT_EQ(*vars.find("id"), Value("com.example.m"));
  EXPECT_EQ(*vars.find("price"), Value(9.99));
  EXPECT_EQ(*vars.find("period")->find("unit"), Value(3));
  EXPECT_EQ(*vars.find("period")->find("value"), Value(2));
  EXPECT_EQ(Value(toVars(*product("l", "1", std::nullopt))).find("period"), nullptr);
}

}  // namespace
}  // namespace quarn

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/formatting/store_product_decoding.h"

namespace quarn {
namespace {

TEST(StoreProductDecodingTest, DecodesProductsAndReportsBadFields) {
  const JSONDecoder decoder;
  const auto p = decoder.decode<platform::SKProduct>(R"({
    "productIdentifier": "y", "price": "49.99", "priceLocale": "de_DE",
    "subscriptionPeriod": {"unit": "year", "numberOfUnits": 1},
    "introductoryPrice": {"price": 0, "paymentMode": "freeTrial",
                          "subscriptionPeriod": {"unit": 0, "numberOfUnits": 3}},
    "discounts": [{"identifier": "winback", "price": 19.99, "priceLocale": "en_US",
                   "subscriptionPeriod": {"unit": "month", "numberOfUnits": 1},
                   "numberOfPeriods": 3, "type": "subscription"}]})");
  EXPECT_EQ(p.price.toString(), "49.99");
  EXPECT_EQ(p.subscriptionPeriod, (SKProductSubscriptionPeriod{Unit::year, 1}));
  EXPECT_EQ(p.introductoryPrice->priceLocale, "de_DE");
  EXPECT_EQ(p.introductoryPrice->paymentMode, platform::SKProductDiscountPaymentMode::freeTrial);
  EXPECT_EQ(p.introductoryPrice->subscriptionPeriod, (SKProductSubscriptionPeriod{Unit::day, 3}));
  ASSERT_EQ(p.discounts.size(), 1u);
  EXPECT_EQ(p.discounts[0].numberOfPeriods, 3);
  EXPECT_EQ(p.discounts[0].type, platform::SKProductDiscountType::subscription);
  EXPECT_EQ(p.discounts[0].price.toString(), "19.99");

  const auto lifetime = decoder.decode<platform::SKProduct>(R"({"productIdentifier": "l",
                                                                 "price": 99})");
  EXPECT_EQ(lifetime.subscriptionPeriod, std::nullopt);
  const auto odd = decoder.decode<platform::SKProduct>(
      R"({"productIdentifier": "u", "price": 1, "subscriptionPeriod": {"unit": 9, "numberOfUnits": 0}})");
  EXPECT_EQ(static_cast<int>(odd.subscriptionPeriod->unit), 9);

  for (const char* bad : {R"({"productIdentifier": "x", "price": "NaN"})",
                          R"({"productIdentifier": "x", "price": "4,99"})",
                          R"({"productIdentifier": "x", "price": 1,
                              "subscriptionPeriod": {"unit": "fortnight", "numberOfUnits": 1}})",
                          R"({"productIdentifier": "x", "price": 1,
                              "subscriptionPeriod": {"numberOfUnits": 1}})",
                          R"({"price": 1})"}) {
    EXPECT_THROW(decoder.decode<platform::SKProduct>(bad), DecodingError) << bad;
  }
}

TEST(StoreProductDecodingTest, AnInvalidPriceIsQuotedInPart) {
  const std::string price = "4." + std::string(1 << 20, '9') + "x";
  try {
    (void)JSONDecoder().decode<platform::SKProduct>(R"({"productIdentifier": "x", "price": ")" +
                                                    price + "\"}");
    ADD_FAILURE() << "decoded";
  } catch (const DecodingError& e) {
    EXPECT_EQ(e.context().debugDescription, "Invalid price \"" + price.substr(0, 80) +
                                                "\u2026\": expected decimal text like "
                                                "\"4.99\"");
  }
}

}  // namespace
}  // namespace quarn
