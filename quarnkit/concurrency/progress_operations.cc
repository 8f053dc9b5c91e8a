#include "quarnkit/concurrency/progress_operations.h"

#include <utility>

#include "quarnkit/concurrency/publisher_bridges.h"
#include "quarnkit/platform/runtime/publisher.h"

namespace quarn {

const TaskLocal<std::shared_ptr<platform::Progress>>& detail::currentProgressLocal() {
  static const TaskLocal<std::shared_ptr<platform::Progress>> current;
  return current;
}

std::shared_ptr<platform::Progress> currentProgress() {
  return detail::currentProgressLocal().get();
}

Async<void> wait(std::shared_ptr<platform::Progress> progress, double fractionCompleted) {
  // Both publishers start with their current value, so a progress that is
  // already cancelled or far enough ends the wait at once.
  auto reachedOrCancelled =
      combineLatest(progress->fractionCompletedPublisher(), progress->isCancelledPublisher())
          .firstWhere([fractionCompleted](const std::pair<double, bool>& state) {
            return state.second || fractionCompleted <= state.first;
          });
  const auto [fraction, cancelled] = co_await async(std::move(reachedOrCancelled));
  if (cancelled) throwCancellation();
}

}  // namespace quarn
