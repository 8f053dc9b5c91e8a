#include "quarnkit/routing/url_matcher.h"

#include <algorithm>
#include <mutex>

#include "quarnkit/routing/detail/component_match.h"
#include "quarnkit/routing/detail/url_text.h"
#include "quarnkit/routing/url_pattern.h"
#include "quarnkit/routing/url_pattern_set.h"

namespace quarn {

// The last list of patterns match() was given, and its index. Reading a
// pattern costs far more than comparing its text, and hosts pass the same
// routes again and again.
struct URLMatcher::LastList {
  std::mutex mutex;
  std::vector<std::string> patterns;
  std::shared_ptr<const URLPatternSet> set;
};

URLMatcher::URLMatcher()
    : valueConverters(defaultURLValueConverters()), lastList_(std::make_shared<LastList>()) {}

std::optional<URLMatchResult> URLMatcher::match(const URLConvertible& url,
                                                std::span<const std::string> candidates) const {
  std::shared_ptr<const URLPatternSet> set;
  {
    const std::lock_guard lock(lastList_->mutex);
    if (!lastList_->set || !std::equal(candidates.begin(), candidates.end(),
                                       lastList_->patterns.begin(), lastList_->patterns.end())) {
      lastList_->set.reset();
      lastList_->patterns.assign(candidates.begin(), candidates.end());
      lastList_->set = std::make_shared<const URLPatternSet>(lastList_->patterns);
    }
    set = lastList_->set;  // a converter may match another list meanwhile
  }
  return match(url, *set);
}

namespace detail {

std::optional<URLMatchResult> scanMatch(const NormalizedURL& url,
                                        std::span<const std::string> candidates,
                                        const URLValueConverterTable& converters) {
  std::optional<URLMatchResult> best;
  std::size_t bestCount = 0;
  URLMatchValues values;
  for (const std::string& candidate : candidates) {
    const URLPattern pattern(candidate);
    if (!schemesAgree(url, pattern)) continue;
    std::size_t failed = 0;
    if (matchComponents(url.components, pattern, converters, values, failed) !=
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

}  // namespace detail

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
