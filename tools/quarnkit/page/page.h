// quarnkit page: walks a real paged endpoint through the library's
// PaginatedDataSource and shows, page by page, the request, the items, the
// pagination headers read, the scheme's next parameters and whether it
// would stop; at the end the merged count and the duplicates dropped. A
// developer checks with it that an API pages the way the data source
// expects.
//
//   quarnkit page https://api.example.com/items --per-page 20 --key-path data.items --all
//
// A failed request is one line naming the URL and the reason.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/core/value.h"
#include "quarnkit/http/http_headers.h"
#include "quarnkit/paging/response_pagination_info.h"
#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/runtime/async_fwd.h"
#include "tools/quarnkit/common/format.h"

namespace quarn::tool {

/// The most pages --all walks.
inline constexpr std::int64_t kMaxPages = 10000;
/// The most items a walk holds before it stops.
inline constexpr std::size_t kMaxItems = 200000;

struct PageOptions {
  std::string url;
  /// "page", "offset", "pk", "from-id" or "ids".
  std::string scheme = "page";
  std::int64_t perPage = 20;
  /// Parameter names of the page-number and ids schemes.
  std::string pageKey = "page";
  std::string sizeKey = "per-page";
  std::string idsKey = "ids";
  /// The ids the ids scheme splits into pages.
  std::vector<std::string> ids;
  std::optional<std::string> keyPath;
  /// Seconds each request may take in all; none: no limit.
  std::optional<double> maxTime;
  http::HTTPHeaders headers;
  /// Walk until the scheme stops (at most maxPages), or at most `pages`.
  bool all = false;
  std::int64_t pages = 1;
  Format format = Format::text;
  /// Bounds of a walk that never ends: pages walked and items held (the
  /// walk keeps every item it shows, so this bounds its memory).
  std::int64_t maxPages = kMaxPages;
  std::size_t maxItems = kMaxItems;
};

/// One page as the walk saw it.
struct WalkedPage {
  std::string request;
  int status = 0;
  std::vector<Value> items;
  /// The four pagination headers as received (none: missing).
  std::vector<std::pair<std::string, std::optional<std::string>>> headers;
  ResponsePaginationInfo info;
  std::size_t duplicatesDropped = 0;
  /// The parameters of the next request.
  Value::Object next;
  /// The scheme would not ask for another page.
  bool stops = false;
};

struct Walk {
  std::vector<WalkedPage> pages;
  std::size_t merged = 0;
  std::size_t duplicatesDropped = 0;
  /// Why the walk ended.
  std::string end;
};

/// Walks the endpoint on the main context; throws the failed page's
/// http::RequestError.
Async<Walk> walkAsync(PageOptions options);
/// Walks the endpoint (running the main context). InputError for bad
/// options and failed requests.
Walk walkPages(const PageOptions& options);
/// The walk as text or JSON.
std::string pageDocument(const PageOptions& options);
int runPage(const PageOptions& options);

}  // namespace quarn::tool
