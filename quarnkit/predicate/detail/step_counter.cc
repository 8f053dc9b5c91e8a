#include "quarnkit/predicate/detail/step_counter.h"

#include <fmt/format.h>

#include "quarnkit/predicate/errors.h"
#include "quarnkit/predicate/limits.h"

namespace quarn::detail {

void StepCounter::takeAllowance() {
  const std::uint64_t remaining = budget_->remaining();
  budgetBound_ = remaining <= kEvaluationMaxSteps;
  allowed_ = budgetBound_ ? remaining : kEvaluationMaxSteps;
  left_ = allowed_;
}

void StepCounter::giveBack() {
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
