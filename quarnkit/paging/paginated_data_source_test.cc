// The paginated data source with the real page fetcher and HTTP client
// against the loopback server: merging pages, ending the walk (also without
// a total header), duplicates, insertion order, randomised next pages,
// reload rules on the manual clock, superseded fetches, failures, the
// awaiting form and the foreground notification.
#include "quarnkit/paging/paginated_data_source.h"

#include <gtest/gtest.h>

#include <deque>

#include "quarnkit/http/session.h"
#include "quarnkit/http/testing/http_fixtures.h"
#include "quarnkit/paging/decodable_page_fetcher.h"
#include "quarnkit/paging/key_pagination.h"
#include "quarnkit/paging/page_request.h"
#include "quarnkit/platform/application_lifecycle.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/runtime/task.h"
#include "quarnkit/testing/loopback_server.h"

namespace quarn {
namespace {

using quarn::testing::LogCapture;
using quarn::testing::LoopbackServer;
using quarn::testing::PagedCollection;
using quarn::testing::runUntil;

struct Article {
  std::int64_t id = 0;
  std::string name;
  static Article decode(Decoder& d) {
    auto c = d.container();
    return {c->decode<std::int64_t>("id"), c->decodeIfPresent<std::string>("name").value_or("")};
  }
  friend bool operator==(const Article&, const Article&) = default;
};

using Fetcher = AlamofireDecodablePageFetcher<Article>;
using Source = PaginatedDataSource<Fetcher>;
using Items = std::vector<Article>;

std::vector<std::int64_t> ids(const Items& items) {
  std::vector<std::int64_t> out;
  for (const auto& a : items) out.push_back(a.id);
  return out;
}

/// A response the scripted route sends.
struct Scripted {
  int status = 200;
  std::string body;
  httplib::Headers headers = {};
  int delayMs = 0;
};

/// What one fetch's completion received.
struct Delivery {
  std::optional<Items> results;
  std::exception_ptr error;
};

/// Records the updates a data source feeds its scheme.
class RecordingPagination final : public EncodablePagination {
 public:
  struct Update {
    std::int64_t items, added;
    std::optional<std::int64_t> total;
    friend bool operator==(const Update&, const Update&) = default;
  };
  [[nodiscard]] std::vector<std::string> keys() const override { return {}; }
  [[nodiscard]] std::optional<Value> value(std::string_view) const override { return {}; }
  [[nodiscard]] bool isFirstPage() const override { return updates.empty(); }
  [[nodiscard]] bool shouldHidePaginationControl() const override { return false; }
  [[nodiscard]] std::int64_t currentPage() const override { return 0; }
  [[nodiscard]] std::int64_t totalCount() const override { return 0; }
  void update(std::int64_t items, std::int64_t added, std::optional<std::int64_t> total) override {
    updates.push_back({items, added, total});
  }
  void reset() override { updates.clear(); }
  std::vector<Update> updates;
};

class Counter final : public PaginatedDataSourceObserver {
 public:
  void paginatedDataSourceDidUpdate() override { ++count; }
  int count = 0;
};

class PaginatedDataSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto full = std::make_shared<PagedCollection>();
    full->count = 45;
    testing::servePages(server.routes(), "/items", full);
    auto bare = std::make_shared<PagedCollection>(*full);
    bare->sendTotalCount = false;
    bare->sendPageHeaders = false;
    testing::servePages(server.routes(), "/bare", bare);
    server.routes().Get("/script", [this](const httplib::Request&, httplib::Response& res) {
      Scripted next;
      {
        const std::lock_guard lock(scriptMutex);
        if (!script.empty()) {
          next = script.front();
          script.pop_front();
        }
      }
      if (next.delayMs > 0) server.hold(std::chrono::milliseconds(next.delayMs));
      res.status = next.status;
      for (const auto& [name, value] : next.headers) res.set_header(name, value);
      res.set_content(next.body, "application/json");
    });
    server.start();
  }

  void play(std::vector<Scripted> responses) {
    const std::lock_guard lock(scriptMutex);
    script.assign(responses.begin(), responses.end());
  }

  std::shared_ptr<Fetcher> fetcherFor(const std::string& path) {
    return Fetcher::make(JSONDecoder(), [this, path](const Pagination* p) {
      const URL url = *URL::parse(server.url(path));
      return session.request(p ? urlWithParameters(url, p->parameters()) : url);
    });
  }

  /// A data source over `path` paged twenty to a page by page numbers.
  std::shared_ptr<Source> paged(const std::string& path = "/items") {
    return Source::make(fetcherFor(path), PerPagePagination(20, 1, {"per-page", "page"}));
  }
  /// A data source over the scripted route, recording its scheme's updates.
  std::shared_ptr<Source> scripted(
      std::shared_ptr<RecordingPagination> scheme = std::make_shared<RecordingPagination>()) {
    return Source::make(fetcherFor("/script"), std::move(scheme));
  }

  /// Starts a fetch with `start`, which must accept it, and runs until its
  /// completion came.
  template <class Start>
  static Delivery complete(Start start) {
    std::optional<Delivery> delivery;
    EXPECT_TRUE(start([&](std::optional<Items> results, std::exception_ptr error) {
      delivery = Delivery{std::move(results), std::move(error)};
    }));
    runUntil([&] { return delivery.has_value(); });
    return delivery.value_or(Delivery{});
  }
  static Delivery fetch(Source& source) {
    return complete([&](Source::Completion c) { return source.fetchNextPage(std::move(c)); });
  }
  static Delivery reloadIfNeeded(Source& source) {
    return complete(
        [&](Source::Completion c) { return source.reloadIfNeeded(false, std::move(c)); });
  }

  /// Fetches until the scheme hides the control (at most `limit` fetches);
  /// returns how many it took.
  static int walk(Source& source, int limit = 10) {
    int fetches = 0;
    while (fetches < limit) {
      fetch(source);
      ++fetches;
      if (source.pagination()->shouldHidePaginationControl()) break;
    }
    return fetches;
  }

  // The script outlives the server, whose handlers read it until it has
  // stopped; the session goes first.
  std::mutex scriptMutex;
  std::deque<Scripted> script;
  LoopbackServer server;
  http::Session session;
};

TEST_F(PaginatedDataSourceTest, PagesMergeUntilTheLastAndTheObserversHearOfEach) {
  auto source = paged();
  // What a screen sees, whatever the fetcher.
  static_assert(std::same_as<PaginatedDataSourceProtocol<Article>::ItemType, Article>);
  const std::shared_ptr<const PaginatedDataSourceProtocol<Article>> screen = source;
  auto counter = std::make_shared<Counter>();
  source->observers.add(counter);
  std::vector<std::size_t> pageSizes;
  source->didCompletionFetch = [&](const std::optional<Items>& results, const std::exception_ptr&) {
    pageSizes.push_back(results ? results->size() : 0);
  };
  EXPECT_EQ(walk(*source), 3);
  EXPECT_EQ(source->items().size(), 45u);
  EXPECT_EQ(&screen->items(), &source->items());
  EXPECT_EQ(screen->items().back(), (Article{45, "item 45"}));
  EXPECT_EQ(pageSizes, (std::vector<std::size_t>{20, 20, 5}));
  EXPECT_EQ(counter->count, 3);
  EXPECT_EQ(source->numberOfPages(), 3);
  EXPECT_GT(source->lastReloadTimestamp(), 0);
  // Reloading starts over: the first page replaces the items.
  complete([&](Source::Completion c) { return source->reload(std::move(c)); });
  EXPECT_EQ(source->items().size(), 20u);
}

TEST_F(PaginatedDataSourceTest, WithoutATotalHeaderTheWalkStillEnds) {
  // Page numbers: the empty fourth page ends it.
  auto pages = paged("/bare");
  EXPECT_EQ(walk(*pages), 4);
  EXPECT_EQ(pages->items().size(), 45u);
  // Offsets move on with the items held, without a total too.
  auto offsets = Source::make(fetcherFor("/bare"), OffsetLimitPagination(20, 0));
  EXPECT_EQ(walk(*offsets), 4);
  EXPECT_EQ(offsets->items().size(), 45u);
  EXPECT_EQ(ids(offsets->items()).back(), 45);
}

TEST_F(PaginatedDataSourceTest, APrimaryKeySchemeContinuesFromTheLastItemHeld) {
  std::shared_ptr<Source> source;
  auto scheme = PrimaryKeyPagination::make(
      20, 0, [&] { return source->items().empty() ? 0 : source->items().back().id; });
  source = Source::make(fetcherFor("/items"), scheme);
  quarn::testing::StdoutCapture printed;
  fetch(*source);
  fetch(*source);
  EXPECT_EQ(ids(source->items()).back(), 40);
  EXPECT_EQ(scheme->id(), 40);  // the creator sees the same scheme
  EXPECT_EQ(printed.lines().size(), 2u);
}

TEST_F(PaginatedDataSourceTest, DuplicatesOfHeldItemsAreDroppedButAPageIsNotComparedWithItself) {
  auto scheme = std::make_shared<RecordingPagination>();
  auto source = scripted(scheme);
  play({{200, R"([{"id": 1}, {"id": 2}])"}, {200, R"([{"id": 2}, {"id": 3}, {"id": 3}])"}});
  fetch(*source);
  const Delivery second = fetch(*source);
  EXPECT_EQ(ids(source->items()), (std::vector<std::int64_t>{1, 2, 3, 3}));
  // The completion receives the page as it came.
  EXPECT_EQ(ids(*second.results), (std::vector<std::int64_t>{2, 3, 3}));
  // No total header: the scheme is told the total is unknown.
  EXPECT_EQ(scheme->updates,
            (std::vector<RecordingPagination::Update>{{2, 2, std::nullopt}, {4, 2, std::nullopt}}));
  // With the filter off everything is kept.
  auto all = scripted();
  all->filterUniqueItems = false;
  play({{200, R"([{"id": 1}])"}, {200, R"([{"id": 1}])"}});
  fetch(*all);
  fetch(*all);
  EXPECT_EQ(ids(all->items()), (std::vector<std::int64_t>{1, 1}));
}

// An identity whose comparisons are counted: the filter must not compare
// every received item with every held one.
struct Counted {
  std::int64_t v;
  static inline std::size_t comparisons = 0;
  friend bool operator==(const Counted& a, const Counted& b) {
    ++comparisons;
    return a.v == b.v;
  }
};
struct Numbered {
  Counted id;
};

struct NumberedFetcher {
  using ResultType = Numbered;
  std::vector<std::vector<Numbered>> pages;
  bool fetch(const Pagination*, PageCompletion<Numbered> completion) {
    if (pages.empty()) return false;
    auto page = pages.front();
    pages.erase(pages.begin());
    postToMain([page, completion] { completion(page, nullptr, std::nullopt); });
    return true;
  }
  void cancel() {}
};

}  // namespace
}  // namespace quarn

template <>
struct std::hash<quarn::Counted> {
  static inline std::size_t calls = 0;
  std::size_t operator()(const quarn::Counted& c) const noexcept {
    ++calls;
    return std::hash<std::int64_t>()(c.v);
  }
};

namespace quarn {
namespace {

/// Items numbered from `first` up to (not including) `end`.
std::vector<Numbered> numbered(std::int64_t first, std::int64_t end) {
  std::vector<Numbered> out;
  for (std::int64_t v = first; v < end; ++v) out.push_back({{v}});
  return out;
}

std::vector<Numbered> numbered(std::initializer_list<std::int64_t> values) {
  std::vector<Numbered> out;
  for (std::int64_t v : values) out.push_back({{v}});
  return out;
}

std::vector<std::int64_t> values(const std::vector<Numbered>& items) {
  std::vector<std::int64_t> out;
  for (const Numbered& n : items) out.push_back(n.id.v);
  return out;
}

void fetchAll(PaginatedDataSource<NumberedFetcher>& source) {
  while (!source.fetcher()->pages.empty()) {
    bool done = false;
    source.fetchNextPage([&](auto, auto) { done = true; });
    runUntil([&] { return done; });
  }
}

std::shared_ptr<PaginatedDataSource<NumberedFetcher>> numberedSource(
    std::vector<std::vector<Numbered>> pages) {
  auto fetcher = std::make_shared<NumberedFetcher>();
  fetcher->pages = std::move(pages);
  return PaginatedDataSource<NumberedFetcher>::make(fetcher,
                                                    std::make_shared<RecordingPagination>());
}

TEST_F(PaginatedDataSourceTest, TheDuplicateFilterCostsThePageNotTheItemsHeld) {
  // Held ids are looked up in a set: a scan would compare 2,000 x 1,010 times.
  auto source = numberedSource({numbered(0, 2000), numbered(1990, 3000)});
  fetchAll(*source);
  EXPECT_EQ(source->items().size(), 3000u);
  EXPECT_LT(Counted::comparisons, 20'000u);

  // 400 pages of 10: a check that went over the items held for every page
  // would hash 10 x 400 x 400 / 2 = 800,000 times.
  std::vector<std::vector<Numbered>> pages;
  for (std::int64_t page = 0; page < 400; ++page)
    pages.push_back(numbered(page * 10, page * 10 + 10));
  auto many = numberedSource(std::move(pages));
  std::hash<Counted>::calls = 0;
  fetchAll(*many);
  EXPECT_EQ(many->items().size(), 4000u);
  EXPECT_LT(std::hash<Counted>::calls, 20'000u);
}

TEST_F(PaginatedDataSourceTest, TheListEditsAreWhatTheDuplicateFilterComparesWith) {
  auto fetcher = std::make_shared<NumberedFetcher>();
  auto scheme = std::make_shared<RecordingPagination>();
  auto source = PaginatedDataSource<NumberedFetcher>::make(fetcher, scheme);
  fetcher->pages = {numbered({1, 2, 3})};
  fetchAll(*source);
  source->append(numbered({4, 5}));
  source->insert(numbered({0}), 0);
  source->remove(2);  // 2
  EXPECT_EQ(values(source->items()), (std::vector<std::int64_t>{0, 1, 3, 4, 5}));
  // Each edit changes the items and nothing else.
  EXPECT_EQ(scheme->updates.size(), 1u);
  EXPECT_FALSE(source->lastError());
  fetcher->pages = {numbered({0, 2, 5, 6})};
  fetchAll(*source);
  EXPECT_EQ(values(source->items()), (std::vector<std::int64_t>{0, 1, 3, 4, 5, 2, 6}));
  source->setItems(numbered({9}));
  fetcher->pages = {numbered({6, 9})};
  fetchAll(*source);
  EXPECT_EQ(values(source->items()), (std::vector<std::int64_t>{9, 6}));
  // removeAll empties the list, sends the scheme back to its first page and
  // forgets what was held.
  source->removeAll();
  EXPECT_TRUE(source->items().empty());
  EXPECT_TRUE(scheme->updates.empty());
  fetcher->pages = {numbered({9, 6})};
  fetchAll(*source);
  EXPECT_EQ(values(source->items()), (std::vector<std::int64_t>{9, 6}));
}

TEST_F(PaginatedDataSourceTest, PagesGoInFrontOrReversedAndWithoutASchemeEachReplacesTheLast) {
  auto front = scripted();
  front->inverseInsertPage = true;
  front->reverseFethedPage = true;
  play({{200, R"([{"id": 1}, {"id": 2}])"}, {200, R"([{"id": 3}, {"id": 4}])"}});
  fetch(*front);
  fetch(*front);
  EXPECT_EQ(ids(front->items()), (std::vector<std::int64_t>{4, 3, 2, 1}));

  auto plain = Source::make(fetcherFor("/script"));
  play({{200, R"([{"id": 1}])"}, {200, R"([{"id": 2}])"}});
  fetch(*plain);
  fetch(*plain);
  EXPECT_EQ(ids(plain->items()), (std::vector<std::int64_t>{2}));
  EXPECT_EQ(plain->numberOfPages(), 0);
}

TEST_F(PaginatedDataSourceTest, RandomisedNextPagesAreOnesNotYetLoaded) {
  auto source = Source::make(fetcherFor("/script"), PerPagePagination(2, 1, {"per-page", "page"}));
  source->randomizationEnabled = true;
  source->randomSource = std::make_shared<platform::MersenneTwisterRandomSource>(7);
  auto page = [](int current) {
    return Scripted{200,
                    R"([{"id": )" + std::to_string(2 * current - 1) + R"(}, {"id": )" +
                        std::to_string(2 * current) + "}]",
                    {{"X-Pagination-Current-Page", std::to_string(current)},
                     {"X-Pagination-Page-Count", "3"},
                     {"X-Pagination-Total-Count", "6"}}};
  };
  play({page(1)});
  LogCapture log;
  fetch(*source);
  const auto* scheme = dynamic_cast<const PerPagePagination*>(source->pagination().get());
  ASSERT_TRUE(scheme);
  const std::int64_t second = scheme->nextPage();
  EXPECT_TRUE(second == 2 || second == 3) << second;
  EXPECT_EQ(source->loadedPages(), (std::set<std::int64_t>{1}));
  EXPECT_EQ(log.count("randomization:\n    - random next page: " + std::to_string(second) +
                      "\n    - loaded pages: [1]"),
            1u);
  play({page(static_cast<int>(second)), page(static_cast<int>(5 - second))});
  fetch(*source);
  fetch(*source);
  EXPECT_EQ(source->loadedPages(), (std::set<std::int64_t>{1, 2, 3}));
  EXPECT_EQ(dynamic_cast<const PerPagePagination*>(source->pagination().get())->nextPage(), 1);
  // The page itself was shuffled: the items are all there.
  std::vector<std::int64_t> all = ids(source->items());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(all, (std::vector<std::int64_t>{1, 2, 3, 4, 5, 6}));
}

TEST_F(PaginatedDataSourceTest, ReloadIfNeededFollowsTheFlagTheErrorAndTheThreshold) {
  auto clock = std::make_shared<platform::ManualClock>();
  const platform::ScopedService<platform::Clock> installed(clock);
  auto source = paged();
  reloadIfNeeded(*source);
  EXPECT_EQ(source->lastReloadTimestamp(), clock->now().timeIntervalSince1970());
  EXPECT_FALSE(source->reloadIfNeeded(false, nullptr));  // the threshold is the largest double
  source->reloadThreshold = 60;
  clock->advance(59.999);
  EXPECT_FALSE(source->reloadIfNeeded(false, nullptr));
  clock->advance(0.001);
  reloadIfNeeded(*source);
  source->setNeedsReload();
  EXPECT_EQ(source->lastReloadTimestamp(), 0);
  // With clear, the items go before the request starts.
  ASSERT_FALSE(source->items().empty());
  EXPECT_TRUE(source->reloadIfNeeded(true, nullptr));
  EXPECT_TRUE(source->items().empty());
  EXPECT_TRUE(source->isLoading());
  runUntil([&] { return !source->isLoading(); });
}

TEST_F(PaginatedDataSourceTest, AForcedReloadSupersedesTheRunningFetch) {
  auto source = scripted();
  play({{200, R"([{"id": 1}])", {}, 300}, {200, R"([{"id": 2}])", {}, 100}});
  std::vector<Delivery> first, second;
  source->fetchNextPage([&](auto r, auto e) { first.push_back({r, e}); });
  runUntil([&] { return server.requestCount() == 1; });
  EXPECT_TRUE(source->forceReload(false, [&](auto r, auto e) { second.push_back({r, e}); }));
  // The cancelled fetch does not end the new one's loading, nor leave an error.
  runUntil([&] { return !first.empty(); });
  EXPECT_TRUE(source->isLoading());
  EXPECT_FALSE(source->lastError());
  EXPECT_TRUE(isCancellation(first[0].error));
  EXPECT_FALSE(first[0].results);
  runUntil([&] { return !second.empty(); });
  drainMainContext();
  EXPECT_EQ(first.size(), 1u);
  EXPECT_EQ(second.size(), 1u);
  EXPECT_EQ(ids(source->items()), std::vector<std::int64_t>{2});
  EXPECT_FALSE(source->isLoading());
}

TEST_F(PaginatedDataSourceTest, AFailedPageKeepsTheItemsAndLeadsToAReload) {
  auto source = scripted();
  auto counter = std::make_shared<Counter>();
  source->observers.add(counter);
  play({{200, R"([{"id": 1}])"}, {503, R"([{"id": 9}])"}});
  fetch(*source);
  LogCapture log;
  const Delivery failed = fetch(*source);
  ASSERT_TRUE(failed.error);
  EXPECT_EQ(source->lastError(), failed.error);
  EXPECT_EQ(ids(source->items()), std::vector<std::int64_t>{1});
  EXPECT_EQ(counter->count, 1);
  const std::string expected = "Failed load page with error: " + server.url("/script") +
                               ": the server answered with status 503";
  EXPECT_EQ(log.texts(LogLevel::error), std::vector<std::string>{expected});
  play({{200, R"([{"id": 2}])"}});
  reloadIfNeeded(*source);
  EXPECT_FALSE(source->lastError());
}

TEST_F(PaginatedDataSourceTest, EveryBadAnswerReachesTheCompletionOnceWithTheURLAndTheReason) {
  const std::string url = server.url("/script");
  struct Case {
    Scripted response;
    std::optional<std::string> keyPath;
    std::string description;
  };
  const std::vector<Case> cases = {
      {{500, R"([{"id": 1}])"}, std::nullopt, url + ": the server answered with status 500"},
      {{200, R"([{"id": 1},)"}, std::nullopt, url + ": the response is not valid JSON: "},
      {{200, R"({"data": 5})"},
       "data",
       url + ": the response could not be decoded: Invalid nested json."},
      {{200, R"({"data": 5})"},
       "data.items",
       url + ": the response could not be decoded: Nested object doesn't exist by this keyPath."},
      {{200, R"([{"id": "one"}])"}, std::nullopt, url + ": the response could not be decoded: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    auto fetcher = fetcherFor("/script");
    fetcher->responseKeyPath = c.keyPath;
    auto source = Source::make(fetcher, std::make_shared<RecordingPagination>());
    play({c.response});
    int completions = 0;
    std::exception_ptr error;
    source->fetchNextPage([&](auto, std::exception_ptr e) {
      ++completions;
      error = e;
    });
    runUntil([&] { return completions > 0; });
    drainMainContext();
    EXPECT_EQ(completions, 1);
    const std::string text = detail::describeError(error);
    EXPECT_EQ(text.substr(0, c.description.size()), c.description) << text;
  }
}

TEST_F(PaginatedDataSourceTest, WithNothingToFetchTheCompletionRunsAtOnceWithNeither) {
  auto fetcher = Fetcher::make(JSONDecoder(), [](const Pagination*) { return nullptr; });
  auto source = Source::make(fetcher);
  auto counter = std::make_shared<Counter>();
  source->observers.add(counter);
  std::optional<Delivery> delivery;
  EXPECT_FALSE(source->fetchNextPage([&](auto r, auto e) { delivery = Delivery{r, e}; }));
  ASSERT_TRUE(delivery);
  EXPECT_FALSE(delivery->results);
  EXPECT_FALSE(delivery->error);
  EXPECT_FALSE(source->isLoading());
  EXPECT_EQ(counter->count, 1);
  // The awaiting form ends with an empty list.
  EXPECT_TRUE(runUntilComplete(source->fetchNextPage()).empty());
}

TEST_F(PaginatedDataSourceTest, TheAwaitingFormEndsWithTheItemsAnErrorOrTheCancellation) {
  EXPECT_EQ(runUntilComplete(paged()->fetchNextPage()).size(), 20u);

  auto slow = scripted();
  play({{200, R"([{"id": 1}])", {}, 200}});
  auto running = Task<Items>::spawn(mainExecutor(), slow->fetchNextPage());
  runUntil([&] { return slow->isLoading(); });
  // A second await while the page loads fails instead of waiting for ever.
  try {
    runUntilComplete(slow->fetchNextPage());
    ADD_FAILURE() << "a second fetch while loading succeeded";
  } catch (const PaginatedDataSourceError& e) {
    EXPECT_EQ(e.description(), "A page is already loading.");
  }
  // Cancelling the awaiting task abandons the fetch.
  running.cancel();
  runUntil([&] { return !slow->isLoading(); });
  drainMainContext();
  EXPECT_TRUE(slow->items().empty());
  EXPECT_FALSE(slow->lastError());
}

TEST_F(PaginatedDataSourceTest, ReturningToTheForegroundReloadsWhenAskedTo) {
  auto source = paged();
  platform::postApplicationWillEnterForeground();
  EXPECT_FALSE(source->isLoading());
  source->reloadOnDemandEnabled = true;
  platform::postApplicationWillEnterForeground();
  EXPECT_TRUE(source->isLoading());
  runUntil([&] { return !source->isLoading(); });
  EXPECT_EQ(source->items().size(), 20u);
}

}  // namespace
}  // namespace quarn
