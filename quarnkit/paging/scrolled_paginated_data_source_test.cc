// The scrolled data source on the headless toolkit, with the real fetcher
// against the loopback server: scrolling to the end loads pages until the
// scheme has no more, a pull reloads and ends its animation a quarter second
// later on the manual clock (at once when it cannot reload), the refresh
// control follows refreshControlEnable and the device, and the handlers
// outlive the data source harmlessly.
#include "quarnkit/paging/scrolled_paginated_data_source.h"

#include <gtest/gtest.h>

#include "quarnkit/http/session.h"
#include "quarnkit/http/testing/http_fixtures.h"
#include "quarnkit/paging/decodable_page_fetcher.h"
#include "quarnkit/paging/page_request.h"
#include "quarnkit/platform/device.h"
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

  std::shared_ptr<Source> make(const std::string& path, bool refreshEnabled = true) {
    auto fetcher = Fetcher::make(JSONDecoder(), [this, path](const Pagination* p) {
      return session.request(urlWithParameters(*URL::parse(server.url(path)), p->parameters()));
    });
    return Source::make(scrollView, fetcher, PerPagePagination(20, 1, {"per-page", "page"}),
                        refreshEnabled,
                        platform::refreshControlType<platform::RefreshControlAdapter>());
  }

  platform::InfiniteScroll& infinite() { return scrollView->infiniteScroll(); }
  std::shared_ptr<platform::RefreshControl> pullControl() { return scrollView->refreshControl(); }

  platform::ScopedService<platform::Device> phone{
      std::make_shared<platform::FixedDevice>(platform::UserInterfaceIdiom::phone)};
  LoopbackServer server;
  http::Session session;
  std::shared_ptr<platform::ScrollView> scrollView = std::make_shared<platform::ScrollView>();
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
  scrollView = std::make_shared<platform::ScrollView>();
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

}  // namespace
}  // namespace quarn
