#include "quarnkit/routing/url_pattern.h"

#include "quarnkit/routing/detail/component_match.h"
#include "quarnkit/routing/detail/url_text.h"

namespace quarn {

namespace {
std::optional<std::string> schemeOf(const std::optional<URL>& url) {
  if (!url) return std::nullopt;
  std::string scheme = url->scheme();
  if (scheme.empty()) return std::nullopt;
  return scheme;
}
}  // namespace

URLPattern::URLPattern(std::string patternText) : text(std::move(patternText)) {
  const auto url = urlOfText(text);
  scheme = schemeOf(url);
  const std::string normalized = url ? detail::normalizeURLText(text) : text;
  for (auto& piece : detail::pathComponentTexts(normalized)) {
    components.push_back(detail::patternComponent(std::move(piece)));
    hasPathPlaceholder = hasPathPlaceholder || components.back().isPathPlaceholder();
  }
  literalCount = URLMatcher::literalComponentCount(text);
}

NormalizedURL::NormalizedURL(const URLConvertible& url) {
  // A URL that has no URL value keeps its text and has no scheme, whatever
  // that text would parse as.
  std::string text = url.urlStringValue();
  if (!url.urlValue()) {
    components = detail::pathComponentTexts(text);
    return;
  }
  text = detail::normalizeURLText(text);
  scheme = schemeOf(urlOfText(text));
  components = detail::pathComponentTexts(text);
}

}  // namespace quarn
