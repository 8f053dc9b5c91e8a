#include <gtest/gtest.h>

#include <cmath>

#include "quarnkit/predicate/detail/test_facts.h"
#include "quarnkit/predicate/predicate.h"

namespace quarn {
namespace {

struct ExpressionCase {
  const char* text;
  Value expected;
  friend void PrintTo(const ExpressionCase& c, std::ostream* os) { *os << c.text; }
};

class ExpressionEvaluationTest : public ::testing::TestWithParam<ExpressionCase> {};

TEST_P(ExpressionEvaluationTest, ComputesTheValueWithItsKind) {
  const auto& c = GetParam();
  const auto facts = testing::predicateTestFacts();
  const auto vars = testing::predicateTestVariables();
  const Value v = Expression::parse(c.text).evaluate(facts, vars, testing::predicateTestContext());
  EXPECT_EQ(v, c.expected) << v.description();
  EXPECT_EQ(v.kind(), c.expected.kind()) << v.description();
}

INSTANTIATE_TEST_SUITE_P(Language, ExpressionEvaluationTest,
                         ::testing::ValuesIn(std::vector<ExpressionCase>{
                             {"1 + 2", Value(3)},
                             {"2 * 3", Value(6)},
                             {"7 - 10", Value(-3)},
                             {"7 / 2", Value(3.5)},
                             {"6 / 3", Value(2.0)},
                             {"2 ** 3", Value(8.0)},
                             {"1 / 0", Value(INFINITY)},
                             {"9223372036854775807 + 1", Value(9223372036854775808.0)},
                             {"-9223372036854775807 - 2", Value(-9223372036854775809.0)},
                             {"4611686018427387904 * 2", Value(9223372036854775808.0)},
                             {"-(-9223372036854775807 - 1)", Value(9223372036854775808.0)},
                             {"TRUE + 1", Value(2)},
                             {"app.build * 2 + score", Value(86.5)},
                             {"'text'", Value("text")},
                             {"{1, 'a', NULL}", Value(Value::Array{1, "a", nullptr})},
                             {"{score, $min}", Value(Value::Array{2.5, 40})},
                             {"user.profile", Value{{"level", 3}}},
                             {"items.price", Value(Value::Array{2, 3.5, 1})},
                             {"$total", Value("2 * 3")},
                             {"missing", Value()},
                             {"now()", Value(testing::kTestNow)},
                             {"random()", Value(0.55)},
                             {"random:(10)", Value(5)},
                             {"sum:(items.price)", Value(6.5)},
                             {"sum:({1, 2})", Value(3)},
                             {"count:({})", Value(0)},
                             {"max:({})", Value()},
                             {"average:({})", Value()},
                             {"median:({5})", Value(5.0)},
                             {"mode:({'a', 'b', 'a', 'b', 'c'})", Value(Value::Array{"a", "b"})},
                             {"abs:(-9223372036854775807 - 1)", Value(9223372036854775808.0)},
                             {"abs:(-2)", Value(2)},
                             {"modulus:by:(-9223372036854775807 - 1, -1)", Value(0)},
                             {"modulus:by:(7.5, 2)", Value(1.5)},
                             {"bitwiseAnd:with:(12, 10)", Value(8)},
                             {"bitwiseOr:with:(12, 10)", Value(14)},
                             {"bitwiseXor:with:(12, 10)", Value(6)},
                             {"leftshift:by:(1, 63)", Value(INT64_MIN)},
                             {"rightshift:by:(-1, 60)", Value(15)},
                             {"onesComplement:(0)", Value(-1)},
                             {"noindex:(5)", Value(5)},
                             {"from:subtract:(5, 7)", Value(-2)},
                             {"multiply:by:(3, 4)", Value(12)},
                             {"divide:by:(3, 4)", Value(0.75)},
                             {"TERNARY(score > 2, 'big', 'small')", Value("big")},
                             {"user.tags[LAST]", Value("b")},
                             {"languages[SIZE] * 10", Value(20)},
                             {".5 * 3", Value(1.5)},
                             {"items.@sum.price.self", Value(6.5)},
                             {"CAST(0, 'NSDate')", Value(Date(978307200))},
                             {"CAST(-0.5, 'NSDate')", Value(Date(978307199.5))},
                             {"CAST('42', 'NSNumber')", Value(42)},
                             {"CAST('+2.50', 'NSNumber')", Value(2.5)},
                             {"CAST(TRUE, 'NSNumber')", Value(1)},
                             {"CAST(2.5, 'NSString')", Value("2.5")},
                             {"CAST(now(), 'NSString')", Value("2024-01-31 10:00:00 +0000")},
                             {"SUBQUERY(items, $i, $i.price < 3).price", Value(Value::Array{2, 1})},
                             {"SUBQUERY(items, $i, $i.price < 3).@count", Value(2)},
                             {"SUBQUERY({1, 2, 3}, $n, $n >= 2)", Value(Value::Array{2, 3})},
                         }));

TEST(ExpressionTest, ParseErrorsAndPredicatesInExpressionPlaces) {
  EXPECT_THROW((void)Expression::parse("1 +"), PredicateParseError);
  EXPECT_THROW((void)Expression::parse("a == 1"), PredicateParseError);
  EXPECT_THROW((void)Expression::parse("TRUEPREDICATE"), PredicateParseError);
  EXPECT_THROW((void)Expression::parse("hello world"), PredicateParseError);
  EXPECT_EQ(Expression::parse("(1 + 2) * x").format(), "((1 + 2) * x)");
}

TEST(ExpressionTest, EvaluatesAgainstTheValuesAsObjectAndVariables) {
  // The text templates evaluate with one map as both the object and the variables.
  const ValueDictionary values{{"price", 4}, {"count", 3}, {"config", {{"rate", 0.5}}}};
  const auto e = Expression::parse("price * $count * config.rate");
  EXPECT_EQ(e.evaluate(values, values), Value(6.0));
  EXPECT_THROW((void)e.evaluate(values), PredicateEvaluationError);
}

TEST(ExpressionTest, ResultsOwnTheirValues) {
  // A result taken from a computed value must not point into a temporary.
  const ValueDictionary values{{"l", Value::Array{Value{{"k", "v1"}}, Value{{"k", "v2"}}}}};
  EXPECT_EQ(Expression::parse("l.k[1]").evaluate(values), Value("v2"));
  EXPECT_EQ(Expression::parse("{l[0], 1}[0].k").evaluate(values), Value("v1"));
  EXPECT_EQ(Expression::parse("SELF.l[LAST].k").evaluate(values), Value("v2"));
  EXPECT_EQ(Expression::parse("SELF").evaluate(values), Value(values));
}

}  // namespace
}  // namespace quarn
