#include "quarnkit/predicate/detail/value_compare.h"

#include <fmt/format.h>

#include <cmath>

#include "quarnkit/predicate/errors.h"

namespace quarn::detail {

std::optional<Number> numberOf(const Value& value) {
  if (const auto* i = value.ifInteger()) return Number{true, *i, 0};
  if (const auto* d = value.ifDouble()) return Number{false, 0, *d};
  if (const auto* b = value.ifBool()) return Number{true, *b ? 1 : 0, 0};
  return std::nullopt;
}

std::partial_ordering compareNumbers(const Number& a, const Number& b) {
  if (a.isInteger && b.isInteger) return a.integer <=> b.integer;
  if (!a.isInteger && !b.isInteger) return a.real <=> b.real;
  // An integer against a double, exactly (no rounding of the integer).
  const bool flipped = !a.isInteger;
  const std::int64_t i = flipped ? b.integer : a.integer;
  const double d = flipped ? a.real : b.real;
  std::partial_ordering result = std::partial_ordering::unordered;
  if (std::isnan(d)) return result;
  if (d >= 9223372036854775808.0) {
    result = std::partial_ordering::less;
  } else if (d < -9223372036854775808.0) {
    result = std::partial_ordering::greater;
  } else {
    const auto whole = static_cast<std::int64_t>(d);  // truncates toward zero
    if (i != whole) {
      result = i <=> whole;
    } else {
      const double fraction = d - static_cast<double>(whole);
      result = fraction > 0   ? std::partial_ordering::less
               : fraction < 0 ? std::partial_ordering::greater
                              : std::partial_ordering::equivalent;
    }
  }
  if (!flipped) return result;
  if (result == std::partial_ordering::less) return std::partial_ordering::greater;
  if (result == std::partial_ordering::greater) return std::partial_ordering::less;
  return result;
}

bool valuesEqual(const Value& a, const Value& b) {
  if (const auto* s = a.ifString()) {
    const auto* t = b.ifString();
    return t != nullptr && *s == *t;
  }
  const auto x = numberOf(a);
  if (x) {
    const auto y = numberOf(b);
    return y && compareNumbers(*x, *y) == std::partial_ordering::equivalent;
  }
  return a == b;
}

std::partial_ordering orderValues(const Value& a, const Value& b) {
  if (a.isNull() || b.isNull()) {
    return a.isNull() && b.isNull() ? std::partial_ordering::equivalent
                                    : std::partial_ordering::unordered;
  }
  if (const auto x = numberOf(a)) {
    if (const auto y = numberOf(b)) return compareNumbers(*x, *y);
  } else if (const auto* s = a.ifString()) {
    // Byte order of UTF-8 is code point order.
    if (const auto* t = b.ifString()) return s->compare(*t) <=> 0;
  } else if (const auto* d = a.ifDate()) {
    if (const auto* e = b.ifDate()) return *d <=> *e;
  }
  throwTypeMismatch("compare", a, b);
}

void throwTypeMismatch(std::string_view operation, const Value& a, const Value& b) {
  throw PredicateEvaluationError(PredicateEvaluationError::Kind::typeMismatch,
                                 fmt::format("Cannot {} {} and {}", operation,
                                             Value::kindName(a.kind()), Value::kindName(b.kind())));
}

}  // namespace quarn::detail

namespace quarn::detail {

void throwTypeMismatch(std::string_view operation, const Value& a) {
  throw PredicateEvaluationError(
      PredicateEvaluationError::Kind::typeMismatch,
      fmt::format("Cannot {} a value of kind {}", operation, Value::kindName(a.kind())));
}

}  // namespace quarn::detail
