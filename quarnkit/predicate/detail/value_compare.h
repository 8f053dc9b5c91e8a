// How the language compares and computes with values: integers, doubles and
// booleans are numbers (TRUE = 1) and compare exactly across kinds; strings
// compare by code point; dates by time; null equals only null. A missing
// value (null) orders only against another null, as its equal, and is
// unordered against anything else, so that < and > with it are false rather
// than errors. Ordering non-null values of different kinds is a type clash.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>

#include "quarnkit/core/value.h"

namespace quarn::detail {

/// A number operand: an integer, or a double.
struct Number {
  bool isInteger = true;
  std::int64_t integer = 0;
  double real = 0;

  [[nodiscard]] double asDouble() const { return isInteger ? static_cast<double>(integer) : real; }
  [[nodiscard]] Value toValue() const { return isInteger ? Value(integer) : Value(real); }
};

/// The number a value stands for (integers, doubles, booleans), or nothing.
std::optional<Number> numberOf(const Value& value);

/// Exact comparison of two numbers; unordered when either is NaN.
std::partial_ordering compareNumbers(const Number& a, const Number& b);

/// Equality as the = operator sees it (without string options).
bool valuesEqual(const Value& a, const Value& b);

/// Ordering as < and friends see it (without string options). Throws
/// PredicateEvaluationError(typeMismatch) for non-null values of kinds that
/// do not order.
std::partial_ordering orderValues(const Value& a, const Value& b);

/// Throws PredicateEvaluationError(typeMismatch) naming the operator and kinds.
[[noreturn]] void throwTypeMismatch(std::string_view operation, const Value& a, const Value& b);
[[noreturn]] void throwTypeMismatch(std::string_view operation, const Value& a);

}  // namespace quarn::detail
