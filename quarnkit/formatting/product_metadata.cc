#include "quarnkit/formatting/product_metadata.h"

#include <cmath>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "quarnkit/core/log.h"
#include "quarnkit/formatting/subscription_period.h"
#include "quarnkit/platform/calendar.h"
#include "quarnkit/platform/decimal_arithmetic.h"
#include "quarnkit/platform/runtime/clock.h"

namespace quarn {

using platform::ExactFraction;
using platform::FixedPointDecimal;
using platform::RoundingMode;
using platform::SKProduct;
using platform::SKProductSubscriptionPeriod;

namespace {

// An amount both exact and ready to format.
struct Amount {
  ExactFraction exact;
  std::optional<FixedPointDecimal> fixed;  // when it fits
  Decimal decimal;
};

// Store prices beyond this are input errors, not prices.
constexpr std::int64_t kLargestPrice = 1'000'000'000'000'000;
const ExactFraction& largestPrice() {
  static const ExactFraction limit(kLargestPrice);
  return limit;
}

bool withinLargestPrice(const Decimal& price) {
  return Decimal(-kLargestPrice) < price && price < Decimal(kLargestPrice);
}

// A price as a message shows it: plain digits within the range of prices,
// exponent notation beyond it (1e300000 would be a line of 300,001 digits).
std::string describedPrice(const Decimal& price) {
  if (!platform::isFinite(price)) return "NaN";
  if (withinLargestPrice(price)) return price.toString();
  std::string text = price.backend().str(17, std::ios_base::scientific);
  const auto e = text.find('e');
  auto last = text.find_last_not_of('0', e - 1);
  if (text[last] == '.') --last;
  return text.erase(last + 1, e - last - 1);
}

std::optional<Amount> usablePrice(const Decimal& price, const std::string& productIdentifier) {
  std::optional<ExactFraction> exact;
  std::optional<FixedPointDecimal> fixed;
  // The magnitude first: the exact value of a price of 1e300000 has 300,001
  // digits and takes seconds to build.
  if (platform::isFinite(price) && withinLargestPrice(price)) {
    fixed = platform::FixedPointDecimal::of(price);
    exact = fixed ? ExactFraction::of(*fixed) : ExactFraction::of(price);
  }
  if (!exact || exact->sign() < 0 || !(*exact < largestPrice())) {
    defaultLogger().log(LogLevel::warning,
                        "[SKProductMetadataProvider] Product {} has no usable price ({})",
                        productIdentifier, describedPrice(price));
    return std::nullopt;
  }
  return Amount{std::move(*exact), fixed, price};
}

std::optional<std::string> format(const PriceFormatter& formatter, const Amount& amount) {
  return amount.fixed ? formatter.exactString(*amount.fixed) : formatter.string(amount.decimal);
}

// An exact amount rounded once for display.
std::optional<std::string> format(const PriceFormatter& formatter, const ExactFraction& value,
                                  int scale, RoundingMode mode) {
  if (const auto fixed = value.rounded(scale, mode)) return formatter.exactString(*fixed);
  return formatter.string(value.roundedDecimal(scale, mode));
}

// A per-period price in cents, made nice when asked.
std::optional<std::string> formatPerPeriod(const PriceFormatter& formatter,
                                           const ExactFraction& value, RoundingMode mode,
                                           bool nice) {
  std::optional<FixedPointDecimal> cents = value.rounded(2, mode);
  if (!cents) return format(formatter, value, 2, mode);
  if (nice) {
    if (const auto n = detail::niceRoundedCents(cents->units)) cents->units = *n;
  }
  return formatter.exactString(*cents);
}

}  // namespace

// Clones of the prototype price formatter, each set to a locale, kept
// between calls: making one (an ICU formatter for the locale) costs more than
// all the formatting of a paywall. A call takes the clones it needs out and
// puts them back when it ends, so no two calls format with one clone at once.
// Shared by copies of a provider, which share the prototype too.
class SKProductMetadataProvider::FormatterPool {
 public:
  std::unique_ptr<PriceFormatter> take(const PriceFormatter& prototype, const std::string& locale) {
    {
      const std::lock_guard lock(mutex_);
      if (auto it = idle_.find(locale); it != idle_.end()) {
        std::unique_ptr<PriceFormatter> f = std::move(it->second);
        idle_.erase(it);
        return f;
      }
    }
    std::unique_ptr<PriceFormatter> f = prototype.clone();
    f->setLocaleIdentifier(locale);
    return f;
  }

  void give(std::string locale, std::unique_ptr<PriceFormatter> formatter) {
    const std::lock_guard lock(mutex_);
    // Enough for the storefronts of a catalogue and a few calls at once.
    if (idle_.size() < kMostKept) idle_.emplace(std::move(locale), std::move(formatter));
  }

 private:
  static constexpr std::size_t kMostKept = 64;
  std::mutex mutex_;
  std::multimap<std::string, std::unique_ptr<PriceFormatter>, std::less<>> idle_;
};

namespace {

// A product's period and the relative product's normalized one.
using PeriodPair = std::tuple<std::uint32_t, std::int64_t, std::uint32_t, std::int64_t>;

PeriodPair periodPair(const SKProductSubscriptionPeriod& p, const SKProductSubscriptionPeriod& r) {
  return {static_cast<std::uint32_t>(p.unit), p.numberOfUnits, static_cast<std::uint32_t>(r.unit),
          r.numberOfUnits};
}

// The calendar system, time zone and second of the clock relative counts are
// made in.
struct Moment {
  std::string calendar;
  std::string timeZone;
  double second = 0;

  friend bool operator==(const Moment&, const Moment&) = default;
};

}  // namespace

// Relative counts kept between calls for one moment: every call in the same
// second, calendar system and time zone reads them instead of counting again.
// The library's calendar arithmetic gives every instant of a second the same
// count: it adds on wall-clock fields, and time zone offsets and their
// changes fall on whole seconds, so moving "now" within its second moves
// "now plus the period" and each "now plus k units" by that same part of a
// second (to the millisecond), while the instants compared stay whole seconds
// apart. A count is made at the start of the second; a new second, calendar
// system or time zone starts over.
class SKProductMetadataProvider::CountMemory {
 public:
  std::optional<std::int64_t> find(const Moment& moment, const PeriodPair& pair) {
    const std::lock_guard lock(mutex_);
    if (!(moment_ == moment)) return std::nullopt;
    for (const auto& [kept, count] : counts_) {
      if (kept == pair) return count;
    }
    return std::nullopt;
  }

  void keep(const Moment& moment, const PeriodPair& pair, std::int64_t count) {
    const std::lock_guard lock(mutex_);
    if (!(moment_ == moment)) {
      moment_ = moment;
      counts_.clear();
    }
    // A catalogue has a few periods; more pairs are counted at each call.
    if (counts_.size() < kMostKept) counts_.emplace_back(pair, count);
  }

 private:
  static constexpr std::size_t kMostKept = 32;
  std::mutex mutex_;
  Moment moment_;
  std::vector<std::pair<PeriodPair, std::int64_t>> counts_;
};

// What the products of one productsMetadata() call share: the relative
// product's price, relative counts (products share a few periods, and
// calendar arithmetic is slow), the calendar and moment they are counted in,
// and the formatters taken from the pool.
struct SKProductMetadataProvider::RelativeCounts {
  explicit RelativeCounts(FormatterPool& from) : pool(from) {}
  RelativeCounts(const RelativeCounts&) = delete;
  RelativeCounts& operator=(const RelativeCounts&) = delete;
  ~RelativeCounts() {
    for (auto& [locale, formatter] : formatters) pool.give(locale, std::move(formatter));
  }

  std::map<PeriodPair, std::int64_t> counts;
  std::shared_ptr<const platform::Calendar> calendar;  // once a count is needed
  std::optional<Moment> moment;                        // for the library's arithmetic
  const platform::SKProduct* relative = nullptr;
  std::optional<Amount> relativePrice;

  // One formatter per price locale of the list.
  FormatterPool& pool;
  std::map<std::string, std::unique_ptr<PriceFormatter>, std::less<>> formatters;

  const PriceFormatter& formatter(const PriceFormatter& prototype, const std::string& locale) {
    auto it = formatters.find(locale);
    if (it == formatters.end()) it = formatters.emplace(locale, pool.take(prototype, locale)).first;
    return *it->second;
  }

  const std::optional<Amount>& priceOf(const platform::SKProduct& product) {
    if (relative != &product) {
      relative = &product;
      relativePrice = usablePrice(product.price, product.productIdentifier);
    }
    return relativePrice;
  }
};

// How many whole relative units (of R's unit) the period P holds, from now,
// counted once per call.
std::int64_t SKProductMetadataProvider::relativeCount(const SKProductSubscriptionPeriod& p,
                                                      const SKProductSubscriptionPeriod& r,
                                                      RelativeCounts& counts) const {
  const PeriodPair pair = periodPair(p, r);
  auto it = counts.counts.find(pair);
  if (it == counts.counts.end()) {
    it = counts.counts.emplace(pair, isPriceable(r) ? calendarCount(p, r, counts) : 0).first;
  }
  return it->second;
}

std::int64_t SKProductMetadataProvider::calendarCount(const SKProductSubscriptionPeriod& p,
                                                      const SKProductSubscriptionPeriod& r,
                                                      RelativeCounts& counts) const {
  const auto component = dateComponent(r.unit);
  if (!component) return 0;
  if (!counts.calendar) counts.calendar = calendar_ ? calendar_ : platform::Calendar::current();
  const platform::Calendar& calendar = *counts.calendar;
  const auto clock = clock_ ? clock_ : platform::Clock::current();
  // The extra second absorbs the time between the two readings of the clock.
  if (!calendar.hasDefaultArithmetic()) {
    // A host's arithmetic: counted afresh.
    const std::optional<Date> end = calendar.dateByAdding(dateComponets(p), clock->now());
    if (!end) return 0;
    return calendar.wholeUnits(*component, clock->now(), Date(end->timeIntervalSince1970() + 1))
        .value_or(0);
  }
  if (!counts.moment) {
    counts.moment = Moment{calendar.identifier(), calendar.timeZoneIdentifier(),
                           std::floor(clock->now().timeIntervalSince1970())};
  }
  const PeriodPair pair = periodPair(p, r);
  if (const auto kept = counts_->find(*counts.moment, pair)) return *kept;
  const Date start(counts.moment->second);
  const std::optional<Date> end = calendar.dateByAdding(dateComponets(p), start);
  const std::int64_t count =
      end ? calendar.wholeUnits(*component, start, Date(end->timeIntervalSince1970() + 1))
                .value_or(0)
          : 0;
  counts_->keep(*counts.moment, pair, count);
  return count;
}

SKProductMetadataProvider::SKProductMetadataProvider()
    : SKProductMetadataProvider(std::shared_ptr<const PeriodFormatter>(),
                                std::shared_ptr<const PriceFormatter>()) {}

SKProductMetadataProvider::SKProductMetadataProvider(
    std::shared_ptr<const PeriodFormatter> dateComponentsFormatter,
    std::shared_ptr<const PriceFormatter> priceFormatter,
    std::shared_ptr<const platform::Calendar> calendar,
    std::shared_ptr<const platform::Clock> clock)
    : dateComponentsFormatter_(dateComponentsFormatter
                                   ? std::move(dateComponentsFormatter)
                                   : std::make_shared<const DateComponentsPeriodFormatter>()),
      priceFormatter_(priceFormatter ? std::move(priceFormatter)
                                     : std::make_shared<const CurrencyPriceFormatter>()),
      calendar_(std::move(calendar)),
      clock_(std::move(clock)),
      formatters_(std::make_shared<FormatterPool>()),
      counts_(std::make_shared<CountMemory>()) {}

SKProductMetadataProvider::SKProductMetadataProvider(
    platform::DateComponentsFormatter dateComponentsFormatter,
    platform::CurrencyFormatter priceFormatter)
    : SKProductMetadataProvider(
          std::make_shared<const DateComponentsPeriodFormatter>(std::move(dateComponentsFormatter)),
          std::make_shared<const CurrencyPriceFormatter>(std::move(priceFormatter))) {}

std::optional<SKProductMeta> SKProductMetadataProvider::metadata(
    const SKProductRef& product, const SKProductRef& relativeProduct) const {
  RelativeCounts counts(*formatters_);
  return metadata(product, relativeProduct, counts);
}

std::vector<SKProductMeta> SKProductMetadataProvider::productsMetadata(
    const std::vector<SKProductRef>& products, const SKProductRef& relativeProduct) const {
  const SKProductRef relative = relativeProduct ? relativeProduct : getRelativeProduct(products);
  RelativeCounts counts(*formatters_);
  std::vector<SKProductMeta> out;
  out.reserve(products.size());
  for (const SKProductRef& product : products) {
    if (auto meta = metadata(product, relative, counts)) out.push_back(std::move(*meta));
  }
  return out;
}

SKProductRef SKProductMetadataProvider::getRelativeProduct(
    const std::vector<SKProductRef>& products) {
  using platform::SKProductPeriodUnit;
  for (const SKProductRef& p : products) {
    if (p && p->subscriptionPeriod &&
        normalized(*p->subscriptionPeriod) ==
            SKProductSubscriptionPeriod{SKProductPeriodUnit::week, 1}) {
      return p;
    }
  }
  for (const SKProductRef& p : products) {
    if (p && p->subscriptionPeriod &&
        *p->subscriptionPeriod == SKProductSubscriptionPeriod{SKProductPeriodUnit::month, 1}) {
      return p;
    }
  }
  return nullptr;
}

std::optional<SKProductMeta> SKProductMetadataProvider::metadata(
    const SKProductRef& product, const SKProductRef& relativeProduct,
    RelativeCounts& counts) const {
  if (!product || !product->subscriptionPeriod) return std::nullopt;
  const SKProduct& p = *product;
  const SKProductSubscriptionPeriod& period = *p.subscriptionPeriod;
  const bool priceable = isPriceable(period);
  const PriceFormatter* formatter = &counts.formatter(*priceFormatter_, p.priceLocale);

  SKProductMeta::Fields f;
  f.product = product;
  const std::optional<Amount> price = usablePrice(p.price, p.productIdentifier);
  if (price) f.localizedPrice = format(*formatter, *price);
  if (priceable) f.localizedPeriod = dateComponentsFormatter_->string(dateComponets(period));

  if (price && priceable) {
    auto perUnit = [&](detail::PriceUnit unit) {
      const auto perPeriod = price->exact / *detail::unitsInPeriod(period, unit);
      return formatPerPeriod(*formatter, *perPeriod, RoundingMode::down, allowsNiceRounding);
    };
    f.localizedPricePerYear = perUnit(detail::PriceUnit::year);
    f.localizedPricePerMonth = perUnit(detail::PriceUnit::month);
    f.localizedPricePerWeek = perUnit(detail::PriceUnit::week);
  }

  const SKProduct* relative = relativeProduct.get();
  if (relative && relative->subscriptionPeriod && price && priceable) {
    const SKProductSubscriptionPeriod r = normalized(*relative->subscriptionPeriod);
    const std::int64_t count = relativeCount(period, r, counts);
    const std::optional<Amount> noPrice;
    const std::optional<Amount>& relativePrice = count > 0 ? counts.priceOf(*relative) : noPrice;
    if (relativePrice) {
      // How many relative units this period is: the whole calendar units
      // counted above, or its exact length in them (a month is 365/84 weeks).
      ExactFraction units(count);
      if (relativePeriodCount == RelativePeriodCount::exactLength) {
        units = ExactFraction(*detail::lengthInTwelfthsOfADay(period),
                              *detail::lengthInTwelfthsOfADay({r.unit, 1}));
      }
      const ExactFraction total = *(relativePrice->exact / ExactFraction(r.numberOfUnits)) * units;
      f.localizedRelativePrice =
          format(*formatter, total, formatter->maximumFractionDigits(), RoundingMode::bankers);
      if (!total.isZero()) {
        const ExactFraction discount =
            (ExactFraction(1) - *(price->exact / total)) * ExactFraction(100);
        if (!discount.isZero()) f.discountPercentage = static_cast<float>(discount.toDouble());
      }
      f.localizedPricePerRelativePeriod = formatPerPeriod(*formatter, *(price->exact / units),
                                                          RoundingMode::plain, allowsNiceRounding);
    }
  }

  if (const auto& offer = p.introductoryPrice) {
    formatter = &counts.formatter(*priceFormatter_, offer->priceLocale);
    if (const auto offerPrice = usablePrice(offer->price, p.productIdentifier)) {
      f.localizedIntroductoryPrice = format(*formatter, *offerPrice);
    }
    if (isPriceable(offer->subscriptionPeriod)) {
      f.localizedIntroductoryPeriod =
          dateComponentsFormatter_->string(dateComponets(offer->subscriptionPeriod));
    }
  }
  return SKProductMeta(p.productIdentifier, std::move(f));
}

Value::Object toVars(const SKProduct& product) {
  Value::Object vars;
  vars.set("id", Value(product.productIdentifier));
  vars.set("title", Value(product.localizedTitle));
  vars.set("description", Value(product.localizedDescription));
  vars.set("price", Value(product.price.toDouble()));
  if (product.subscriptionPeriod) {
    const SKProductSubscriptionPeriod n = normalized(*product.subscriptionPeriod);
    Value::Object period;
    period.set("unit", Value(static_cast<std::uint32_t>(n.unit)));
    period.set("value", Value(n.numberOfUnits));
    vars.set("period", Value(std::move(period)));
  }
  return vars;
}

}  // namespace quarn
