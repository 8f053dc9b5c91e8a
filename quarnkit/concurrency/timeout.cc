#include "quarnkit/concurrency/timeout.h"

#include <cmath>
#include <stdexcept>

namespace quarn {

Async<void> sleep(std::chrono::nanoseconds duration) {
  co_await platform::TimerScheduler::current()->sleep(duration);
}

Async<void> sleep(double seconds) {
  // 2^63 ns: the longest sleep the nanosecond count can hold.
  constexpr double kLimit = 9223372036854775807.0;
  const double nanoseconds = seconds * 1e9;
  if (!std::isfinite(seconds) || seconds < 0 || nanoseconds >= kLimit) {
    throw std::invalid_argument("sleep(seconds:) needs a finite, non-negative number of seconds");
  }
  co_await sleep(std::chrono::nanoseconds(static_cast<std::int64_t>(nanoseconds)));
}

}  // namespace quarn
