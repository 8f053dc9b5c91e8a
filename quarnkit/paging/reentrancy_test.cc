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
using quarn::testing::runReentrancyTable;
using quarn::testing::ScriptedItem;
using quarn::testing::ScriptedPageFetcher;
using Source = PaginatedDataSource<ScriptedPageFetcher>;
using Scrolled = ScrolledPaginatedDataSource<ScriptedPageFetcher>;
using Items = std::vector<ScriptedItem>;

struct HostError : std::runtime_error {
  HostError() : std::runtime_error("the host's callback failed") {}
};

template <class List>
std::vector<std::int64_t> ids(const List& items) {
  std::vector<std::int64_t> out;
  for (const auto& item : items) out.push_back(item.id);
  return out;
}

/// What one completion received, and how often; `then` runs inside it.
template <class Item>
struct Calls {
  int count = 0;
  std::optional<std::vector<Item>> results;
  std::exception_ptr error;
  std::function<void()> then;

  auto record() {
    return [this](std::optional<std::vector<Item>> r, std::exception_ptr e, auto&&...) {
      ++count;
      results = std::move(r);
      error = std::move(e);
      if (then) then();
    };
  }
};
using SourceCalls = Calls<ScriptedItem>;

class Told final : public PaginatedDataSourceObserver {
 public:
  void paginatedDataSourceDidUpdate() override {
    ++count;
    if (act) act();
  }
  int count = 0;
  std::function<void()> act;
};

/// A data source over a scripted fetcher with one observer, held as a host
/// holds it (the only strong reference).
struct Screen {
  explicit Screen(std::shared_ptr<Pagination> scheme = std::make_shared<PerPagePagination>(
                      2, 1, PerPagePagination::Keys{"per-page", "page"})) {
    source = Source::make(fetcher, std::move(scheme));
    weak = source;
    source->observers.add(told);
  }
  /// Completes the newest running request with items first and first + 1.
  void page(std::int64_t first = 1) {
    ASSERT_GT(fetcher->running(), 0u);
    fetcher->deliver(fetcher->running() - 1, ScriptedPageFetcher::page(first, 2));
  }
  /// The data source is idle and still reloads and merges a page.
  void expectWorking() {
    drainMainContext();
    ASSERT_TRUE(source);
    EXPECT_FALSE(source->isLoading());
    SourceCalls calls;
    ASSERT_TRUE(source->reload(calls.record()));
    page(100);
    EXPECT_EQ(calls.count, 1);
    EXPECT_EQ(ids(source->items()), (std::vector<std::int64_t>{100, 101}));
  }

  std::shared_ptr<ScriptedPageFetcher> fetcher = std::make_shared<ScriptedPageFetcher>();
  std::shared_ptr<Source> source;
  std::weak_ptr<Source> weak;
  std::shared_ptr<Told> told = std::make_shared<Told>();
};

TEST(PaginatedDataSourceReentrancyTest, EveryCallbackAndAction) {
  runReentrancyTable({
      {"didCompletionFetch", HostAction::release,
       "the delivery finishes (observers, then the completion), then the data source goes",
       [] {
         Screen s;
         SourceCalls calls;
         s.source->didCompletionFetch = [&s](auto&, auto&) { s.source.reset(); };
         ASSERT_TRUE(s.source->fetchNextPage(calls.record()));
         s.page();
         EXPECT_EQ(s.told->count, 1);
         EXPECT_EQ(calls.count, 1);
         EXPECT_EQ(ids(calls.results.value_or(Items{})), (std::vector<std::int64_t>{1, 2}));
         EXPECT_TRUE(s.weak.expired());
       }},
      {"didCompletionFetch", HostAction::reenter,
       "not loading any more: a fetch from inside starts the next page, and the first "
       "completion still gets its own page",
       [] {
         Screen s;
         SourceCalls first, second;
         s.source->didCompletionFetch = [&s, &second](auto&, auto&) {
           s.source->didCompletionFetch = nullptr;  // replaces the running callback
           EXPECT_FALSE(s.source->isLoading());
           EXPECT_TRUE(s.source->fetchNextPage(second.record()));
         };
         s.source->fetchNextPage(first.record());
         s.page(1);
         EXPECT_EQ(first.count, 1);
         EXPECT_EQ(ids(first.results.value_or(Items{})), (std::vector<std::int64_t>{1, 2}));
         EXPECT_TRUE(s.source->isLoading());
         s.page(3);
         EXPECT_EQ(second.count, 1);
         EXPECT_EQ(ids(s.source->items()), (std::vector<std::int64_t>{1, 2, 3, 4}));
       }},
      {"didCompletionFetch", HostAction::raise,
       "the observers and the completion still run, then the exception leaves the delivery; "
       "the data source is idle and works",
       [] {
         Screen s;
         SourceCalls calls;
         s.source->didCompletionFetch = [](auto&, auto&) { throw HostError(); };
         s.source->fetchNextPage(calls.record());
         EXPECT_THROW(s.page(), HostError);
         EXPECT_EQ(s.told->count, 1);
         EXPECT_EQ(calls.count, 1);
         s.source->didCompletionFetch = nullptr;
         s.expectWorking();
       }},
      {"observer", HostAction::release, "the completion still runs once, then the data source goes",
       [] {
         Screen s;
         SourceCalls calls;
         s.told->act = [&s] { s.source.reset(); };
         s.source->fetchNextPage(calls.record());
         s.page();
         EXPECT_EQ(calls.count, 1);
         EXPECT_TRUE(s.weak.expired());
       }},
      {"observer", HostAction::reenter,
       "a reload from inside starts over: its first page replaces the items",
       [] {
         Screen s;
         SourceCalls first, second;
         s.told->act = [&s, &second] {
           s.told->act = nullptr;
           EXPECT_TRUE(s.source->reload(second.record()));
         };
         s.source->fetchNextPage(first.record());
         s.page(1);
         EXPECT_EQ(first.count, 1);
         s.page(7);
         EXPECT_EQ(second.count, 1);
         EXPECT_EQ(ids(s.source->items()), (std::vector<std::int64_t>{7, 8}));
       }},
      {"observer", HostAction::raise,
       "the next observer and the completion still run, then the exception leaves the delivery",
       [] {
         Screen s;
         auto next = std::make_shared<Told>();
         s.source->observers.add(next);
         SourceCalls calls;
         s.told->act = [] { throw HostError(); };
         s.source->fetchNextPage(calls.record());
         EXPECT_THROW(s.page(), HostError);
         EXPECT_EQ(next->count, 1);
         EXPECT_EQ(calls.count, 1);
         s.told->act = nullptr;
         s.expectWorking();
       }},
      {"completion", HostAction::release, "nothing is touched after it; the data source goes",
       [] {
         Screen s;
         SourceCalls calls;
         calls.then = [&s] { s.source.reset(); };
         s.source->fetchNextPage(calls.record());
         s.page();
         EXPECT_EQ(calls.count, 1);
         EXPECT_TRUE(s.weak.expired());
       }},
      {"completion", HostAction::reenter,
       "forceReload(clear) from inside empties the items and fetches the first page again",
       [] {
         Screen s;
         SourceCalls first, second;
         first.then = [&] {
           EXPECT_TRUE(s.source->forceReload(true, second.record()));
           EXPECT_TRUE(s.source->items().empty());
         };
         s.source->fetchNextPage(first.record());
         s.page(1);
         s.page(5);
         drainMainContext();
         EXPECT_EQ(first.count, 1);
         EXPECT_EQ(second.count, 1);
         EXPECT_EQ(ids(s.source->items()), (std::vector<std::int64_t>{5, 6}));
       }},
      {"completion", HostAction::raise,
       "the exception leaves the delivery; the page is merged and the data source idle",
       [] {
         Screen s;
         SourceCalls calls;
         calls.then = [] { throw HostError(); };
         s.source->fetchNextPage(calls.record());
         EXPECT_THROW(s.page(), HostError);
         EXPECT_EQ(ids(s.source->items()), (std::vector<std::int64_t>{1, 2}));
         s.expectWorking();
       }},
      {"willFetch", HostAction::release,
       "the data source goes once fetchNextPage() returns; the completion runs, posted, with "
       "the cancellation error, and the late page is dropped",
       [] {
         Screen s;
         SourceCalls calls;
         s.source->willFetch = [&s](auto&) { s.source.reset(); };
         EXPECT_TRUE(s.source->fetchNextPage(calls.record()));
         EXPECT_TRUE(s.weak.expired());
         drainMainContext();
         EXPECT_EQ(calls.count, 1);
         EXPECT_TRUE(isCancellation(calls.error));
         s.fetcher->deliver(0, ScriptedPageFetcher::page(1, 2));
         EXPECT_EQ(calls.count, 1);
       }},
      {"willFetch", HostAction::reenter,
       "cancelFetch() from inside ends the request: the completion gets the cancellation "
       "error once",
       [] {
         Screen s;
         SourceCalls calls;
         s.source->willFetch = [&s](auto&) { s.source->cancelFetch(); };
         EXPECT_TRUE(s.source->fetchNextPage(calls.record()));
         drainMainContext();
         EXPECT_EQ(calls.count, 1);
         EXPECT_TRUE(isCancellation(calls.error));
         s.source->willFetch = nullptr;
         s.expectWorking();
       }},
      {"willFetch", HostAction::raise,
       "the exception leaves fetchNextPage(); the request it announced goes on and completes",
       [] {
         Screen s;
         SourceCalls calls;
         s.source->willFetch = [](auto&) { throw HostError(); };
         EXPECT_THROW(s.source->fetchNextPage(calls.record()), HostError);
         EXPECT_TRUE(s.source->isLoading());
         s.page();
         EXPECT_EQ(calls.count, 1);
         s.source->willFetch = nullptr;
         s.expectWorking();
       }},
      {"fetcher's fetch()", HostAction::release,
       "the data source lives until fetchNextPage() returns; its completion then runs, posted, "
       "with the cancellation error",
       [] {
         Screen s;
         SourceCalls calls;
         s.fetcher->onFetch = [&s] { s.source.reset(); };
         EXPECT_TRUE(s.source->fetchNextPage(calls.record()));
         EXPECT_TRUE(s.weak.expired());
         drainMainContext();
         EXPECT_EQ(calls.count, 1);
         EXPECT_TRUE(isCancellation(calls.error));
       }},
      {"fetcher's fetch()", HostAction::reenter,
       "a fetch or reload from inside is refused (a page is loading) and never completes",
       [] {
         Screen s;
         SourceCalls first, refused;
         s.fetcher->onFetch = [&] {
           s.fetcher->onFetch = nullptr;
           EXPECT_FALSE(s.source->fetchNextPage(refused.record()));
           EXPECT_FALSE(s.source->reload(refused.record()));
         };
         EXPECT_TRUE(s.source->fetchNextPage(first.record()));
         s.page();
         drainMainContext();
         EXPECT_EQ(first.count, 1);
         EXPECT_EQ(refused.count, 0);
       }},
      {"fetcher's fetch()", HostAction::raise,
       "nothing starts: the exception leaves fetchNextPage(), the completion never runs and "
       "the data source is idle",
       [] {
         Screen s;
         SourceCalls calls;
         s.fetcher->onFetch = [] { throw HostError(); };
         EXPECT_THROW(s.source->fetchNextPage(calls.record()), HostError);
         EXPECT_FALSE(s.source->isLoading());
         drainMainContext();
         EXPECT_EQ(calls.count, 0);
         s.fetcher->onFetch = nullptr;
         s.expectWorking();
       }},
      {"key scheme's closure", HostAction::release,
       "the page is merged and its callbacks run, then the data source goes",
       [] {
         std::function<void()> act;
         Screen s(FromIDPagination::make(2, 0, [&act]() -> std::int64_t {
           if (act) act();
           return 2;
         }));
         act = [&s] { s.source.reset(); };
         SourceCalls calls;
         s.source->fetchNextPage(calls.record());
         s.page();
         EXPECT_EQ(calls.count, 1);
         EXPECT_EQ(s.told->count, 1);
         EXPECT_TRUE(s.weak.expired());
       }},
      {"key scheme's closure", HostAction::reenter,
       "replacing the data source's scheme from inside: the old scheme finishes its update and "
       "the new one is used from then on",
       [] {
         std::function<void()> act;
         Screen s(FromIDPagination::make(2, 0, [&act]() -> std::int64_t {
           if (act) std::exchange(act, nullptr)();
           return 2;
         }));
         auto replacement =
             std::make_shared<PerPagePagination>(2, 1, PerPagePagination::Keys{"per-page", "page"});
         act = [&s, replacement] { s.source->setPagination(replacement); };
         SourceCalls calls;
         s.source->fetchNextPage(calls.record());
         s.page();
         EXPECT_EQ(calls.count, 1);
         EXPECT_EQ(s.source->pagination(), replacement);
         s.expectWorking();
       }},
      {"key scheme's closure", HostAction::raise,
       "the page is merged and the completion runs, then the exception leaves the delivery; "
       "the key stays",
       [] {
         auto scheme = FromIDPagination::make(2, 0, []() -> std::int64_t { throw HostError(); });
         Screen s(scheme);
         SourceCalls calls;
         s.source->fetchNextPage(calls.record());
         EXPECT_THROW(s.page(), HostError);
         EXPECT_EQ(calls.count, 1);
         EXPECT_EQ(ids(s.source->items()), (std::vector<std::int64_t>{1, 2}));
         EXPECT_EQ(scheme->id(), 0);
         EXPECT_FALSE(s.source->isLoading());
       }},
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
         EXPECT_EQ(ids(runUntilComplete(next.value())), (std::vector<std::int64_t>{5, 6}));
       }},
      {"awaiting fetchNextPage()", HostAction::raise,
       "the await ends with what the fetcher or willFetch threw (after willFetch the page "
       "still comes); no continuation leaks",
       [] {
         quarn::testing::LogCapture log;
         Screen s;
         s.fetcher->onFetch = [] { throw HostError(); };
         EXPECT_THROW(runUntilComplete(s.source->fetchNextPage()), HostError);
         s.fetcher->onFetch = nullptr;
         s.source->willFetch = [](auto&) { throw HostError(); };
         EXPECT_THROW(runUntilComplete(s.source->fetchNextPage()), HostError);
         s.page();
         EXPECT_EQ(ids(s.source->items()), (std::vector<std::int64_t>{1, 2}));
         s.source->willFetch = nullptr;
         s.expectWorking();
         EXPECT_EQ(log.texts(LogLevel::error), std::vector<std::string>{});
       }},
  });
}

/// A host's list view: counts its reloads; `onReload` runs inside each.
class Listing : public platform::ScrollView, public ScrolledList {
 public:
  int reloads = 0;
  std::function<void()> onReload;
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
  void page(std::int64_t first = 1) {
    ASSERT_GT(fetcher->running(), 0u);
    fetcher->deliver(fetcher->running() - 1, ScriptedPageFetcher::page(first, 2));
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
         s.source->didCompletionFetch = [&s](auto&, auto&) { s.source.reset(); };
         ASSERT_TRUE(s.infinite().scrollToEnd());
         s.page();
         EXPECT_FALSE(s.infinite().isAnimatingInfiniteScroll());
         EXPECT_TRUE(s.weak.expired());
       }},
      {"page of a scroll to the end", HostAction::reenter,
       "a pull from inside reloads; the scroll's animation ends, the pull's a quarter second "
       "after its page",
       [] {
         ScrolledScreen s;
         s.source->didCompletionFetch = [&s](auto&, auto&) {
           s.source->didCompletionFetch = nullptr;
           s.pull().simulateUserPull();
         };
         ASSERT_TRUE(s.infinite().scrollToEnd());
         s.page(1);
         EXPECT_FALSE(s.infinite().isAnimatingInfiniteScroll());
         EXPECT_TRUE(s.pull().isRefreshing());
         EXPECT_TRUE(s.source->isLoading());
         s.page(9);
         EXPECT_FALSE(s.refreshingAfterDelay());
         EXPECT_EQ(ids(s.source->items()), (std::vector<std::int64_t>{9, 10}));
       }},
      {"page of a scroll to the end", HostAction::raise,
       "the exception leaves the delivery; the animation has ended and scrolling loads again",
       [] {
         ScrolledScreen s;
         s.source->didCompletionFetch = [](auto&, auto&) { throw HostError(); };
         ASSERT_TRUE(s.infinite().scrollToEnd());
         EXPECT_THROW(s.page(), HostError);
         EXPECT_FALSE(s.infinite().isAnimatingInfiniteScroll());
         s.source->didCompletionFetch = nullptr;
         EXPECT_TRUE(s.infinite().scrollToEnd());
         EXPECT_TRUE(s.source->isLoading());
       }},
      {"page of a pull", HostAction::release,
       "the pull still ends a quarter second after the page; the data source goes",
       [] {
         ScrolledScreen s;
         s.source->didCompletionFetch = [&s](auto&, auto&) { s.source.reset(); };
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
         s.source->didCompletionFetch = [&s](auto&, auto&) {
           s.source->didCompletionFetch = nullptr;
           EXPECT_TRUE(s.source->forceReload(false, nullptr));
         };
         s.pull().simulateUserPull();
         s.page(1);
         EXPECT_TRUE(s.source->isLoading());
         EXPECT_FALSE(s.refreshingAfterDelay());
         s.page(3);
         EXPECT_EQ(ids(s.source->items()), (std::vector<std::int64_t>{3, 4}));
       }},
      {"page of a pull", HostAction::raise,
       "the exception leaves the delivery; the pull still ends and a new pull reloads",
       [] {
         ScrolledScreen s;
         s.source->didCompletionFetch = [](auto&, auto&) { throw HostError(); };
         s.pull().simulateUserPull();
         EXPECT_THROW(s.page(), HostError);
         EXPECT_FALSE(s.refreshingAfterDelay());
         s.source->didCompletionFetch = nullptr;
         s.pull().simulateUserPull();
         EXPECT_TRUE(s.source->isLoading());
       }},
      {"fetch of a scroll", HostAction::release,
       "the fetch's completion runs with the cancellation error and ends the animation",
       [] {
         ScrolledScreen s;
         s.fetcher->onFetch = [&s] { s.source.reset(); };
         ASSERT_TRUE(s.infinite().scrollToEnd());
         EXPECT_TRUE(s.weak.expired());
         drainMainContext();
         EXPECT_FALSE(s.infinite().isAnimatingInfiniteScroll());
       }},
      {"fetch of a scroll", HostAction::reenter,
       "a pull from inside cannot reload (a page loads) and ends at once; the scroll's page "
       "still comes",
       [] {
         ScrolledScreen s;
         s.fetcher->onFetch = [&s] {
           s.fetcher->onFetch = nullptr;
           s.pull().simulateUserPull();
         };
         ASSERT_TRUE(s.infinite().scrollToEnd());
         EXPECT_FALSE(s.pull().isRefreshing());
         s.page();
         EXPECT_FALSE(s.infinite().isAnimatingInfiniteScroll());
         EXPECT_EQ(s.source->items().size(), 2u);
       }},
      {"fetch of a scroll", HostAction::raise,
       "nothing starts: the animation ends and the exception leaves the scroll",
       [] {
         ScrolledScreen s;
         s.fetcher->onFetch = [] { throw HostError(); };
         EXPECT_THROW(s.infinite().scrollToEnd(), HostError);
         EXPECT_FALSE(s.infinite().isAnimatingInfiniteScroll());
         EXPECT_FALSE(s.source->isLoading());
         s.fetcher->onFetch = nullptr;
         EXPECT_TRUE(s.infinite().scrollToEnd());
       }},
      {"list's reloadData", HostAction::release,
       "the delivery finishes: the callback, the observers and the scroll's animation still "
       "run; the data source goes when the page's delivery returns",
       [] {
         ScrolledScreen s;
         bool called = false;
         s.source->didCompletionFetch = [&called](auto&, auto&) { called = true; };
         s.scrollView->onReload = [&s] { s.source.reset(); };
         ASSERT_TRUE(s.infinite().scrollToEnd());
         s.page();
         EXPECT_TRUE(called);
         EXPECT_FALSE(s.infinite().isAnimatingInfiniteScroll());
         EXPECT_TRUE(s.weak.expired());
         EXPECT_EQ(s.scrollView->reloads, 1);
       }},
      {"list's reloadData", HostAction::reenter,
       "the list sees the items of the page, and a fetch from inside starts the next page",
       [] {
         ScrolledScreen s;
         std::vector<std::int64_t> shown;
         s.scrollView->onReload = [&s, &shown] {
           shown = ids(s.source->items());
           if (s.scrollView->reloads == 1) {
             EXPECT_TRUE(s.source->fetchNextPage(nullptr));
           }
         };
         ASSERT_TRUE(s.infinite().scrollToEnd());
         s.page();
         EXPECT_EQ(shown, (std::vector<std::int64_t>{1, 2}));
         EXPECT_TRUE(s.source->isLoading());
         s.page(3);
         EXPECT_EQ(shown, (std::vector<std::int64_t>{1, 2, 3, 4}));
         EXPECT_EQ(s.scrollView->reloads, 2);
       }},
      {"list's reloadData", HostAction::raise,
       "the callback, the observers and the completion still run, then the exception leaves "
       "the page's delivery; the data source keeps working",
       [] {
         ScrolledScreen s;
         bool called = false;
         s.source->didCompletionFetch = [&called](auto&, auto&) { called = true; };
         s.scrollView->onReload = [] { throw HostError(); };
         ASSERT_TRUE(s.infinite().scrollToEnd());
         EXPECT_THROW(s.page(), HostError);
         EXPECT_TRUE(called);
         EXPECT_FALSE(s.infinite().isAnimatingInfiniteScroll());
         EXPECT_EQ(ids(s.source->items()), (std::vector<std::int64_t>{1, 2}));
         s.scrollView->onReload = nullptr;
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

/// The real fetcher against five items served two to a page.
struct Served {
  Served() {
    auto collection = std::make_shared<quarn::testing::PagedCollection>();
    collection->count = 5;
    quarn::testing::servePages(server.routes(), "/items", collection);
    server.start();
  }
  Fetcher::RequestBuilder builder() {
    return [this](const Pagination*) {
      return session.request(*URL::parse(server.url("/items?page=1&per-page=2")));
    };
  }
  std::shared_ptr<Fetcher> fetcher(Fetcher::Preprocessor preprocessor = nullptr) {
    return Fetcher::make(JSONDecoder(), builder(), std::move(preprocessor));
  }
  static void waitFor(const FetcherCalls& calls, int count = 1) {
    quarn::testing::runUntil([&] { return calls.count >= count; });
  }

  quarn::testing::LoopbackServer server;
  http::Session session;
};

TEST(DecodablePageFetcherReentrancyTest, EveryCallbackAndAction) {
  runReentrancyTable({
      {"request builder", HostAction::release,
       "the fetcher lives until fetch() returns; releasing it cancels the request, whose "
       "completion gets explicitlyCancelled",
       [] {
         Served served;
         auto fetcher = served.fetcher();
         const std::weak_ptr<Fetcher> weak = fetcher;
         fetcher->requestBuilder = [&fetcher, build = served.builder()](const Pagination* p) {
           fetcher.reset();
           return build(p);
         };
         FetcherCalls calls;
         EXPECT_TRUE(fetcher->fetch(nullptr, calls.record()));
         EXPECT_TRUE(weak.expired());
         Served::waitFor(calls);
         const auto error =
             testing::errorOfType<http::RequestError>([&] { std::rethrow_exception(calls.error); });
         EXPECT_TRUE(error && error->isExplicitlyCancelled()) << detail::describeError(calls.error);
       }},
      {"request builder", HostAction::reenter,
       "cancel() and replacing the builder from inside: the request built still runs, the "
       "next fetch uses the new builder",
       [] {
         Served served;
         auto fetcher = served.fetcher();
         const std::string path = served.server.url("/items?page=1&per-page=2");
         fetcher->requestBuilder = [&served, &fetcher, path](const Pagination*) {
           fetcher->cancel();
           fetcher->requestBuilder = [](const Pagination*) { return nullptr; };
           return served.session.request(*URL::parse(path));  // the captures after the swap
         };
         FetcherCalls calls;
         EXPECT_TRUE(fetcher->fetch(nullptr, calls.record()));
         Served::waitFor(calls);
         EXPECT_EQ(ids(calls.results.value_or(std::vector<Article>{})),
                   (std::vector<std::int64_t>{1, 2}));
         EXPECT_FALSE(fetcher->fetch(nullptr, calls.record()));
       }},
      {"request builder", HostAction::raise,
       "nothing starts and the exception leaves fetch(); the next fetch works",
       [] {
         Served served;
         auto fetcher = served.fetcher();
         fetcher->requestBuilder = [](const Pagination*) -> std::shared_ptr<http::DataRequest> {
           throw HostError();
         };
         FetcherCalls calls;
         EXPECT_THROW(fetcher->fetch(nullptr, calls.record()), HostError);
         EXPECT_EQ(fetcher->currentDataRequest(), nullptr);
         fetcher->requestBuilder = served.builder();
         EXPECT_TRUE(fetcher->fetch(nullptr, calls.record()));
         Served::waitFor(calls);
         EXPECT_EQ(calls.count, 1);
         EXPECT_FALSE(calls.error);
       }},
      {"preprocessor", HostAction::release,
       "the completion still gets the page once the host has released the fetcher",
       [] {
         Served served;
         auto fetcher = served.fetcher();
         fetcher->preprocessor = [&fetcher](http::DataResponse<std::vector<Article>> r) {
           fetcher.reset();
           return r;
         };
         FetcherCalls calls;
         fetcher->fetch(nullptr, calls.record());
         Served::waitFor(calls);
         EXPECT_EQ(calls.count, 1);
         EXPECT_EQ(ids(calls.results.value_or(std::vector<Article>{})),
                   (std::vector<std::int64_t>{1, 2}));
       }},
      {"preprocessor", HostAction::reenter, "a fetch from inside runs and completes too",
       [] {
         Served served;
         auto fetcher = served.fetcher();
         FetcherCalls first, second;
         fetcher->preprocessor = [&](http::DataResponse<std::vector<Article>> r) {
           fetcher->preprocessor = nullptr;
           EXPECT_TRUE(fetcher->fetch(nullptr, second.record()));
           return r;
         };
         fetcher->fetch(nullptr, first.record());
         Served::waitFor(second);
         EXPECT_EQ(first.count, 1);
         EXPECT_EQ(second.count, 1);
         EXPECT_FALSE(second.error);
       }},
      {"preprocessor", HostAction::raise,
       "the exception reaches the completion as the page's error; a data source over the "
       "fetcher keeps it as the last error and is idle",
       [] {
         Served served;
         auto source = PaginatedDataSource<Fetcher>::make(served.fetcher(
             [](http::DataResponse<std::vector<Article>>)
                 -> http::DataResponse<std::vector<Article>> { throw HostError(); }));
         Calls<Article> calls;
         source->fetchNextPage(calls.record());
         Served::waitFor(calls);
         EXPECT_EQ(calls.count, 1);
         EXPECT_TRUE(testing::errorOfType<HostError>([&] { std::rethrow_exception(calls.error); }));
         EXPECT_EQ(source->lastError(), calls.error);
         EXPECT_FALSE(source->isLoading());
       }},
      {"completion", HostAction::release, "nothing of the fetcher is touched after it",
       [] {
         Served served;
         auto fetcher = served.fetcher();
         const std::weak_ptr<Fetcher> weak = fetcher;
         FetcherCalls calls;
         calls.then = [&fetcher] { fetcher.reset(); };
         fetcher->fetch(nullptr, calls.record());
         Served::waitFor(calls);
         drainMainContext();
         EXPECT_TRUE(weak.expired());
         EXPECT_FALSE(calls.error);
       }},
      {"completion", HostAction::reenter, "a fetch from inside runs and completes",
       [] {
         Served served;
         auto fetcher = served.fetcher();
         FetcherCalls first, second;
         first.then = [&] { EXPECT_TRUE(fetcher->fetch(nullptr, second.record())); };
         fetcher->fetch(nullptr, first.record());
         Served::waitFor(second);
         EXPECT_EQ(second.count, 1);
         EXPECT_FALSE(second.error);
       }},
      {"completion", HostAction::raise,
       "the exception leaves the main context's run; the fetcher fetches again",
       [] {
         Served served;
         auto fetcher = served.fetcher();
         FetcherCalls calls;
         calls.then = [] { throw HostError(); };
         fetcher->fetch(nullptr, calls.record());
         EXPECT_THROW(runMainContextUntil([&] { return calls.count > 0; }), HostError);
         calls.then = nullptr;
         fetcher->fetch(nullptr, calls.record());
         Served::waitFor(calls, 2);
         EXPECT_FALSE(calls.error);
       }},
  });
}

}  // namespace
}  // namespace quarn
