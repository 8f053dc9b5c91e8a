#include "quarnkit/routing/detail/component_match.h"

#include <algorithm>

#include "quarnkit/routing/detail/url_text.h"

namespace quarn::detail {

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

URLPathComponentMatchResult matchComponent(std::span<const std::string> components,
                                           std::size_t index, const URLPathComponent& component,
                                           const URLValueConverterTable& converters) {
  if (component.isPlain()) {
    return {component.text == "*" || component.text == components[index], std::nullopt};
  }
  const auto converter = component.type ? converters.find(*component.type) : converters.end();
  if (converter == converters.end() || !converter->second) {
    return {true, std::pair<std::string, std::any>(component.text, components[index])};
  }
  std::any value = converter->second(components, index);
  if (!value.has_value()) return {false, std::nullopt};
  return {true, std::pair<std::string, std::any>(component.text, std::move(value))};
}

URLMatchOutcome::Reason matchComponents(std::span<const std::string> components,
                                        const URLPattern& pattern,
                                        const URLValueConverterTable& converters,
                                        URLMatchValues& values, std::size_t& failed) {
  using Reason = URLMatchOutcome::Reason;
  const std::size_t count = pattern.components.size();
  if (!countsAllowMatch(components.size(), count, pattern.hasPathPlaceholder)) {
    return Reason::componentCount;
  }
  values.clear();
  for (std::size_t i = 0; i < count; ++i) {
    const URLPathComponent& c = pattern.components[i];
    auto result = matchComponent(components, i, c, converters);
    if (!result.matches) {
      failed = i;
      return c.isPlain() ? Reason::literal : Reason::value;
    }
    if (result.value) {
      values.insert_or_assign(std::move(result.value->first), std::move(result.value->second));
    }
  }
  return Reason::matched;
}

}  // namespace quarn::detail
