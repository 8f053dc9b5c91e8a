/// @file
/// CompositeListFetcherError: the fetch failures the fetcher itself detects: a template that
/// includes itself (directly or through other templates), and a template-providing item whose
/// sections lead back to an item of the same description.

/// @class quarn::CompositeListFetcherError
/// The fetch failures the fetcher itself detects:
/// a template that includes itself (directly or through other templates), and
/// a template-providing item whose sections lead back to an item of the same
/// description. Either would expand without end; the fetch ends with this
/// error instead, naming the cycle.
#pragma once

#include <string>
#include <vector>

#include "quarnkit/composite_list/model/divider_include.h"
#include "quarnkit/core/error.h"

namespace quarn {

class CompositeListFetcherError : public Error {
 public:
  /// What repeated: an include or a nested template.
  enum class Kind { includeCycle, templateCycle };

  /// The cycle of kind `k` through `steps`.
  CompositeListFetcherError(Kind k, std::vector<std::string> steps)
      : kind(k), cycle(std::move(steps)) {}

  /// "Include cycle: key \"home\" -> key \"promo\" -> key \"home\"", or
  /// "Template cycle: template -> template".
  [[nodiscard]] std::string description() const override;

  /// What repeated.
  Kind kind;
  /// The steps of the cycle, the repeated one at both ends.
  std::vector<std::string> cycle;
};

/// How an include names itself in a cycle: its source and its selection
/// ("key \"home\" uniqueId \"hero\"", "url \"file:///t.json\" range 0...2").
std::string describeInclude(const CompositeListInclude& include);

}  // namespace quarn
