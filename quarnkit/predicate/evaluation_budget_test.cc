#include "quarnkit/predicate/evaluation_budget.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "quarnkit/predicate/limits.h"
#include "quarnkit/predicate/predicate.h"

namespace quarn {
namespace {

using Kind = PredicateEvaluationError::Kind;

// Evaluates `p` and gives the kind of its failure, if any.
std::optional<Kind> failureOf(const Predicate& p, const ValueDictionary& facts,
                              const EvaluationContext& context) {
  try {
    (void)p.evaluate(facts, {}, context);
    return std::nullopt;
  } catch (const PredicateEvaluationError& e) {
    return e.kind();
  }
}

TEST(EvaluationBudgetTest, EvaluationsTakeTheSameStepsEveryTimeUntilItIsSpent) {
  const auto p = Predicate::parse("ANY items > 2 AND name BEGINSWITH[c] 'A'");
  const ValueDictionary facts{{"items", Value::Array{1, 2, 3}}, {"name", "Ann"}};
  EvaluationBudget budget(100);
  const EvaluationContext context{.budget = &budget};
  ASSERT_TRUE(p.evaluate(facts, {}, context));
  const std::uint64_t perEvaluation = budget.steps() - budget.remaining();
  EXPECT_GT(perEvaluation, 3u);
  std::uint64_t passed = 1;
  while (!failureOf(p, facts, context)) ++passed;
  EXPECT_EQ(passed, budget.steps() / perEvaluation);
  EXPECT_TRUE(budget.exhausted());
  // Once spent, every evaluation given the budget fails at its first step;
  // one without it is unaffected.
  EXPECT_EQ(failureOf(Predicate::parse("TRUEPREDICATE"), facts, context), Kind::budgetExhausted);
  EXPECT_TRUE(p.evaluate(facts));
}

TEST(EvaluationBudgetTest, BoundsATemplateOfBacktrackingPatterns) {
  // Each match stops at its own time bound; the budget stops the whole run
  // after a fixed number of them, and the rest fail at once.
  const auto p = Predicate::parse("s MATCHES '(a+)+$'");
  const ValueDictionary facts{{"s", std::string(40, 'a') + "!"}};
  const auto run = [&](std::uint64_t steps) {
    EvaluationBudget budget(steps);
    const EvaluationContext context{.budget = &budget};
    std::uint64_t bounded = 0;
    for (int i = 0; i < 1000; ++i) {
      const auto kind = failureOf(p, facts, context);
      if (kind == Kind::limitExceeded) {
        ++bounded;
      } else {
        EXPECT_EQ(kind, Kind::budgetExhausted) << i;
      }
    }
    return bounded;
  };
  const auto perMatch = static_cast<std::uint64_t>(kRegexBaseTicks) * kRegexStepsPerTick;
  const std::uint64_t bounded = run(kEvaluationBudgetPerFetch);
  EXPECT_LE(bounded, kEvaluationBudgetPerFetch / perMatch);
  EXPECT_GE(bounded, kEvaluationBudgetPerFetch / perMatch - 1);
  // Steps, not time: the same budget stops at the same element every time.
  EXPECT_EQ(run(5 * perMatch), 4u);
  EXPECT_EQ(run(5 * perMatch), 4u);
}

TEST(EvaluationBudgetTest, ARegexMatchStopsWhenTheBudgetRunsOut) {
  const auto p = Predicate::parse("s MATCHES '(a+)+$'");
  const ValueDictionary facts{{"s", std::string(40, 'a') + "!"}};
  EvaluationBudget budget(3 * kRegexStepsPerTick);
  try {
    (void)p.evaluate(facts, {}, {.budget = &budget});
    FAIL() << "matched";
  } catch (const PredicateEvaluationError& e) {
    EXPECT_EQ(e.kind(), Kind::budgetExhausted);
    EXPECT_EQ(e.message(), "The evaluation budget of 30000 steps is spent");
  }
  EXPECT_EQ(budget.remaining(), 0u);
}

TEST(EvaluationBudgetTest, OneEvaluationIsBoundedWithoutABudget) {
  // Nested subqueries multiply: 300^3 comparisons are far over the bound.
  Value::Array list;
  for (int i = 0; i < 300; ++i) list.emplace_back(i);
  const ValueDictionary facts{{"l", list}};
  const auto p = Predicate::parse(
      "SUBQUERY(l, $a, SUBQUERY(l, $b, SUBQUERY(l, $c, $a + $b == $c).@count > 0).@count > 0)"
      ".@count > 0");
  EXPECT_EQ(failureOf(p, facts, {}), Kind::limitExceeded);
  // A budget larger than the bound does not lift it, and is charged what was used.
  EvaluationBudget budget(2 * kEvaluationMaxSteps);
  EXPECT_EQ(failureOf(p, facts, {.budget = &budget}), Kind::limitExceeded);
  EXPECT_EQ(budget.remaining(), kEvaluationMaxSteps);
}

}  // namespace
}  // namespace quarn
