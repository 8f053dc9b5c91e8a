// The page fetcher against the loopback server: the builder typed for one
// scheme, the preprocessor's response standing in for the real one (and
// its failure), the total read from another header, willFetch around a
// started request, and releasing the fetcher cancelling its request.
#include "quarnkit/paging/decodable_page_fetcher.h"

#include <gtest/gtest.h>

#include "quarnkit/http/session.h"
#include "quarnkit/http/testing/http_fixtures.h"
#include "quarnkit/paging/page_request.h"
#include "quarnkit/paging/paginated_data_source.h"
#include "quarnkit/testing/loopback_server.h"

namespace quarn {
namespace {

using quarn::testing::LoopbackServer;
using quarn::testing::runUntil;
using Fetcher = AlamofireDecodablePageFetcher<Value>;

struct Page {
  std::optional<std::vector<Value>> items;
  std::exception_ptr error;
  std::optional<ResponsePaginationInfo> info;
};

class PageFetcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.routes().Get("/items", [](const httplib::Request& req, httplib::Response& res) {
      res.set_header("X-Pagination-Total-Count", "40");
      res.set_header("X-Total", "7");
      res.set_content(R"([{"id": 1}, {"id": 2}])", "application/json");
      (void)req;
    });
    server.routes().Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
      server.hold(std::chrono::seconds(5));
      res.set_content(R"([{"id": 1}])", "application/json");
    });
    server.start();
  }

  std::shared_ptr<http::DataRequest> request(const std::string& path, const Pagination* p) {
    const URL url = *URL::parse(server.url(path));
    return session.request(p ? urlWithParameters(url, p->parameters()) : url);
  }

  static Page fetch(Fetcher& fetcher, const Pagination* pagination) {
    std::optional<Page> page;
    EXPECT_TRUE(fetcher.fetch(pagination, [&](auto items, auto error, auto info) {
      page = Page{std::move(items), std::move(error), std::move(info)};
    }));
    runUntil([&] { return page.has_value(); });
    return page.value_or(Page{});
  }

  LoopbackServer server;
  http::Session session;
};

TEST_F(PageFetcherTest, ATypedBuilderReceivesItsSchemeAndNothingForAnother) {
  std::vector<std::optional<std::int64_t>> seen;
  auto fetcher = Fetcher::forScheme<PerPagePagination>(
      JSONDecoder(), [&](const PerPagePagination* p) -> std::shared_ptr<http::DataRequest> {
        seen.push_back(p ? std::optional(p->nextPage()) : std::nullopt);
        return p ? request("/items", p) : nullptr;
      });
  const PerPagePagination pages(2, 3, {"per-page", "page"});
  const Page page = fetch(*fetcher, &pages);
  ASSERT_TRUE(page.items);
  EXPECT_EQ(page.items->size(), 2u);
  const OffsetLimitPagination offsets(2, 0);
  EXPECT_FALSE(fetcher->fetch(&offsets, [](auto, auto, auto) { ADD_FAILURE(); }));
  EXPECT_FALSE(fetcher->fetch(nullptr, [](auto, auto, auto) { ADD_FAILURE(); }));
  EXPECT_EQ(seen, (std::vector<std::optional<std::int64_t>>{3, std::nullopt, std::nullopt}));
  EXPECT_FALSE(fetcher->currentDataRequest());
}

TEST_F(PageFetcherTest, ThePreprocessorsResponseIsTheOneReported) {
  auto fetcher = Fetcher::make(
      JSONDecoder(), [this](const Pagination* p) { return request("/items", p); },
      [](http::DataResponse<std::vector<Value>> r) {
        // Drops the first item and the total the server sent.
        if (auto* items = r.result.ifValue()) items->erase(items->begin());
        if (r.response) r.response->headers.remove("X-Pagination-Total-Count");
        return r;
      });
  Page page = fetch(*fetcher, nullptr);
  ASSERT_TRUE(page.items);
  EXPECT_EQ(*page.items, (std::vector<Value>{Value{{"id", 2}}}));
  ASSERT_TRUE(page.info);
  EXPECT_FALSE(page.info->reportedTotalCount());
  // One that throws: the page fails with its error, the headers as received.
  fetcher->preprocessor =
      [](http::DataResponse<std::vector<Value>>) -> http::DataResponse<std::vector<Value>> {
    throw std::runtime_error("rejected");
  };
  page = fetch(*fetcher, nullptr);
  EXPECT_FALSE(page.items);
  ASSERT_TRUE(page.error);
  EXPECT_EQ(detail::describeError(page.error), "rejected");
  EXPECT_EQ(page.info->reportedTotalCount(), 40);
}

TEST_F(PageFetcherTest, TheTotalIsReadFromTheHeaderNamed) {
  auto fetcher =
      Fetcher::make(JSONDecoder(), [this](const Pagination* p) { return request("/items", p); });
  EXPECT_EQ(fetch(*fetcher, nullptr).info->reportedTotalCount(), 40);
  fetcher->totalCountKey = "x-total";  // any letter case
  EXPECT_EQ(fetch(*fetcher, nullptr).info->reportedTotalCount(), 7);
  fetcher->totalCountKey = "X-None";
  EXPECT_FALSE(fetch(*fetcher, nullptr).info->reportedTotalCount());
}

TEST_F(PageFetcherTest, WillFetchHearsOfEachStartedRequestOnly) {
  bool build = true;
  auto fetcher = Fetcher::make(
      JSONDecoder(), [&](const Pagination* p) { return build ? request("/items", p) : nullptr; });
  auto source = PaginatedDataSource<Fetcher>::make(fetcher);
  std::vector<bool> running;
  source->willFetch = [&](Fetcher& f) {
    EXPECT_EQ(&f, fetcher.get());
    running.push_back(source->isLoading() && f.currentDataRequest() != nullptr);
  };
  bool done = false;
  EXPECT_TRUE(source->fetchNextPage([&](auto, auto) { done = true; }));
  runUntil([&] { return done; });
  build = false;
  EXPECT_FALSE(source->fetchNextPage(nullptr));
  EXPECT_EQ(running, std::vector<bool>{true});
}

TEST_F(PageFetcherTest, ReleasingTheFetcherCancelsItsRequest) {
  auto fetcher =
      Fetcher::make(JSONDecoder(), [this](const Pagination* p) { return request("/slow", p); });
  std::optional<Page> page;
  const auto began = std::chrono::steady_clock::now();
  ASSERT_TRUE(fetcher->fetch(nullptr, [&](auto items, auto error, auto info) {
    page = Page{std::move(items), std::move(error), std::move(info)};
  }));
  const std::weak_ptr<http::DataRequest> running = fetcher->currentDataRequest();
  fetcher.reset();
  runUntil([&] { return page.has_value(); });
  // Well before the server's 5 seconds, with the cancellation.
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(3));
  ASSERT_TRUE(page && page->error);
  try {
    std::rethrow_exception(page->error);
  } catch (const http::RequestError& e) {
    EXPECT_EQ(e.kind(), http::RequestError::Kind::explicitlyCancelled);
  }
  EXPECT_FALSE(page->items);
}

}  // namespace
}  // namespace quarn
