#include "quarnkit/routing/detail/url_pattern.h"

#include <algorithm>

#include "quarnkit/routing/detail/url_text.h"

namespace quarn::detail {

namespace {

std::optional<std::string> schemeOf(const std::optional<URL>& url) {
  if (!url) return std::nullopt;
  std::string scheme = url->scheme();
  if (scheme.empty()) return std::nullopt;
  return scheme;
}

}  // namespace

URLPathComponent patternComponent(std::string text) {
  if (text.size() < 2 || text.front() != '<' || text.back() != '>') {
    return URLPathComponent::plain(std::move(text));
  }
  const std::string_view inner = std::string_view(text).substr(1, text.size() - 2);
  const std::size_t colon = inner.find(':');
  if (colon == std::string_view::npos) return URLPathComponent::placeholder({}, std::string(inner));
  if (inner.find(':', colon + 1) != std::string_view::npos) {
    return URLPathComponent::plain(std::move(text));  // three parts or more
  }
  return URLPathComponent::placeholder(std::string(inner.substr(0, colon)),
                                       std::string(inner.substr(colon + 1)));
}

CompiledURLPattern::CompiledURLPattern(std::string patternText) : text(std::move(patternText)) {
  const auto url = urlOfText(text);
  scheme = schemeOf(url);
  const std::string normalized = url ? normalizeURLText(text) : text;
  for (auto& piece : pathComponentTexts(normalized)) {
    components.push_back(patternComponent(std::move(piece)));
    hasPathPlaceholder = hasPathPlaceholder || components.back().isPathPlaceholder();
  }
  literalCount = URLMatcher::literalComponentCount(text);
}

PreparedURL::PreparedURL(const URLConvertible& url) {
  const URLConvertible normalized = URLMatcher::normalizeURL(url);
  scheme = schemeOf(normalized.urlValue());
  components = pathComponentTexts(normalized.urlStringValue());
}

URLMatchOutcome::Reason matchComponents(std::span<const std::string> components,
                                        const CompiledURLPattern& pattern,
                                        const URLValueConverters& converters,
                                        URLMatchValues& values, std::size_t& failed) {
  using Reason = URLMatchOutcome::Reason;
  const std::size_t count = pattern.components.size();
  if (!countsAllowMatch(components.size(), count, pattern.hasPathPlaceholder)) {
    return Reason::componentCount;
  }
  values.clear();
  for (std::size_t i = 0; i < count; ++i) {
    const URLPathComponent& c = pattern.components[i];
    if (c.isPlain()) {
      if (c.text == "*" || c.text == components[i]) continue;
      failed = i;
      return Reason::literal;
    }
    const auto converter = c.type ? converters.find(*c.type) : converters.end();
    if (converter == converters.end() || !converter->second) {
      values.insert_or_assign(c.text, components[i]);
      continue;
    }
    std::any value = converter->second(components, i);
    if (!value.has_value()) {
      failed = i;
      return Reason::value;
    }
    values.insert_or_assign(c.text, std::move(value));
  }
  return Reason::matched;
}

}  // namespace quarn::detail
