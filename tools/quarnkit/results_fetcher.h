// ResultsFetcher: the tool's fetcher. It runs the library's whole pipeline and
// answers the combined request from a results file decoded beforehand (no
// network): the results whose keys the request asks for, as a server would.
// It keeps the request it was asked so that it can be printed.
#pragma once

#include <optional>

#include "quarnkit/composite_list/fetching/fetcher.h"

namespace quarn::tool {

class ResultsFetcher final : public CompositeListFetcher {
 public:
  ResultsFetcher(std::shared_ptr<CompositeListItemsRegistry> registry, Items templateItems,
                 std::shared_ptr<CompositeListTemplateProviding> templateProvider,
                 CompositeListResult result);

  Async<Task<CompositeListResult>> fetchCompositeListTask(CompositeListRequestParameters parameters,
                                                          std::int64_t limit) override;

  /// The last combined request, if the pipeline made one.
  [[nodiscard]] const std::optional<CompositeListRequestParameters>& lastRequest() const {
    return lastRequest_;
  }

 private:
  CompositeListResult result_;
  std::optional<CompositeListRequestParameters> lastRequest_;
};

}  // namespace quarn::tool
