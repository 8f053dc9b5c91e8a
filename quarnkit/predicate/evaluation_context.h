/// @file
/// EvaluationContext: what an evaluation needs from outside its values: the current date for now(),
/// a random source for random() and, optionally, a budget of work shared with other evaluations.

/// @struct quarn::EvaluationContext
/// What an evaluation needs from outside its values: the
/// current date for now(), a random source for random() and, optionally, a
/// budget of work shared with other evaluations. The evaluator never reads a
/// clock or the system's randomness itself, so results are repeatable.
#pragma once

#include <functional>
#include <optional>

#include "quarnkit/core/date.h"

namespace quarn {

class EvaluationBudget;

struct EvaluationContext {
  /// The date now() answers. Without it, now() is an evaluation error.
  std::optional<Date> now{};
  /// Uniform doubles in [0, 1) for random() and random:(n). Without it, those
  /// are evaluation errors.
  std::function<double()> random{};
  /// Steps the evaluation takes its work from (see evaluation_budget.h); not
  /// owned. Without it, only the bounds of limits.h apply.
  EvaluationBudget* budget = nullptr;
};

}  // namespace quarn
