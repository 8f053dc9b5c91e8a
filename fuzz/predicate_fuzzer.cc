// Fuzz target of the predicate and expression language: any text is parsed as
// a predicate, as an expression and as a key path, and whatever parses is
// evaluated against a fixed map of facts. Beyond not crashing, hanging or
// leaking, it checks that the canonical text of a parse parses back to itself
// and evaluates to the same result, that a small budget of steps changes a
// result only by stopping it, and that only the language's own errors (and
// the host object's) come out.
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

#include "quarnkit/predicate/evaluation_budget.h"
#include "quarnkit/predicate/key_path.h"
#include "quarnkit/predicate/predicate.h"

namespace {

using namespace quarn;

struct HostError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A host object: answers some keys, rejects one.
struct Host : OpaqueValue {
  std::optional<Value> valueForKey(std::string_view key) const override {
    if (key == "name") return Value("host");
    if (key == "@count") return Value(2);
    if (key == "list") return Value(Value::Array{1, 2, 3});
    if (key == "boom") throw HostError("rejected key");
    return std::nullopt;
  }
};

const ValueDictionary& facts() {
  static const ValueDictionary f{
      {"os", "iOS"},
      {"is_pad", true},
      {"app.version", "2.1"},
      {"app.build", 42},
      {"date", Date(1706695200)},
      {"date.year", 2024},
      {"score", 2.5},
      {"nan", std::numeric_limits<double>::quiet_NaN()},
      {"big", INT64_MAX},
      {"nothing", nullptr},
      {"languages", Value::Array{"en", "de", "\u00e9"}},
      {"user", {{"name", "Zo\u00eb"}, {"tags", Value::Array{"a", "b"}}, {"age", 30}}},
      {"items",
       Value::Array{Value{{"name", "x"}, {"price", 2}}, Value{{"name", "y"}, {"price", 3.5}},
                    Value{{"sub", Value::Array{Value::Array{1}, nullptr}}}}},
      {"host", Value::Opaque(std::make_shared<Host>())},
  };
  return f;
}

const ValueDictionary& variables() {
  static const ValueDictionary v{{"min", 40}, {"name", "Ann"}, {"list", Value::Array{1, "a"}}};
  return v;
}

const EvaluationContext& context() {
  static const EvaluationContext c{Date(1706695200), [] { return 0.25; }};
  return c;
}

// The outcome of one evaluation, comparable across the two parses.
template <class F>
std::string outcome(F&& evaluate) {
  try {
    return evaluate();
  } catch (const PredicateEvaluationError& e) {
    return "error " + std::to_string(static_cast<int>(e.kind()));
  } catch (const HostError&) {
    return "host error";
  }
}

void check(bool condition) {
  if (!condition) std::abort();
}

void checkBudgeted(const Predicate& p);

template <class Parsed>
void roundTrip(std::string_view text, std::string (*evaluate)(const Parsed&)) {
  std::optional<Parsed> parsed;
  try {
    parsed = Parsed::parse(text);
  } catch (const PredicateParseError& e) {
    check(e.position() <= text.size());
    return;
  }
  const std::string canonical = parsed->format();
  const Parsed again = Parsed::parse(canonical);  // must not throw
  check(again.format() == canonical);
  check(outcome([&] { return evaluate(*parsed); }) == outcome([&] { return evaluate(again); }));
  if constexpr (std::is_same_v<Parsed, Predicate>) checkBudgeted(*parsed);
}

std::string evaluatePredicate(const Predicate& p) {
  const bool a = p.evaluate(facts(), variables(), context());
  const bool b = p.evaluate(Value(facts()), variables(), context());
  check(a == b);
  return a ? "true" : "false";
}

// With a budget, an evaluation gives the same result or stops for the budget.
void checkBudgeted(const Predicate& p) {
  const std::string free = outcome([&] { return evaluatePredicate(p); });
  EvaluationBudget budget(200);
  EvaluationContext limited = context();
  limited.budget = &budget;
  try {
    check(free == (p.evaluate(facts(), variables(), limited) ? "true" : "false"));
  } catch (const PredicateEvaluationError& e) {
    check(e.kind() == PredicateEvaluationError::Kind::budgetExhausted ||
          free == "error " + std::to_string(static_cast<int>(e.kind())));
  } catch (const HostError&) {
    check(free == "host error");
  }
}

std::string evaluateExpression(const Expression& e) {
  return e.evaluate(facts(), variables(), context()).description();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  roundTrip<Predicate>(text, evaluatePredicate);
  roundTrip<Expression>(text, evaluateExpression);
  try {
    (void)valueForKeyPath(facts(), text);
  } catch (const PredicateEvaluationError&) {
  } catch (const HostError&) {
  }
  return 0;
}
