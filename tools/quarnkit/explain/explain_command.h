// The `explain` subcommand: its options and the document it writes (text or
// json), for one environment or for each combination of a matrix of facts.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/quarnkit/common/format.h"
#include "tools/quarnkit/host/session.h"

namespace quarn::tool {

struct ExplainOptions {
  HostOptions host;
  Format format = Format::text;
  std::optional<std::string> output;
  /// Axes "NAME=VALUE,VALUE...".
  std::vector<std::string> matrix;
};

std::string explainDocument(const ExplainOptions& options);
int runExplain(const ExplainOptions& options);

}  // namespace quarn::tool
