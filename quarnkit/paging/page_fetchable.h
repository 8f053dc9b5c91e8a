/// @file
/// PageFetchable: what a paginated data source asks of its page fetcher.

/// @concept quarn::PageFetchable
/// What a paginated data source asks of its page fetcher.
///
/// ```
///   class Fetcher {
///    public:
///     using ResultType = Article;
///     /// True when a request started; the completion then runs once, on the
///     /// main context. False when none could be built (no completion).
///     bool fetch(const Pagination* pagination, PageCompletion<Article> completion);
///     /// Abandons the running request, if any.
///     void cancel();
///   };
/// ```
#pragma once

#include <concepts>
#include <exception>
#include <functional>
#include <optional>
#include <vector>

#include "quarnkit/paging/pagination.h"
#include "quarnkit/paging/response_pagination_info.h"

namespace quarn {

/// The end of one page request: the items, or the error, and the
/// pagination headers of the response when there was one.
template <class Item>
using PageCompletion =
    std::function<void(std::optional<std::vector<Item>> results, std::exception_ptr error,
                       std::optional<ResponsePaginationInfo> info)>;

template <class F>
concept PageFetchable = requires(F& fetcher, const Pagination* pagination,
                                 PageCompletion<typename F::ResultType> completion) {
  { fetcher.fetch(pagination, std::move(completion)) } -> std::same_as<bool>;
  fetcher.cancel();
};

}  // namespace quarn
