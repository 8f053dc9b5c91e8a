// Bounds on the work one predicate, expression or key path may cause. Texts
// and values come from servers; these keep any of them from exhausting the
// stack or the processor.
#pragma once

#include <cstddef>

namespace quarn {

/// Deepest nesting of parentheses, lists, function calls, NOT, unary minus and
/// subscripts, and the greatest height of the syntax tree (so a chain such as
/// "1 + 1 + ... + 1" is bounded too). Deeper texts fail to parse. At this depth
/// parsing and evaluating stay under 256 KB of stack in an optimised build.
inline constexpr std::size_t kPredicateMaxDepth = 100;

/// Most components in one key path. Longer paths fail to look up.
inline constexpr std::size_t kKeyPathMaxComponents = 100;

/// Most attempts at reading a dotted run of components as one literal key
/// (see KeyPath) during one evaluation.
inline constexpr std::size_t kKeyPathMaxFallbacks = 4096;

/// Time limit of one regular-expression match, in the regex engine's steps
/// (100 steps take about 10 ms on a phone-class core); a match over it is an
/// error. Patterns come from servers; catastrophic backtracking stops here.
inline constexpr int kRegexTimeLimit = 100;

/// Memory the regex engine may use for backtracking, in bytes.
inline constexpr int kRegexStackLimit = 1 << 20;

}  // namespace quarn
