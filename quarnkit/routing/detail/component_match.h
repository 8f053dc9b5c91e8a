// The comparison of a URL's components with a pattern's that every way of
// matching shares.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "quarnkit/routing/url_pattern.h"

namespace quarn::detail {

/// The component of a pattern's text.
URLPathComponent patternComponent(std::string text);

/// Whether a URL of `urlCount` components may match a pattern of
/// `patternCount`: equal counts, or no more with a path placeholder.
inline bool countsAllowMatch(std::size_t urlCount, std::size_t patternCount, bool hasPath) {
  return hasPath ? patternCount <= urlCount : patternCount == urlCount;
}

/// Whether a URL with `url`'s scheme may match the pattern.
inline bool schemesAgree(const NormalizedURL& url, const URLPattern& pattern) {
  return url.scheme == pattern.scheme;
}

/// Matches the URL component at `index` against one pattern component.
URLPathComponentMatchResult matchComponent(std::span<const std::string> components,
                                           std::size_t index, const URLPathComponent& component,
                                           const URLValueConverterTable& converters);

/// Compares `components` with the pattern's (the count check, then one by
/// one). On a match returns `matched` with `values` filled; otherwise the
/// reason, with the failing component's index in `failed`.
URLMatchOutcome::Reason matchComponents(std::span<const std::string> components,
                                        const URLPattern& pattern,
                                        const URLValueConverterTable& converters,
                                        URLMatchValues& values, std::size_t& failed);

/// The winner among `candidates` found by trying each in turn: what an
/// indexed table must agree with.
std::optional<URLMatchResult> scanMatch(const NormalizedURL& url,
                                        std::span<const std::string> candidates,
                                        const URLValueConverterTable& converters);

}  // namespace quarn::detail
