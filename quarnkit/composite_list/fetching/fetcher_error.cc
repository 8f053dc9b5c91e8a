#include "quarnkit/composite_list/fetching/fetcher_error.h"

#include <fmt/format.h>

namespace quarn {

std::string CompositeListFetcherError::description() const {
  std::string text = kind == Kind::includeCycle ? "Include cycle: " : "Template cycle: ";
  for (std::size_t i = 0; i < cycle.size(); ++i) {
    if (i) text += " -> ";
    text += cycle[i];
  }
  return text;
}

std::string describeInclude(const CompositeListInclude& include) {
  const auto& source = include.templateSource;
  const char* kind = source.kind() == CompositeListTemplateSource::Kind::url   ? "url"
                     : source.kind() == CompositeListTemplateSource::Kind::key ? "key"
                                                                               : "reference";
  std::string text = fmt::format("{} \"{}\"", kind, source.rawValue());
  if (include.uniqueId) text += fmt::format(" uniqueId \"{}\"", *include.uniqueId);
  if (include.range) {
    text += fmt::format(" range {}...{}", include.range->lowerBound, include.range->upperBound);
  }
  return text;
}

}  // namespace quarn
