#include "quarnkit/concurrency/timer_pause.h"

#include <any>

namespace quarn {

namespace {
// What a paused timer keeps in its userInfo(): seconds left until it was due.
struct PausedRemaining {
  double seconds;
};
}  // namespace

bool isPaused(platform::Timer& timer) {
  return std::any_cast<PausedRemaining>(&timer.userInfo()) != nullptr;
}

void pause(platform::Timer& timer) {
  if (isPaused(timer)) return;
  const Date now = platform::Clock::current()->now();
  timer.userInfo() = PausedRemaining{timer.fireDate().timeIntervalSince(now)};
  timer.setFireDate(platform::kDistantFuture);
}

void resume(platform::Timer& timer) {
  const auto* paused = std::any_cast<PausedRemaining>(&timer.userInfo());
  if (paused == nullptr) return;
  const double remaining = paused->seconds;
  timer.userInfo().reset();
  timer.setFireDate(platform::Clock::current()->now().addingTimeInterval(remaining));
}

}  // namespace quarn
