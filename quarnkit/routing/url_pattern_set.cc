#include "quarnkit/routing/url_pattern_set.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "quarnkit/routing/detail/component_match.h"
#include "quarnkit/routing/url_matcher.h"

namespace quarn {

// A tree per scheme over the patterns' components. Nodes live in one vector
// and refer to each other by index, so that neither building, searching nor
// destroying a deep tree recurses.
struct URLPatternSet::Index {
  using NodeId = std::uint32_t;
  static constexpr NodeId kNone = std::numeric_limits<NodeId>::max();

  struct Node {
    std::unordered_map<std::string, NodeId> literal;
    /// The branch of placeholders and "*".
    NodeId wildcard = kNone;
    /// Patterns whose components end here, best-preferred first: exactly as
    /// long as the URL, or (with a path placeholder) no longer than it.
    std::vector<std::uint32_t> exact;
    std::vector<std::uint32_t> prefix;
    /// Bounds over every pattern ending here or below: the most literal
    /// components, the earliest position.
    std::size_t maxLiterals = 0;
    std::uint32_t minOrder = std::numeric_limits<std::uint32_t>::max();
  };

  std::vector<URLPattern> patterns;
  std::vector<Node> nodes;
  /// What decides whether a pattern ending at a node can win: its literal
  /// count and its components with the placeholders' names left out. A
  /// pattern whose key is already there matches only where the earlier one
  /// does, and loses to it.
  std::unordered_set<std::string> endings;
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

  static std::string endingKey(NodeId node, const URLPattern& pattern) {
    std::string key = std::to_string(node) + ' ' + std::to_string(pattern.literalCount);
    for (const URLPathComponent& c : pattern.components) {
      if (c.isPlain()) {
        key += '\x01';
        key += c.text;
      } else {
        key += c.type ? '\x02' : '\x03';
        if (c.type) key += *c.type;
      }
    }
    return key;
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
    NodeId id = rootFor(pattern.scheme);
    const auto mark = [&](NodeId n) {
      nodes[n].maxLiterals = std::max(nodes[n].maxLiterals, pattern.literalCount);
      nodes[n].minOrder = std::min(nodes[n].minOrder, order);
    };
    mark(id);
    for (const URLPathComponent& c : pattern.components) {
      NodeId next = kNone;
      if (c.isPlain() && c.text != "*") {
        if (auto it = nodes[id].literal.find(c.text); it != nodes[id].literal.end()) {
          next = it->second;
        } else {
          next = newNode();  // may move the nodes: no reference into them is held
          nodes[id].literal.emplace(c.text, next);
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
    if (!endings.insert(endingKey(id, pattern)).second) return;
    auto& ending = pattern.hasPathPlaceholder ? nodes[id].prefix : nodes[id].exact;
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
    const auto couldWin = [&](std::size_t literals, std::uint32_t order) {
      if (!best) return true;
      const std::size_t bestLiterals = patterns[*best].literalCount;
      return literals != bestLiterals ? literals > bestLiterals : order < *best;
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
      tryEach(node.prefix);
      if (depth == count) {
        tryEach(node.exact);
        continue;
      }
      if (node.wildcard != kNone) pending.emplace_back(node.wildcard, depth + 1);
      // The literal branch is looked at first: it is the likelier winner.
      if (auto it = node.literal.find(url.components[depth]); it != node.literal.end()) {
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
