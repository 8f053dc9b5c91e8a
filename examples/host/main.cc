// An app that brings its own screens, network layer, price texts and
// settings store, and uses the library for routing, the home screen, a
// paged list, a paywall's prices and a once-only event.
//
//   host_example <directory of the home screen's template files>
#include <cstdio>
#include <memory>
#include <string>

#include "feed.h"
#include "home.h"
#include "network.h"
#include "prices.h"
#include "quarnkit/concurrency/timed_event_manager.h"
#include "quarnkit/formatting/product_metadata.h"
#include "quarnkit/paging/paginated_data_source.h"
#include "quarnkit/paging/per_page_pagination.h"
#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/service.h"
#include "quarnkit/routing/navigator.h"
#include "screens.h"
#include "store.h"

namespace {

using quarn::AnyCompositeListItem;

void printItem(const AnyCompositeListItem& item, const quarn::CompositeListEnvironment& facts) {
  const auto& data = item.data();
  std::printf("- %s \"%s\": %s\n", item.type().rawValue.c_str(), item.uniqueId().c_str(),
              data && data->title ? data->title->c_str() : "");
  if (auto promos = item.entities<host::Promo>()) {
    for (const auto& promo : *promos) std::printf("    promo %s\n", promo.title.c_str());
  } else if (auto products = item.entities<host::Product>()) {
    for (const auto& p : *products) std::printf("    %s, %.2f\n", p.name.c_str(), p.price);
  } else if (auto list = item.entities<quarn::CompositeListEntity<host::Product>>()) {
    for (const auto& p : *list)
      std::printf("    %s, %.2f\n", p.base().name.c_str(), p.base().price);
  } else if (auto rows = item.getEntityArray<quarn::CompositeListRow>()) {
    // Rows have visibility rules of their own, checked against the same facts.
    for (const auto& row : quarn::filter(*rows, facts.hasPremiumSubscription(), &facts)) {
      std::printf("    %s%s\n", row.text.c_str(),
                  row.details ? (" · " + *row.details).c_str() : "");
    }
  }
}

void showHome(const std::string& directory, const std::shared_ptr<const host::Api>& api) {
  auto registry = host::makeRegistry();
  auto facts = std::make_shared<host::Facts>(host::readFile(directory + "/environment.json"));
  auto templates = std::make_shared<host::BundledTemplates>(directory + "/includes", registry);
  auto fetcher = quarn::CompositeListFetcher::make<host::HomeFetcher>(
      registry, host::decodeTemplate(host::readFile(directory + "/template.json"), registry),
      templates, api);
  fetcher->setEnvironment(facts);
  // Shuffled lists come out the same on every run.
  fetcher->setContext(std::make_shared<quarn::CompositeListContext>(
      std::make_shared<quarn::ArbitraryRandomNumberGenerator>(7)));

  bool done = false;
  fetcher->fetchCompositeList([&](quarn::Outcome<quarn::CompositeListFetcher::Items> outcome) {
    done = true;
    if (!outcome.isSuccess()) {
      std::printf("home failed\n");
      return;
    }
    std::printf("home: %zu items\n", outcome.value().size());
    for (const auto& item : outcome.value()) printItem(item, *facts);
  });
  quarn::runMainContextUntil([&] { return done; });
}

void pageThroughArticles(const std::shared_ptr<const host::Api>& api) {
  auto pages = std::make_shared<quarn::PerPagePagination>(
      3, 1, quarn::PerPagePagination::Keys{.perPage = "per-page", .page = "page"});
  auto source = quarn::PaginatedDataSource<host::ArticleFetcher>::make(
      std::make_shared<host::ArticleFetcher>(api), pages);
  do {
    bool done = false;
    source->fetchNextPage([&](std::optional<std::vector<host::Article>> page, std::exception_ptr) {
      done = true;
      std::string titles;
      for (const auto& article : page.value_or(std::vector<host::Article>{})) {
        titles += (titles.empty() ? "" : ", ") + article.title;
      }
      std::printf("page %lld: %s\n", static_cast<long long>(pages->currentPage()), titles.c_str());
    });
    quarn::runMainContextUntil([&] { return done; });
  } while (!pages->shouldHidePaginationControl() && !source->lastError());
  std::printf("articles: %zu of %lld\n", source->items().size(),
              static_cast<long long>(pages->totalCount()));
}

std::shared_ptr<const quarn::platform::SKProduct> product(
    const char* id, const char* price, quarn::platform::SKProductPeriodUnit unit) {
  quarn::platform::SKProduct p;
  p.productIdentifier = id;
  p.price = *quarn::Decimal::parse(price);
  p.priceLocale = "de_DE@currency=EUR";
  p.subscriptionPeriod = quarn::platform::SKProductSubscriptionPeriod{unit, 1};
  return std::make_shared<const quarn::platform::SKProduct>(std::move(p));
}

void printPaywallPrices(const std::shared_ptr<const quarn::platform::Clock>& clock) {
  using Unit = quarn::platform::SKProductPeriodUnit;
  const quarn::SKProductMetadataProvider provider(std::make_shared<host::CountPeriodFormatter>(),
                                                  std::make_shared<host::CodePriceFormatter>(),
                                                  nullptr, clock);
  const auto metas = provider.productsMetadata({product("weekly", "2.99", Unit::week),
                                                product("monthly", "9.99", Unit::month),
                                                product("yearly", "49.99", Unit::year)});
  auto text = [](const std::optional<std::string>& t) { return t ? t->c_str() : "-"; };
  for (const auto& meta : metas) {
    std::printf("%s: %s per %s, %s a week, %s at the weekly price",
                meta.productIdentifier().c_str(), text(meta.localizedPrice()),
                text(meta.localizedPeriod()), text(meta.localizedPricePerWeek()),
                text(meta.localizedRelativePrice()));
    if (meta.discountPercentage()) std::printf(", save %.0f%%", *meta.discountPercentage());
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <home template directory>\n", argv[0]);
    return 2;
  }
  const std::string directory = argv[1];
  // A fixed "now", so that dated items and recorded events print the same
  // on every run.
  auto clock = std::make_shared<quarn::platform::ManualClock>(
      *quarn::Date::parseISO8601("2024-05-01T10:00:00Z"));
  const quarn::platform::ScopedService<quarn::platform::Clock> installed(clock);

  host::LoopbackServer server(host::readFile(directory + "/results.json"), 7, 3);
  auto api = std::make_shared<const host::Api>(server.port());

  // Routing over the app's own screens.
  auto root = host::Stack::make(std::make_shared<host::Screen>("Home"));
  auto navigator =
      quarn::Navigator::make([root]() -> quarn::ViewControllerPtr { return host::topMost(root); });
  navigator->register_(
      "host://profile/<int:id>",
      [](const quarn::URLConvertible&, const quarn::URLMatchValues& values, const std::any&) {
        const auto id = std::any_cast<std::int64_t>(values.at("id"));
        return std::make_shared<host::Screen>("Profile(" + std::to_string(id) + ")");
      });
  navigator->register_("host://paywall", [](auto&, auto&, auto&) {
    return std::make_shared<host::Screen>("Paywall");
  });
  const auto profile = navigator->push("host://profile/42");
  auto settings = std::make_shared<host::SettingsStore>();
  auto events = quarn::TimedEventManager::make(settings, "host");
  for (int attempt = 0; attempt < 2; ++attempt) {
    // The paywall is offered once; the settings store remembers it.
    const auto result = events->executeOnce("paywall_offer", [&] {
      bool presented = false;
      navigator->present(
          "host://paywall", {}, nullptr, nullptr, true, [] { std::printf("paywall on screen\n"); },
          &presented);
      return presented;
    });
    std::printf("paywall offer: %s\n",
                result.kind == quarn::ExecuteResult::Kind::executed ? "shown" : "already shown");
  }
  for (const auto& key : settings->keys()) std::printf("settings: %s\n", key.c_str());
  // The profile screen presents the paywall already: it refuses another
  // screen, and the caller hears it.
  bool presented = true;
  navigator->present(std::make_shared<host::Screen>("Survey"), nullptr, profile, true, nullptr,
                     &presented);
  std::printf("survey presented: %s\n", presented ? "yes" : "no");
  std::printf("screens: %s\n", host::describe(root).c_str());

  showHome(directory, api);
  pageThroughArticles(api);
  printPaywallPrices(clock);
  return 0;
}
