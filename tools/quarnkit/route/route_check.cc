#include "tools/quarnkit/route/route_check.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>

#include "quarnkit/routing/url_pattern.h"

namespace quarn::tool {

namespace {

using Kind = RouteFinding::Kind;

// Texts to try where no literal says what a component must be: one of each
// built-in type, and plain text.
constexpr std::array<const char*, 4> kSampleTexts{"1", "1.5",
                                                  "00000000-0000-0000-0000-000000000000", "x"};

// Lines of a tie group named in its finding, besides the first two.
constexpr std::size_t kTiesNamed = 5;

bool isLiteral(const URLPathComponent& c) { return c.isPlain() && c.text != "*"; }

// A component as covering one pattern by another needs it, worked out once
// per pattern: the pair loops over the table compare small numbers.
struct Shape {
  enum class Class : std::uint8_t { anyText, literal, typed };
  Class cls = Class::anyText;
  /// typed: the type's number.
  std::size_t type = 0;
};

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

  [[nodiscard]] std::vector<Shape> shapesOf(const URLPattern& pattern) {
    std::vector<Shape> out;
    out.reserve(pattern.components.size());
    for (const URLPathComponent& c : pattern.components) {
      if (acceptsAnyText(c)) {
        out.push_back({Shape::Class::anyText, 0});
      } else if (isLiteral(c)) {
        out.push_back({Shape::Class::literal, 0});
      } else {
        out.push_back({Shape::Class::typed,
                       typeNumbers_.try_emplace(*c.type, typeNumbers_.size()).first->second});
      }
    }
    return out;
  }

  // Whether component `outer` (of shape `o`) accepts every text `inner` accepts.
  [[nodiscard]] bool covers(const URLPathComponent& outer, Shape o, const URLPathComponent& inner,
                            Shape i) const {
    if (o.cls == Shape::Class::anyText) return true;
    if (i.cls == Shape::Class::literal) return accepts(outer, inner.text);
    if (o.cls == Shape::Class::literal || i.cls == Shape::Class::anyText) return false;
    return o.type == i.type || (isType(o.type, "float") && isType(i.type, "int"));
  }

  [[nodiscard]] bool accepts(const URLPathComponent& c, const std::string& text) const {
    if (c.isPlain()) return c.text == "*" || c.text == text;
    const std::array<std::string, 1> alone{text};
    return matcher_.match(alone, 0, c).matches;
  }

 private:
  [[nodiscard]] bool isType(std::size_t number, const std::string& name) const {
    const auto it = typeNumbers_.find(name);
    return it != typeNumbers_.end() && it->second == number;
  }

  const URLMatcher& matcher_;
  std::map<std::string, std::size_t> typeNumbers_;
};

// Whether every URL `inner` matches, `outer` matches too.
bool coversAll(const URLPattern& outer, const std::vector<Shape>& outerShapes,
               const URLPattern& inner, const std::vector<Shape>& innerShapes,
               const TypeKnowledge& types) {
  if (outer.scheme != inner.scheme) return false;
  const std::size_t a = outer.components.size(), b = inner.components.size();
  if (inner.hasPathPlaceholder ? !(outer.hasPathPlaceholder && a <= b)
                               : !(outer.hasPathPlaceholder ? a <= b : a == b)) {
    return false;
  }
  // Here a <= b: the outer pattern looks at no component the inner one leaves open.
  for (std::size_t k = 0; k < a; ++k) {
    if (!types.covers(outer.components[k], outerShapes[k], inner.components[k], innerShapes[k])) {
      return false;
    }
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
  TypeKnowledge types(matcher);
  std::vector<URLPattern> patterns;
  std::vector<std::vector<Shape>> shapes;
  patterns.reserve(routes.size());
  shapes.reserve(routes.size());
  for (const Route& r : routes) {
    patterns.emplace_back(r.pattern);
    shapes.push_back(types.shapesOf(patterns.back()));
  }

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
      if (i == j || !wins || !coversAll(a, shapes[i], b, shapes[j], types)) continue;
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
  // Ties are grouped: a pattern joins the first group whose first pattern it
  // ties with, so the work grows with the patterns times the groups, not
  // with the pairs (a pattern that ties only with a later member of a group
  // is not reported, as with unreachability).
  struct TieGroup {
    std::size_t first;
    std::vector<std::size_t> losers;
    std::string example;
  };
  std::vector<TieGroup> groups;
  for (std::size_t j = 0; j < routes.size(); ++j) {
    if (unreachable[j]) continue;
    const URLPattern& b = patterns[j];
    bool joined = false;
    for (TieGroup& group : groups) {
      const URLPattern& a = patterns[group.first];
      if (a.literalCount != b.literalCount) continue;
      auto example = commonURL(a, b, matcher, types);
      if (!example) continue;
      if (group.losers.empty()) group.example = std::move(*example);
      group.losers.push_back(j);
      joined = true;
      break;
    }
    if (!joined) groups.push_back({j, {}, {}});
  }
  for (TieGroup& group : groups) {
    if (group.losers.empty()) continue;
    const URLPattern& a = patterns[group.first];
    std::string message = "line " + std::to_string(routes[group.first].line) + " (" + a.text +
                          ") also matches " + group.example + " with " +
                          countOf(a.literalCount, "literal component") +
                          "; only its earlier place makes it win";
    const std::size_t more = group.losers.size() - 1;
    if (more > 0) {
      message += ", as over " + countOf(more, "more pattern") + " it ties with: line";
      message += more == 1 ? " " : "s ";
      const std::size_t shown = std::min(more, kTiesNamed);
      for (std::size_t k = 1; k <= shown; ++k) {
        message += (k == 1                        ? ""
                    : k == shown && shown == more ? " and "
                                                  : ", ") +
                   std::to_string(routes[group.losers[k]].line);
      }
      if (shown < more) message += " and " + std::to_string(more - shown) + " more";
    }
    findings.push_back({Kind::ambiguous, group.losers.front(), group.first, group.example,
                        std::move(message), group.losers.size() + 1});
  }
  std::stable_sort(findings.begin(), findings.end(),
                   [](const RouteFinding& x, const RouteFinding& y) { return x.route < y.route; });
  return findings;
}

}  // namespace quarn::tool
