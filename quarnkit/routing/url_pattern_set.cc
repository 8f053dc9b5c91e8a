#include "quarnkit/routing/url_pattern_set.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "quarnkit/routing/detail/component_match.h"
#include "quarnkit/routing/url_matcher.h"

namespace quarn {

// A tree per scheme over the patterns' components. Nodes live in one vector
// and refer to each other by index, so that neither building, searching nor
// destroying a deep tree recurses. A table of many thousand patterns makes a
// node or two per component, so a node is four numbers: the literal branches
// of all nodes share one hash table, and the few nodes where patterns end
// keep their lists beside them.
struct URLPatternSet::Index {
  using NodeId = std::uint32_t;
  static constexpr NodeId kNone = std::numeric_limits<NodeId>::max();

  struct Node {
    /// The branch of placeholders and "*".
    NodeId wildcard = kNone;
    /// Where the patterns ending here are listed (in `endings`), or kNone.
    std::uint32_t ending = kNone;
    /// Bounds over every pattern ending here or below: the most literal
    /// components, the earliest position.
    std::uint32_t maxLiterals = 0;
    std::uint32_t minOrder = std::numeric_limits<std::uint32_t>::max();
  };

  /// Patterns whose components end at a node, best-preferred first: exactly
  /// as long as the URL, or (with a path placeholder) no longer than it.
  struct Endings {
    std::vector<std::uint32_t> exact;
    std::vector<std::uint32_t> prefix;
  };

  /// A literal branch: from `parent` along the component `text`.
  struct Branch {
    NodeId parent;
    std::string text;
  };
  struct BranchView {
    NodeId parent;
    std::string_view text;
  };
  struct BranchHash {
    using is_transparent = void;
    std::size_t operator()(const BranchView& b) const {
      return std::hash<std::string_view>{}(b.text) ^ (std::size_t{b.parent} * 0x9e3779b97f4a7c15U);
    }
    std::size_t operator()(const Branch& b) const { return (*this)(BranchView{b.parent, b.text}); }
  };
  struct BranchEqual {
    using is_transparent = void;
    static BranchView view(const Branch& b) { return {b.parent, b.text}; }
    static BranchView view(const BranchView& b) { return b; }
    template <class A, class B>
    bool operator()(const A& a, const B& b) const {
      const BranchView x = view(a), y = view(b);
      return x.parent == y.parent && x.text == y.text;
    }
  };

  std::vector<URLPattern> patterns;
  /// The node each pattern ends at.
  std::vector<NodeId> ends;
  std::vector<Node> nodes;
  std::vector<Endings> endings;
  std::unordered_map<Branch, NodeId, BranchHash, BranchEqual> literals;
  /// What decides whether a pattern ending at a node can win: its literal
  /// count and its components with the placeholders' names left out (see
  /// sameEnding). A pattern whose ending is already there matches only where
  /// the earlier one does, and loses to it. By the ending's hash, the
  /// patterns kept.
  std::unordered_multimap<std::size_t, std::uint32_t> endingsByHash;
  std::unordered_map<std::string, NodeId> schemeRoots;
  NodeId noSchemeRoot = kNone;

  NodeId newNode() {
    nodes.emplace_back();
    return static_cast<NodeId>(nodes.size() - 1);
  }

  NodeId rootFor(const std::optional<std::string>& scheme) {
    if (!scheme) {
      if (noSchemeRoot == kNone) noSchemeRoot = newNode();
      return noSchemeRoot;
    }
    if (auto it = schemeRoots.find(*scheme); it != schemeRoots.end()) return it->second;
    const NodeId id = newNode();
    schemeRoots.emplace(*scheme, id);
    return id;
  }

  static std::size_t endingHash(NodeId node, const URLPattern& pattern) {
    std::size_t h = std::hash<std::size_t>{}(node) ^ (pattern.literalCount * 0x9e3779b97f4a7c15U);
    const auto mix = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15U + (h << 6) + (h >> 2); };
    for (const URLPathComponent& c : pattern.components) {
      mix(c.isPlain() ? 1 : c.type ? 2 : 3);
      if (c.isPlain()) mix(std::hash<std::string>{}(c.text));
      if (c.type) mix(std::hash<std::string>{}(*c.type));
    }
    return h;
  }

  // Whether two patterns ending at one node answer alike: the same literal
  // count and components, placeholders compared by their types alone.
  static bool sameEnding(const URLPattern& a, const URLPattern& b) {
    if (a.literalCount != b.literalCount || a.components.size() != b.components.size()) {
      return false;
    }
    for (std::size_t k = 0; k < a.components.size(); ++k) {
      const URLPathComponent &x = a.components[k], &y = b.components[k];
      if (x.kind != y.kind || x.type != y.type || (x.isPlain() && x.text != y.text)) return false;
    }
    return true;
  }

  // Whether pattern `a` is preferred to pattern `b`.
  [[nodiscard]] bool preferred(std::uint32_t a, std::uint32_t b) const {
    const std::size_t la = patterns[a].literalCount, lb = patterns[b].literalCount;
    return la != lb ? la > lb : a < b;
  }

  void add(std::string text) {
    const auto order = static_cast<std::uint32_t>(patterns.size());
    patterns.emplace_back(std::move(text));
    const URLPattern& pattern = patterns.back();
    const auto literalCount = static_cast<std::uint32_t>(
        std::min<std::size_t>(pattern.literalCount, std::numeric_limits<std::uint32_t>::max()));
    NodeId id = rootFor(pattern.scheme);
    const auto mark = [&](NodeId n) {
      nodes[n].maxLiterals = std::max(nodes[n].maxLiterals, literalCount);
      nodes[n].minOrder = std::min(nodes[n].minOrder, order);
    };
    mark(id);
    for (const URLPathComponent& c : pattern.components) {
      NodeId next = kNone;
      if (c.isPlain() && c.text != "*") {
        if (auto it = literals.find(BranchView{id, c.text}); it != literals.end()) {
          next = it->second;
        } else {
          next = newNode();  // may move the nodes: no reference into them is held
          literals.emplace(Branch{id, c.text}, next);
        }
      } else {
        next = nodes[id].wildcard;
        if (next == kNone) {
          next = newNode();
          nodes[id].wildcard = next;
        }
      }
      id = next;
      mark(id);
    }
    ends.push_back(id);
    const std::size_t hash = endingHash(id, pattern);
    for (auto [it, last] = endingsByHash.equal_range(hash); it != last; ++it) {
      if (ends[it->second] == id && sameEnding(patterns[it->second], pattern)) return;
    }
    endingsByHash.emplace(hash, order);
    if (nodes[id].ending == kNone) {
      nodes[id].ending = static_cast<std::uint32_t>(endings.size());
      endings.emplace_back();
    }
    Endings& here = endings[nodes[id].ending];
    auto& ending = pattern.hasPathPlaceholder ? here.prefix : here.exact;
    ending.insert(
        std::upper_bound(ending.begin(), ending.end(), order,
                         [&](std::uint32_t a, std::uint32_t b) { return preferred(a, b); }),
        order);
  }

  [[nodiscard]] std::optional<URLMatchResult> match(
      const NormalizedURL& url, const URLValueConverterTable& converters) const {
    NodeId root = noSchemeRoot;
    if (url.scheme) {
      auto it = schemeRoots.find(*url.scheme);
      root = it == schemeRoots.end() ? kNone : it->second;
    }
    if (root == kNone) return std::nullopt;

    std::optional<std::uint32_t> best;
    URLMatchValues bestValues, values;
    // Whether a pattern with these literal count and position would win.
    const auto couldWin = [&](std::size_t literalCount, std::uint32_t order) {
      if (!best) return true;
      const std::size_t bestLiterals = patterns[*best].literalCount;
      return literalCount != bestLiterals ? literalCount > bestLiterals : order < *best;
    };
    const auto tryEach = [&](const std::vector<std::uint32_t>& ending) {
      for (const std::uint32_t p : ending) {
        if (!couldWin(patterns[p].literalCount, p)) return;  // nor can the ones after it
        std::size_t failed = 0;
        if (detail::matchComponents(url.components, patterns[p], converters, values, failed) ==
            URLMatchOutcome::Reason::matched) {
          best = p;
          std::swap(bestValues, values);
          return;
        }
      }
    };

    const std::size_t count = url.components.size();
    std::vector<std::pair<NodeId, std::size_t>> pending{{root, 0}};
    while (!pending.empty()) {
      const auto [id, depth] = pending.back();
      pending.pop_back();
      const Node& node = nodes[id];
      if (!couldWin(node.maxLiterals, node.minOrder)) continue;
      const Endings* here = node.ending == kNone ? nullptr : &endings[node.ending];
      if (here != nullptr) tryEach(here->prefix);
      if (depth == count) {
        if (here != nullptr) tryEach(here->exact);
        continue;
      }
      if (node.wildcard != kNone) pending.emplace_back(node.wildcard, depth + 1);
      // The literal branch is looked at first: it is the likelier winner.
      if (auto it = literals.find(BranchView{id, url.components[depth]}); it != literals.end()) {
        pending.emplace_back(it->second, depth + 1);
      }
    }
    if (!best) return std::nullopt;
    return URLMatchResult{patterns[*best].text, std::move(bestValues)};
  }
};

URLPatternSet::URLPatternSet() : index_(std::make_shared<Index>()) {}

URLPatternSet::URLPatternSet(std::span<const std::string> patterns) : URLPatternSet() {
  for (const auto& p : patterns) add(p);
}

URLPatternSet::~URLPatternSet() = default;
URLPatternSet::URLPatternSet(URLPatternSet&&) noexcept = default;
URLPatternSet& URLPatternSet::operator=(URLPatternSet&&) noexcept = default;

void URLPatternSet::add(std::string pattern) {
  // A match under way (a converter adding a route) keeps the index it began
  // with; the change goes to a copy.
  if (index_.use_count() > 1) index_ = std::make_shared<Index>(*index_);
  index_->add(std::move(pattern));
}

std::size_t URLPatternSet::size() const { return index_->patterns.size(); }

const std::string& URLPatternSet::operator[](std::size_t index) const {
  return index_->patterns[index].text;
}

std::optional<URLMatchResult> URLMatcher::match(const URLConvertible& url,
                                                const URLPatternSet& candidates) const {
  // Both held for the length of the match: a converter may change either.
  const std::shared_ptr<const URLPatternSet::Index> index = candidates.index_;
  const auto converters = valueConverters.table();
  return index->match(NormalizedURL(url), *converters);
}

}  // namespace quarn
