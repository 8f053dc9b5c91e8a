#include "tools/quarnkit/results_fetcher.h"

namespace quarn::tool {

namespace {

// How many entities the tool asks for per item; only the request override
// sees it, and the tool's answers come from a file.
constexpr std::int64_t kLimit = 20;

Async<CompositeListResult> answer(CompositeListResult result) { co_return result; }

}  // namespace

ResultsFetcher::ResultsFetcher(std::shared_ptr<CompositeListItemsRegistry> registry,
                               Items templateItems,
                               std::shared_ptr<CompositeListTemplateProviding> templateProvider,
                               CompositeListResult result)
    : CompositeListFetcher(std::move(registry), std::move(templateItems),
                           std::move(templateProvider), CompositeListFetchMode::automatic, kLimit),
      result_(std::move(result)) {}

Async<Task<CompositeListResult>> ResultsFetcher::fetchCompositeListTask(
    CompositeListRequestParameters parameters, std::int64_t) {
  lastRequest_ = std::move(parameters);
  co_return Task<CompositeListResult>::spawn(mainExecutor(), answer(result_));
}

}  // namespace quarn::tool
