#include "quarnkit/routing/url_matcher.h"

#include <algorithm>

#include "quarnkit/routing/detail/component_match.h"
#include "quarnkit/routing/detail/url_text.h"
#include "quarnkit/routing/url_pattern.h"

namespace quarn {

URLMatcher::URLMatcher() : valueConverters(defaultURLValueConverters()) {}

std::optional<URLMatchResult> URLMatcher::match(const URLConvertible& url,
                                                std::span<const std::string> candidates) const {
  const NormalizedURL prepared(url);
  const auto converters = valueConverters.table();
  std::optional<URLMatchResult> best;
  std::size_t bestCount = 0;
  URLMatchValues values;
  for (const std::string& candidate : candidates) {
    const URLPattern pattern(candidate);
    if (!detail::schemesAgree(prepared, pattern)) continue;
    std::size_t failed = 0;
    if (detail::matchComponents(prepared.components, pattern, *converters, values, failed) !=
        URLMatchOutcome::Reason::matched) {
      continue;
    }
    if (best && pattern.literalCount <= bestCount) continue;
    best = URLMatchResult{candidate, std::move(values)};
    bestCount = pattern.literalCount;
    values = {};
  }
  return best;
}

std::optional<URLMatchResult> URLMatcher::match(std::span<const std::string> components,
                                                std::string_view pattern) const {
  const URLPattern compiled{std::string(pattern)};
  const auto converters = valueConverters.table();
  URLMatchValues values;
  std::size_t failed = 0;
  if (detail::matchComponents(components, compiled, *converters, values, failed) !=
      URLMatchOutcome::Reason::matched) {
    return std::nullopt;
  }
  return URLMatchResult{std::string(pattern), std::move(values)};
}

URLPathComponentMatchResult URLMatcher::match(std::span<const std::string> components,
                                              std::size_t index,
                                              const URLPathComponent& component) const {
  return detail::matchComponent(components, index, component, *valueConverters.table());
}

URLMatchOutcome URLMatcher::explain(const URLConvertible& url, std::string_view pattern) const {
  const NormalizedURL prepared(url);
  const URLPattern compiled{std::string(pattern)};
  URLMatchOutcome outcome;
  if (!detail::schemesAgree(prepared, compiled)) {
    outcome.reason = URLMatchOutcome::Reason::scheme;
    return outcome;
  }
  const auto converters = valueConverters.table();
  URLMatchValues values;
  outcome.reason = detail::matchComponents(prepared.components, compiled, *converters, values,
                                           outcome.component);
  if (outcome.reason == URLMatchOutcome::Reason::matched) {
    outcome.result = URLMatchResult{std::string(pattern), std::move(values)};
  }
  return outcome;
}

URLConvertible URLMatcher::normalizeURL(const URLConvertible& url) {
  if (!url.urlValue()) return URLConvertible(url.urlStringValue());
  return URLConvertible(detail::normalizeURLText(url.urlStringValue()));
}

std::vector<std::string> URLMatcher::stringPathComponents(const URLConvertible& url) {
  return detail::pathComponentTexts(url.urlStringValue());
}

std::vector<URLPathComponent> URLMatcher::pathComponents(std::string_view pattern) {
  std::vector<URLPathComponent> out;
  for (auto& text : detail::pathComponentTexts(pattern)) {
    out.push_back(detail::patternComponent(std::move(text)));
  }
  return out;
}

bool URLMatcher::ensurePathComponentsCount(std::span<const std::string> components,
                                           std::span<const URLPathComponent> patternComponents) {
  const bool hasPath = std::any_of(patternComponents.begin(), patternComponents.end(),
                                   [](const URLPathComponent& c) { return c.isPathPlaceholder(); });
  return detail::countsAllowMatch(components.size(), patternComponents.size(), hasPath);
}

std::size_t URLMatcher::literalComponentCount(std::string_view pattern) {
  const auto components = pathComponents(pattern);
  return static_cast<std::size_t>(std::count_if(
      components.begin(), components.end(), [](const URLPathComponent& c) { return c.isPlain(); }));
}

}  // namespace quarn
