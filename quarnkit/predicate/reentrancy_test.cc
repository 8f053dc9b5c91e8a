// What a host may do from inside the callbacks an evaluation makes: a host
// object answering a key, and the random source.
#include "quarnkit/testing/reentrancy.h"

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "quarnkit/predicate/predicate.h"

namespace quarn {
namespace {

using testing::HostAction;

// A host object whose look-up runs `inside` first.
struct Hook final : OpaqueValue {
  std::function<void()> inside;
  [[nodiscard]] std::optional<Value> valueForKey(std::string_view key) const override {
    if (inside) inside();
    return Value(static_cast<std::int64_t>(key.size()));
  }
};

// Evaluates `p` against {"host": hook} (hook.a is 1, hook.bb is 2).
bool onHook(const Predicate& p, const std::shared_ptr<Hook>& hook) {
  return p.evaluate(Value{{"host", Value(Value::Opaque(hook))}});
}

constexpr const char* kTwoKeys = "host.a == 1 AND host.bb == 2 AND {1, 2, 3}.@count == 3";

TEST(PredicateReentrancyTest, HostObjectsAndTheRandomSource) {
  testing::runReentrancyTable({
      {"host object valueForKey", HostAction::release,
       "the last copy of the predicate is dropped inside; the evaluation ends with true",
       [] {
         auto hook = std::make_shared<Hook>();
         std::optional<Predicate> p = Predicate::parse(kTwoKeys);
         hook->inside = [&] { p.reset(); };
         const Predicate* evaluated = &*p;
         EXPECT_TRUE(evaluated->evaluate(Value{{"host", Value(Value::Opaque(hook))}}));
         EXPECT_FALSE(p);
       }},
      {"host object valueForKey", HostAction::reenter,
       "the same predicate is evaluated inside; both evaluations are true",
       [] {
         auto hook = std::make_shared<Hook>();
         const Predicate p = Predicate::parse(kTwoKeys);
         int depth = 0;
         int inner = 0;
         hook->inside = [&] {
           if (depth++ > 0) return;
           inner += onHook(p, hook) ? 1 : 0;
         };
         EXPECT_TRUE(onHook(p, hook));
         EXPECT_EQ(inner, 1);
       }},
      {"host object valueForKey", HostAction::raise,
       "the exception propagates unchanged; the predicate evaluates afterwards",
       [] {
         auto hook = std::make_shared<Hook>();
         const Predicate p = Predicate::parse(kTwoKeys);
         hook->inside = [] { throw std::invalid_argument("host"); };
         EXPECT_THROW((void)onHook(p, hook), std::invalid_argument);
         hook->inside = nullptr;
         EXPECT_TRUE(onHook(p, hook));
       }},
      {"random source", HostAction::release,
       "the source replaces itself in the context; the call in progress completes",
       [] {
         EvaluationContext context;
         std::string tag(64, 'x');  // a capture too large to be stored in place
         context.random = [&context, tag] {
           context.random = nullptr;
           return tag.size() == 64 ? 0.5 : 0.9;
         };
         EXPECT_EQ(Expression::parse("random()").evaluate(Value(), {}, context), Value(0.5));
         EXPECT_FALSE(context.random);
       }},
      {"random source", HostAction::reenter,
       "the source evaluates another expression; both values are right",
       [] {
         EvaluationContext context;
         const Expression twice = Expression::parse("random() * 2");
         int calls = 0;
         context.random = [&] {
           if (calls++ == 0) return *twice.evaluate(Value(), {}, context).asDouble() / 4;
           return 0.25;
         };
         EXPECT_EQ(twice.evaluate(Value(), {}, context), Value(0.25));
       }},
      {"random source", HostAction::raise,
       "the exception propagates unchanged; the expression evaluates afterwards",
       [] {
         EvaluationContext context;
         bool fail = true;
         context.random = [&] {
           if (fail) throw std::range_error("random");
           return 0.5;
         };
         const Expression e = Expression::parse("random:(10)");
         EXPECT_THROW((void)e.evaluate(Value(), {}, context), std::range_error);
         fail = false;
         EXPECT_EQ(e.evaluate(Value(), {}, context), Value(5));
       }},
  });
}

}  // namespace
}  // namespace quarn
