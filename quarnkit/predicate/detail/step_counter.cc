#include "quarnkit/predicate/detail/step_counter.h"

#include <fmt/format.h>

#include "quarnkit/predicate/errors.h"
#include "quarnkit/predicate/limits.h"

namespace quarn::detail {

StepCounter::StepCounter(EvaluationBudget* budget) : budget_(budget) {
  const std::uint64_t remaining = budget ? budget->remaining() : kEvaluationMaxSteps + 1;
  budgetBound_ = remaining <= kEvaluationMaxSteps;
  allowed_ = budgetBound_ ? remaining : kEvaluationMaxSteps;
  left_ = allowed_;
}

StepCounter::~StepCounter() {
  if (budget_ == nullptr) return;
  // An evaluation stopped by the budget spends all of it.
  budget_->take(overrun_ && budgetBound_ ? budget_->steps() : allowed_ - left_);
}

void StepCounter::spent() {
  overrun_ = true;
  left_ = 0;
  if (budgetBound_) {
    throw PredicateEvaluationError(
        PredicateEvaluationError::Kind::budgetExhausted,
        fmt::format("The evaluation budget of {} steps is spent", budget_->steps()));
  }
  throw PredicateEvaluationError(
      PredicateEvaluationError::Kind::limitExceeded,
      fmt::format("The evaluation took more than {} steps", kEvaluationMaxSteps));
}

}  // namespace quarn::detail
