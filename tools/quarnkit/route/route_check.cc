#include "tools/quarnkit/route/route_check.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <string_view>
#include <unordered_map>

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

// The patterns as a tree of their components' shapes (one branch per
// literal text, per type, and for any text), so that the patterns covering
// one pattern, or sharing a URL with it, are found by following only the
// branches that accept its components, not by comparing it with every other
// pattern. A table may hold hundreds of thousands of patterns: a node is a
// few numbers, its literal branches are in one hash table of the tree, and
// its children are linked as siblings for the walks that visit them all.
class ShapeTree {
 public:
  ShapeTree(const std::vector<URLPattern>& patterns, const std::vector<std::vector<Shape>>& shapes,
            const TypeKnowledge& types)
      : patterns_(patterns), shapes_(shapes), types_(types) {}

  // Adds pattern `i`; the patterns (and their texts) must outlive the tree.
  void add(std::size_t i) {
    const URLPattern& pattern = patterns_[i];
    auto root = roots_.find(pattern.scheme);
    if (root == roots_.end()) root = roots_.emplace(pattern.scheme, newNode(i)).first;
    NodeId id = root->second;
    for (std::size_t k = 0; k < pattern.components.size(); ++k) {
      const Shape shape = shapes_[i][k];
      const std::string& text = pattern.components[k].text;
      NodeId next = kNone;
      switch (shape.cls) {
        case Shape::Class::anyText:
          next = nodes_[id].anyText;
          break;
        case Shape::Class::literal:
          next = literalChild(id, text);
          break;
        case Shape::Class::typed:
          next = typedChild(id, shape.type);
          break;
      }
      if (next == kNone) {
        next = newNode(i);  // may move the nodes: no reference into them is held
        switch (shape.cls) {
          case Shape::Class::anyText:
            nodes_[id].anyText = next;
            break;
          case Shape::Class::literal:
            literals_.emplace(Branch{id, text}, next);
            nodes_[next].sibling = nodes_[id].firstLiteral;
            nodes_[id].firstLiteral = next;
            break;
          case Shape::Class::typed:
            nodes_[next].type = static_cast<std::uint32_t>(shape.type);
            nodes_[next].sibling = nodes_[id].firstTyped;
            nodes_[id].firstTyped = next;
            break;
        }
      }
      id = next;
    }
    if (nodes_[id].ending == kNone) {
      nodes_[id].ending = static_cast<NodeId>(endings_.size());
      endings_.emplace_back();
    }
    Endings& here = endings_[nodes_[id].ending];
    (pattern.hasPathPlaceholder ? here.prefix : here.exact).push_back(i);
  }

  // The first pattern that matches every URL pattern `j` matches and wins
  // over it, or nothing.
  [[nodiscard]] std::optional<std::size_t> firstCovering(std::size_t j) const {
    const URLPattern& inner = patterns_[j];
    const auto root = roots_.find(inner.scheme);
    if (root == roots_.end()) return std::nullopt;
    const std::size_t b = inner.components.size();
    std::optional<std::size_t> best;
    const auto consider = [&](const std::vector<std::size_t>& ending) {
      // In order: the first that wins is the best of this list.
      for (const std::size_t i : ending) {
        if (best && i >= *best) return;
        if (i != j && wins(i, j)) {
          best = i;
          return;
        }
      }
    };
    std::vector<std::pair<NodeId, std::size_t>> pending{{root->second, 0}};
    while (!pending.empty()) {
      const auto [id, depth] = pending.back();
      pending.pop_back();
      const Node& node = nodes_[id];
      const Endings* here = node.ending == kNone ? nullptr : &endings_[node.ending];
      // A path placeholder covers the rest of any longer pattern.
      if (here != nullptr) consider(here->prefix);
      if (depth == b) {
        if (here != nullptr && !inner.hasPathPlaceholder) consider(here->exact);
        continue;
      }
      const URLPathComponent& c = inner.components[depth];
      const Shape shape = shapes_[j][depth];
      if (node.anyText != kNone) pending.emplace_back(node.anyText, depth + 1);
      if (shape.cls == Shape::Class::anyText) continue;
      if (shape.cls == Shape::Class::literal) {
        if (const NodeId child = literalChild(id, c.text); child != kNone) {
          pending.emplace_back(child, depth + 1);
        }
      }
      for (NodeId child = node.firstTyped; child != kNone; child = nodes_[child].sibling) {
        if (types_.covers(componentAt(child, depth), Shape{Shape::Class::typed, nodes_[child].type},
                          c, shape)) {
          pending.emplace_back(child, depth + 1);
        }
      }
    }
    return best;
  }

  // The patterns that may match a URL pattern `j` matches too, in table
  // order: every one that does, and some that a closer look rules out.
  [[nodiscard]] std::vector<std::size_t> mayShareAURLWith(std::size_t j) const {
    const URLPattern& inner = patterns_[j];
    std::vector<std::size_t> out;
    const auto root = roots_.find(inner.scheme);
    if (root == roots_.end()) return out;
    const std::size_t b = inner.components.size();
    std::vector<std::pair<NodeId, std::size_t>> pending{{root->second, 0}};
    while (!pending.empty()) {
      const auto [id, depth] = pending.back();
      pending.pop_back();
      const Node& node = nodes_[id];
      const Endings* here = node.ending == kNone ? nullptr : &endings_[node.ending];
      // A shorter pattern with a path placeholder: the rest is the URL's.
      if (here != nullptr) out.insert(out.end(), here->prefix.begin(), here->prefix.end());
      if (depth == b) {
        if (inner.hasPathPlaceholder) {
          collectBelow(id, out);  // any longer pattern: its rest is this one's path
        } else if (here != nullptr) {
          out.insert(out.end(), here->exact.begin(), here->exact.end());
        }
        continue;
      }
      const URLPathComponent& c = inner.components[depth];
      const Shape shape = shapes_[j][depth];
      if (node.anyText != kNone) pending.emplace_back(node.anyText, depth + 1);
      if (shape.cls == Shape::Class::literal) {
        if (const NodeId child = literalChild(id, c.text); child != kNone) {
          pending.emplace_back(child, depth + 1);
        }
        for (NodeId child = node.firstTyped; child != kNone; child = nodes_[child].sibling) {
          if (types_.accepts(componentAt(child, depth), c.text)) {
            pending.emplace_back(child, depth + 1);
          }
        }
        continue;
      }
      for (NodeId child = node.firstLiteral; child != kNone; child = nodes_[child].sibling) {
        if (types_.accepts(c, componentAt(child, depth).text)) {
          pending.emplace_back(child, depth + 1);
        }
      }
      for (NodeId child = node.firstTyped; child != kNone; child = nodes_[child].sibling) {
        pending.emplace_back(child, depth + 1);
      }
    }
    std::sort(out.begin(), out.end());
    return out;
  }

 private:
  using NodeId = std::uint32_t;
  static constexpr NodeId kNone = std::numeric_limits<NodeId>::max();

  struct Node {
    /// A pattern through this node: its component at the node's depth
    /// stands for the branch (its literal text, its type).
    NodeId sample = 0;
    NodeId anyText = kNone;
    NodeId firstLiteral = kNone;
    NodeId firstTyped = kNone;
    /// The next child of this node's parent on the same list.
    NodeId sibling = kNone;
    /// A typed branch: its type's number.
    std::uint32_t type = 0;
    /// Where the patterns ending here are listed, or kNone.
    NodeId ending = kNone;
  };

  /// Patterns ending at a node, in table order: as long as the URL, or with
  /// a path placeholder.
  struct Endings {
    std::vector<std::size_t> exact;
    std::vector<std::size_t> prefix;
  };

  struct Branch {
    NodeId parent;
    std::string_view text;
    bool operator==(const Branch&) const = default;
  };
  struct BranchHash {
    std::size_t operator()(const Branch& b) const {
      return std::hash<std::string_view>{}(b.text) ^ (std::size_t{b.parent} * 0x9e3779b97f4a7c15U);
    }
  };

  [[nodiscard]] bool wins(std::size_t i, std::size_t j) const {
    const std::size_t li = patterns_[i].literalCount, lj = patterns_[j].literalCount;
    return li > lj || (li == lj && i < j);
  }

  NodeId newNode(std::size_t sample) {
    nodes_.push_back({});
    nodes_.back().sample = static_cast<NodeId>(sample);
    return static_cast<NodeId>(nodes_.size() - 1);
  }

  [[nodiscard]] NodeId literalChild(NodeId id, std::string_view text) const {
    const auto it = literals_.find(Branch{id, text});
    return it == literals_.end() ? kNone : it->second;
  }

  [[nodiscard]] NodeId typedChild(NodeId id, std::size_t type) const {
    for (NodeId child = nodes_[id].firstTyped; child != kNone; child = nodes_[child].sibling) {
      if (nodes_[child].type == type) return child;
    }
    return kNone;
  }

  // The component that leads to `child`, at `depth`.
  [[nodiscard]] const URLPathComponent& componentAt(NodeId child, std::size_t depth) const {
    return patterns_[nodes_[child].sample].components[depth];
  }

  // Every pattern ending at `id` or below it.
  void collectBelow(NodeId id, std::vector<std::size_t>& out) const {
    std::vector<NodeId> pending{id};
    while (!pending.empty()) {
      const Node& node = nodes_[pending.back()];
      pending.pop_back();
      if (node.ending != kNone) {
        const Endings& here = endings_[node.ending];
        out.insert(out.end(), here.exact.begin(), here.exact.end());
        out.insert(out.end(), here.prefix.begin(), here.prefix.end());
      }
      if (node.anyText != kNone) pending.push_back(node.anyText);
      for (NodeId c = node.firstLiteral; c != kNone; c = nodes_[c].sibling) pending.push_back(c);
      for (NodeId c = node.firstTyped; c != kNone; c = nodes_[c].sibling) pending.push_back(c);
    }
  }

  const std::vector<URLPattern>& patterns_;
  const std::vector<std::vector<Shape>>& shapes_;
  const TypeKnowledge& types_;
  std::vector<Node> nodes_;
  std::vector<Endings> endings_;
  std::unordered_map<Branch, NodeId, BranchHash> literals_;
  std::map<std::optional<std::string>, NodeId> roots_;
};

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
  ShapeTree tree(patterns, shapes, types);
  for (std::size_t i = 0; i < routes.size(); ++i) tree.add(i);
  for (std::size_t j = 0; j < routes.size(); ++j) {
    const auto i = tree.firstCovering(j);
    if (!i) continue;
    unreachable[j] = true;
    const URLPattern& a = patterns[*i];
    const URLPattern& b = patterns[j];
    findings.push_back(
        {Kind::unreachable,
         j,
         *i,
         {},
         a.text == b.text
             ? "the same pattern as line " + std::to_string(routes[*i].line) + ", which comes first"
             : "line " + std::to_string(routes[*i].line) + " (" + a.text +
                   ") matches every URL it matches and wins, with " +
                   countOf(a.literalCount, "literal component") +
                   (a.literalCount == b.literalCount ? " and an earlier place" : "")});
  }
  // Ties are grouped: a pattern joins the first group whose first pattern it
  // ties with (a pattern that ties only with a later member of a group is
  // not reported, as with unreachability). The groups' first patterns are
  // kept in a tree of their own, so a pattern is compared with the few that
  // may share a URL with it, not with every group.
  struct TieGroup {
    std::size_t first;
    std::vector<std::size_t> losers;
    std::string example;
  };
  std::vector<TieGroup> groups;
  std::vector<std::size_t> groupOf(routes.size(), 0);
  ShapeTree leaders(patterns, shapes, types);
  for (std::size_t j = 0; j < routes.size(); ++j) {
    if (unreachable[j]) continue;
    const URLPattern& b = patterns[j];
    bool joined = false;
    for (const std::size_t first : leaders.mayShareAURLWith(j)) {
      TieGroup& group = groups[groupOf[first]];
      const URLPattern& a = patterns[first];
      if (a.literalCount != b.literalCount) continue;
      auto example = commonURL(a, b, matcher, types);
      if (!example) continue;
      if (group.losers.empty()) group.example = std::move(*example);
      group.losers.push_back(j);
      joined = true;
      break;
    }
    if (!joined) {
      groupOf[j] = groups.size();
      groups.push_back({j, {}, {}});
      leaders.add(j);
    }
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
