/// @file
/// Bounds on the work one predicate, expression or key path may cause. Texts
/// and values come from servers; these keep any of them from exhausting the
/// stack, the memory or the processor.
#pragma once

#include <cstddef>
#include <cstdint>

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

/// Most steps (see EvaluationBudget) one evaluation may take, with or without
/// a budget; past it the evaluation fails (limitExceeded). A step takes some
/// 20 ns on a phone-class core, so this is about a fifth of a second.
inline constexpr std::uint64_t kEvaluationMaxSteps = 10'000'000;

/// A budget for all the predicates of one fetch: about a second's work.
inline constexpr std::uint64_t kEvaluationBudgetPerFetch = 50'000'000;

/// Time bound of one regular-expression match, in ticks of the regex engine
/// (10,000 of its operations each): kRegexBaseTicks, plus one tick for each
/// kRegexCharactersPerTick UTF-16 units of the text. A pattern that is linear
/// in the text ('a*', '[a-z]+@.*') matches texts of any length; one that
/// backtracks ('(a+)+$') stops here.
inline constexpr std::int64_t kRegexBaseTicks = 100;
/// UTF-16 units of the text matched for each tick beyond kRegexBaseTicks.
inline constexpr std::int64_t kRegexCharactersPerTick = 100;

/// Memory bound of one match for backtracking, in bytes: kRegexBaseStack plus
/// kRegexStackPerCharacter for each UTF-16 unit of the text, at most
/// kRegexMaxStack.
inline constexpr std::int64_t kRegexBaseStack = std::int64_t{1} << 20;
/// Bytes of backtracking stack for each UTF-16 unit of the text.
inline constexpr std::int64_t kRegexStackPerCharacter = 64;
/// The most backtracking stack any one match may use.
inline constexpr std::int64_t kRegexMaxStack = std::int64_t{64} << 20;

/// Steps a regular expression takes from an evaluation for each tick of its
/// engine (a tick, 10,000 operations, takes about as long as this many nodes
/// evaluated).
inline constexpr std::uint64_t kRegexStepsPerTick = 10000;

}  // namespace quarn
