// EvaluationContext: what an evaluation needs from outside its values: the
// current date for now() and a random source for random(). The evaluator never
// reads a clock or the system's randomness itself, so results are repeatable.
#pragma once

#include <functional>
#include <optional>

#include "quarnkit/core/date.h"

namespace quarn {

struct EvaluationContext {
  /// The date now() answers. Without it, now() is an evaluation error.
  std::optional<Date> now;
  /// Uniform doubles in [0, 1) for random() and random:(n). Without it, those
  /// are evaluation errors.
  std::function<double()> random;
};

}  // namespace quarn
