// Patterns and URLs read once for matching, and the comparison of their
// components that every way of matching shares.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "quarnkit/routing/url_matcher.h"

namespace quarn::detail {

/// A candidate pattern, read once.
struct CompiledURLPattern {
  std::string text;
  /// The scheme of the pattern's URL; nothing when it has none or no URL.
  std::optional<std::string> scheme;
  /// The components of the normalised text.
  std::vector<URLPathComponent> components;
  bool hasPathPlaceholder = false;
  /// Literal components of the text as given: the preference among matches.
  std::size_t literalCount = 0;

  explicit CompiledURLPattern(std::string patternText);
};

/// A URL, normalised and read once.
struct PreparedURL {
  std::optional<std::string> scheme;
  std::vector<std::string> components;

  explicit PreparedURL(const URLConvertible& url);
};

/// The component of a pattern's text.
URLPathComponent patternComponent(std::string text);

/// Whether a URL of `urlCount` components may match a pattern of
/// `patternCount`: equal counts, or no more with a path placeholder.
inline bool countsAllowMatch(std::size_t urlCount, std::size_t patternCount, bool hasPath) {
  return hasPath ? patternCount <= urlCount : patternCount == urlCount;
}

/// Whether a URL with `url`'s scheme may match the pattern.
inline bool schemesAgree(const PreparedURL& url, const CompiledURLPattern& pattern) {
  return url.scheme == pattern.scheme;
}

/// Compares `components` with the pattern's (the count check, then one by
/// one). On a match returns `matched` with `values` filled; otherwise the
/// reason, with the failing component's index in `failed`.
URLMatchOutcome::Reason matchComponents(std::span<const std::string> components,
                                        const CompiledURLPattern& pattern,
                                        const URLValueConverters& converters,
                                        URLMatchValues& values, std::size_t& failed);

}  // namespace quarn::detail
