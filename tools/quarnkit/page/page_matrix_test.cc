// Every pagination scheme against every way a paging server misbehaves,
// through the paginated data source, the scrolled one and `quarnkit page
// --all` (text and json). Each walk must end within a page bound; it holds
// every item the server has exactly once and in order, or it ends with the
// failure of one page (one line naming the URL), or with a stop the
// scheme's own rule makes (written next to the row that needs it).
#include <gtest/gtest.h>

#include <set>

#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/http/session.h"
#include "quarnkit/http/testing/http_fixtures.h"
#include "quarnkit/paging/decodable_page_fetcher.h"
#include "quarnkit/paging/ids_pagination.h"
#include "quarnkit/paging/key_pagination.h"
#include "quarnkit/paging/page_request.h"
#include "quarnkit/paging/scrolled_paginated_data_source.h"
#include "quarnkit/testing/loopback_server.h"
#include "tools/quarnkit/common/input_error.h"
#include "tools/quarnkit/page/page.h"

namespace quarn::tool {
namespace {

using quarn::testing::LoopbackServer;
using quarn::testing::PagedCollection;
using Total = PagedCollection::Total;
using Fetcher = AlamofireDecodablePageFetcher<Value>;
using Source = PaginatedDataSource<Fetcher>;
using Scrolled = ScrolledPaginatedDataSource<Fetcher>;

constexpr std::size_t kCount = 11;
constexpr std::int64_t kPerPage = 3;
/// More requests than any walk of 11 items in pages of 3 needs.
constexpr int kPageBound = 12;

const std::vector<std::string> kSchemes = {"page", "offset", "pk", "from-id", "ids"};

/// How a walk may end besides holding everything.
enum class End {
  complete,  // every item the server has, once, in order
  fails,     // request `at` fails: the items before it, and its error
  stops,     // the scheme's rule ends it early: a prefix, in order
};

struct Row {
  std::string name;
  std::function<void(PagedCollection&)> set;
  End end = End::complete;
  /// Schemes whose rule ends this row early (End::stops), and why.
  std::set<std::string> stopsEarly = {};
  std::string why = {};
  /// When set, the only schemes and consumers that walk this row.
  std::set<std::string> onlySchemes = {};
  std::set<std::string> onlyConsumers = {};
  /// Seconds each request may take in all (the session's and the tool's
  /// limit); none: no limit.
  std::optional<double> maxTime = {};
};

/// Rows that wait for a time limit are walked by one scheme (the transfer
/// is the same for every scheme) and two consumers.
const std::set<std::string> kOneScheme = {"page"};

std::vector<Row> rows() {
  return {
      {"total present", [](PagedCollection&) {}},
      {"total absent", [](PagedCollection& c) { c.total = Total::absent; }},
      {"total empty", [](PagedCollection& c) { c.total = Total::empty; }},
      {"total malformed", [](PagedCollection& c) { c.total = Total::malformed; }},
      {"total negative", [](PagedCollection& c) { c.total = Total::negative; }},
      {"total overflowing", [](PagedCollection& c) { c.total = Total::overflowing; }},
      // The page-number and offset schemes stop once the items held reach
      // the total reported: a total that falls below them ends the walk.
      {"total shrinking",
       [](PagedCollection& c) { c.total = Total::shrinking; },
       End::stops,
       {"page", "offset"},
       "the total reported fell to the items held"},
      {"total larger than the data", [](PagedCollection& c) { c.total = Total::larger; }},
      {"duplicates across pages", [](PagedCollection& c) { c.duplicatesAcrossPages = true; }},
      {"missing ids",
       [](PagedCollection& c) {
         c.missingIds = {4, 5, 6, 10};
       }},
      // An empty page is the end of the list for every scheme but the ids
      // one, which goes on to the next chunk (the empty one's ids are lost:
      // the server answered that it has none of them).
      {"an empty page in the middle",
       [](PagedCollection& c) { c.emptyAt = 2; },
       End::stops,
       {"page", "offset", "pk", "from-id", "ids"},
       "an empty page ends the list"},
      {"a cut body", [](PagedCollection& c) { c.cutAt = 2; }, End::fails},
      {"a slow body", [](PagedCollection& c) { c.slowBody = std::chrono::milliseconds(2); }},
      {"a 5xx on page 2", [](PagedCollection& c) { c.failAt = 2; }, End::fails},
      // A stalled body fails at the session's idle limit (1 s here); the
      // tool's idle limit is 5 s, so its walk ends at its --max-time.
      {"a stalled body",
       [](PagedCollection& c) { c.stallAt = 2; },
       End::fails,
       {},
       {},
       kOneScheme,
       {"data source", "page --all text"},
       1.0},
      // A body that never pauses for the idle limit is not idle, however
      // long it takes (three 0.4 s pauses on page 2)...
      {"a trickling body",
       [](PagedCollection& c) {
         c.slowBody = std::chrono::milliseconds(400);
         c.slowAt = 2;
       },
       End::complete,
       {},
       {},
       kOneScheme,
       {"data source", "page --all text"}},
      // ... and a limit on the whole request ends it.
      {"a trickling body past the time limit",
       [](PagedCollection& c) {
         c.slowBody = std::chrono::milliseconds(400);
         c.slowAt = 2;
       },
       End::fails,
       {},
       {},
       kOneScheme,
       {"data source", "page --all json"},
       0.8},
      {"a redirect to the same host", [](PagedCollection&) {}},
      {"a redirect to another host", [](PagedCollection&) {}},
  };
}

std::vector<std::int64_t> idsOf(const std::vector<Value>& items) {
  std::vector<std::int64_t> out;
  for (const Value& item : items) out.push_back(item.find("id")->asInteger().value_or(-1));
  return out;
}

// A host's list: a scroll view the data source reloads.
class ListView : public platform::ScrollView, public ScrolledList {
 public:
  void reloadData() override {}
};

/// What the host does from one of the data source's callbacks.
enum class HostAction { none, releaseFromCallback, reloadFromCallback };
enum class Callback { didCompletionFetch, observer, completion };

class Observer final : public PaginatedDataSourceObserver {
 public:
  explicit Observer(std::function<void()> updated) : updated_(std::move(updated)) {}
  void paginatedDataSourceDidUpdate() override { updated_(); }

 private:
  std::function<void()> updated_;
};

/// What one consumer's walk came to.
struct Outcome {
  std::vector<std::int64_t> ids;
  int requests = 0;
  bool ended = false;  // within the bound
  std::optional<std::string> error;
  bool stopped = false;  // the scheme hid its control
};

class PageMatrixTest : public ::testing::Test {
 protected:
  void serve(const Row& row) {
    PagedCollection c;
    c.count = kCount;
    row.set(c);
    for (std::int64_t id = 1; id <= static_cast<std::int64_t>(kCount); ++id) {
      if (std::find(c.missingIds.begin(), c.missingIds.end(), id) == c.missingIds.end()) {
        expected.push_back(id);
      }
    }
    if (row.name == "a redirect to the same host") c.redirectTo = "";
    if (row.name == "a redirect to another host") {
      servers.push_back(std::make_unique<LoopbackServer>(8));
      quarn::testing::servePages(*servers.back(), "/items",
                                 std::make_shared<const PagedCollection>(c));
      servers.back()->start();
      c.redirectTo = servers.back()->url("");
    }
    servers.push_back(std::make_unique<LoopbackServer>(8));
    LoopbackServer& front = *servers.back();
    quarn::testing::servePages(front, "/items", std::make_shared<const PagedCollection>(c));
    front.start();
    url = front.url("/items");
  }

  std::shared_ptr<Pagination> scheme(const std::string& name,
                                     std::function<std::int64_t()> lastId) const {
    if (name == "page") return std::make_shared<PerPagePagination>(kPerPage, 1, kKeys);
    if (name == "offset") return std::make_shared<OffsetLimitPagination>(kPerPage, 0);
    if (name == "pk") return PrimaryKeyPagination::make(kPerPage, 0, std::move(lastId));
    if (name == "from-id") return FromIDPagination::make(kPerPage, 0, std::move(lastId));
    return std::make_shared<IDsPagination<std::string>>(
        allIds(), kPerPage, 1, IDsPagination<std::string>::Keys{"ids", "per-page", "page"});
  }

  static std::vector<std::string> allIds() {
    std::vector<std::string> out;
    for (std::size_t id = 1; id <= kCount; ++id) out.push_back(std::to_string(id));
    return out;
  }

  std::shared_ptr<Fetcher> fetcher() {
    return Fetcher::make(JSONDecoder(), [this](const Pagination* p) {
      const URL base = *URL::parse(url);
      return session->request(p ? urlWithParameters(base, p->parameters()) : base);
    });
  }

  template <class S>
  static std::function<std::int64_t()> lastIdOf(const std::shared_ptr<S>& source) {
    return [weak = std::weak_ptr<S>(source)]() -> std::int64_t {
      auto s = weak.lock();
      if (!s || s->items().empty()) return 0;
      return s->items().back().find("id")->asInteger().value_or(0);
    };
  }

  Outcome walkDataSource(const std::string& name, HostAction action = HostAction::none,
                         Callback from = Callback::didCompletionFetch) {
    std::shared_ptr<Source> source;
    std::function<std::int64_t()> lastId = [&source] { return lastIdOf(source)(); };
    source = Source::make(fetcher(), scheme(name, lastId));
    Outcome out;
    // The host's action, once, from the chosen callback of the second page.
    int pagesSeen = 0;
    std::vector<Value> heldWhenReleased;
    const auto act = [&](Callback called) {
      if (called != from || ++pagesSeen != 2 || !source) return;
      if (action == HostAction::releaseFromCallback) {
        heldWhenReleased = source->items();
        source.reset();
      } else if (action == HostAction::reloadFromCallback) {
        EXPECT_TRUE(source->reload(nullptr));
      }
    };
    source->didCompletionFetch = [&](const auto&, const auto&) {
      act(Callback::didCompletionFetch);
    };
    const auto observer = std::make_shared<Observer>([&] { act(Callback::observer); });
    source->observers.add(observer);
    while (out.requests < kPageBound) {
      bool done = false;
      std::exception_ptr error;
      source->fetchNextPage([&](std::optional<std::vector<Value>>, std::exception_ptr e) {
        error = std::move(e);
        done = true;
        act(Callback::completion);
      });
      ++out.requests;
      quarn::testing::runUntil([&] { return done; });
      if (!source) {
        out.ids = idsOf(heldWhenReleased);
        out.ended = true;
        return out;
      }
      // A reload from the callback runs its first page now.
      quarn::testing::runUntil([&] { return !source->isLoading(); });
      if (error) {
        out.error = detail::describeError(error);
        out.ended = true;
        break;
      }
      if (source->pagination()->shouldHidePaginationControl()) {
        out.ended = out.stopped = true;
        break;
      }
    }
    out.ids = idsOf(source->items());
    return out;
  }

  Outcome walkScrolled(const std::string& name) {
    std::shared_ptr<Scrolled> source;
    std::function<std::int64_t()> lastId = [&source] { return lastIdOf(source)(); };
    source = Scrolled::make(list, fetcher(), scheme(name, lastId), false);
    Outcome out;
    std::exception_ptr error;
    source->didCompletionFetch = [&error](const auto&, const std::exception_ptr& e) { error = e; };
    platform::InfiniteScroll& infinite = list->infiniteScroll();
    while (out.requests < kPageBound) {
      if (!infinite.isShown()) {
        out.ended = out.stopped = true;
        break;
      }
      EXPECT_TRUE(infinite.scrollToEnd());
      ++out.requests;
      quarn::testing::runUntil([&] { return !source->isLoading(); });
      EXPECT_FALSE(infinite.isAnimatingInfiniteScroll());
      if (error) {
        out.error = detail::describeError(error);
        out.ended = true;
        break;
      }
    }
    out.ids = idsOf(source->items());
    return out;
  }

  Outcome walkTool(const std::string& name, Format format, std::optional<double> maxTime) {
    PageOptions o;
    o.url = url;
    o.maxTime = maxTime;
    o.scheme = name;
    o.perPage = kPerPage;
    o.all = true;
    o.maxPages = kPageBound;
    o.format = format;
    if (name == "ids") o.ids = allIds();
    Outcome out;
    std::string document;
    try {
      document = pageDocument(o);
    } catch (const InputError& e) {
      out.error = e.what();
      out.ended = true;
      return out;
    }
    std::vector<Value> items;
    std::string end;
    if (format == Format::json) {
      Value json;
      EXPECT_NO_THROW(json = parseJSON(document)) << document.substr(0, 300);
      if (!json.isObject()) return out;
      for (const Value& page : *json.find("pages")->ifArray()) {
        ++out.requests;
        for (const Value& item : *page.find("items")->ifArray()) items.push_back(item);
      }
      end = *json.find("end")->ifString();
    } else {
      std::size_t at = 0;
      while (at < document.size()) {
        const std::size_t eol = document.find('\n', at);
        const std::string line = document.substr(at, eol - at);
        if (line.rfind("    {", 0) == 0) items.push_back(parseJSON(line.substr(4)));
        if (line.rfind("GET ", 0) == 0) ++out.requests;
        if (eol == std::string::npos) break;
        at = eol + 1;
      }
      end = document.substr(document.rfind("; ") + 2);
      end.pop_back();  // "."
      end.pop_back();  // "\n"
    }
    // The walk's merge drops duplicates: keep each id's first appearance.
    std::set<std::int64_t> seen;
    for (std::int64_t id : idsOf(items)) {
      if (seen.insert(id).second) out.ids.push_back(id);
    }
    out.stopped = end == "the scheme stops: no further page";
    out.ended = out.stopped || end == "the next request would repeat this one";
    return out;
  }

  void check(const Row& row, const std::string& name, const Outcome& out) {
    EXPECT_TRUE(out.ended) << "the walk did not end within " << kPageBound << " requests";
    EXPECT_LE(out.requests, kPageBound);
    // In order and never twice.
    for (std::size_t i = 1; i < out.ids.size(); ++i) EXPECT_LT(out.ids[i - 1], out.ids[i]);
    for (std::int64_t id : out.ids) {
      EXPECT_NE(std::find(expected.begin(), expected.end(), id), expected.end()) << id;
    }
    End end = row.end;
    if (end == End::stops && !row.stopsEarly.contains(name)) end = End::complete;
    switch (end) {
      case End::complete:
        EXPECT_FALSE(out.error) << *out.error;
        EXPECT_EQ(out.ids, expected);
        break;
      case End::fails:
        ASSERT_TRUE(out.error) << "the failed page was not reported";
        EXPECT_EQ(out.error->find('\n'), std::string::npos) << *out.error;
        EXPECT_NE(out.error->find(url), std::string::npos) << *out.error;
        // The first page came before the failure of the second (the tool
        // reports the failure alone).
        if (!out.ids.empty()) {
          EXPECT_EQ(out.ids, std::vector<std::int64_t>(expected.begin(), expected.begin() + 3));
        }
        break;
      case End::stops:
        EXPECT_FALSE(out.error) << *out.error;
        EXPECT_TRUE(out.stopped) << row.why;
        EXPECT_LT(out.ids.size(), expected.size()) << row.why;
        break;
    }
  }

  inline static const PerPagePagination::Keys kKeys{"per-page", "page"};
  std::vector<std::int64_t> expected;
  std::string url;
  std::vector<std::unique_ptr<LoopbackServer>> servers;
  std::unique_ptr<http::Session> session = std::make_unique<http::Session>();
  std::shared_ptr<ListView> list = std::make_shared<ListView>();
};

TEST_F(PageMatrixTest, EverySchemeAgainstEveryServerThroughEveryConsumer) {
  const std::vector<std::string> consumers = {"data source", "scrolled data source",
                                              "page --all text", "page --all json"};
  std::size_t walks = 0;
  const quarn::testing::StdoutCapture printed;  // the primary-key scheme's updates
  for (const Row& row : rows()) {
    for (const std::string& name : kSchemes) {
      for (const std::string& consumer : consumers) {
        if (!row.onlySchemes.empty() && !row.onlySchemes.contains(name)) continue;
        if (!row.onlyConsumers.empty() && !row.onlyConsumers.contains(consumer)) continue;
        SCOPED_TRACE(row.name + " / " + name + " / " + consumer);
        const auto began = std::chrono::steady_clock::now();
        expected.clear();
        // The session's idle connections go first: a server stopping waits
        // for the connections it still serves.
        http::SessionConfiguration configuration;
        configuration.timeoutIntervalForRequest = 1;
        configuration.timeoutIntervalForResource = row.maxTime;
        session = std::make_unique<http::Session>(configuration);
        servers.clear();
        list = std::make_shared<ListView>();
        serve(row);
        Outcome out = consumer == "data source"            ? walkDataSource(name)
                      : consumer == "scrolled data source" ? walkScrolled(name)
                      : consumer == "page --all text" ? walkTool(name, Format::text, row.maxTime)
                                                      : walkTool(name, Format::json, row.maxTime);
        check(row, name, out);
        ++walks;
        if (std::getenv("MATRIX_TIMING") != nullptr) {
          std::fprintf(stderr, "TIMING %s / %s / %s: %lld ms\n", row.name.c_str(), name.c_str(),
                       consumer.c_str(),
                       static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  std::chrono::steady_clock::now() - began)
                                                  .count()));
        }
      }
    }
  }
  // 16 rows walked by every scheme and consumer, and the three time-limit
  // rows by one scheme and two consumers.
  EXPECT_EQ(walks, 16 * kSchemes.size() * consumers.size() + 3 * 2);
}

#if defined(__SANITIZE_ADDRESS__)
// Under the address sanitizer: the host releases the data source, or
// reloads it, from each of its callbacks for the second page, against every
// server. Each walk ends, and what it holds is in order and never twice.
TEST_F(PageMatrixTest, ReleasingOrReloadingFromACallbackAgainstEveryServer) {
  const quarn::testing::StdoutCapture printed;
  for (const Row& row : rows()) {
    if (!row.onlySchemes.empty()) continue;  // these wait for a time limit
    for (const std::string& name : kSchemes) {
      for (HostAction action : {HostAction::releaseFromCallback, HostAction::reloadFromCallback}) {
        for (Callback from :
             {Callback::didCompletionFetch, Callback::observer, Callback::completion}) {
          SCOPED_TRACE(row.name + " / " + name +
                       (action == HostAction::releaseFromCallback ? " / release" : " / reload") +
                       (from == Callback::didCompletionFetch ? " / didCompletionFetch"
                        : from == Callback::observer         ? " / observer"
                                                             : " / completion"));
          expected.clear();
          session = std::make_unique<http::Session>();
          servers.clear();
          serve(row);
          const Outcome out = walkDataSource(name, action, from);
          EXPECT_TRUE(out.ended);
          for (std::size_t i = 1; i < out.ids.size(); ++i) {
            EXPECT_LT(out.ids[i - 1], out.ids[i]);
          }
          if (action == HostAction::reloadFromCallback && row.end == End::complete) {
            EXPECT_EQ(out.ids, expected);
          }
        }
      }
    }
  }
}
#endif

}  // namespace
}  // namespace quarn::tool
