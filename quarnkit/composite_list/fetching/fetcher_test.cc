// The fetch pipeline: filtering, includes, request building (serial and
// parallel), direct and nested fetches, the network request and its errors,
// results, text templates, cycles and log lines.
#include "quarnkit/composite_list/fetching/fetcher.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <regex>

#include "quarnkit/composite_list/fetching/fetcher_error.h"
#include "quarnkit/composite_list/testing/fetcher_fixtures.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/device.h"
#include "quarnkit/predicate/limits.h"
#include "quarnkit/testing/support.h"

namespace quarn {
namespace {

using quarn::testing::errorOf;

using testing::DirectBannerDescription;
using testing::errorText;
using testing::FetchLog;
using testing::InMemoryTemplates;
using testing::Items;
using testing::LogCapture;
using testing::Product;
using testing::PromoTemplateDescription;
using testing::TestEnvironment;
using testing::TestFailure;
using testing::TestFetcher;

std::vector<std::string> ids(const Items& items) {
  std::vector<std::string> out;
  for (const auto& i : items) out.push_back(i.uniqueId());
  return out;
}

std::vector<std::string> keys(const std::vector<CompositeListRequestParameters::Item>& requests) {
  std::vector<std::string> out;
  out.reserve(requests.size());
  for (const auto& r : requests) out.push_back(r.key);
  return out;
}

class FetcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_ = testing::fetcherRegistry();
    PromoTemplateDescription::registry = registry_;
    PromoTemplateDescription::sectionsJSON = "[]";
    templates_ = std::make_shared<InMemoryTemplates>(registry_);
  }
  void TearDown() override {
    DirectBannerDescription::log = nullptr;
    DirectBannerDescription::gate = nullptr;
    DirectBannerDescription::returnNoRequest = false;
  }

  std::shared_ptr<TestFetcher> fetcher(const std::string& json) {
    return CompositeListFetcher::make<TestFetcher>(registry_, decode(json), templates_,
                                                   CompositeListFetchMode::automatic, 20);
  }
  Items decode(const std::string& json) { return decodeCompositeListTemplate(json, registry_); }
  static Items fetch(TestFetcher& f) { return runUntilComplete(f.fetchCompositeList()); }

  platform::ScopedService<platform::Device> phone_{
      std::make_shared<platform::FixedDevice>(platform::UserInterfaceIdiom::phone)};
  std::shared_ptr<CompositeListItemsRegistry> registry_;
  std::shared_ptr<InMemoryTemplates> templates_;
};

TEST_F(FetcherTest, CombinedRequestAndResultsByKey) {
  LogCapture log;
  auto f = fetcher(R"([
    {"type":"banner","uniqueId":"hero","entityId":7},
    {"type":"divider"},
    {"type":"list","uniqueId":"picks","data":{"maxItems":2,"title":"Top ${count}"}},
    {"type":"banner","uniqueId":"late"}])");
  f->setTemplateKey("home");
  f->setEnvironment(std::make_shared<TestEnvironment>(ValueDictionary{{"count", 2}}));
  f->resultJSON = R"([
    {"key":"picks","result":[{"class":"Product","id":1,"name":"a"},{"class":"Product","id":2,"name":"b"}]},
    {"key":"hero","result":{"class":"Product","id":7,"name":"Seven"}},
    {"key":"nobody","result":[]}])";
  const Items items = fetch(*f);

  ASSERT_EQ(f->requests.size(), 1u);
  const auto& request = f->requests[0];
  EXPECT_EQ(request.key, "home");
  EXPECT_EQ(keys(request.items), (std::vector<std::string>{"hero", "divider_1", "picks", "late"}));
  EXPECT_EQ(request.items[2].type, CompositeListItemType::list);
  EXPECT_EQ(request.items[2].filters, Value({{"limit", 2}}));
  EXPECT_EQ(f->limits, std::vector<std::int64_t>{20});
  EXPECT_FALSE(f->currentTask());

  EXPECT_EQ(items[0].base<Product>()->entity(), (Product{7, "Seven"}));
  EXPECT_EQ(items[2].getEntityArray<CompositeListEntity<Product>>()->size(), 2u);
  EXPECT_FALSE(items[3].base<Product>()->entity());  // no result: template content kept
  EXPECT_EQ(items[2].data()->title, "Top 2");
  EXPECT_EQ(log.count("[CompositeListFetcher] Could not process the composite list result with "
                      "key 'nobody'"),
            1u);
  EXPECT_EQ(log.count("[CompositeListFetcher] Fetch finished, "), 1u);
}

TEST_F(FetcherTest, NoRequestItemsMeansNoRequest) {
  for (const std::string json : {"[]", R"([{"type":"direct","uniqueId":"found-1"}])"}) {
    SCOPED_TRACE(json);
    FetchLog log;
    DirectBannerDescription::log = &log;
    DirectBannerDescription::returnNoRequest = true;
    auto f = fetcher(json);
    const Items items = fetch(*f);
    EXPECT_TRUE(f->requests.empty());
    EXPECT_EQ(items.size(), json == "[]" ? 0u : 1u);
    // A direct fetch without a request item uses a fresh key.
    ASSERT_EQ(log.all().size(), items.size());
    for (const std::string& key : log.all()) {
      EXPECT_TRUE(std::regex_match(key, std::regex("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}")))
          << key;
    }
  }
}

TEST_F(FetcherTest, Includes) {
  templates_->documents = {
      {"three", R"([{"type":"banner","uniqueId":"x"},{"type":"banner","uniqueId":"y"},
                   {"type":"banner","uniqueId":"x"}])"},
      {"outer", R"([{"type":"banner","uniqueId":"o"},
                   {"type":"include","entity":{"key":"three","uniqueId":"y"}}])"},
      {"pad", R"([{"type":"banner","uniqueId":"p","predicate":"is_pad == true"},
                 {"type":"banner","uniqueId":"q"}])"},
  };
  struct Case {
    const char* name;
    std::string include;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"all", R"({"key":"three"})", {"x", "y", "x"}},
      {"by uniqueId, every match", R"({"key":"three","uniqueId":"x"})", {"x", "x"}},
      {"range within", R"({"key":"three","range":[0,2]})", {"x", "y", "x"}},
      {"range past the end", R"({"key":"three","range":[1,5]})", {}},
      {"negative lower bound", R"({"key":"three","range":[-1,1]})", {}},
      {"index", R"({"key":"three","index":1})", {"y"}},
      {"nested include", R"({"key":"outer"})", {"o", "y"}},
      {"included items filtered", R"({"key":"pad"})", {"q"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto f = fetcher(R"([{"type":"banner","uniqueId":"a"},{"type":"include","entity":)" +
                     c.include + R"(},{"type":"banner","uniqueId":"z"}])");
    f->setEnvironment(std::make_shared<TestEnvironment>());
    std::vector<std::string> expected = {"a"};
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    expected.push_back("z");
    EXPECT_EQ(ids(fetch(*f)), expected);
  }

  auto without = fetcher(R"([{"type":"include","entity":{"key":"three"}},{"type":"banner"}])");
  without->setTemplateProvider(nullptr);
  EXPECT_EQ(ids(fetch(*without)), std::vector<std::string>{"banner_1"});

  auto missing = fetcher(R"([{"type":"include","entity":{"key":"nope"}}])");
  EXPECT_EQ(errorText(errorOf([&] { fetch(*missing); })), "no template nope");
  EXPECT_TRUE(missing->requests.empty());
}

TEST_F(FetcherTest, IncludeCyclesEndTheFetch) {
  templates_->documents = {
      {"self", R"([{"type":"include","entity":{"key":"self"}}])"},
      {"a", R"([{"type":"banner","uniqueId":"in-a"},{"type":"include","entity":{"key":"b"}}])"},
      {"b", R"([{"type":"include","entity":{"key":"a"}}])"},
      // Not a cycle: the same template twice side by side, and a template
      // taking a part of itself that holds no include.
      {"twice", R"([{"type":"include","entity":{"key":"leaf"}},
                   {"type":"include","entity":{"key":"leaf"}}])"},
      {"leaf", R"([{"type":"banner","uniqueId":"leaf"},
                  {"type":"include","entity":{"key":"leaf","index":0}}])"},
  };
  auto cycleOf = [&](const std::string& key) {
    auto f = fetcher(R"([{"type":"include","entity":{"key":")" + key + R"("}}])");
    auto error = errorOf([&] { fetch(*f); });
    try {
      std::rethrow_exception(error);
    } catch (const CompositeListFetcherError& e) {
      EXPECT_EQ(e.kind, CompositeListFetcherError::Kind::includeCycle);
      return e.description();
    } catch (...) {
      return std::string("other error: ") + errorText(error);
    }
  };
  EXPECT_EQ(cycleOf("self"), R"(Include cycle: key "self" -> key "self")");
  EXPECT_EQ(cycleOf("a"), R"(Include cycle: key "a" -> key "b" -> key "a")");
  auto f = fetcher(R"([{"type":"include","entity":{"key":"twice"}}])");
  EXPECT_EQ(ids(fetch(*f)), (std::vector<std::string>{"leaf", "leaf", "leaf", "leaf"}));
}

/// Facts that change at every read: "round" counts the reads.
class CountingEnvironment final : public CompositeListEnvironment {
 public:
  [[nodiscard]] ValueDictionary environmentValues() const override { return {{"round", reads++}}; }
  [[nodiscard]] std::optional<bool> hasPremiumSubscription() const override { return std::nullopt; }
  mutable std::int64_t reads = 0;
};

TEST_F(FetcherTest, EachListIsFilteredWithTheFactsReadForIt) {
  // The top-level list and every included one, nested ones too, read the
  // facts when they are filtered, in that order.
  templates_->documents = {
      {"inner", R"([{"type":"banner","uniqueId":"c","predicate":"round == 2"}])"},
      {"outer", R"([{"type":"banner","uniqueId":"b","predicate":"round == 1"},
                   {"type":"include","entity":{"key":"inner"}}])"},
  };
  auto f = fetcher(R"([{"type":"banner","uniqueId":"a","predicate":"round == 0"},
                       {"type":"include","entity":{"key":"outer"}},
                       {"type":"include","entity":{"key":"inner"}},
                       {"type":"banner","uniqueId":"d","predicate":"round > 0"}])");
  auto environment = std::make_shared<CountingEnvironment>();
  f->setEnvironment(environment);
  // Reads 0 (top level), 1 (outer), 2 (inner within outer), 3 (inner), then
  // one for the text templates.
  EXPECT_EQ(ids(fetch(*f)), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(environment->reads, 5);
  EXPECT_EQ(ids(fetch(*f)), std::vector<std::string>{"d"});
  EXPECT_EQ(environment->reads, 10);

  // An expansion alone filters only the included lists (at 10, 11 and 12).
  Items alone = runUntilComplete(f->transformTemplateItems(f->templateItems()));
  EXPECT_EQ(ids(alone), (std::vector<std::string>{"a", "d"}));
  EXPECT_EQ(environment->reads, 13);
}

TEST_F(FetcherTest, OneFetchSharesOnePredicateBudget) {
  templates_->documents = {
      {"inner", R"([{"type":"banner","uniqueId":"c","predicate":"round < 0"},
                   {"type":"banner","uniqueId":"d","predicate":"round < 0"}])"},
  };
  const std::string json = R"([{"type":"banner","uniqueId":"a","predicate":"round < 0"},
                                {"type":"include","entity":{"key":"inner"}},
                                {"type":"banner","uniqueId":"b","predicate":"round < 0"}])";
  const auto environment = std::make_shared<TestEnvironment>(ValueDictionary{{"round", 1}});
  const std::string summary = "[CompositeListFetcher] The predicate budget of ";
  {
    LogCapture log;
    auto f = fetcher(json);
    f->setEnvironment(environment);
    EXPECT_TRUE(fetch(*f).empty());
    EXPECT_EQ(log.count(summary), 0u);
  }
  {
    // Nothing left: every predicate, included ones too, is a broken one and
    // hides nothing; one line for the whole fetch instead of one per item.
    LogCapture log;
    auto f = fetcher(json);
    f->setEnvironment(environment);
    f->setPredicateBudget(0);
    EXPECT_EQ(ids(fetch(*f)), (std::vector<std::string>{"a", "c", "d", "b"}));
    EXPECT_EQ(
        log.texts(LogLevel::error),
        std::vector<std::string>{summary + "0 steps is spent: 4 predicates were not evaluated and "
                                           "hide nothing"});
  }
}

TEST_F(FetcherTest, CostlyPredicatesStopOnceTheBudgetIsSpent) {
  // Each of these backtracks until the match's own bound stops it; without a
  // budget for the whole list, 200 of them would each take that long.
  std::string json = "[";
  for (int i = 0; i < 200; ++i) {
    json +=
        fmt::format(R"({}{{"type":"banner","uniqueId":"i{}","predicate":"s MATCHES '(a+)+$'"}})",
                    i == 0 ? "" : ",", i);
  }
  json += "]";
  auto f = fetcher(json);
  f->setEnvironment(
      std::make_shared<TestEnvironment>(ValueDictionary{{"s", std::string(40, 'a') + "!"}}));
  f->setPredicateBudget(5 * kRegexBaseTicks * kRegexStepsPerTick);
  LogCapture log;
  EXPECT_EQ(fetch(*f).size(), 200u);
  const std::vector<std::string> errors = log.texts(LogLevel::error);
  ASSERT_FALSE(errors.empty());
  std::smatch match;
  ASSERT_TRUE(std::regex_search(errors.back(), match, std::regex(": (\\d+) predicates were not")))
      << errors.back();
  EXPECT_GE(std::stoi(match[1]), 190);
  // The few evaluated before it was spent failed on their own bound.
  EXPECT_LE(errors.size(), 11u);
}

TEST_F(FetcherTest, DirectFetchesAndFetchModes) {
  FetchLog log;
  DirectBannerDescription::log = &log;
  auto f = fetcher(R"([
    {"type":"direct","uniqueId":"found-a"},
    {"type":"direct","uniqueId":"nothing-b"},
    {"type":"direct","uniqueId":"found-c","fetchMode":"compose"},
    {"type":"direct","uniqueId":"found-d","fetchMode":"individual"},
    {"type":"direct","uniqueId":"found-e","fetchMode":"one"}])");
  const Items items = fetch(*f);
  // Fetched directly: a and d (updated at once); b found nothing and falls
  // back to the combined request; c and e never fetch by themselves.
  EXPECT_EQ(log.all(), (std::vector<std::string>{"found-a", "nothing-b", "found-d"}));
  ASSERT_EQ(f->requests.size(), 1u);
  EXPECT_EQ(keys(f->requests[0].items),
            (std::vector<std::string>{"nothing-b", "found-c", "found-e"}));
  EXPECT_EQ(items[0].base<Product>()->entity(), (Product{1, "found-a"}));
  EXPECT_EQ(items[3].base<Product>()->entity(), (Product{1, "found-d"}));
}

TEST_F(FetcherTest, SkippedItemsAndTemplateProvidingItems) {
  PromoTemplateDescription::sectionsJSON =
      R"([{"type":"banner","uniqueId":"inner"},{"type":"direct","uniqueId":"found-in"}])";
  FetchLog log;
  DirectBannerDescription::log = &log;
  Items items = decode(R"([{"type":"direct","uniqueId":"found-skip"},
                           {"type":"promo_template","uniqueId":"promo"},
                           {"type":"banner","uniqueId":"outer"}])");
  std::static_pointer_cast<CompositeListSectionItemBase>(items[0].base())->setSkipFetching(true);
  std::static_pointer_cast<CompositeListSectionItemBase>(items[1].base())->setSkipFetching(true);
  items =
      Items{AnyCompositeListItem(items[0].base()), AnyCompositeListItem(items[1].base()), items[2]};
  auto f = CompositeListFetcher::make<TestFetcher>(registry_, items, templates_,
                                                   CompositeListFetchMode::automatic, 5);
  f->resultJSON = R"([{"key":"inner","result":{"class":"Product","id":3,"name":"in"}},
                      {"key":"outer","result":{"class":"Product","id":4,"name":"out"}}])";
  const Items out = fetch(*f);
  // The skipped banner was neither requested nor fetched; the template item
  // was fetched through a nested pipeline with its own request.
  EXPECT_EQ(log.all(), std::vector<std::string>{"found-in"});
  ASSERT_EQ(f->requests.size(), 2u);
  EXPECT_EQ(keys(f->requests[0].items), std::vector<std::string>{"inner"});
  EXPECT_EQ(keys(f->requests[1].items), std::vector<std::string>{"outer"});
  const auto nested = out[1].getEntityArray<AnyCompositeListItem>();
  ASSERT_TRUE(nested);
  EXPECT_EQ(ids(*nested), (std::vector<std::string>{"inner", "found-in"}));
  EXPECT_EQ((*nested)[0].base<Product>()->entity(), (Product{3, "in"}));
}

TEST_F(FetcherTest, TemplateCyclesEndTheFetch) {
  PromoTemplateDescription::sectionsJSON =
      R"([{"type":"banner"},{"type":"promo_template","uniqueId":"again"}])";
  auto f = fetcher(R"([{"type":"promo_template","uniqueId":"promo"}])");
  for (bool parallel : {false, true}) {
    f->setParallelMode(parallel);
    EXPECT_EQ(errorText(errorOf([&] { fetch(*f); })),
              "Template cycle: promo_template -> promo_template");
  }
}

TEST_F(FetcherTest, RequestBuildingFailuresAreLoggedAndSkipped) {
  class Failing : public RowsItemDescription {
   public:
    Async<std::optional<CompositeListRequestParameters::Item>> makeRequestParametersItem(
        const CompositeListItem&) const override {
      throw TestFailure("no filters today");
      co_return std::nullopt;
    }
  };
  registry_->register_<Failing>();
  LogCapture log;
  auto f = fetcher(R"([{"type":"rows","uniqueId":"r"},{"type":"banner","uniqueId":"b"}])");
  fetch(*f);
  EXPECT_EQ(keys(f->requests.at(0).items), std::vector<std::string>{"b"});
  EXPECT_EQ(log.count("[CompositeListFetcher] Failed to create CompositeListRequestParameters.Item "
                      "from 'rows' with error: no filters today"),
            1u);

  // Called directly for an item without a description.
  const AnyCompositeListItem stray(std::make_shared<CompositeListSectionItem<Product>>(
      "s", CompositeListItemType("stray"), std::optional<std::int64_t>{}));
  EXPECT_FALSE(runUntilComplete(f->requestParametersItem(stray)));
  EXPECT_EQ(log.count("[CompositeListFetcher] Failed to create CompositeListRequestParameters.Item "
                      "from 'stray'"),
            1u);
}

// Descriptions that keep the base class's request members have their
// requests made without the asynchronous calls; any that overrides one must
// be asked, however it was registered.
TEST_F(FetcherTest, OverriddenRequestMembersAreAskedHoweverRegistered) {
  class OwnFilters : public RowsItemDescription {
   public:
    Async<std::optional<ValueDictionary>> makeRequestParametersFilters(
        const CompositeListItem&) const override {
      co_return ValueDictionary{{"sort", "mine"}};
    }
  };
  static_assert(!kOverridesRequestMembers<RowsItemDescription>);
  static_assert(kOverridesRequestMembers<OwnFilters>);
  static_assert(kOverridesRequestMembers<DirectBannerDescription>);

  const std::string json =
      R"([{"type":"rows","uniqueId":"r","data":{"maxItems":3},"filters":{"a":1}}])";
  const auto filtersAsked = [&] {
    auto f = fetcher(json);
    fetch(*f);
    return f->requests.at(0).items.at(0).filters;
  };
  EXPECT_EQ(filtersAsked(), Value({{"limit", 3}, {"a", 1}}));  // the built-in, by default

  const auto own = std::make_shared<const OwnFilters>();
  registry_->register_(own);
  EXPECT_EQ(filtersAsked(), Value({{"sort", "mine"}}));
  // Known only as the class it derives from, or as any description.
  registry_->register_(std::shared_ptr<const RowsItemDescription>(own));
  EXPECT_FALSE(registry_->description(CompositeListItemType::rows)->buildsRequestsByDefault);
  EXPECT_EQ(filtersAsked(), Value({{"sort", "mine"}}));
  registry_->register_(std::shared_ptr<const CompositeListItemDescriptionBase>(own));
  EXPECT_EQ(filtersAsked(), Value({{"sort", "mine"}}));
}

TEST_F(FetcherTest, AFetcherOverridingTheItemRequestIsAskedForEveryItem) {
  // Counts what it is asked and marks what it answers.
  class AskingFetcher : public TestFetcher {
   public:
    using TestFetcher::TestFetcher;
    std::vector<std::string> asked;
    Async<std::optional<RequestItem>> requestParametersItem(AnyCompositeListItem item) override {
      asked.push_back(item.uniqueId());
      auto request = co_await TestFetcher::requestParametersItem(std::move(item));
      if (request) request->key += "!";
      co_return request;
    }
  };
  const std::string json = R"([
    {"type":"banner","uniqueId":"b","data":{"maxItems":2},"filters":{"c":"x"}},
    {"type":"rows","uniqueId":"r"},
    {"type":"list","uniqueId":"l","entityIds":[1]}])";
  for (const bool parallel : {false, true}) {
    auto plain = fetcher(json);
    auto asking = CompositeListFetcher::make<AskingFetcher>(registry_, decode(json), templates_,
                                                            CompositeListFetchMode::automatic, 20);
    plain->setParallelMode(parallel);
    asking->setParallelMode(parallel);
    fetch(*plain);
    fetch(*asking);
    EXPECT_EQ(asking->asked, (std::vector<std::string>{"b", "r", "l"})) << parallel;
    const auto& mine = plain->requests.at(0).items;
    const auto& theirs = asking->requests.at(0).items;
    ASSERT_EQ(mine.size(), 3u);
    ASSERT_EQ(theirs.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(theirs[i].key, mine[i].key + "!");
      EXPECT_EQ(theirs[i].type, mine[i].type);
      EXPECT_EQ(theirs[i].filters, mine[i].filters);
    }
    EXPECT_EQ(mine[0].filters, Value({{"limit", 2}, {"c", "x"}}));
  }
}

TEST_F(FetcherTest, ParallelModeKeepsTemplateOrder) {
  const std::string json = R"([
    {"type":"direct","uniqueId":"none-0"},
    {"type":"banner","uniqueId":"plain-1"},
    {"type":"direct","uniqueId":"found-2"},
    {"type":"direct","uniqueId":"none-3"},
    {"type":"banner","uniqueId":"plain-4"},
    {"type":"direct","uniqueId":"none-5"}])";
  auto serial = fetcher(json);
  fetch(*serial);

  DirectBannerDescription::Gate gate;
  FetchLog log;
  DirectBannerDescription::gate = &gate;
  DirectBannerDescription::log = &log;
  auto parallel = fetcher(json);
  parallel->setParallelMode(true);
  auto task = Task<Items>::spawn(mainExecutor(), parallel->fetchCompositeList());
  ASSERT_TRUE(runMainContextUntil([&] { return gate.size() == 4; }));
  // The children finish in reverse template order.
  for (const std::string key : {"none-5", "none-3", "found-2", "none-0"}) {
    gate.open(key);
    ASSERT_TRUE(runMainContextUntil([&] {
      const auto fetched = log.all();
      return !fetched.empty() && fetched.back() == key;
    }));
  }
  ASSERT_TRUE(runMainContextUntil([&] { return task.isFinished(); }));
  const Items items = runUntilComplete(task.value());
  ASSERT_EQ(parallel->requests.size(), 1u);
  EXPECT_EQ(parallel->requests[0].items, serial->requests[0].items);
  EXPECT_EQ(keys(parallel->requests[0].items),
            (std::vector<std::string>{"none-0", "plain-1", "none-3", "plain-4", "none-5"}));
  EXPECT_EQ(items[2].base<Product>()->entity(), (Product{1, "found-2"}));
}

TEST_F(FetcherTest, ParallelChildFailureCancelsTheOthers) {
  DirectBannerDescription::Gate gate;
  DirectBannerDescription::gate = &gate;
  auto f = fetcher(R"([{"type":"direct","uniqueId":"none-0"},{"type":"direct","uniqueId":"fail-1"},
                       {"type":"direct","uniqueId":"none-2"}])");
  f->setParallelMode(true);
  auto task = Task<Items>::spawn(mainExecutor(), f->fetchCompositeList());
  ASSERT_TRUE(runMainContextUntil([&] { return gate.size() == 3; }));
  gate.open("fail-1");
  ASSERT_TRUE(runMainContextUntil([&] { return task.isFinished(); }));
  EXPECT_EQ(errorText(errorOf([&] { runUntilComplete(task.value()); })),
            "direct fetch failed for fail-1");
  EXPECT_EQ(gate.size(), 0u);  // the others were cancelled while parked
  EXPECT_TRUE(f->requests.empty());
}

TEST_F(FetcherTest, NetworkErrors) {
  for (bool ignore : {false, true}) {
    SCOPED_TRACE(ignore);
    auto f = fetcher(R"([{"type":"banner","uniqueId":"b","data":{"title":"${name}"}}])");
    f->setEnvironment(std::make_shared<TestEnvironment>(ValueDictionary{{"name", "Ada"}}));
    f->failure = "offline";
    f->setIgnoreNetworkErrors(ignore);
    std::optional<Outcome<Items>> delivered;
    bool onMain = false;
    f->fetchCompositeList([&](Outcome<Items> outcome) {
      onMain = isOnMainContext();
      delivered.emplace(std::move(outcome));
    });
    EXPECT_FALSE(delivered);  // never before the call returns
    ASSERT_TRUE(runMainContextUntil([&] { return delivered.has_value(); }));
    EXPECT_TRUE(onMain);
    EXPECT_FALSE(f->currentTask());
    if (ignore) {
      ASSERT_TRUE(delivered->isSuccess());
      EXPECT_EQ(delivered->value()[0].data()->title, "Ada");
      EXPECT_FALSE(delivered->value()[0].base<Product>()->entity());
    } else {
      EXPECT_EQ(errorText(delivered->error()), "offline");
    }
  }
}

TEST_F(FetcherTest, CancalCancelsOnlyTheRequestInFlight) {
  auto clock = std::make_shared<platform::ManualClock>();
  platform::ScopedService<platform::TimerScheduler> timers(clock);
  auto f = fetcher(R"([{"type":"banner","uniqueId":"b"}])");
  f->cancal();  // nothing in flight: nothing happens
  f->waitForCancellation = true;
  auto task = Task<Items>::spawn(mainExecutor(), f->fetchCompositeList());
  ASSERT_TRUE(runMainContextUntil([&] { return f->currentTask().has_value(); }));
  f->cancal();
  ASSERT_TRUE(runMainContextUntil([&] { return task.isFinished(); }));
  EXPECT_TRUE(isCancellation(errorOf([&] { runUntilComplete(task.value()); })));
  EXPECT_FALSE(f->currentTask());

  f->setIgnoreNetworkErrors(true);  // a cancelled request is a network error like any other
  auto again = Task<Items>::spawn(mainExecutor(), f->fetchCompositeList());
  ASSERT_TRUE(runMainContextUntil([&] { return f->currentTask().has_value(); }));
  f->cancal();
  ASSERT_TRUE(runMainContextUntil([&] { return again.isFinished(); }));
  EXPECT_EQ(ids(runUntilComplete(again.value())), std::vector<std::string>{"b"});
  // The requests' bodies stop at their sleep on their own threads; the clock
  // they sleep on must outlive that.
  EXPECT_TRUE(runMainContextUntil([&] { return f->endedRequests() == f->requests.size(); }));
}

TEST_F(FetcherTest, LogsTheElapsedTimeOnEveryExit) {
  auto clock = std::make_shared<platform::ManualClock>();
  platform::ScopedService<platform::Clock> time(clock);
  platform::ScopedService<platform::TimerScheduler> timers(clock);
  for (const char* failure : {"", "offline"}) {
    LogCapture log;
    auto f = fetcher(R"([{"type":"banner"}])");
    f->latency = 2.5;
    if (*failure) f->failure = failure;
    auto task = Task<Items>::spawn(mainExecutor(), f->fetchCompositeList());
    ASSERT_TRUE(runMainContextUntil([&] { return clock->pendingCount() == 1; }));
    clock->advance(2.5);
    ASSERT_TRUE(runMainContextUntil([&] { return task.isFinished(); }));
    EXPECT_EQ(log.texts(LogLevel::debug),
              std::vector<std::string>{"[CompositeListFetcher] Fetch finished, 2.5"});
  }
}

TEST_F(FetcherTest, FailedTextTemplatesChangeNoRecord) {
  // Before the failing look-up: a banner, a nested template whose own second
  // item fails, and rows whose title fills but whose entity fails.
  PromoTemplateDescription::sectionsJSON =
      R"([{"type":"banner","uniqueId":"in","data":{"title":"In ${name}"}},
          {"type":"banner","uniqueId":"bad","data":{"title":"${list.@nope}"}}])";
  LogCapture log;
  auto f = fetcher(R"([{"type":"banner","uniqueId":"a","data":{"title":"${name}"}},
                       {"type":"promo_template","uniqueId":"promo","data":{"title":"${name}"}},
                       {"type":"rows","uniqueId":"r","data":{"title":"${name}"},
                        "entity":[{"text":"${name}"},{"text":"${list.@nope}"}]}])");
  f->setEnvironment(std::make_shared<TestEnvironment>(
      ValueDictionary{{"name", "Ada"}, {"list", Value::Array{1, 2}}}));
  const Items items = fetch(*f);
  ASSERT_EQ(items.size(), 3u);
  // The wrappers and the records they hold are as before templating began.
  for (const auto& item : items) {
    EXPECT_EQ(item.data()->title, "${name}") << item.uniqueId();
    EXPECT_EQ(item.base()->data()->title, "${name}") << item.uniqueId();
  }
  const auto nested = items[1].base<std::vector<AnyCompositeListItem>>()->entity();
  ASSERT_EQ(nested->size(), 2u);
  EXPECT_EQ(nested->front().base()->data()->title, "In ${name}");
  EXPECT_EQ(items[2].base<std::vector<CompositeListRow>>()->entity()->front().text, "${name}");
  // Once for the nested fetch, once for this one.
  EXPECT_EQ(log.count("[CompositeListFetcher] Could not perform text templates: Unsupported "
                      "collection operator @nope"),
            2u);

  // Without the list nothing fails: the same records fill as usual.
  f->setEnvironment(std::make_shared<TestEnvironment>(ValueDictionary{{"name", "Bo"}}));
  const Items filled = fetch(*f);
  EXPECT_EQ(filled[0].base()->data()->title, "Bo");
  EXPECT_EQ(filled[1].base<std::vector<AnyCompositeListItem>>()->entity()->front().data()->title,
            "In Bo");
  EXPECT_EQ(filled[2].base<std::vector<CompositeListRow>>()->entity()->front().text, "Bo");
}

TEST_F(FetcherTest, FetchingAgainFillsTheTemplateTextsWithTheCurrentValues) {
  // One fetcher fetches twice, its facts changed in between: the texts are
  // filled from the template each time, included templates' too.
  templates_->documents = {
      {"shared", R"([{"type":"banner","uniqueId":"s","data":{"title":"By ${name}"}}])"}};
  auto f = fetcher(R"([{"type":"banner","uniqueId":"b","data":{"title":"Hi ${name}"}},
                       {"type":"include","entity":{"key":"shared"}}])");
  for (const char* name : {"Ada", "Bob"}) {
    SCOPED_TRACE(name);
    f->setEnvironment(std::make_shared<TestEnvironment>(ValueDictionary{{"name", name}}));
    const Items items = fetch(*f);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].data()->title, std::string("Hi ") + name);
    EXPECT_EQ(items[1].data()->title, std::string("By ") + name);
  }
  EXPECT_EQ(f->templateItems()[0].data()->title, "Hi ${name}");
}

TEST_F(FetcherTest, StagesRunOnTheMainContext) {
  templates_->documents = {{"t", R"([{"type":"banner","uniqueId":"in"}])"}};
  auto f = fetcher("[]");
  const Items items = decode(R"([{"type":"include","entity":{"key":"t"}}])");
  auto work = f->transformTemplateItems(items);
  const Items out = runUntilComplete(runOn(concurrentExecutor(), std::move(work)));
  EXPECT_EQ(ids(out), std::vector<std::string>{"in"});
  EXPECT_TRUE(templates_->calledOnMain);
}

TEST_F(FetcherTest, ContextIsSeededOnceAndKept) {
  auto f = fetcher("[]");
  auto* generator = dynamic_cast<ArbitraryRandomNumberGenerator*>(&f->context()->randomGenerator());
  ASSERT_NE(generator, nullptr);
  EXPECT_LE(generator->seed(), 100000000u);
  const auto context = f->context();
  fetch(*f);
  EXPECT_EQ(f->context(), context);
}

TEST(FetcherDeathTest, TheRequestMustBeOverridden) {
  auto f = CompositeListFetcher::make(
      std::make_shared<CompositeListItemsRegistry>(),
      decodeCompositeListTemplate(R"([{"type":"divider"}])",
                                  std::make_shared<CompositeListItemsRegistry>()),
      nullptr, CompositeListFetchMode::automatic, 0);
  EXPECT_DEATH(runUntilComplete(f->fetchCompositeList()), "Fatal error");
}

}  // namespace
}  // namespace quarn
