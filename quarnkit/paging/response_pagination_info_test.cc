// The pagination headers: the strict integer form, names looked up ignoring
// case, a total that was not reported kept apart from a reported 0, and
// paginationTotalCount's exact name; a host's own response read through a
// header look-up.
#include "quarnkit/paging/response_pagination_info.h"

#include <gtest/gtest.h>

#include <map>

#include "quarnkit/http/url_request.h"

namespace quarn {
namespace {

TEST(ResponsePaginationInfoTest, HeaderIntegersAreASignAndDigitsOnly) {
  const std::vector<std::pair<std::string, std::optional<std::int64_t>>> cases = {
      {"42", 42},
      {"+42", 42},
      {"-3", -3},
      {"0", 0},
      {"-0", 0},
      {"007", 7},
      {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"9223372036854775808", std::nullopt},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"-", std::nullopt},
      {" 42", std::nullopt},
      {"42 ", std::nullopt},
      {"4 2", std::nullopt},
      {"+ 42", std::nullopt},
      {"+-3", std::nullopt},
      {"--3", std::nullopt},
      {"++3", std::nullopt},
      {"0x10", std::nullopt},
      {"1e3", std::nullopt},
      {"4.0", std::nullopt},
      {"\xd9\xa4", std::nullopt},  // ARABIC-INDIC DIGIT FOUR
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(parsePaginationHeaderInteger(text), expected) << '"' << text << '"';
  }
}

http::HTTPURLResponse responseWith(http::HTTPHeaders headers) {
  http::HTTPURLResponse response;
  response.statusCode = 200;
  response.headers = std::move(headers);
  return response;
}

TEST(ResponsePaginationInfoTest, ReadsTheFourHeadersIgnoringTheirCase) {
  const auto response = responseWith({{"x-pagination-total-count", "+45"},
                                      {"X-PAGINATION-CURRENT-PAGE", "2"},
                                      {"X-Pagination-Page-Count", "3"},
                                      {"X-Pagination-Per-Page", "20 "}});
  const ResponsePaginationInfo info(response);
  EXPECT_EQ(info.totalCount, 45);
  EXPECT_EQ(info.currentPage, 2);
  EXPECT_EQ(info.pageCount, 3);
  EXPECT_EQ(info.perPage, 0);  // malformed
  EXPECT_EQ(info.reportedTotalCount(), 45);
  // paginationTotalCount reads only the exact name.
  EXPECT_EQ(paginationTotalCount(response), std::nullopt);
  EXPECT_EQ(paginationTotalCount(responseWith({{"X-Pagination-Total-Count", "-3"}})), -3);
}

TEST(ResponsePaginationInfoTest, AMissingOrMalformedTotalIsNotReported) {
  for (const http::HTTPHeaders& headers :
       {http::HTTPHeaders{}, http::HTTPHeaders{{"X-Pagination-Total-Count", ""}},
        http::HTTPHeaders{{"X-Pagination-Total-Count", "many"}}}) {
    const ResponsePaginationInfo info(responseWith(headers));
    EXPECT_EQ(info, ResponsePaginationInfo());
    EXPECT_EQ(info.totalCount, 0);
    EXPECT_EQ(info.reportedTotalCount(), std::nullopt);
  }
  // A reported 0 is a total.
  const ResponsePaginationInfo zero(responseWith({{"X-Pagination-Total-Count", "0"}}));
  EXPECT_EQ(zero.reportedTotalCount(), 0);
  // Another name for the total, and a key without a name.
  ResponsePaginationInfo::Keys keys = ResponsePaginationInfo::defaultKeys();
  keys[ResponsePaginationInfo::Key::totalCount] = "X-Total";
  keys.erase(ResponsePaginationInfo::Key::currentPage);
  const ResponsePaginationInfo renamed(
      responseWith({{"X-Total", "9"}, {"X-Pagination-Current-Page", "4"}}), keys);
  EXPECT_EQ(renamed, ResponsePaginationInfo(0, 0, 0, 9));
}

TEST(ResponsePaginationInfoTest, AHostResponseIsReadThroughItsHeaderLookup) {
  // The host's response keeps its headers its own way; the look-up is asked
  // for each named key once, by the name the keys give.
  const std::map<std::string, std::string, std::less<>> headers = {
      {"X-Pagination-Total-Count", "7"},
      {"X-Pagination-Current-Page", "3"},
      {"X-Pagination-Per-Page", "x"},
      {"X-Items", "12"}};
  std::vector<std::string> asked;
  auto lookup = [&](std::string_view name) -> std::optional<std::string> {
    asked.emplace_back(name);
    const auto it = headers.find(name);
    return it == headers.end() ? std::nullopt : std::optional<std::string>(it->second);
  };
  const ResponsePaginationInfo info(lookup);
  EXPECT_EQ(info.totalCount, 7);
  EXPECT_TRUE(info.hasTotalCount);
  EXPECT_EQ(info.currentPage, 3);
  EXPECT_EQ(info.pageCount, 0);  // missing
  EXPECT_EQ(info.perPage, 0);    // malformed
  EXPECT_EQ(asked.size(), 4U);

  ResponsePaginationInfo::Keys keys;
  keys[ResponsePaginationInfo::Key::totalCount] = "X-Items";
  asked.clear();
  EXPECT_EQ(ResponsePaginationInfo(lookup, keys), ResponsePaginationInfo(0, 0, 0, 12));
  EXPECT_EQ(asked, std::vector<std::string>{"X-Items"});

  // An empty value is no total, as with the built-in client's responses.
  const ResponsePaginationInfo empty(
      [](std::string_view) { return std::optional<std::string>(""); });
  EXPECT_EQ(empty, ResponsePaginationInfo());
}

}  // namespace
}  // namespace quarn
