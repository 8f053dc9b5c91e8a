#include "quarnkit/predicate/evaluation_budget.h"

namespace quarn {

void EvaluationBudget::take(std::uint64_t used) {
  std::uint64_t left = remaining_.load(std::memory_order_relaxed);
  while (!remaining_.compare_exchange_weak(left, used < left ? left - used : 0,
                                           std::memory_order_relaxed)) {
  }
}

}  // namespace quarn
