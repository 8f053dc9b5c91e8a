// The ICU-backed formatters and arithmetic: currency texts in several
// locales, period texts, calendar arithmetic and decimal rounding.
#include <gtest/gtest.h>
#include <unicode/numberformatter.h>
#include <unicode/ucurr.h>

#include <random>

#include "quarnkit/core/log.h"
#include "quarnkit/platform/calendar.h"
#include "quarnkit/platform/currency_formatter.h"
#include "quarnkit/platform/date_components_formatter.h"
#include "quarnkit/platform/decimal_arithmetic.h"

namespace quarn::platform {
namespace {

Decimal dec(const char* text) { return *Decimal::parse(text); }

TEST(CurrencyFormatterTest, FormatsInTheLocalesCurrencyWithItsDigits) {
  struct Case {
    const char* locale;
    const char* value;
    const char* expected;
  };
  const Case cases[] = {
      {"en_US", "4.99", "$4.99"},
      {"en_US", "1234.5", "$1,234.50"},
      {"en_US", "0", "$0.00"},
      {"en_US", "0.005", "$0.00"},  // half-even
      {"en_US", "0.015", "$0.02"},
      {"de_DE", "1234.5", "1.234,50\u00a0€"},
      {"ja_JP", "4.99", "￥5"},
      {"ja_JP", "1234.5", "￥1,234"},  // half-even at no decimals
      {"en_US@currency=EUR", "4.99", "€4.99"},
      {"hi_IN", "123456.78", "₹1,23,456.78"},
      {"es_ES", "1234", "1234,00\u00a0€"},
      {"es_ES", "12345", "12.345,00\u00a0€"},
      {"en_US", "-4.99", "-$4.99"},
  };
  for (const Case& c : cases) {
    const CurrencyFormatter f(c.locale);
    EXPECT_EQ(f.string(dec(c.value)), c.expected) << c.locale << " " << c.value;
  }
}

TEST(CurrencyFormatterTest, FilledLayoutsEqualICUsOwnTexts) {
  // Amounts after the first of each digit count reuse the first's layout:
  // every one must read exactly as ICU formats it.
  std::mt19937_64 random(7);
  for (const char* locale : {"en_US", "de_DE", "fr_FR", "ja_JP", "ar_EG", "hi_IN", "es_ES", "de_CH",
                             "ar_KW", "pt_BR", "ru_RU", "zh_CN", "he_IL", "th_TH"}) {
    const CurrencyFormatter f(locale);
    UErrorCode status = U_ZERO_ERROR;
    UChar code[4] = {};
    ucurr_forLocale(locale, code, 4, &status);
    const auto icu = icu::number::NumberFormatter::withLocale(icu::Locale(locale))
                         .unit(icu::CurrencyUnit(code, status));
    for (int i = 0; i < 300; ++i) {
      const std::int64_t units =
          static_cast<std::int64_t>(random() % 100'000'000'000ULL) >> (random() % 36);
      const FixedPointDecimal value{units, static_cast<int>(random() % 4)};
      std::string text = std::to_string(units);
      if (value.scale > 0) {
        if (text.size() <= static_cast<std::size_t>(value.scale)) {
          text.insert(0, static_cast<std::size_t>(value.scale) + 1 - text.size(), '0');
        }
        text.insert(text.size() - static_cast<std::size_t>(value.scale), ".");
      }
      std::string expected;
      icu.formatDecimal(text.c_str(), status).toString(status).toUTF8String(expected);
      ASSERT_TRUE(U_SUCCESS(status));
      ASSERT_EQ(f.string(value), expected) << locale << " " << text;
    }
  }
}

// The fixed-point form of a decimal is that of its shortest exact text:
// units and fraction digits, nothing beyond 18 digits in all.
TEST(FixedPointDecimalTest, OfADecimalIsItsShortestExactText) {
  const auto of = [](const char* text) -> std::optional<std::pair<std::int64_t, int>> {
    const auto fixed = FixedPointDecimal::of(*Decimal::parse(text));
    if (!fixed) return std::nullopt;
    return std::pair{fixed->units, fixed->scale};
  };
  using P = std::pair<std::int64_t, int>;
  EXPECT_EQ(of("4.99"), (P{499, 2}));
  EXPECT_EQ(of("4.990"), (P{499, 2}));
  EXPECT_EQ(of("-12.5"), (P{-125, 1}));
  EXPECT_EQ(of("120"), (P{120, 0}));
  EXPECT_EQ(of("0"), (P{0, 0}));
  EXPECT_EQ(of("-0"), (P{0, 0}));
  EXPECT_EQ(of("0.05"), (P{5, 2}));
  EXPECT_EQ(of("12345678901234567.8"), (P{123456789012345678, 1}));  // 18 digits
  EXPECT_EQ(of("0.00000000000000001"), (P{1, 17}));                  // with its "0.": 18 digits
  EXPECT_EQ(of("0.000000000000000001"), std::nullopt);               // 19
  EXPECT_EQ(of("1234567890123456789"), std::nullopt);
  EXPECT_EQ(of("1e-60"), (P{0, 0}));  // 0 to the 50 places it prints with
  const Decimal third = Decimal(1) / Decimal(3);
  EXPECT_EQ(FixedPointDecimal::of(third), std::nullopt);
  EXPECT_EQ(FixedPointDecimal::of(third * Decimal(3)), (FixedPointDecimal{1, 0}));
  // Random prices: the form read back from the text they print as.
  std::mt19937 random(5);
  for (int i = 0; i < 2000; ++i) {
    const int scale = static_cast<int>(random() % 7);
    const auto units = static_cast<std::int64_t>(random() % 100000000) - 50000000;
    std::string text = std::to_string(units < 0 ? -units : units);
    if (scale > 0) {
      text.insert(
          0, static_cast<std::size_t>(std::max(0, scale + 1 - static_cast<int>(text.size()))), '0');
      text.insert(text.size() - static_cast<std::size_t>(scale), ".");
    }
    if (units < 0) text.insert(0, "-");
    const Decimal value = *Decimal::parse(text);
    const auto fixed = FixedPointDecimal::of(value);
    ASSERT_TRUE(fixed) << text;
    Decimal back(fixed->units);
    for (int k = 0; k < fixed->scale; ++k) back = back / Decimal(10);
    EXPECT_EQ(back.toString(), value.toString()) << text;
    EXPECT_TRUE(fixed->scale == 0 || fixed->units % 10 != 0) << text;  // the shortest
  }
}

TEST(CurrencyFormatterTest, BadInputGivesNothingOrTheRootLocale) {
  const CurrencyFormatter usd("en_US");
  EXPECT_EQ(usd.string(notANumber()), std::nullopt);
  EXPECT_EQ(usd.string(dec("1e30")), "$1,000,000,000,000,000,000,000,000,000,000.00");

  testing::LogCapture log;
  const CurrencyFormatter unknown("zz_ZZ@currency=EUR");
  EXPECT_EQ(unknown.currencyCode(), "EUR");
  EXPECT_EQ(unknown.string(dec("4.99")), "€\u00a04.99");
  const CurrencyFormatter again("zz_ZZ@currency=EUR");
  EXPECT_EQ(log.count("Unknown locale identifier \"zz_ZZ@currency=EUR\""), 1u);

  const CurrencyFormatter malformed("en_US@currency=EURO");
  EXPECT_EQ(malformed.string(dec("4.99")), std::nullopt);
  const CurrencyFormatter invented("en_US@currency=ZZZ");
  EXPECT_EQ(invented.string(dec("4.99")), "ZZZ\u00a04.99");
}

TEST(DateComponentsFormatterTest, FullUnitNamesInAllowedUnits) {
  DateComponentsFormatter f(DateComponentsFormatter::kDay | DateComponentsFormatter::kWeekOfMonth |
                                DateComponentsFormatter::kMonth,
                            DateComponentsFormatter::UnitsStyle::full, "en_US");
  EXPECT_EQ(f.string({.day = 7}), "7 days");
  EXPECT_EQ(f.string({.weekOfMonth = 1}), "1 week");
  EXPECT_EQ(f.string({.month = 1}), "1 month");
  EXPECT_EQ(f.string({.year = 1}), "12 months");
  EXPECT_EQ(f.string({}), std::nullopt);
  f.setLocaleIdentifier("de_DE");
  EXPECT_EQ(f.string({.weekOfMonth = 1}), "1 Woche");
  EXPECT_EQ(f.string({.month = 3}), "3 Monate");
  f.setLocaleIdentifier("ja_JP");
  EXPECT_EQ(f.string({.day = 3}), "3 日");
  f.setAllowedUnits(DateComponentsFormatter::kDay);
  EXPECT_EQ(f.string({.month = 1}), std::nullopt);  // not a whole number of days
}

TEST(CalendarArithmeticTest, AddsWithoutWrappingAndCountsWholeUnits) {
  const FixedTimeZoneCalendar utc;
  const Date jan31(1706659200);  // 2024-01-31T00:00:00Z
  const auto feb = utc.dateByAdding({.month = 1}, jan31);
  ASSERT_TRUE(feb);
  EXPECT_EQ(utc.components(*feb)->day, 29);
  EXPECT_EQ(
      utc.wholeUnits(CalendarComponent::weekOfMonth, jan31, Date(feb->timeIntervalSince1970() + 1)),
      4);
  const auto year = utc.dateByAdding({.year = 1}, jan31);
  EXPECT_EQ(
      utc.wholeUnits(CalendarComponent::month, jan31, Date(year->timeIntervalSince1970() + 1)), 12);
  EXPECT_EQ(utc.wholeUnits(CalendarComponent::weekOfMonth, jan31,
                           Date(year->timeIntervalSince1970() + 1)),
            52);
  EXPECT_EQ(utc.dateByAdding({.day = std::int64_t{1} << 40}, jan31), std::nullopt);
  // The offset's own midnight: one day later in a zone one hour ahead.
  const FixedTimeZoneCalendar plusOne(3600);
  const auto next = plusOne.dateByAdding({.day = 1}, Date(1706655600));
  EXPECT_EQ(next->timeIntervalSince1970(), 1706655600 + 86400);
}

TEST(DecimalArithmeticTest, DivisionByZeroIsNotANumberAndRoundingIsExact) {
  const DecimalRoundingBehavior down{RoundingMode::down, 2};
  EXPECT_TRUE(isNaN(dividing(Decimal(1), Decimal(0), down)));
  EXPECT_TRUE(isNaN(dividing(notANumber(), Decimal(2), down)));
  EXPECT_EQ(dividing(dec("49.99"), Decimal(52), down).toString(), "0.96");
  EXPECT_EQ(dividing(dec("-1"), Decimal(3), down).toString(), "-0.34");
  struct Case {
    const char* value;
    RoundingMode mode;
    const char* expected;
  };
  for (const Case& c :
       {Case{"2.345", RoundingMode::plain, "2.35"}, Case{"-2.345", RoundingMode::plain, "-2.35"},
        Case{"2.345", RoundingMode::bankers, "2.34"}, Case{"2.355", RoundingMode::bankers, "2.36"},
        Case{"2.341", RoundingMode::up, "2.35"}, Case{"-2.349", RoundingMode::down, "-2.35"}}) {
    EXPECT_EQ(rounding(dec(c.value), {c.mode, 2}).toString(), c.expected) << c.value;
  }
  // 4.99 a week for seven days: an inexact 1 ÷ 7 would lose the cent.
  const auto week = *ExactFraction::of(dec("4.99")) * ExactFraction(7, 7);
  EXPECT_EQ(week.rounded(2, RoundingMode::down), (FixedPointDecimal{499, 2}));
  EXPECT_FALSE(ExactFraction(1) / ExactFraction(0));
  EXPECT_DOUBLE_EQ(ExactFraction(-1, 4).toDouble(), -0.25);
  // Long decimals are read whole, wherever the digit groups and the point fall.
  using Integer = ExactFraction::Integer;
  struct Long {
    const char* text;
    const char* units;
    const char* denominator;
  };
  for (const Long& c :
       {Long{"123456789012345678", "123456789012345678", "1"},
        Long{"1234567890123456789", "1234567890123456789", "1"},
        Long{"-98765432109876543210.5", "-987654321098765432105", "10"},
        Long{"0.000000000000000000000000000000000001", "1",
             "1000000000000000000000000000000000000"},
        Long{"31415926535897932384626433832795028841.971693993751058209",
             "31415926535897932384626433832795028841971693993751058209", "1000000000000000000"}}) {
    EXPECT_EQ(ExactFraction::of(dec(c.text)),
              ExactFraction(Integer(c.units), Integer(c.denominator)))
        << c.text;
  }
}

}  // namespace
}  // namespace quarn::platform
