// The re-entrancy tables of the paging types: for every callback the data
// sources and the decodable page fetcher make into the host, what the host
// sees when it releases the object inside it, calls back into it, or throws.
#include "quarnkit/testing/reentrancy.h"

#include <gtest/gtest.h>

#include "quarnkit/http/session.h"
#include "quarnkit/http/testing/http_fixtures.h"
#include "quarnkit/paging/decodable_page_fetcher.h"
#include "quarnkit/paging/key_pagination.h"
#include "quarnkit/paging/page_request.h"
#include "quarnkit/paging/paginated_data_source.h"
#include "quarnkit/paging/scrolled_paginated_data_source.h"
#include "quarnkit/paging/testing/scripted_page_fetcher.h"
#include "quarnkit/platform/device.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/runtime/task.h"
#include "quarnkit/testing/loopback_server.h"
#include "quarnkit/testing/support.h"

namespace quarn {
namespace {

using quarn::testing::errorOf;
using quarn::testing::HostAction;
using quarn::testing::ReentrancyRow;
using quarn::testing::runReentrancyTable;
using quarn::testing::ScriptedItem;
using quarn::testing::ScriptedPageFetcher;
using Source = PaginatedDataSource<ScriptedPageFetcher>;
using Scrolled = ScrolledPaginatedDataSource<ScriptedPageFetcher>;
using Items = std::vector<ScriptedItem>;

using Ids = std::vector<std::int64_t>;
using Act = std::function<void()>;

struct HostError : std::runtime_error {
  HostError() : std::runtime_error("the host's callback failed") {}
};
const Act kThrow = [] { throw HostError(); };

template <class List>
Ids ids(const List& items) {
  Ids out;
  for (const auto& item : items) out.push_back(item.id);
  return out;
}

/// `act` the first time it is called, then nothing (the hook stays in place).
Act once(Act act) {
  return [act = std::move(act), fired = std::make_shared<bool>(false)] {
    if (!std::exchange(*fired, true)) act();
  };
}

/// What one completion received, and how often; `then` runs inside it.
template <class Item>
struct Calls {
  int count = 0;
  std::optional<std::vector<Item>> results;
  std::exception_ptr error;
  Act then;

  auto record() {
    return [this](std::optional<std::vector<Item>> r, std::exception_ptr e, auto&&...) {
      ++count;
      results = std::move(r);
      error = std::move(e);
      if (then) then();
    };
  }
  [[nodiscard]] Ids received() const { return ids(results.value_or(std::vector<Item>{})); }
};
using SourceCalls = Calls<ScriptedItem>;

class Told final : public PaginatedDataSourceObserver {
 public:
  void paginatedDataSourceDidUpdate() override {
    ++count;
    if (act) act();
  }
  int count = 0;
  Act act;
};

/// Completes the newest running request with items first and first + 1.
void deliverPage(ScriptedPageFetcher& fetcher, std::int64_t first) {
  ASSERT_GT(fetcher.running(), 0u);
  fetcher.deliver(fetcher.running() - 1, ScriptedPageFetcher::page(first, 2));
}

/// A data source over a scripted fetcher with one observer, held as a host
/// holds it (the only strong reference), and two completions' records.
struct Screen {
  /// Paged by page numbers, or by a key scheme whose closure runs `keyAct`.
  explicit Screen(bool keyedScheme = false) {
    if (keyedScheme) {
      keyed = FromIDPagination::make(2, 0, [this]() -> std::int64_t {
        if (keyAct) keyAct();
        return 2;
      });
    }
    source = Source::make(fetcher, keyed ? std::shared_ptr<Pagination>(keyed)
                                         : std::make_shared<PerPagePagination>(
                                               2, 1, PerPagePagination::Keys{"per-page", "page"}));
    weak = source;
    source->observers.add(told);
  }
  /// Runs `act` inside `callback` the first time it comes.
  void inside(std::string_view callback, Act act) {
    act = once(std::move(act));
    if (callback == "didCompletionFetch") {
      source->didCompletionFetch = [act](auto&, auto&) { act(); };
    } else if (callback == "observer") {
      told->act = act;
    } else if (callback == "completion") {
      calls.then = act;
    } else if (callback == "willFetch") {
      source->willFetch = [act](auto&) { act(); };
    } else if (callback == "fetcher's fetch()") {
      fetcher->onFetch = act;
    } else if (callback == "key scheme's closure") {
      keyAct = act;
    } else {
      ADD_FAILURE() << "no callback " << callback;
    }
  }
  Act release() {
    return [this] { source.reset(); };
  }
  bool fetch(SourceCalls& into) { return source->fetchNextPage(into.record()); }
  bool fetch() { return fetch(calls); }
  void page(std::int64_t first = 1) { deliverPage(*fetcher, first); }
  void fetchPage() {
    fetch();
    page();
  }
  [[nodiscard]] Ids held() const { return ids(source->items()); }
  /// The cancellation error reached `calls` once, posted.
  void expectCancelled() {
    drainMainContext();
    EXPECT_EQ(calls.count, 1);
    EXPECT_TRUE(isCancellation(calls.error));
  }
  /// The data source is idle and still reloads and merges a page.
  void expectWorking() {
    drainMainContext();
    ASSERT_TRUE(source);
    EXPECT_FALSE(source->isLoading());
    SourceCalls again;
    ASSERT_TRUE(source->reload(again.record()));
    page(100);
    EXPECT_EQ(again.count, 1);
    EXPECT_EQ(held(), (Ids{100, 101}));
  }

  SourceCalls calls, second;
  Act keyAct;
  std::shared_ptr<FromIDPagination> keyed;
  std::shared_ptr<ScriptedPageFetcher> fetcher = std::make_shared<ScriptedPageFetcher>();
  std::shared_ptr<Source> source;
  std::weak_ptr<Source> weak;
  std::shared_ptr<Told> told = std::make_shared<Told>();
};

/// The data source released from a callback of a page's delivery: the
/// delivery finishes (observers, then the completion), then it goes.
ReentrancyRow releasedInDelivery(std::string callback, std::string expected) {
  return {callback, HostAction::release, std::move(expected), [callback] {
            Screen s(callback == "key scheme's closure");
            s.inside(callback, s.release());
            s.fetchPage();
            EXPECT_EQ(s.told->count, 1);
            EXPECT_EQ(s.calls.count, 1);
            EXPECT_EQ(s.calls.received(), (Ids{1, 2}));
            EXPECT_TRUE(s.weak.expired());
          }};
}

/// The host's exception from a callback of a page's delivery: the page is
/// merged, the observers and the completion still run, then the exception
/// leaves the delivery; the data source is idle and works.
ReentrancyRow thrownInDelivery(std::string callback, std::string expected) {
  return {callback, HostAction::raise, std::move(expected), [callback] {
            Screen s(callback == "key scheme's closure");
            auto next = std::make_shared<Told>();
            s.source->observers.add(next);
            s.inside(callback, kThrow);
            s.fetch();
            EXPECT_THROW(s.page(), HostError);
            EXPECT_EQ(next->count, 1);
            EXPECT_EQ(s.calls.count, 1);
            EXPECT_EQ(s.held(), (Ids{1, 2}));
            EXPECT_EQ(s.keyed ? s.keyed->id() : 0, 0);  // a key scheme's key stays
            s.expectWorking();
          }};
}

/// The data source released from a callback of fetchNextPage(): it lives
/// until the call returns; its completion then runs, posted, with the
/// cancellation error, and the late page is dropped.
ReentrancyRow releasedInFetch(std::string callback, std::string expected) {
  return {callback, HostAction::release, std::move(expected), [callback] {
            Screen s;
            s.inside(callback, s.release());
            EXPECT_TRUE(s.fetch());
            EXPECT_TRUE(s.weak.expired());
            s.expectCancelled();
            s.fetcher->deliver(0, ScriptedPageFetcher::page(1, 2));
            EXPECT_EQ(s.calls.count, 1);
          }};
}

TEST(PaginatedDataSourceReentrancyTest, EveryCallbackAndAction) {
  runReentrancyTable({
      releasedInDelivery("didCompletionFetch",
                         "the delivery finishes (observers, then the completion), then the data "
                         "source goes"),
      {"didCompletionFetch", HostAction::reenter,
       "not loading any more: a fetch from inside starts the next page, and the first "
       "completion still gets its own page",
       [] {
         Screen s;
         s.source->didCompletionFetch = [&s](auto&, auto&) {
           s.source->didCompletionFetch = nullptr;  // replaces the running callback
           EXPECT_FALSE(s.source->isLoading());
           EXPECT_TRUE(s.fetch(s.second));
         };
         s.fetchPage();
         EXPECT_EQ(s.calls.count, 1);
         EXPECT_EQ(s.calls.received(), (Ids{1, 2}));
         EXPECT_TRUE(s.source->isLoading());
         s.page(3);
         EXPECT_EQ(s.second.count, 1);
         EXPECT_EQ(s.held(), (Ids{1, 2, 3, 4}));
       }},
      thrownInDelivery("didCompletionFetch",
                       "the observers and the completion still run, then the exception leaves "
                       "the delivery; the data source is idle and works"),
      releasedInDelivery("observer", "the completion still runs once, then the data source goes"),
      {"observer", HostAction::reenter,
       "a reload from inside starts over: its first page replaces the items",
       [] {
         Screen s;
         s.inside("observer", [&s] { EXPECT_TRUE(s.source->reload(s.second.record())); });
         s.fetchPage();
         EXPECT_EQ(s.calls.count, 1);
         s.page(7);
         EXPECT_EQ(s.second.count, 1);
         EXPECT_EQ(s.held(), (Ids{7, 8}));
       }},
      thrownInDelivery(
          "observer",
          "the next observer and the completion still run, then the exception leaves the delivery"),
      releasedInDelivery("completion", "nothing is touched after it; the data source goes"),
      {"completion", HostAction::reenter,
       "forceReload(clear) from inside empties the items and fetches the first page again",
       [] {
         Screen s;
         s.inside("completion", [&] {
           EXPECT_TRUE(s.source->forceReload(true, s.second.record()));
           EXPECT_TRUE(s.source->items().empty());
         });
         s.fetchPage();
         s.page(5);
         drainMainContext();
         EXPECT_EQ(s.calls.count, 1);
         EXPECT_EQ(s.second.count, 1);
         EXPECT_EQ(s.held(), (Ids{5, 6}));
       }},
      thrownInDelivery("completion",
                       "the exception leaves the delivery; the page is merged and the data "
                       "source idle"),
      releasedInFetch("willFetch",
                      "the data source goes once fetchNextPage() returns; the completion runs, "
                      "posted, with the cancellation error, and the late page is dropped"),
      {"willFetch", HostAction::reenter,
       "cancelFetch() from inside ends the request: the completion gets the cancellation "
       "error once",
       [] {
         Screen s;
         s.inside("willFetch", [&s] { s.source->cancelFetch(); });
         EXPECT_TRUE(s.fetch());
         s.expectCancelled();
         s.expectWorking();
       }},
      {"willFetch", HostAction::raise,
       "the exception leaves fetchNextPage(); the request it announced goes on and completes",
       [] {
         Screen s;
         s.inside("willFetch", kThrow);
         EXPECT_THROW(s.fetch(), HostError);
         EXPECT_TRUE(s.source->isLoading());
         s.page();
         EXPECT_EQ(s.calls.count, 1);
         s.expectWorking();
       }},
      releasedInFetch("fetcher's fetch()",
                      "the data source lives until fetchNextPage() returns; its completion then "
                      "runs, posted, with the cancellation error"),
      {"fetcher's fetch()", HostAction::reenter,
       "a fetch or reload from inside is refused (a page is loading) and never completes",
       [] {
         Screen s;
         s.inside("fetcher's fetch()", [&] {
           EXPECT_FALSE(s.fetch(s.second));
           EXPECT_FALSE(s.source->reload(s.second.record()));
         });
         EXPECT_TRUE(s.fetch());
         // And so are they from anywhere else while the page loads.
         EXPECT_TRUE(s.source->isLoading());
         EXPECT_FALSE(s.fetch(s.second));
         EXPECT_FALSE(s.source->reload(s.second.record()));
         s.page();
         drainMainContext();
         EXPECT_EQ(s.calls.count, 1);
         EXPECT_EQ(s.second.count, 0);
       }},
      {"fetcher's fetch()", HostAction::raise,
       "nothing starts: the exception leaves fetchNextPage(), the completion never runs and "
       "the data source is idle",
       [] {
         Screen s;
         s.inside("fetcher's fetch()", kThrow);
         EXPECT_THROW(s.fetch(), HostError);
         EXPECT_FALSE(s.source->isLoading());
         drainMainContext();
         EXPECT_EQ(s.calls.count, 0);
         s.expectWorking();
       }},
      releasedInDelivery("key scheme's closure",
                         "the page is merged and its callbacks run, then the data source goes"),
      {"key scheme's closure", HostAction::reenter,
       "replacing the data source's scheme from inside: the old scheme finishes its update and "
       "the new one is used from then on",
       [] {
         Screen s(true);
         auto replacement =
             std::make_shared<PerPagePagination>(2, 1, PerPagePagination::Keys{"per-page", "page"});
         s.inside("key scheme's closure",
                  [&s, replacement] { s.source->setPagination(replacement); });
         s.fetchPage();
         EXPECT_EQ(s.calls.count, 1);
         EXPECT_EQ(s.source->pagination(), replacement);
         s.expectWorking();
       }},
      thrownInDelivery("key scheme's closure",
                       "the page is merged and the completion runs, then the exception leaves the "
                       "delivery; the key stays"),
      {"awaiting fetchNextPage()", HostAction::release,
       "releasing the data source, while the await runs or before it starts, ends it with the "
       "cancellation error and logs no error",
       [] {
         quarn::testing::LogCapture log;
         Screen s;
         auto task = Task<Items>::spawn(mainExecutor(), s.source->fetchNextPage());
         drainMainContext();
         ASSERT_EQ(s.fetcher->running(), 1u);
         s.source.reset();
         drainMainContext();
         ASSERT_TRUE(task.isFinished());
         EXPECT_TRUE(isCancellation(errorOf([&] { runUntilComplete(task.value()); })));

         Screen unstarted;
         Async<Items> await = unstarted.source->fetchNextPage();
         unstarted.source.reset();
         EXPECT_TRUE(isCancellation(errorOf([&] { runUntilComplete(std::move(await)); })));
         EXPECT_EQ(log.texts(LogLevel::error), std::vector<std::string>{});
       }},
      {"awaiting fetchNextPage()", HostAction::reenter,
       "cancelling the awaiting task abandons its fetch; the next await gets the next page",
       [] {
         Screen s;
         auto task = Task<Items>::spawn(mainExecutor(), s.source->fetchNextPage());
         drainMainContext();
         task.cancel();
         drainMainContext();
         EXPECT_FALSE(s.source->isLoading());
         auto next = Task<Items>::spawn(mainExecutor(), s.source->fetchNextPage());
         drainMainContext();
         s.page(5);
         EXPECT_EQ(ids(runUntilComplete(next.value())), (Ids{5, 6}));
       }},
      {"awaiting fetchNextPage()", HostAction::raise,
       "the await ends with what the fetcher or willFetch threw (after willFetch the page "
       "still comes); no continuation leaks",
       [] {
         quarn::testing::LogCapture log;
         Screen s;
         s.inside("fetcher's fetch()", kThrow);
         EXPECT_THROW(runUntilComplete(s.source->fetchNextPage()), HostError);
         s.inside("willFetch", kThrow);
         EXPECT_THROW(runUntilComplete(s.source->fetchNextPage()), HostError);
         s.page();
         EXPECT_EQ(s.held(), (Ids{1, 2}));
         s.expectWorking();
         EXPECT_EQ(log.texts(LogLevel::error), std::vector<std::string>{});
       }},
  });
}

/// A host's list view: counts its reloads; `onReload` runs inside each.
class Listing : public platform::ScrollView, public ScrolledList {
 public:
  int reloads = 0;
  Act onReload;
  void reloadData() override {
    ++reloads;
    if (onReload) onReload();
  }
};

/// A scrolled data source over a scripted fetcher on a phone, with a pull
/// control and the manual clock.
struct ScrolledScreen {
  ScrolledScreen() {
    source = Scrolled::make(scrollView, fetcher, PerPagePagination(2, 1, {"per-page", "page"}),
                            true, platform::refreshControlType<platform::RefreshControlAdapter>());
    weak = source;
  }
  platform::InfiniteScroll& infinite() { return scrollView->infiniteScroll(); }
  platform::RefreshControl& pull() { return *scrollView->refreshControl(); }
  [[nodiscard]] bool animating() { return infinite().isAnimatingInfiniteScroll(); }
  void page(std::int64_t first = 1) { deliverPage(*fetcher, first); }
  /// Runs `act` inside the first page's didCompletionFetch.
  void onPage(Act act) {
    source->didCompletionFetch = [act = once(std::move(act))](auto&, auto&) { act(); };
  }
  /// Waits out the quarter second after which a pull ends.
  bool refreshingAfterDelay() {
    drainMainContext();
    clock->advance(0.25);
    return pull().isRefreshing();
  }

  platform::ScopedService<platform::Device> phone{
      std::make_shared<platform::FixedDevice>(platform::UserInterfaceIdiom::phone)};
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  platform::ScopedService<platform::TimerScheduler> timers{clock};
  std::shared_ptr<Listing> scrollView = std::make_shared<Listing>();
  std::shared_ptr<ScriptedPageFetcher> fetcher = std::make_shared<ScriptedPageFetcher>();
  std::shared_ptr<Scrolled> source;
  std::weak_ptr<Scrolled> weak;
};

TEST(ScrolledPaginatedDataSourceReentrancyTest, EveryCallbackAndAction) {
  runReentrancyTable({
      {"page of a scroll to the end", HostAction::release,
       "the scroll's animation still ends; the data source goes",
       [] {
         ScrolledScreen s;
         s.onPage([&s] { s.source.reset(); });
         ASSERT_TRUE(s.infinite().scrollToEnd());
         s.page();
         EXPECT_FALSE(s.animating());
         EXPECT_TRUE(s.weak.expired());
       }},
      {"page of a scroll to the end", HostAction::reenter,
       "a pull from inside reloads; the scroll's animation ends, the pull's a quarter second "
       "after its page",
       [] {
         ScrolledScreen s;
         s.onPage([&s] { s.pull().simulateUserPull(); });
         ASSERT_TRUE(s.infinite().scrollToEnd());
         s.page(1);
         EXPECT_FALSE(s.animating());
         EXPECT_TRUE(s.pull().isRefreshing());
         EXPECT_TRUE(s.source->isLoading());
         s.page(9);
         EXPECT_FALSE(s.refreshingAfterDelay());
         EXPECT_EQ(ids(s.source->items()), (Ids{9, 10}));
       }},
      {"page of a scroll to the end", HostAction::raise,
       "the exception leaves the delivery; the animation has ended and scrolling loads again",
       [] {
         ScrolledScreen s;
         s.onPage(kThrow);
         ASSERT_TRUE(s.infinite().scrollToEnd());
         EXPECT_THROW(s.page(), HostError);
         EXPECT_FALSE(s.animating());
         EXPECT_TRUE(s.infinite().scrollToEnd());
         EXPECT_TRUE(s.source->isLoading());
       }},
      {"page of a pull", HostAction::release,
       "the pull still ends a quarter second after the page; the data source goes",
       [] {
         ScrolledScreen s;
         s.onPage([&s] { s.source.reset(); });
         s.pull().simulateUserPull();
         s.page();
         EXPECT_TRUE(s.weak.expired());
         EXPECT_FALSE(s.refreshingAfterDelay());
       }},
      {"page of a pull", HostAction::reenter,
       "forceReload() from inside starts another reload; the pull ends a quarter second after "
       "its own page",
       [] {
         ScrolledScreen s;
         s.onPage([&s] { EXPECT_TRUE(s.source->forceReload(false, nullptr)); });
         s.pull().simulateUserPull();
         s.page(1);
         EXPECT_TRUE(s.source->isLoading());
         EXPECT_FALSE(s.refreshingAfterDelay());
         s.page(3);
         EXPECT_EQ(ids(s.source->items()), (Ids{3, 4}));
       }},
      {"page of a pull", HostAction::raise,
       "the exception leaves the delivery; the pull still ends and a new pull reloads",
       [] {
         ScrolledScreen s;
         s.onPage(kThrow);
         s.pull().simulateUserPull();
         EXPECT_THROW(s.page(), HostError);
         EXPECT_FALSE(s.refreshingAfterDelay());
         s.pull().simulateUserPull();
         EXPECT_TRUE(s.source->isLoading());
       }},
      {"fetch of a scroll", HostAction::release,
       "the fetch's completion runs with the cancellation error and ends the animation",
       [] {
         ScrolledScreen s;
         s.fetcher->onFetch = once([&s] { s.source.reset(); });
         ASSERT_TRUE(s.infinite().scrollToEnd());
         EXPECT_TRUE(s.weak.expired());
         drainMainContext();
         EXPECT_FALSE(s.animating());
       }},
      {"fetch of a scroll", HostAction::reenter,
       "a pull from inside cannot reload (a page loads) and ends at once; the scroll's page "
       "still comes",
       [] {
         ScrolledScreen s;
         s.fetcher->onFetch = once([&s] { s.pull().simulateUserPull(); });
         ASSERT_TRUE(s.infinite().scrollToEnd());
         EXPECT_FALSE(s.pull().isRefreshing());
         s.page();
         EXPECT_FALSE(s.animating());
         EXPECT_EQ(s.source->items().size(), 2u);
       }},
      {"fetch of a scroll", HostAction::raise,
       "nothing starts: the animation ends and the exception leaves the scroll",
       [] {
         ScrolledScreen s;
         s.fetcher->onFetch = once(kThrow);
         EXPECT_THROW(s.infinite().scrollToEnd(), HostError);
         EXPECT_FALSE(s.animating());
         EXPECT_FALSE(s.source->isLoading());
         EXPECT_TRUE(s.infinite().scrollToEnd());
       }},
      {"list's reloadData", HostAction::release,
       "the delivery finishes: the callback, the observers and the scroll's animation still "
       "run; the data source goes when the page's delivery returns",
       [] {
         ScrolledScreen s;
         bool called = false;
         s.onPage([&called] { called = true; });
         s.scrollView->onReload = [&s] { s.source.reset(); };
         ASSERT_TRUE(s.infinite().scrollToEnd());
         s.page();
         EXPECT_TRUE(called);
         EXPECT_FALSE(s.animating());
         EXPECT_TRUE(s.weak.expired());
         EXPECT_EQ(s.scrollView->reloads, 1);
       }},
      {"list's reloadData", HostAction::reenter,
       "the list sees the items of the page, and a fetch from inside starts the next page",
       [] {
         ScrolledScreen s;
         Ids shown;
         s.scrollView->onReload = [&s, &shown] {
           shown = ids(s.source->items());
           if (s.scrollView->reloads == 1) {
             EXPECT_TRUE(s.source->fetchNextPage(nullptr));
           }
         };
         ASSERT_TRUE(s.infinite().scrollToEnd());
         s.page();
         EXPECT_EQ(shown, (Ids{1, 2}));
         EXPECT_TRUE(s.source->isLoading());
         s.page(3);
         EXPECT_EQ(shown, (Ids{1, 2, 3, 4}));
         EXPECT_EQ(s.scrollView->reloads, 2);
       }},
      {"list's reloadData", HostAction::raise,
       "the callback, the observers and the completion still run, then the exception leaves "
       "the page's delivery; the data source keeps working",
       [] {
         ScrolledScreen s;
         bool called = false;
         s.onPage([&called] { called = true; });
         s.scrollView->onReload = once(kThrow);
         ASSERT_TRUE(s.infinite().scrollToEnd());
         EXPECT_THROW(s.page(), HostError);
         EXPECT_TRUE(called);
         EXPECT_FALSE(s.animating());
         EXPECT_EQ(ids(s.source->items()), (Ids{1, 2}));
         ASSERT_TRUE(s.infinite().scrollToEnd());
         s.page(3);
         EXPECT_EQ(s.scrollView->reloads, 2);
       }},
  });
}

struct Article {
  std::int64_t id = 0;
  static Article decode(Decoder& d) { return {d.container()->decode<std::int64_t>("id")}; }
};
using Fetcher = AlamofireDecodablePageFetcher<Article>;
using FetcherCalls = Calls<Article>;
using Response = http::DataResponse<std::vector<Article>>;

/// The real fetcher against five items served two to a page, held as a host
/// holds it, and two completions' records.
struct Served {
  Served() {
    auto collection = std::make_shared<quarn::testing::PagedCollection>();
    collection->count = 5;
    quarn::testing::servePages(server.routes(), "/items", collection);
    server.start();
    fetcher = Fetcher::make(JSONDecoder(), builder());
    weak = fetcher;
  }
  Fetcher::RequestBuilder builder() {
    return [this](const Pagination*) {
      return session.request(*URL::parse(server.url("/items?page=1&per-page=2")));
    };
  }
  /// Runs `act` inside `callback` the first time it comes; the request
  /// builder then builds with the captures it holds.
  void inside(std::string_view callback, Act act) {
    act = once(std::move(act));
    if (callback == "request builder") {
      fetcher->requestBuilder = [act, build = builder()](const Pagination* p) {
        act();
        return build(p);
      };
    } else if (callback == "preprocessor") {
      fetcher->preprocessor = [act](Response r) {
        act();
        return r;
      };
    } else if (callback == "completion") {
      calls.then = act;
    } else {
      ADD_FAILURE() << "no callback " << callback;
    }
  }
  bool fetch(FetcherCalls& into) { return fetcher->fetch(nullptr, into.record()); }
  bool fetch() { return fetch(calls); }
  static void waitFor(const FetcherCalls& calls, int count = 1) {
    quarn::testing::runUntil([&] { return calls.count >= count; });
  }

  FetcherCalls calls, second;
  quarn::testing::LoopbackServer server;
  http::Session session;
  std::shared_ptr<Fetcher> fetcher;
  std::weak_ptr<Fetcher> weak;
};

TEST(DecodablePageFetcherReentrancyTest, EveryCallbackAndAction) {
  runReentrancyTable({
      {"request builder", HostAction::release,
       "the fetcher lives until fetch() returns; releasing it cancels the request, whose "
       "completion gets explicitlyCancelled",
       [] {
         Served s;
         s.inside("request builder", [&s] { s.fetcher.reset(); });
         EXPECT_TRUE(s.fetch());
         EXPECT_TRUE(s.weak.expired());
         Served::waitFor(s.calls);
         const auto error = testing::errorOfType<http::RequestError>(
             [&] { std::rethrow_exception(s.calls.error); });
         EXPECT_TRUE(error && error->isExplicitlyCancelled())
             << detail::describeError(s.calls.error);
       }},
      {"request builder", HostAction::reenter,
       "cancel() and replacing the builder from inside: the request built still runs, the "
       "next fetch uses the new builder",
       [] {
         Served s;
         s.inside("request builder", [&s] {
           s.fetcher->cancel();
           s.fetcher->requestBuilder = [](const Pagination*) { return nullptr; };
         });
         EXPECT_TRUE(s.fetch());
         Served::waitFor(s.calls);
         EXPECT_EQ(s.calls.received(), (Ids{1, 2}));
         EXPECT_FALSE(s.fetch());
       }},
      {"request builder", HostAction::raise,
       "nothing starts and the exception leaves fetch(); the next fetch works",
       [] {
         Served s;
         s.inside("request builder", kThrow);
         EXPECT_THROW(s.fetch(), HostError);
         EXPECT_EQ(s.fetcher->currentDataRequest(), nullptr);
         EXPECT_TRUE(s.fetch());
         Served::waitFor(s.calls);
         EXPECT_EQ(s.calls.count, 1);
         EXPECT_FALSE(s.calls.error);
       }},
      {"preprocessor", HostAction::release,
       "the completion still gets the page once the host has released the fetcher",
       [] {
         Served s;
         s.inside("preprocessor", [&s] { s.fetcher.reset(); });
         s.fetch();
         Served::waitFor(s.calls);
         EXPECT_EQ(s.calls.count, 1);
         EXPECT_EQ(s.calls.received(), (Ids{1, 2}));
       }},
      {"preprocessor", HostAction::reenter, "a fetch from inside runs and completes too",
       [] {
         Served s;
         s.inside("preprocessor", [&s] { EXPECT_TRUE(s.fetch(s.second)); });
         s.fetch();
         Served::waitFor(s.second);
         EXPECT_EQ(s.calls.count, 1);
         EXPECT_EQ(s.second.count, 1);
         EXPECT_FALSE(s.second.error);
       }},
      {"preprocessor", HostAction::raise,
       "the exception reaches the completion as the page's error; a data source over the "
       "fetcher keeps it as the last error and is idle",
       [] {
         Served s;
         s.inside("preprocessor", kThrow);
         auto source = PaginatedDataSource<Fetcher>::make(s.fetcher);
         source->fetchNextPage(s.calls.record());
         Served::waitFor(s.calls);
         EXPECT_EQ(s.calls.count, 1);
         EXPECT_TRUE(
             testing::errorOfType<HostError>([&] { std::rethrow_exception(s.calls.error); }));
         EXPECT_EQ(source->lastError(), s.calls.error);
         EXPECT_FALSE(source->isLoading());
       }},
      {"completion", HostAction::release, "nothing of the fetcher is touched after it",
       [] {
         Served s;
         s.inside("completion", [&s] { s.fetcher.reset(); });
         s.fetch();
         Served::waitFor(s.calls);
         drainMainContext();
         EXPECT_TRUE(s.weak.expired());
         EXPECT_FALSE(s.calls.error);
       }},
      {"completion", HostAction::reenter, "a fetch from inside runs and completes",
       [] {
         Served s;
         s.inside("completion", [&s] { EXPECT_TRUE(s.fetch(s.second)); });
         s.fetch();
         Served::waitFor(s.second);
         EXPECT_EQ(s.second.count, 1);
         EXPECT_FALSE(s.second.error);
       }},
      {"completion", HostAction::raise,
       "the exception leaves the main context's run; the fetcher fetches again",
       [] {
         Served s;
         s.inside("completion", kThrow);
         s.fetch();
         EXPECT_THROW(runMainContextUntil([&] { return s.calls.count > 0; }), HostError);
         s.fetch();
         Served::waitFor(s.calls, 2);
         EXPECT_FALSE(s.calls.error);
       }},
  });
}

}  // namespace
}  // namespace quarn
