#include "tools/quarnkit/results_fetcher.h"

#include <set>

namespace quarn::tool {

namespace {

// How many entities the tool asks for per item; only the request override
// sees it, and the tool's answers come from a file.
constexpr std::int64_t kLimit = 20;

Async<CompositeListResult> answer(CompositeListResult result) { co_return result; }

void collectKeys(const std::vector<CompositeListRequestParameters::Item>& items,
                 std::set<std::string>& keys) {
  for (const auto& item : items) {
    keys.insert(item.key);
    if (item.items) collectKeys(*item.items, keys);
  }
}

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
  // Like a server, answer only what was asked: the file may hold results for
  // items that are hidden now.
  std::set<std::string> keys;
  collectKeys(parameters.items, keys);
  CompositeListResult asked;
  for (const auto& item : result_.items) {
    if (keys.contains(item.key)) asked.items.push_back(item);
  }
  lastRequest_ = std::move(parameters);
  co_return Task<CompositeListResult>::spawn(mainExecutor(), answer(std::move(asked)));
}

}  // namespace quarn::tool
