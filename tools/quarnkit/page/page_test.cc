// quarnkit page against a loopback server: the walk of each scheme to its
// end (with and without a total header), the page limit, duplicates, items
// at a key path, the headers sent, the text and json output, and failures
// as one line naming the URL.
#include "tools/quarnkit/page/page.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>

#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/testing/loopback_server.h"
#include "tools/quarnkit/common/http_options.h"
#include "tools/quarnkit/common/log_lines.h"

namespace quarn::tool {
namespace {

using quarn::testing::LoopbackServer;
using quarn::testing::PagedCollection;

std::vector<std::int64_t> idsOf(const Walk& walk) {
  std::vector<std::int64_t> out;
  for (const WalkedPage& page : walk.pages) {
    for (const Value& item : page.items) out.push_back(*item.find("id")->asInteger());
  }
  return out;
}

std::string failureOf(const PageOptions& options) {
  try {
    walkPages(options);
  } catch (const InputError& e) {
    return e.what();
  }
  return "no error";
}

PagedCollection counted(std::size_t count) {
  PagedCollection c;
  c.count = count;
  return c;
}

class PageTest : public ::testing::Test {
 protected:
  void serve(PagedCollection collection) {
    quarn::testing::servePages(server.routes(), "/items",
                               std::make_shared<const PagedCollection>(std::move(collection)));
  }
  PageOptions options(std::string scheme, std::int64_t perPage) {
    if (server.port() < 0) server.start();
    PageOptions o;
    o.url = server.url("/items");
    o.scheme = std::move(scheme);
    o.perPage = perPage;
    o.all = true;
    return o;
  }
  LoopbackServer server{4};
};

TEST_F(PageTest, EverySchemeWalksTheCollectionToItsEnd) {
  serve(counted(5));
  for (const std::string scheme : {"page", "offset", "pk", "from-id"}) {
    SCOPED_TRACE(scheme);
    const Walk walk = walkPages(options(scheme, 2));
    EXPECT_EQ(idsOf(walk), (std::vector<std::int64_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(walk.merged, 5u);
    EXPECT_EQ(walk.end, "the scheme stops: no further page");
    EXPECT_TRUE(walk.pages.back().stops);
  }
  PageOptions ids = options("ids", 2);
  ids.ids = {"4", "2", "5"};
  const Walk walk = walkPages(ids);
  EXPECT_EQ(idsOf(walk), (std::vector<std::int64_t>{4, 2, 5}));
  EXPECT_EQ(walk.pages.size(), 2u);
}

TEST_F(PageTest, WithoutATotalTheWalkEndsAtTheFirstEmptyPage) {
  PagedCollection untotalled = counted(4);
  untotalled.sendTotalCount = false;
  serve(untotalled);
  for (const std::string scheme : {"page", "offset"}) {
    SCOPED_TRACE(scheme);
    const Walk walk = walkPages(options(scheme, 2));
    EXPECT_EQ(walk.pages.size(), 3u);
    EXPECT_TRUE(walk.pages.back().items.empty());
    EXPECT_EQ(walk.merged, 4u);
    EXPECT_EQ(walk.pages[0].headers[3], (std::pair<std::string, std::optional<std::string>>{
                                            "X-Pagination-Total-Count", std::nullopt}));
    EXPECT_FALSE(walk.pages[0].info.reportedTotalCount());
  }
}

TEST_F(PageTest, PagesLimitsTheWalkAndSaysTheSchemeGoesOn) {
  serve(counted(9));
  PageOptions o = options("page", 2);
  o.all = false;
  o.pages = 2;
  const Walk walk = walkPages(o);
  EXPECT_EQ(idsOf(walk), (std::vector<std::int64_t>{1, 2, 3, 4}));
  EXPECT_EQ(walk.end, "2 pages asked for; the scheme goes on");
  EXPECT_EQ(walk.pages[1].next, (Value::Object{{"per-page", 2}, {"page", 3}}));
}

TEST_F(PageTest, AnEndlessAPIStopsAtThePageOrItemBound) {
  // Every page is full and new, and no total is sent: only the bounds end
  // the walk.
  server.routes().Get("/endless", [](const httplib::Request& req, httplib::Response& res) {
    const std::int64_t page = std::stoll(req.get_param_value("page"));
    std::string body = "[";
    for (std::int64_t i = 0; i < 4; ++i) {
      body += (i ? "," : "") + std::string(R"({"id": )") + std::to_string(page * 4 + i) + "}";
    }
    res.set_content(body + "]", "application/json");
  });
  PageOptions o = options("page", 4);
  o.url = server.url("/endless");
  o.maxPages = 7;
  Walk walk = walkPages(o);
  EXPECT_EQ(walk.pages.size(), 7u);
  EXPECT_EQ(walk.merged, 28u);
  EXPECT_EQ(walk.end, "stopped after 7 pages");
  o.maxItems = 10;
  walk = walkPages(o);
  EXPECT_EQ(walk.pages.size(), 3u);
  EXPECT_EQ(walk.end, "stopped at 12 items held");
}

TEST_F(PageTest, DuplicatesAreDroppedAndCounted) {
  PagedCollection repeated;
  repeated.items = {{1, R"({"id": 1})"},
                    {2, R"({"id": 2})"},
                    {3, R"({"id": 2})"},
                    {4, R"({"id": 3})"},
                    {5, R"({"id": 5})"}};
  serve(repeated);
  const Walk walk = walkPages(options("page", 2));
  EXPECT_EQ(walk.pages.size(), 3u);
  EXPECT_EQ(walk.merged, 4u);
  EXPECT_EQ(walk.duplicatesDropped, 1u);
  EXPECT_EQ(walk.pages[1].duplicatesDropped, 1u);
}

TEST_F(PageTest, ItemsAreReadAtTheKeyPathWithTheHeadersGiven) {
  PagedCollection nested = counted(3);
  nested.keyPath = "data.items";
  serve(nested);
  std::mutex mutex;
  std::string authorization;
  server.routes().set_pre_routing_handler([&](const httplib::Request& req, httplib::Response&) {
    const std::lock_guard lock(mutex);
    authorization = req.get_header_value("Authorization");
    return httplib::Server::HandlerResponse::Unhandled;
  });
  PageOptions o = options("page", 5);
  o.keyPath = "data.items";
  o.headers.add("Authorization", "Bearer abc");
  EXPECT_EQ(idsOf(walkPages(o)), (std::vector<std::int64_t>{1, 2, 3}));
  const std::lock_guard lock(mutex);
  EXPECT_EQ(authorization, "Bearer abc");
}

TEST_F(PageTest, TextAndJSONOutput) {
  serve(counted(3));
  PageOptions o = options("page", 2);
  const std::string base = o.url;
  EXPECT_EQ(pageDocument(o), "GET " + base + R"(?page=1&per-page=2
  status 200, 2 items
    {"id":1,"name":"item 1"}
    {"id":2,"name":"item 2"}
  headers: X-Pagination-Current-Page: 1, X-Pagination-Page-Count: 2, X-Pagination-Per-Page: 2, X-Pagination-Total-Count: 3
  next: page=2 per-page=2 (continues)
GET )" + base + R"(?page=2&per-page=2
  status 200, 1 item
    {"id":3,"name":"item 3"}
  headers: X-Pagination-Current-Page: 2, X-Pagination-Page-Count: 2, X-Pagination-Per-Page: 2, X-Pagination-Total-Count: 3
  next: page=3 per-page=2 (stops)
2 pages: 3 items merged, 0 duplicates dropped; the scheme stops: no further page.
)");
  o.format = Format::json;
  const Value json = parseJSON(pageDocument(o));
  EXPECT_EQ(*json.find("merged"), Value(3));
  const Value& first = (*json.find("pages")->ifArray())[0];
  EXPECT_EQ(*first.find("info")->find("totalCount"), Value(3));
  EXPECT_EQ(*first.find("stops"), Value(false));
}

// What `run` writes to the process's standard output (the file, not a
// redirection inside the library).
template <class Run>
std::string standardOutputOf(Run run) {
  std::fflush(stdout);
  char path[] = "/tmp/quarnkit_page_stdout_XXXXXX";
  const int file = ::mkstemp(path);
  const int saved = ::dup(1);
  ::dup2(file, 1);
  run();
  std::fflush(stdout);
  ::dup2(saved, 1);
  ::close(saved);
  ::close(file);
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  std::remove(path);
  return text.str();
}

TEST_F(PageTest, JSONOutputIsOnlyJSONWhateverTheSchemePrints) {
  // The primary-key scheme prints each update with a total; in the tool
  // those lines go to the log, never into the document.
  serve(counted(5));
  for (const std::string scheme : {"pk", "page", "from-id"}) {
    SCOPED_TRACE(scheme);
    PageOptions o = options(scheme, 2);
    o.format = Format::json;
    const LibraryLogLines lines;
    const std::string out = standardOutputOf([&] { runPage(o); });
    Value document;
    ASSERT_NO_THROW(document = parseJSON(out)) << out.substr(0, 200);
    EXPECT_EQ(*document.find("merged"), Value(5));
  }
}

TEST_F(PageTest, FailuresAreOneLineNamingTheURL) {
  server.routes().Get("/broken", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("[{\"id\": 1,", "application/json");
  });
  server.routes().Get("/missing", [](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    res.set_content("[]", "application/json");
  });
  PagedCollection nested = counted(2);
  nested.keyPath = "data";
  serve(nested);
  PageOptions o = options("page", 2);
  o.url = server.url("/missing");
  EXPECT_EQ(failureOf(o), o.url + "?page=1&per-page=2: the server answered with status 404");
  o.url = server.url("/broken");
  EXPECT_NE(failureOf(o).find(o.url + "?page=1&per-page=2: "), std::string::npos);
  EXPECT_EQ(failureOf(o).find('\n'), std::string::npos);
  o.url = server.url("/items");
  o.keyPath = "data.items";
  EXPECT_NE(failureOf(o).find(o.url + "?page=1&per-page=2: "), std::string::npos);
  o.keyPath.reset();
  o.url = server.url("/items");
  const int port = server.port();
  server.stop();
  EXPECT_EQ(failureOf(o).rfind("http://127.0.0.1:" + std::to_string(port) + "/items?", 0), 0u);

  o.url = "ftp://127.0.0.1/items";
  EXPECT_EQ(failureOf(o), "ftp://127.0.0.1/items: not an http or https URL");
  o.url = server.url("/items");
  o.scheme = "ids";
  EXPECT_EQ(failureOf(o), "--ids: the ids scheme needs the ids to page through");
}

TEST(HeaderOptionTest, NameAndValueOrNothing) {
  const auto h = parseHeaderOption("Authorization:  Bearer abc ");
  ASSERT_TRUE(h);
  EXPECT_EQ(h->name, "Authorization");
  EXPECT_EQ(h->value, "Bearer abc");
  EXPECT_TRUE(parseHeaderOption("X-Empty:"));
  for (const char* bad : {"NoColon", ":value", "Bad Name: v", "X: a\r\nInjected: b"}) {
    EXPECT_FALSE(parseHeaderOption(bad)) << bad;
  }
}

}  // namespace
}  // namespace quarn::tool
