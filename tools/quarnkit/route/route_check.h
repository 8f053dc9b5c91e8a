// The checks of `quarnkit route --check` over a routing table:
//   unknown type  a placeholder whose type names no converter matches any
//                 text, which is seldom what was meant;
//   unreachable   another pattern matches every URL this one matches and
//                 always wins (more literal components, or as many and
//                 listed first);
//   ambiguous     patterns match a common URL with as many literal
//                 components, so list order alone decides (an example URL
//                 is given): one finding for each group of such patterns,
//                 with its size and a few of its lines.
// Unreachability is found pattern by pattern (a pattern shadowed only by
// several others together is not reported).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/routing/url_matcher.h"
#include "tools/quarnkit/route/route.h"

namespace quarn::tool {

struct RouteFinding {
  enum class Kind { unknownType, unreachable, ambiguous };
  Kind kind = Kind::unknownType;
  /// The route found at fault, and the route it conflicts with.
  std::size_t route = 0;
  std::optional<std::size_t> other;
  /// ambiguous: a URL both match.
  std::string example;
  std::string message;
  /// ambiguous: how many patterns tie with `other`, it included.
  std::size_t ties = 0;
};

/// The findings, by line of the route at fault.
std::vector<RouteFinding> checkRoutes(const std::vector<Route>& routes, const URLMatcher& matcher);

/// "unknownType", "unreachable", "ambiguous".
std::string kindName(RouteFinding::Kind kind);
/// The kind in words ("unknown type").
std::string kindLabel(RouteFinding::Kind kind);

}  // namespace quarn::tool
