// ResultsFetcher: the tool's fetcher. It runs the library's whole pipeline and
// answers the combined request from a results file decoded beforehand: the
// results whose keys the request asks for, as a server would; or, given a
// results server, from that server's answer.
// It keeps the request it was asked so that it can be printed, and it expands
// includes one at a time after the tool's own checks (the source confined to
// the includes directory, no cycle, not too deep), so that a refusal names
// the include's file and JSON path the way explain and lint name it.
#pragma once

#include <optional>

#include "quarnkit/composite_list/fetching/fetcher.h"
#include "tools/quarnkit/host/results_server.h"
#include "tools/quarnkit/host/template_files.h"

namespace quarn::tool {

class ResultsFetcher final : public CompositeListFetcher {
 public:
  ResultsFetcher(Passkey key, std::shared_ptr<CompositeListItemsRegistry> registry,
                 Items templateItems, std::shared_ptr<FileTemplateProvider> templateProvider,
                 CompositeListResult result);

  Async<Items> transformTemplateItems(Items items) override;

  Async<Task<CompositeListResult>> fetchCompositeListTask(CompositeListRequestParameters parameters,
                                                          std::int64_t limit) override;

  /// Answer from `server` instead of the results given at creation.
  void setServer(std::shared_ptr<ResultsServer> server) { server_ = std::move(server); }

  /// The last combined request, if the pipeline made one.
  [[nodiscard]] const std::optional<CompositeListRequestParameters>& lastRequest() const {
    return lastRequest_;
  }

 private:
  std::shared_ptr<FileTemplateProvider> files_;
  CompositeListResult result_;
  std::shared_ptr<ResultsServer> server_;
  std::optional<CompositeListRequestParameters> lastRequest_;
};

}  // namespace quarn::tool
