#include "quarnkit/predicate/detail/functions.h"

#include <fmt/format.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <unordered_map>
#include <vector>

#include "quarnkit/predicate/detail/arithmetic.h"
#include "quarnkit/predicate/detail/syntax_tree.h"
#include "quarnkit/predicate/detail/value_compare.h"
#include "quarnkit/predicate/errors.h"

namespace quarn::detail {
namespace {

using Kind = PredicateEvaluationError::Kind;
using Args = const Value* const*;

[[noreturn]] void invalid(std::string message) {
  throw PredicateEvaluationError(Kind::invalidArgument, std::move(message));
}

const Value::Array& listArgument(const Value& v, std::string_view function) {
  static const Value::Array empty;
  if (v.isNull()) return empty;
  if (const auto* list = v.ifArray()) return *list;
  throwTypeMismatch(fmt::format("apply {} to", function), v);
}

// The numbers of a list argument (nulls skipped), as doubles.
std::vector<double> numbers(const Value& v, std::string_view function) {
  std::vector<double> out;
  for (const Value& e : listArgument(v, function)) {
    if (e.isNull()) continue;
    const auto n = numberOf(e);
    if (!n) throwTypeMismatch(fmt::format("apply {} to", function), e);
    out.push_back(n->asDouble());
  }
  return out;
}

double number(const Value& v, std::string_view function) {
  const auto n = numberOf(v);
  if (!n) throwTypeMismatch(fmt::format("apply {} to", function), v);
  return n->asDouble();
}

std::int64_t integer(const Value& v, std::string_view function) {
  const auto n = numberOf(v);
  if (!n) throwTypeMismatch(fmt::format("apply {} to", function), v);
  if (n->isInteger) return n->integer;
  if (std::floor(n->real) != n->real || n->real < -9223372036854775808.0 ||
      n->real >= 9223372036854775808.0) {
    invalid(fmt::format("{} needs integers, found {}", function, v.description()));
  }
  return static_cast<std::int64_t>(n->real);
}

double mean(const std::vector<double>& xs) {
  double total = 0;
  for (const double x : xs) total += x;
  return total / static_cast<double>(xs.size());
}

Value fnSum(Args a, const EvaluationContext&) { return sumOf(listArgument(*a[0], "sum:"), "sum"); }

Value fnCount(Args a, const EvaluationContext&) {
  if (const auto* object = a[0]->ifObject()) return static_cast<std::int64_t>(object->size());
  return static_cast<std::int64_t>(listArgument(*a[0], "count:").size());
}

Value fnMin(Args a, const EvaluationContext&) {
  return extremeOf(listArgument(*a[0], "min:"), false);
}

Value fnMax(Args a, const EvaluationContext&) {
  return extremeOf(listArgument(*a[0], "max:"), true);
}

Value fnAverage(Args a, const EvaluationContext&) {
  const auto xs = numbers(*a[0], "average:");
  return xs.empty() ? Value() : Value(mean(xs));
}

Value fnMedian(Args a, const EvaluationContext&) {
  auto xs = numbers(*a[0], "median:");
  if (xs.empty()) return Value();
  std::sort(xs.begin(), xs.end(), [](double x, double y) { return x < y; });
  const std::size_t mid = xs.size() / 2;
  return xs.size() % 2 == 1 ? xs[mid] : (xs[mid - 1] + xs[mid]) / 2;
}

Value fnMode(Args a, const EvaluationContext&) {
  // The most frequent values, in the order they first appear.
  const auto& list = listArgument(*a[0], "mode:");
  std::unordered_map<Value, std::size_t> counts;
  std::size_t most = 0;
  for (const Value& v : list) most = std::max(most, ++counts[v]);
  Value::Array out;
  for (const Value& v : list) {
    auto it = counts.find(v);
    if (it != counts.end() && it->second == most) {
      out.push_back(v);
      counts.erase(it);
    }
  }
  return out;
}

Value fnStddev(Args a, const EvaluationContext&) {
  const auto xs = numbers(*a[0], "stddev:");
  if (xs.empty()) return Value();
  const double m = mean(xs);
  double squares = 0;
  for (const double x : xs) squares += (x - m) * (x - m);
  return std::sqrt(squares / static_cast<double>(xs.size()));
}

Value fnSqrt(Args a, const EvaluationContext&) { return std::sqrt(number(*a[0], "sqrt:")); }
Value fnLog(Args a, const EvaluationContext&) { return std::log10(number(*a[0], "log:")); }
Value fnLn(Args a, const EvaluationContext&) { return std::log(number(*a[0], "ln:")); }
Value fnExp(Args a, const EvaluationContext&) { return std::exp(number(*a[0], "exp:")); }
Value fnFloor(Args a, const EvaluationContext&) { return std::floor(number(*a[0], "floor:")); }
Value fnCeiling(Args a, const EvaluationContext&) { return std::ceil(number(*a[0], "ceiling:")); }
Value fnTrunc(Args a, const EvaluationContext&) { return std::trunc(number(*a[0], "trunc:")); }

Value fnAbs(Args a, const EvaluationContext&) {
  const auto n = numberOf(*a[0]);
  if (!n) throwTypeMismatch("apply abs: to", *a[0]);
  if (n->isInteger && n->integer != INT64_MIN) return n->integer < 0 ? -n->integer : n->integer;
  return std::fabs(n->asDouble());
}

double randomUnit(const EvaluationContext& context) {
  if (!context.random) throw PredicateEvaluationError(Kind::missingContext, "No random source");
  // A copy: the source may replace itself (or the context's) while it runs.
  const std::function<double()> random = context.random;
  return random();
}

Value fnRandom(Args, const EvaluationContext& context) { return randomUnit(context); }

Value fnRandomBelow(Args a, const EvaluationContext& context) {
  const std::int64_t n = integer(*a[0], "random:");
  if (n <= 0 || n > (std::int64_t{1} << 53)) {
    invalid(fmt::format("random: needs a positive bound up to 2^53, found {}", n));
  }
  const auto r = static_cast<std::int64_t>(randomUnit(context) * static_cast<double>(n));
  return std::clamp<std::int64_t>(r, 0, n - 1);
}

Value fnNow(Args, const EvaluationContext& context) {
  if (!context.now) throw PredicateEvaluationError(Kind::missingContext, "No current date");
  return *context.now;
}

Value fnAdd(Args a, const EvaluationContext&) {
  return arithmetic(ArithmeticOperator::add, *a[0], *a[1]);
}
Value fnSubtract(Args a, const EvaluationContext&) {
  return arithmetic(ArithmeticOperator::subtract, *a[0], *a[1]);
}
Value fnMultiply(Args a, const EvaluationContext&) {
  return arithmetic(ArithmeticOperator::multiply, *a[0], *a[1]);
}
Value fnDivide(Args a, const EvaluationContext&) {
  return arithmetic(ArithmeticOperator::divide, *a[0], *a[1]);
}
Value fnPower(Args a, const EvaluationContext&) {
  return arithmetic(ArithmeticOperator::power, *a[0], *a[1]);
}

Value fnModulus(Args a, const EvaluationContext&) {
  const auto x = numberOf(*a[0]);
  const auto y = numberOf(*a[1]);
  if (!x || !y) throwTypeMismatch("take the modulus of", *a[0], *a[1]);
  if (x->isInteger && y->isInteger) {
    if (y->integer == 0) invalid("modulus:by: by zero");
    if (y->integer == -1) return std::int64_t{0};
    return x->integer % y->integer;
  }
  return std::fmod(x->asDouble(), y->asDouble());
}

Value fnBitAnd(Args a, const EvaluationContext&) {
  return integer(*a[0], "bitwiseAnd:with:") & integer(*a[1], "bitwiseAnd:with:");
}
Value fnBitOr(Args a, const EvaluationContext&) {
  return integer(*a[0], "bitwiseOr:with:") | integer(*a[1], "bitwiseOr:with:");
}
Value fnBitXor(Args a, const EvaluationContext&) {
  return integer(*a[0], "bitwiseXor:with:") ^ integer(*a[1], "bitwiseXor:with:");
}
Value fnComplement(Args a, const EvaluationContext&) { return ~integer(*a[0], "onesComplement:"); }

Value shift(Args a, bool left) {
  const char* name = left ? "leftshift:by:" : "rightshift:by:";
  const auto value = static_cast<std::uint64_t>(integer(*a[0], name));
  const std::int64_t by = integer(*a[1], name);
  if (by < 0 || by > 63) invalid(fmt::format("{} needs a shift between 0 and 63", name));
  if (left) return static_cast<std::int64_t>(value << by);
  return static_cast<std::int64_t>(value >> by);
}
Value fnLeftShift(Args a, const EvaluationContext&) { return shift(a, true); }
Value fnRightShift(Args a, const EvaluationContext&) { return shift(a, false); }

Value changeCase(const Value& v, bool upper) {
  const auto* s = v.ifString();
  if (s == nullptr) throwTypeMismatch(upper ? "apply uppercase: to" : "apply lowercase: to", v);
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(
      s->data(), static_cast<std::int32_t>(std::min<std::size_t>(s->size(), INT32_MAX))));
  if (upper) {
    u.toUpper(icu::Locale::getRoot());
  } else {
    u.toLower(icu::Locale::getRoot());
  }
  std::string out;
  u.toUTF8String(out);
  return out;
}
Value fnLowercase(Args a, const EvaluationContext&) { return changeCase(*a[0], false); }
Value fnUppercase(Args a, const EvaluationContext&) { return changeCase(*a[0], true); }
Value fnNoIndex(Args a, const EvaluationContext&) { return *a[0]; }

constexpr std::array<FunctionSpec, 34> kFunctions{{
    {"sum:", 1, fnSum},
    {"count:", 1, fnCount},
    {"min:", 1, fnMin},
    {"max:", 1, fnMax},
    {"average:", 1, fnAverage},
    {"median:", 1, fnMedian},
    {"mode:", 1, fnMode},
    {"stddev:", 1, fnStddev},
    {"sqrt:", 1, fnSqrt},
    {"log:", 1, fnLog},
    {"ln:", 1, fnLn},
    {"exp:", 1, fnExp},
    {"floor:", 1, fnFloor},
    {"ceiling:", 1, fnCeiling},
    {"abs:", 1, fnAbs},
    {"trunc:", 1, fnTrunc},
    {"random", 0, fnRandom},
    {"random:", 1, fnRandomBelow},
    {"now", 0, fnNow},
    {"add:to:", 2, fnAdd},
    {"from:subtract:", 2, fnSubtract},
    {"multiply:by:", 2, fnMultiply},
    {"divide:by:", 2, fnDivide},
    {"modulus:by:", 2, fnModulus},
    {"raise:toPower:", 2, fnPower},
    {"bitwiseAnd:with:", 2, fnBitAnd},
    {"bitwiseOr:with:", 2, fnBitOr},
    {"bitwiseXor:with:", 2, fnBitXor},
    {"leftshift:by:", 2, fnLeftShift},
    {"rightshift:by:", 2, fnRightShift},
    {"onesComplement:", 1, fnComplement},
    {"lowercase:", 1, fnLowercase},
    {"uppercase:", 1, fnUppercase},
    {"noindex:", 1, fnNoIndex},
}};

}  // namespace

std::string canonicalFunctionName(std::string_view written, std::size_t arity) {
  std::string name(written);
  if (arity > 0 && !name.ends_with(':')) name += ':';
  return name;
}

const FunctionSpec* findFunction(std::string_view canonicalName, std::size_t arity) {
  for (const auto& f : kFunctions) {
    if (f.name == canonicalName && f.arity == arity) return &f;
  }
  return nullptr;
}

bool isFunctionName(std::string_view canonicalName) {
  return std::any_of(kFunctions.begin(), kFunctions.end(),
                     [&](const FunctionSpec& f) { return f.name == canonicalName; });
}

// ----- The node ------------------------------------------------------------

FunctionNode::FunctionNode(const FunctionSpec& function, std::vector<ExpressionPtr> arguments)
    : ExpressionNode(1 +
                     [&] {
                       std::size_t h = 0;
                       for (const auto& a : arguments) h = std::max(h, a->height());
                       return h;
                     }()),
      function_(function),
      arguments_(std::move(arguments)) {}

void FunctionNode::compute(Scope& scope, Operand& out) const {
  std::array<Operand, kMaxFunctionArity> operands;
  std::array<const Value*, kMaxFunctionArity> values{};
  for (std::size_t i = 0; i < arguments_.size(); ++i) {
    arguments_[i]->evaluate(scope, operands[i]);
    values[i] = &operands[i].get();
    if (const auto* list = values[i]->ifArray()) scope.steps.take(list->size());
  }
  static const EvaluationContext kNoContext;
  out.own(function_.call(values.data(), scope.context ? *scope.context : kNoContext));
}

void FunctionNode::format(std::string& out) const {
  out += function_.name;
  out += '(';
  for (std::size_t i = 0; i < arguments_.size(); ++i) {
    if (i > 0) out += ", ";
    arguments_[i]->format(out);
  }
  out += ')';
}

}  // namespace quarn::detail
