// StepCounter: the steps one evaluation may still take (see
// EvaluationBudget), counted without atomics or allocation on the hot path.
// It takes what it was allowed from the evaluation's budget, if any, capped
// at kEvaluationMaxSteps, and gives the budget back what it did not use when
// the evaluation ends, however it ends.
#pragma once

#include <cstdint>

#include "quarnkit/predicate/evaluation_budget.h"
#include "quarnkit/predicate/limits.h"

namespace quarn::detail {

class StepCounter {
 public:
  explicit StepCounter(EvaluationBudget* budget = nullptr) : budget_(budget) {
    if (budget != nullptr) {
      takeAllowance();
    } else {
      allowed_ = left_ = kEvaluationMaxSteps;
    }
  }
  ~StepCounter() {
    if (budget_ != nullptr) giveBack();
  }
  StepCounter(const StepCounter&) = delete;
  StepCounter& operator=(const StepCounter&) = delete;

  /// Takes `n` steps; throws PredicateEvaluationError (budgetExhausted when
  /// the budget is what runs out, limitExceeded otherwise) when fewer are left.
  void take(std::uint64_t n = 1) {
    if (n > left_) [[unlikely]] {
      spent();
    }
    left_ -= n;
  }
  /// The same without throwing, for callbacks of C libraries: false when
  /// fewer are left (then the next take() throws).
  [[nodiscard]] bool tryTake(std::uint64_t n) {
    if (n > left_) {
      left_ = 0;
      overrun_ = true;
      return false;
    }
    left_ -= n;
    return true;
  }
  /// Throws the error of a counter that has run out.
  [[noreturn]] void spent();

 private:
  void takeAllowance();
  void giveBack();

  EvaluationBudget* budget_;
  std::uint64_t allowed_ = 0;
  std::uint64_t left_ = 0;
  bool budgetBound_ = false;  // the budget, not kEvaluationMaxSteps, sets the allowance
  bool overrun_ = false;
};

}  // namespace quarn::detail
