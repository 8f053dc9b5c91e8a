#include "quarnkit/predicate/detail/arithmetic.h"

#include <cmath>
#include <compare>

#include "quarnkit/predicate/detail/value_compare.h"

namespace quarn::detail {
namespace {

std::string_view verb(ArithmeticOperator op) {
  switch (op) {
    case ArithmeticOperator::add:
      return "add";
    case ArithmeticOperator::subtract:
      return "subtract";
    case ArithmeticOperator::multiply:
      return "multiply";
    case ArithmeticOperator::divide:
      return "divide";
    case ArithmeticOperator::power:
      return "raise";
  }
  return "combine";
}

}  // namespace

Value arithmetic(ArithmeticOperator op, const Value& a, const Value& b) {
  const auto x = numberOf(a);
  const auto y = numberOf(b);
  if (!x || !y) throwTypeMismatch(verb(op), a, b);
  if (x->isInteger && y->isInteger) {
    std::int64_t r = 0;
    switch (op) {
      case ArithmeticOperator::add:
        if (!__builtin_add_overflow(x->integer, y->integer, &r)) return r;
        break;
      case ArithmeticOperator::subtract:
        if (!__builtin_sub_overflow(x->integer, y->integer, &r)) return r;
        break;
      case ArithmeticOperator::multiply:
        if (!__builtin_mul_overflow(x->integer, y->integer, &r)) return r;
        break;
      default:
        break;
    }
  }
  const double p = x->asDouble();
  const double q = y->asDouble();
  switch (op) {
    case ArithmeticOperator::add:
      return p + q;
    case ArithmeticOperator::subtract:
      return p - q;
    case ArithmeticOperator::multiply:
      return p * q;
    case ArithmeticOperator::divide:
      return p / q;
    case ArithmeticOperator::power:
      return std::pow(p, q);
  }
  return Value();
}

Value negate(const Value& a) {
  const auto x = numberOf(a);
  if (!x) throwTypeMismatch("negate", a);
  if (x->isInteger && x->integer != INT64_MIN) return -x->integer;
  return -x->asDouble();
}

Value sumOf(const Value::Array& values, std::string_view what) {
  Number total;
  for (const Value& v : values) {
    if (v.isNull()) continue;
    const auto n = numberOf(v);
    if (!n) throwTypeMismatch(what, v);
    std::int64_t sum = 0;
    if (total.isInteger && n->isInteger &&
        !__builtin_add_overflow(total.integer, n->integer, &sum)) {
      total.integer = sum;
    } else {
      total = Number{false, 0, total.asDouble() + n->asDouble()};
    }
  }
  return total.toValue();
}

std::size_t countOf(const Value::Array& values) {
  std::size_t n = 0;
  for (const Value& v : values) n += v.isNull() ? 0 : 1;
  return n;
}

Value extremeOf(const Value::Array& values, bool greatest) {
  const Value* best = nullptr;
  for (const Value& v : values) {
    if (v.isNull()) continue;
    if (best == nullptr) {
      best = &v;
      continue;
    }
    const auto order = orderValues(v, *best);
    if (greatest ? std::is_gt(order) : std::is_lt(order)) best = &v;
  }
  return best ? *best : Value();
}

std::string_view arithmeticSymbol(ArithmeticOperator op) {
  switch (op) {
    case ArithmeticOperator::add:
      return "+";
    case ArithmeticOperator::subtract:
      return "-";
    case ArithmeticOperator::multiply:
      return "*";
    case ArithmeticOperator::divide:
      return "/";
    case ArithmeticOperator::power:
      return "**";
  }
  return "?";
}

}  // namespace quarn::detail
