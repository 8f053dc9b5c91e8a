// Parser of the predicate and expression language: a recursive-descent reader
// over the tokenizer's output that builds the syntax tree. Predicates and
// expressions share one grammar (a parenthesis may hold either), and each
// construct is checked to be of the kind its place needs.
#pragma once

#include <string_view>

#include "quarnkit/predicate/detail/syntax_tree.h"

namespace quarn::detail {

/// Parses a whole predicate; throws PredicateParseError.
PredicatePtr parsePredicate(std::string_view text);

/// Parses a whole expression; throws PredicateParseError.
ExpressionPtr parseExpression(std::string_view text);

}  // namespace quarn::detail
