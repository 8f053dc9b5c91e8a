/// @file
/// EvaluationBudget: an allowance of work shared by many evaluations, such as every predicate of
/// one fetch, so that a template full of costly predicates cannot hold the caller for long however
/// each one is written.

/// @class quarn::EvaluationBudget
/// An allowance of work shared by many evaluations, such as
/// every predicate of one fetch, so that a template full of costly predicates
/// cannot hold the caller for long however each one is written. Work is counted
/// in steps rather than time, so the same inputs always stop at the same place:
/// a step is one node of the syntax tree evaluated, one element of a list
/// visited (ANY/ALL/NONE, IN, SUBQUERY, element-wise key paths, functions of
/// lists) or 64 bytes of text folded or scanned; a regular expression pays
/// kRegexStepsPerTick for each tick of its engine.
///
/// ```
///   quarn::EvaluationBudget budget(quarn::kEvaluationBudgetPerFetch);
///   quarn::EvaluationContext context{.now = now, .budget = &budget};
///   for (const auto& element : elements) {
///     try {
///       keep(element, predicate.evaluate(facts, vars, context));
///     } catch (const quarn::PredicateEvaluationError& e) {
///       // Kind::budgetExhausted for this and every later evaluation once spent.
///     }
///   }
/// ```
///
/// An evaluation takes the steps it used from the budget when it ends, however
/// it ends; one that would need more than are left fails with
/// PredicateEvaluationError(budgetExhausted) and spends the rest, so every
/// evaluation given the budget after it fails at once too.
///
/// A unique object (not copyable). Thread-safe: evaluations on several threads
/// may share one budget (together they may then overrun it by what those in
/// flight take).
#pragma once

#include <atomic>
#include <cstdint>

namespace quarn {

class EvaluationBudget {
 public:
  /// A budget of `steps` steps, none taken yet.
  explicit EvaluationBudget(std::uint64_t steps) : steps_(steps), remaining_(steps) {}
  EvaluationBudget(const EvaluationBudget&) = delete;
  EvaluationBudget& operator=(const EvaluationBudget&) = delete;

  /// The steps the budget was made with.
  [[nodiscard]] std::uint64_t steps() const { return steps_; }
  /// The steps not yet taken.
  [[nodiscard]] std::uint64_t remaining() const {
    return remaining_.load(std::memory_order_relaxed);
  }
  /// Whether no step is left: every evaluation given the budget fails at once.
  [[nodiscard]] bool exhausted() const { return remaining() == 0; }

  /// Takes `used` steps (at most what remains).
  void take(std::uint64_t used);

 private:
  std::uint64_t steps_;
  std::atomic<std::uint64_t> remaining_;
};

}  // namespace quarn
