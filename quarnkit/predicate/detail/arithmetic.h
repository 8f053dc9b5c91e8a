// Arithmetic of the expression language over Value: integers stay integers
// while they fit (overflow gives a double), division and powers give doubles,
// booleans count as 0 and 1; anything else is a type clash.
#pragma once

#include "quarnkit/core/value.h"
#include "quarnkit/predicate/detail/syntax_tree.h"

namespace quarn::detail {

/// a op b; throws PredicateEvaluationError(typeMismatch) for non-numbers.
Value arithmetic(ArithmeticOperator op, const Value& a, const Value& b);

/// -a; throws PredicateEvaluationError(typeMismatch) for non-numbers.
Value negate(const Value& a);

/// The sum of the numbers in `values` (nulls skipped): an integer while it
/// fits. `what` names the operation in the type-clash error for a non-number.
Value sumOf(const Value::Array& values, std::string_view what);

/// The number of non-null values.
std::size_t countOf(const Value::Array& values);

/// The greatest (or least) non-null value by the language's ordering; null
/// when there is none.
Value extremeOf(const Value::Array& values, bool greatest);

/// The operator's symbol ("+", "**").
std::string_view arithmeticSymbol(ArithmeticOperator op);

}  // namespace quarn::detail
