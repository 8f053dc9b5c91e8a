#include "tools/quarnkit/route_check.h"

#include <algorithm>
#include <array>

#include "quarnkit/routing/url_pattern.h"

namespace quarn::tool {

namespace {

using Kind = RouteFinding::Kind;

// Texts to try where no literal says what a component must be: one of each
// built-in type, and plain text.
constexpr std::array<const char*, 4> kSampleTexts{"1", "1.5",
                                                  "00000000-0000-0000-0000-000000000000", "x"};

bool isLiteral(const URLPathComponent& c) { return c.isPlain() && c.text != "*"; }

// What the built-in converters accept, as far as covering one pattern by
// another needs: types that take any text, and types that take every text
// another type takes.
class TypeKnowledge {
 public:
  explicit TypeKnowledge(const URLMatcher& matcher) : matcher_(matcher) {}

  [[nodiscard]] bool acceptsAnyText(const URLPathComponent& c) const {
    if (c.isPlain()) return c.text == "*";
    return !c.type || !matcher_.valueConverters.contains(*c.type) || *c.type == "string" ||
           *c.type == "path";
  }

  // Whether `outer` accepts every text `inner` accepts.
  [[nodiscard]] bool covers(const URLPathComponent& outer, const URLPathComponent& inner) const {
    if (acceptsAnyText(outer)) return true;
    if (isLiteral(inner)) return accepts(outer, inner.text);
    if (outer.isPlain() || inner.isPlain() || acceptsAnyText(inner)) return false;
    return *outer.type == *inner.type || (*outer.type == "float" && *inner.type == "int");
  }

  [[nodiscard]] bool accepts(const URLPathComponent& c, const std::string& text) const {
    const std::array<std::string, 1> alone{text};
    return matcher_.match(alone, 0, c).matches;
  }

 private:
  const URLMatcher& matcher_;
};

// Whether every URL `inner` matches, `outer` matches too.
bool coversAll(const URLPattern& outer, const URLPattern& inner, const TypeKnowledge& types) {
  if (outer.scheme != inner.scheme) return false;
  const std::size_t a = outer.components.size(), b = inner.components.size();
  if (inner.hasPathPlaceholder ? !(outer.hasPathPlaceholder && a <= b)
                               : !(outer.hasPathPlaceholder ? a <= b : a == b)) {
    return false;
  }
  // Here a <= b: the outer pattern looks at no component the inner one leaves open.
  for (std::size_t k = 0; k < a; ++k) {
    if (!types.covers(outer.components[k], inner.components[k])) return false;
  }
  return true;
}

// A URL both patterns match, or nothing when none is found.
std::optional<std::string> commonURL(const URLPattern& a, const URLPattern& b,
                                     const URLMatcher& matcher, const TypeKnowledge& types) {
  if (a.scheme != b.scheme) return std::nullopt;
  const std::size_t na = a.components.size(), nb = b.components.size();
  if (!a.hasPathPlaceholder && !b.hasPathPlaceholder && na != nb) return std::nullopt;
  if (!a.hasPathPlaceholder && b.hasPathPlaceholder && nb > na) return std::nullopt;
  if (a.hasPathPlaceholder && !b.hasPathPlaceholder && na > nb) return std::nullopt;
  std::vector<std::string> components;
  for (std::size_t k = 0; k < std::max(na, nb); ++k) {
    const URLPathComponent* ca = k < na ? &a.components[k] : nullptr;
    const URLPathComponent* cb = k < nb ? &b.components[k] : nullptr;
    std::vector<std::string> candidates;
    for (const auto* c : {ca, cb}) {
      if (c != nullptr && isLiteral(*c)) candidates.push_back(c->text);
    }
    if (candidates.empty()) candidates.assign(kSampleTexts.begin(), kSampleTexts.end());
    const auto fits = [&](const std::string& text) {
      return (ca == nullptr || types.accepts(*ca, text)) &&
             (cb == nullptr || types.accepts(*cb, text));
    };
    const auto found = std::find_if(candidates.begin(), candidates.end(), fits);
    if (found == candidates.end()) return std::nullopt;
    components.push_back(*found);
  }
  std::string url = a.scheme ? *a.scheme + "://" : "/";
  for (std::size_t k = 0; k < components.size(); ++k) url += (k > 0 ? "/" : "") + components[k];
  // The URL as the app would see it must really reach both.
  const std::array<std::string, 1> onlyA{a.text}, onlyB{b.text};
  if (!matcher.match(url, onlyA) || !matcher.match(url, onlyB)) return std::nullopt;
  return url;
}

}  // namespace

std::string kindName(RouteFinding::Kind kind) {
  switch (kind) {
    case Kind::unknownType:
      return "unknownType";
    case Kind::unreachable:
      return "unreachable";
    case Kind::ambiguous:
      return "ambiguous";
  }
  return "";
}

std::string kindLabel(RouteFinding::Kind kind) {
  return kind == Kind::unknownType ? "unknown type" : kindName(kind);
}

std::vector<RouteFinding> checkRoutes(const std::vector<Route>& routes, const URLMatcher& matcher) {
  const TypeKnowledge types(matcher);
  std::vector<URLPattern> patterns;
  patterns.reserve(routes.size());
  for (const Route& r : routes) patterns.emplace_back(r.pattern);

  std::vector<RouteFinding> findings;
  for (std::size_t i = 0; i < routes.size(); ++i) {
    for (const URLPathComponent& c : URLMatcher::pathComponents(routes[i].pattern)) {
      if (c.isPlaceholder() && c.type && !matcher.valueConverters.contains(*c.type)) {
        findings.push_back({Kind::unknownType,
                            i,
                            std::nullopt,
                            {},
                            "placeholder <" + *c.type + ":" + c.text + "> has the unknown type \"" +
                                *c.type + "\"; it matches any text"});
      }
    }
  }
  std::vector<bool> unreachable(routes.size(), false);
  for (std::size_t j = 0; j < routes.size(); ++j) {
    for (std::size_t i = 0; i < routes.size() && !unreachable[j]; ++i) {
      const URLPattern& a = patterns[i];
      const URLPattern& b = patterns[j];
      const bool wins =
          a.literalCount > b.literalCount || (a.literalCount == b.literalCount && i < j);
      if (i == j || !wins || !coversAll(a, b, types)) continue;
      unreachable[j] = true;
      findings.push_back(
          {Kind::unreachable,
           j,
           i,
           {},
           a.text == b.text
               ? "the same pattern as line " + std::to_string(routes[i].line) +
                     ", which comes first"
               : "line " + std::to_string(routes[i].line) + " (" + a.text +
                     ") matches every URL it matches and wins, with " +
                     countOf(a.literalCount, "literal component") +
                     (a.literalCount == b.literalCount ? " and an earlier place" : "")});
    }
  }
  for (std::size_t j = 0; j < routes.size(); ++j) {
    if (unreachable[j]) continue;
    for (std::size_t i = 0; i < j; ++i) {
      const URLPattern& a = patterns[i];
      const URLPattern& b = patterns[j];
      if (unreachable[i] || a.literalCount != b.literalCount) continue;
      auto example = commonURL(a, b, matcher, types);
      if (!example) continue;
      findings.push_back({Kind::ambiguous, j, i, *example,
                          "line " + std::to_string(routes[i].line) + " (" + a.text +
                              ") also matches " + *example + " with " +
                              countOf(a.literalCount, "literal component") +
                              "; only its earlier place makes it win"});
    }
  }
  std::stable_sort(findings.begin(), findings.end(),
                   [](const RouteFinding& x, const RouteFinding& y) { return x.route < y.route; });
  return findings;
}

}  // namespace quarn::tool
