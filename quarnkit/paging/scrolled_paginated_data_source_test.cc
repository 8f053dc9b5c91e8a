// The scrolled data source on the headless toolkit, with the real fetcher
// against the loopback server: scrolling to the end loads pages until the
// scheme has no more, a pull reloads and ends its animation a quarter second
// later on the manual clock (at once when it cannot reload), the refresh
// control follows refreshControlEnable and the device, and the handlers
// outlive the data source harmlessly. The list is a host's own view that
// counts its reloads; the headless collection view serves as one too.
#include "quarnkit/paging/scrolled_paginated_data_source.h"

#include <gtest/gtest.h>

#include "quarnkit/http/session.h"
#include "quarnkit/http/testing/http_fixtures.h"
#include "quarnkit/paging/decodable_page_fetcher.h"
#include "quarnkit/paging/page_request.h"
#include "quarnkit/platform/device.h"
#include "quarnkit/platform/ui/collection_view.h"
#include "quarnkit/testing/loopback_server.h"

namespace quarn {
namespace {

using quarn::testing::LoopbackServer;
using quarn::testing::runUntil;

struct Article {
  std::int64_t id = 0;
  static Article decode(Decoder& d) { return {d.container()->decode<std::int64_t>("id")}; }
};

using Fetcher = AlamofireDecodablePageFetcher<Article>;
using Source = ScrolledPaginatedDataSource<Fetcher>;

// A host's list view: a scroll view that counts its reloads and what the
// data source held at each.
class CountingList : public platform::ScrollView, public ScrolledList {
 public:
  std::function<std::size_t()> itemCount;
  std::vector<std::size_t> shown;
  void reloadData() override { shown.push_back(itemCount ? itemCount() : 0); }
};

class ScrolledPaginatedDataSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto collection = std::make_shared<testing::PagedCollection>();
    collection->count = 45;
    testing::servePages(server.routes(), "/items", collection);
    server.routes().Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
      server.hold(std::chrono::milliseconds(150));
      res.set_content(R"([{"id": 1}])", "application/json");
    });
    server.start();
  }

  std::shared_ptr<Fetcher> fetcherFor(const std::string& path) {
    return Fetcher::make(JSONDecoder(), [this, path](const Pagination* p) {
      return session.request(urlWithParameters(*URL::parse(server.url(path)), p->parameters()));
    });
  }
  std::shared_ptr<Source> make(const std::string& path, bool refreshEnabled = true) {
    auto source = Source::make(scrollView, fetcherFor(path),
                               PerPagePagination(20, 1, {"per-page", "page"}), refreshEnabled,
                               platform::refreshControlType<platform::RefreshControlAdapter>());
    scrollView->itemCount = [weak = std::weak_ptr<Source>(source)] {
      auto held = weak.lock();
      return held ? held->items().size() : 0;
    };
    return source;
  }

  platform::InfiniteScroll& infinite() { return scrollView->infiniteScroll(); }
  std::shared_ptr<platform::RefreshControl> pullControl() { return scrollView->refreshControl(); }

  platform::ScopedService<platform::Device> phone{
      std::make_shared<platform::FixedDevice>(platform::UserInterfaceIdiom::phone)};
  LoopbackServer server;
  http::Session session;
  std::shared_ptr<CountingList> scrollView = std::make_shared<CountingList>();
};

TEST_F(ScrolledPaginatedDataSourceTest, ScrollingToTheEndLoadsPagesUntilTheSchemeHasNoMore) {
  auto source = make("/items");
  const auto* spinner = dynamic_cast<const platform::ActivityIndicatorView*>(
      infinite().infiniteScrollIndicatorView().get());
  ASSERT_TRUE(spinner);
  EXPECT_EQ(spinner->style(), platform::ActivityIndicatorView::Style::medium);
  for (std::size_t expected : {20u, 40u, 45u}) {
    ASSERT_TRUE(infinite().scrollToEnd());
    EXPECT_TRUE(infinite().isAnimatingInfiniteScroll());
    EXPECT_TRUE(spinner->isAnimating());
    EXPECT_TRUE(source->isLoading());
    runUntil([&] { return !source->isLoading(); });
    EXPECT_FALSE(infinite().isAnimatingInfiniteScroll());
    EXPECT_FALSE(spinner->isAnimating());
    EXPECT_EQ(source->items().size(), expected);
  }
  EXPECT_FALSE(infinite().isShown());
  EXPECT_FALSE(infinite().scrollToEnd());
  source->pagination()->reset();
  EXPECT_TRUE(infinite().isShown());
  source->infinitiScrollingEnadle = false;
  EXPECT_FALSE(infinite().isShown());
}

TEST_F(ScrolledPaginatedDataSourceTest, APullReloadsAndEndsAQuarterSecondAfterThePageArrives) {
  auto clock = std::make_shared<platform::ManualClock>();
  const platform::ScopedService<platform::TimerScheduler> timers(clock);
  auto source = make("/items");
  infinite().scrollToEnd();
  runUntil([&] { return !source->isLoading(); });
  infinite().scrollToEnd();
  runUntil([&] { return !source->isLoading(); });
  ASSERT_EQ(source->items().size(), 40u);
  pullControl()->simulateUserPull();
  EXPECT_TRUE(pullControl()->isRefreshing());
  EXPECT_TRUE(source->isLoading());
  runUntil([&] { return !source->isLoading(); });
  EXPECT_EQ(source->items().size(), 20u);  // the first page again
  EXPECT_TRUE(pullControl()->isRefreshing());
  clock->advance(0.249);
  EXPECT_TRUE(pullControl()->isRefreshing());
  clock->advance(0.001);
  EXPECT_FALSE(pullControl()->isRefreshing());
}

TEST_F(ScrolledPaginatedDataSourceTest, WhatCannotStartWhileAPageLoadsEndsItsAnimationAtOnce) {
  auto source = make("/slow");
  EXPECT_TRUE(source->fetchNextPage(nullptr));
  pullControl()->simulateUserPull();
  EXPECT_FALSE(pullControl()->isRefreshing());
  EXPECT_TRUE(infinite().scrollToEnd());
  EXPECT_FALSE(infinite().isAnimatingInfiniteScroll());
  runUntil([&] { return !source->isLoading(); });
}

TEST_F(ScrolledPaginatedDataSourceTest, TheRefreshControlFollowsTheFlagAndTheDevice) {
  auto source = make("/items", false);
  ASSERT_TRUE(source->refreshControl());
  EXPECT_EQ(pullControl(), nullptr);
  source->setRefreshControlEnable(true);
  EXPECT_NE(pullControl(), nullptr);
  // Disabling detaches only the control that is attached.
  auto other = std::make_shared<platform::RefreshControl>();
  scrollView->setRefreshControl(other);
  source->setRefreshControlEnable(false);
  EXPECT_EQ(pullControl(), other);

  const platform::ScopedService<platform::Device> desktop(
      std::make_shared<platform::FixedDevice>(platform::UserInterfaceIdiom::desktop));
  scrollView = std::make_shared<CountingList>();
  auto onDesktop = make("/items");
  EXPECT_EQ(onDesktop->refreshControl(), nullptr);
  EXPECT_EQ(pullControl(), nullptr);
}

TEST_F(ScrolledPaginatedDataSourceTest, HandlersDoNothingOnceTheDataSourceIsGone) {
  auto source = make("/items");
  auto control = pullControl();
  source.reset();
  EXPECT_FALSE(infinite().isShown());
  EXPECT_FALSE(infinite().scrollToEnd());
  control->simulateUserPull();
  drainMainContext();
  EXPECT_EQ(server.requestCount(), 0u);
}

// The list shows every delivery: each page, a failed page (the items as they
// were, or none after a clearing reload) and a fetch with nothing to request;
// it is reloaded before the callback and the observers hear of it.
TEST_F(ScrolledPaginatedDataSourceTest, TheListIsReloadedAfterEveryDelivery) {
  auto source = make("/items");
  std::vector<std::size_t> reloadsSeenByCallback;
  source->didCompletionFetch = [&](auto&, auto&) {
    reloadsSeenByCallback.push_back(scrollView->shown.size());
  };
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(infinite().scrollToEnd());
    runUntil([&] { return !source->isLoading(); });
  }
  EXPECT_EQ(scrollView->shown, (std::vector<std::size_t>{20, 40}));
  EXPECT_EQ(reloadsSeenByCallback, (std::vector<std::size_t>{1, 2}));

  // A failing endpoint: the failed page is shown as the items now are.
  auto failing = make("/missing");
  scrollView->shown.clear();
  ASSERT_TRUE(failing->fetchNextPage(nullptr));
  runUntil([&] { return !failing->isLoading(); });
  ASSERT_TRUE(failing->lastError());
  failing->setItems({{1}, {2}});
  EXPECT_TRUE(failing->forceReload(true, nullptr));
  runUntil([&] { return !failing->isLoading(); });
  EXPECT_EQ(scrollView->shown, (std::vector<std::size_t>{0, 0}));  // cleared, then failed

  // Nothing to request: reported at once, and shown.
  scrollView->shown.clear();
  auto idle = Source::make(scrollView, Fetcher::make(JSONDecoder(), [](auto) { return nullptr; }),
                           nullptr, false);
  EXPECT_FALSE(idle->fetchNextPage(nullptr));
  EXPECT_EQ(scrollView->shown.size(), 1u);
}

// The headless collection view is a list too: the data source reloads it.
TEST_F(ScrolledPaginatedDataSourceTest, ReloadsTheHeadlessCollectionView) {
  auto collection = std::make_shared<platform::CollectionView>();
  int reloads = 0;
  collection->addContentObserver([&](platform::CollectionView&) { ++reloads; });
  auto source = Source::make(collection, fetcherFor("/items"),
                             PerPagePagination(20, 1, {"per-page", "page"}), false);
  ASSERT_TRUE(collection->infiniteScroll().scrollToEnd());
  runUntil([&] { return !source->isLoading(); });
  EXPECT_EQ(source->items().size(), 20u);
  EXPECT_EQ(reloads, 1);
  EXPECT_EQ(source->list(), std::static_pointer_cast<ScrolledList>(collection));
}

}  // namespace
}  // namespace quarn
