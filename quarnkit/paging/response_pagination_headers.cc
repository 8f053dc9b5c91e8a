// The pagination headers of a response of the built-in HTTP client. Kept
// apart from the rest of ResponsePaginationInfo so that the paginated data
// source links without the client.
#include "quarnkit/http/url_request.h"
#include "quarnkit/paging/response_pagination_info.h"

namespace quarn {

ResponsePaginationInfo::ResponsePaginationInfo(const http::HTTPURLResponse& response,
                                               const Keys& keys)
    : ResponsePaginationInfo([&](std::string_view name) { return response.value(name); }, keys) {}

std::optional<std::int64_t> paginationTotalCount(const http::HTTPURLResponse& response) {
  const auto text = response.headers.exactValue("X-Pagination-Total-Count");
  if (!text || text->empty()) return std::nullopt;
  return parsePaginationHeaderInteger(*text);
}

}  // namespace quarn
