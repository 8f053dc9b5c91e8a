// Product metadata against its floor, measured in the same run: every
// display text of 1,000 products (prices per period, relative prices,
// discounts, trial texts) against formatting each product's price once with
// ICU (counter "ratio", target at most 3), at both ways of counting relative
// periods, asked for in one call, in calls of 4 products (a paywall's) and
// one call per product.
#include <benchmark/benchmark.h>
#include <unicode/numberformatter.h>
#include <unicode/ucurr.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "quarnkit/formatting/product_metadata.h"

namespace quarn {
namespace {

using platform::SKProduct;
using platform::SKProductPeriodUnit;

const char* const kLocales[] = {"en_US", "de_DE", "ja_JP", "fr_FR", "en_GB", "pt_BR", "es_ES"};

// A catalogue shaped like a store's: weekly, monthly and yearly plans at
// price points ending in .99 (whole amounts in yen), a third of them with a
// free trial, in several storefronts.
std::vector<SKProductRef> catalogue(std::size_t n) {
  std::mt19937 random(42);
  const SKProductPeriodUnit units[] = {SKProductPeriodUnit::week, SKProductPeriodUnit::month,
                                       SKProductPeriodUnit::year};
  std::vector<SKProductRef> out;
  for (std::size_t i = 0; i < n; ++i) {
    auto p = std::make_shared<SKProduct>();
    p->productIdentifier = "com.example.plan" + std::to_string(i);
    p->priceLocale = kLocales[random() % std::size(kLocales)];
    const SKProductPeriodUnit unit = units[i % 3];
    p->subscriptionPeriod = platform::SKProductSubscriptionPeriod{unit, 1};
    const int base = unit == SKProductPeriodUnit::week    ? 5
                     : unit == SKProductPeriodUnit::month ? 15
                                                          : 80;
    const bool yen = p->priceLocale == std::string("ja_JP");
    const int whole = static_cast<int>(random() % base) + 1;
    p->price = yen ? Decimal(whole * 120) : *Decimal::parse(std::to_string(whole) + ".99");
    if (i % 3 == 2) {
      p->introductoryPrice = platform::SKProductDiscount{
          .price = Decimal(0),
          .priceLocale = p->priceLocale,
          .subscriptionPeriod = {SKProductPeriodUnit::day, 7},
          .paymentMode = platform::SKProductDiscountPaymentMode::freeTrial};
    }
    out.push_back(std::move(p));
  }
  return out;
}

void BM_ProductsMetadataVersusPriceFormatting(benchmark::State& state) {
  const std::vector<SKProductRef> products = catalogue(1000);
  std::map<std::string, icu::number::LocalizedNumberFormatter> icu;
  for (const char* locale : kLocales) {
    UErrorCode status = U_ZERO_ERROR;
    UChar code[4] = {};
    ucurr_forLocale(locale, code, 4, &status);
    icu.emplace(locale, icu::number::NumberFormatter::withLocale(icu::Locale(locale))
                            .unit(icu::CurrencyUnit(code, status)));
  }
  SKProductMetadataProvider provider(
      platform::DateComponentsFormatter(platform::DateComponentsFormatter::kDay |
                                            platform::DateComponentsFormatter::kWeekOfMonth |
                                            platform::DateComponentsFormatter::kMonth,
                                        platform::DateComponentsFormatter::UnitsStyle::full,
                                        "en_US"),
      platform::CurrencyFormatter("en_US"));
  if (state.range(0) != 0) {
    provider.relativePeriodCount = SKProductMetadataProvider::RelativePeriodCount::exactLength;
  }
  const auto perCall = static_cast<std::size_t>(state.range(1));
  std::vector<std::vector<SKProductRef>> calls;
  for (std::size_t i = 0; i < products.size(); i += perCall) {
    calls.emplace_back(
        products.begin() + static_cast<std::ptrdiff_t>(i),
        products.begin() + static_cast<std::ptrdiff_t>(std::min(i + perCall, products.size())));
  }
  bench::CPUPhaseTimer subject, floor;  // processor time: the machine is shared
  for (auto _ : state) {
    subject.time([&] {
      for (const auto& call : calls) benchmark::DoNotOptimize(provider.productsMetadata(call));
    });
    floor.time([&] {
      for (const SKProductRef& p : products) {
        UErrorCode status = U_ZERO_ERROR;
        const std::string text = p->price.toString();
        std::string out;
        icu.find(p->priceLocale)
            ->second.formatDecimal(text.c_str(), status)
            .toString(status)
            .toUTF8String(out);
        benchmark::DoNotOptimize(out);
      }
    });
  }
  bench::reportRatio(state, subject, floor, "metadata_ms", "icu_price_format_ms");
}
// exact:0 counts whole calendar units (the default), exact:1 exact lengths;
// per_call: products in each productsMetadata call.
BENCHMARK(BM_ProductsMetadataVersusPriceFormatting)
    ->ArgNames({"exact", "per_call"})
    ->ArgsProduct({{0, 1}, {1000, 4, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quarn

BENCHMARK_MAIN();
