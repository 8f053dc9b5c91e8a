#include "tools/quarnkit/preview/results_fetcher.h"

#include <set>

#include "quarnkit/composite_list/model/divider_include.h"
#include "quarnkit/composite_list/model/section_item.h"
#include "tools/quarnkit/preview/preview.h"

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

ResultsFetcher::ResultsFetcher(Passkey key, std::shared_ptr<CompositeListItemsRegistry> registry,
                               Items templateItems,
                               std::shared_ptr<FileTemplateProvider> templateProvider,
                               CompositeListResult result)
    : CompositeListFetcher(key, std::move(registry), std::move(templateItems), templateProvider,
                           CompositeListFetchMode::automatic, kLimit),
      files_(std::move(templateProvider)),
      result_(std::move(result)) {}

Async<CompositeListFetcher::Items> ResultsFetcher::transformTemplateItems(Items items) {
  Items out;
  out.reserve(items.size());
  for (auto& item : items) {
    if (item.type() != CompositeListItemType::include) {
      out.push_back(std::move(item));
      continue;
    }
    // On the chain while the base expands this include (the provider reads
    // it at the innermost site) and the includes of what it provides.
    std::optional<IncludeChain::Step> step;
    const auto record = item.base<CompositeListInclude>();
    if (files_ && record && record->entity()) {
      const IncludeSite site = files_->siteOf(item);
      step.emplace(
          files_->chain().enter(site, files_->resolve(site, record->entity()->templateSource)));
    }
    Items one;
    one.push_back(std::move(item));
    Items expanded = co_await CompositeListFetcher::transformTemplateItems(std::move(one));
    out.insert(out.end(), std::make_move_iterator(expanded.begin()),
               std::make_move_iterator(expanded.end()));
  }
  co_return out;
}

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
  if (server_) {
    co_return Task<CompositeListResult>::spawn(mainExecutor(),
                                               server_->answer(requestBody(*lastRequest_)));
  }
  co_return Task<CompositeListResult>::spawn(mainExecutor(), answer(std::move(asked)));
}

}  // namespace quarn::tool
