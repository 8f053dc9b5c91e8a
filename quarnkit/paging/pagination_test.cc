// The five schemes: their parameters, how each update moves them, when they
// hide the control (the items reaching the total, or an empty page, also
// when duplicates or a shrinking total keep the counts from meeting), their
// log lines, encoding, and the refusal of a page size of 0.
#include <gtest/gtest.h>

#include "quarnkit/coding/json_encoder.h"
#include "quarnkit/paging/ids_pagination.h"
#include "quarnkit/paging/key_pagination.h"
#include "quarnkit/paging/per_page_pagination.h"

namespace quarn {
namespace {

using quarn::testing::LogCapture;
using quarn::testing::StdoutCapture;

PerPagePagination pages20() { return PerPagePagination(20, 1, {.perPage = "S", .page = "P"}); }

TEST(PerPagePaginationTest, FollowsTheItemsHeldAndHidesAtTheTotal) {
  PerPagePagination p = pages20();
  EXPECT_EQ(Value(p.parameters()), (Value{{"P", 1}, {"S", 20}}));
  EXPECT_TRUE(p.isFirstPage());
  p.update(20, 20, 45);
  EXPECT_EQ(p.value("P"), Value(2));
  EXPECT_EQ(p.currentPage(), 1);
  EXPECT_FALSE(p.shouldHidePaginationControl());
  EXPECT_FALSE(p.isFirstPage());
  p.update(45, 5, 45);
  EXPECT_EQ(p.currentPage(), 3);
  EXPECT_EQ(p.nextPage(), 4);
  EXPECT_TRUE(p.shouldHidePaginationControl());
  EXPECT_EQ(p.totalCount(), 45);
  EXPECT_EQ(p.value("other"), std::nullopt);
}

TEST(PerPagePaginationTest, HidesWhenTheCountsPassTheTotalOrAPageIsEmpty) {
  // Duplicates filtered out: 44 held of 45 and the last page added nothing.
  PerPagePagination p = pages20();
  p.update(44, 0, 45);
  EXPECT_TRUE(p.shouldHidePaginationControl());
  // The total shrank below what is held.
  p = pages20();
  p.update(40, 20, 30);
  EXPECT_TRUE(p.shouldHidePaginationControl());
  // Without totals only an empty page hides it.
  p = pages20();
  p.update(20, 20, std::nullopt);
  EXPECT_FALSE(p.shouldHidePaginationControl());
  p.update(20, 0, std::nullopt);
  EXPECT_TRUE(p.shouldHidePaginationControl());
  EXPECT_EQ(p.totalCount(), 0);
}

TEST(PerPagePaginationTest, ANegativeTotalIsNoCountAndDoesNotEndTheWalk) {
  // A negative total counts nothing: both schemes go on as without one,
  // until a page arrives empty; the value reported is still kept.
  PerPagePagination p = pages20();
  p.update(20, 20, -5);
  EXPECT_FALSE(p.shouldHidePaginationControl());
  EXPECT_EQ(p.totalCount(), -5);
  EXPECT_EQ(p.nextPage(), 2);
  p.update(20, 0, -5);
  EXPECT_TRUE(p.shouldHidePaginationControl());
  OffsetLimitPagination o(20, 0);
  o.update(20, 20, -1);
  EXPECT_FALSE(o.shouldHidePaginationControl());
  EXPECT_EQ(o.nextOffset(), 20);
}

TEST(PerPagePaginationTest, ResetKeepsTheTotalAndIncrementChangesNothing) {
  PerPagePagination p = pages20();
  p.update(45, 5, 45);
  p.increment();
  p.decrement();
  EXPECT_EQ(p.nextPage(), 4);
  p.reset();
  EXPECT_EQ(p.nextPage(), 1);
  EXPECT_EQ(p.currentPage(), 0);
  EXPECT_FALSE(p.shouldHidePaginationControl());
  EXPECT_EQ(p.totalCount(), 45);
}

TEST(OffsetLimitPaginationTest, TheOffsetFollowsTheItemsHeldWithOrWithoutATotal) {
  OffsetLimitPagination p(20, 0);
  EXPECT_EQ(Value(p.parameters()), (Value{{"limit", 20}, {"offset", 0}}));
  p.update(20, 20, std::nullopt);
  EXPECT_EQ(p.nextOffset(), 20);
  EXPECT_EQ(p.currentPage(), 1);
  EXPECT_FALSE(p.shouldHidePaginationControl());
  p.update(35, 15, 35);
  EXPECT_EQ(p.nextOffset(), 35);
  EXPECT_TRUE(p.shouldHidePaginationControl());
  p.reset();
  EXPECT_TRUE(p.isFirstPage());
  p.update(20, 0, std::nullopt);
  EXPECT_TRUE(p.shouldHidePaginationControl());
}

TEST(KeyPaginationTest, PrimaryKeysCompareTheTotalWithThePageAndPrintTheUpdate) {
  std::int64_t last = 0;
  const auto held = PrimaryKeyPagination::make(10, 0, [&] { return last; });
  PrimaryKeyPagination& p = *held;
  EXPECT_EQ(Value(p.parameters()), (Value{{"per-page", 10}, {"page-from-pk", 0}}));
  EXPECT_TRUE(p.isFirstPage());
  StdoutCapture out;
  last = 110;
  p.update(30, 10, 10);
  EXPECT_TRUE(p.shouldHidePaginationControl());
  EXPECT_EQ(p.id(), 110);
  EXPECT_EQ(p.currentPage(), 3);
  EXPECT_EQ(out.lines(), std::vector<std::string>{
                             "primary key pagination update:\n- total: 10\n- items: 30\n- current "
                             "page: 3\n- id: 110\n- should hide pagination control: true"});
  const auto heldToo = PrimaryKeyPagination::make(10, 5, [&] { return last; });
  PrimaryKeyPagination& q = *heldToo;
  EXPECT_FALSE(q.isFirstPage());  // the key starts at 0, not at 5
  q.update(10, 0, 25);
  EXPECT_TRUE(q.shouldHidePaginationControl());
  q.reset();
  EXPECT_EQ(q.id(), 5);
  EXPECT_TRUE(q.isFirstPage());
}

TEST(KeyPaginationTest, PrimaryKeysWithoutATotalMoveOnUntilAnEmptyPage) {
  // A server that sends no total: each page moves the key to the last item
  // held, so the walk leaves the first page and ends on an empty one.
  std::int64_t last = 0;
  const auto held = PrimaryKeyPagination::make(10, 0, [&] { return last; });
  PrimaryKeyPagination& p = *held;
  StdoutCapture out;
  last = 10;
  p.update(10, 10, std::nullopt);
  EXPECT_EQ(p.value("page-from-pk"), Value(10));
  EXPECT_EQ(p.currentPage(), 1);
  EXPECT_FALSE(p.isFirstPage());
  EXPECT_FALSE(p.shouldHidePaginationControl());
  last = 14;
  p.update(14, 4, std::nullopt);
  EXPECT_EQ(p.id(), 14);
  EXPECT_EQ(p.currentPage(), 2);
  EXPECT_FALSE(p.shouldHidePaginationControl());
  p.update(14, 0, std::nullopt);
  EXPECT_TRUE(p.shouldHidePaginationControl());
  EXPECT_EQ(p.totalCount(), 0);      // nothing was reported
  EXPECT_TRUE(out.lines().empty());  // the update is printed only with a total
}

TEST(KeyPaginationTest, FromIDAlwaysMovesOnAndHidesOnAnEmptyPage) {
  std::int64_t last = 7;
  const auto held = FromIDPagination::make(5, 0, [&] { return last; });
  FromIDPagination& p = *held;
  LogCapture log;
  p.update(5, 5, std::nullopt);
  EXPECT_EQ(p.value("page-from-id"), Value(7));
  EXPECT_FALSE(p.shouldHidePaginationControl());
  EXPECT_TRUE(log.texts(LogLevel::debug).empty());
  last = 9;
  p.update(7, 0, 7);
  EXPECT_TRUE(p.shouldHidePaginationControl());
  EXPECT_EQ(
      log.texts(LogLevel::debug),
      std::vector<std::string>{"from id pagination update:\n- total: 7\n- items: 7\n- "
                               "current page: 2\n- id: 9\n- should hide pagination control: 1"});
}

TEST(IDsPaginationTest, SendsTheIdsChunkByChunkAndHidesAfterTheLast) {
  IDsPagination<std::int64_t> p({1, 2, 3, 4, 5}, 2, 1,
                                {.ids = "ids", .perPage = "per-page", .page = "page"});
  EXPECT_EQ(Value(p.parameters()), (Value{{"ids", "1,2"}, {"per-page", 2}, {"page", 1}}));
  LogCapture log;
  p.update(2, 2, std::nullopt);
  EXPECT_EQ(p.value("ids"), Value("3,4"));
  EXPECT_EQ(p.value("page"), Value(1));
  p.update(4, 2, 99);
  EXPECT_EQ(p.value("ids"), Value("5"));
  EXPECT_FALSE(p.shouldHidePaginationControl());
  EXPECT_EQ(p.totalCount(), 5);
  p.update(5, 1, std::nullopt);
  EXPECT_TRUE(p.shouldHidePaginationControl());
  EXPECT_EQ(p.value("ids"), Value(""));
  EXPECT_EQ(log.texts(LogLevel::debug).front(),
            "IDs pagination update:\n    - total: 5\n    - items: 2\n    - current page: 1\n    - "
            "next page: 2\n    - next IDs: [3, 4]\n    - should hide pagination control: 0");
  // A next page below 1 means the first chunk.
  IDsPagination<std::string> q({"a", "b", "c"}, 2, 0, {.ids = "ids", .perPage = "n", .page = "p"});
  EXPECT_EQ(q.value("ids"), Value("a,b"));
  EXPECT_TRUE(q.isFirstPage());
}

TEST(IDsPaginationTest, ChunksTheServerLacksDoNotHoldBackTheLaterOnes) {
  // The server has none of 3 and 4 and only 5 of 5, 6: every chunk is still
  // asked for once, in order, and the walk ends after the last.
  IDsPagination<std::int64_t> p({1, 2, 3, 4, 5, 6, 7}, 2, 1,
                                {.ids = "ids", .perPage = "per-page", .page = "page"});
  std::vector<std::string> asked{p.value("ids")->ifString() ? *p.value("ids")->ifString() : ""};
  const std::vector<std::pair<std::int64_t, std::int64_t>> received = {
      {2, 2}, {2, 0}, {3, 1}, {4, 1}};
  for (const auto& [held, added] : received) {
    EXPECT_FALSE(p.shouldHidePaginationControl());
    p.update(held, added, std::nullopt);
    asked.push_back(*p.value("ids")->ifString());
  }
  EXPECT_EQ(asked, (std::vector<std::string>{"1,2", "3,4", "5,6", "7", ""}));
  EXPECT_TRUE(p.shouldHidePaginationControl());
  EXPECT_EQ(p.currentPage(), 2);  // pages of items held
  p.reset();
  EXPECT_EQ(p.value("ids"), Value("1,2"));
  // A first chunk given below 1 counts as chunk 1.
  IDsPagination<int> q({1, 2, 3}, 2, 0, {.ids = "ids", .perPage = "n", .page = "p"});
  q.update(0, 0, std::nullopt);
  EXPECT_EQ(q.value("ids"), Value("3"));
  EXPECT_FALSE(q.shouldHidePaginationControl());
}

TEST(PaginationTest, PerPageLogsEachUpdate) {
  PerPagePagination p = pages20();
  LogCapture log;
  p.update(20, 20, std::nullopt);
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_EQ(log.lines()[0].logger, "Velmora/Pagination");
  EXPECT_EQ(log.lines()[0].text,
            "per page pagination update:\n    - total: 0\n    - items: 20\n    - current page: 1\n "
            "   - next page: 2\n    - should hide pagination control: 0");
}

TEST(PaginationTest, ASchemeEncodesAsItsParameters) {
  JSONEncoder encoder;
  encoder.outputFormatting.sortedKeys = true;
  const IDsPagination<int> ids({7, 8}, 5, 1, {.ids = "ids", .perPage = "", .page = "page"});
  // An empty name is left out.
  EXPECT_EQ(encoder.encode([&](Encoder& e) { ids.encode(e); }), R"({"ids":"7,8","page":1})");
  EXPECT_EQ(encoder.encode([&](Encoder& e) { pages20().encode(e); }), R"({"P":1,"S":20})");
}

TEST(PaginationTest, APageSizeOfZeroIsRefusedAtCreation) {
  auto message = [](auto make) {
    try {
      make();
    } catch (const std::invalid_argument& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  EXPECT_EQ(message([] {
              PerPagePagination(0, 1, {"s", "p"});
            }),
            "PerPagePagination: the page size must be greater than 0, not 0");
  EXPECT_EQ(message([] { OffsetLimitPagination(-1, 0); }),
            "OffsetLimitPagination: the page size must be greater than 0, not -1");
  EXPECT_EQ(message([] { PrimaryKeyPagination::make(0, 0, nullptr); }),
            "PrimaryKeyPagination: the page size must be greater than 0, not 0");
  EXPECT_EQ(message([] { FromIDPagination::make(0, 0, nullptr); }),
            "FromIDPagination: the page size must be greater than 0, not 0");
  EXPECT_EQ(message([] {
              IDsPagination<int>({1}, 0, 1, {"i", "s", "p"});
            }),
            "IDsPagination: the page size must be greater than 0, not 0");
}

}  // namespace
}  // namespace quarn
