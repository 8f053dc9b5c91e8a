/// @file
/// `asyncReduce`: reduce with an asynchronous, throwing combining step, applied
/// to the elements strictly in order, one at a time.
///
/// ```
///   int total = co_await asyncReduce(urls, 0, [](int sum, const URL& u) -> Async<int> {
///     co_return sum + co_await sizeOf(u);
///   });
/// ```
#pragma once

#include <utility>

#include "quarnkit/platform/runtime/async.h"

namespace quarn {

/// The sequence and the step are taken by value: the coroutine outlives the
/// call expression.
template <class Sequence, class Result, class Next>
Async<Result> asyncReduce(Sequence sequence, Result initial, Next next) {
  Result accumulated = std::move(initial);
  for (const auto& element : sequence) {
    accumulated = co_await next(std::move(accumulated), element);
  }
  co_return accumulated;
}

}  // namespace quarn
