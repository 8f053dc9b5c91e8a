/// @file
/// `withTimeout`: races an asynchronous operation against a time limit; sleep:
/// suspends for a number of seconds. TimeoutHandlerError is a value.
///
/// ```
///   auto page = co_await withTimeout(std::chrono::seconds(5), [&] { return fetchPage(url); });
/// ```
///
/// Exactly one outcome reaches the caller: the operation's value or error if it
/// ends first, TimeoutHandlerError::timeoutOccured when the limit passes first.
/// On time-out the caller is answered at once and the operation is cancelled;
/// it may run on until it notices, and its result is dropped. When the
/// operation wins, the timer runs out its sleep and then does nothing.
/// Cancelling the caller cancels both; the caller then gets the operation's
/// resulting error (normally the cancellation error). A caller cancelled before
/// the call fails at once and starts nothing.
///
/// The operation and the timer run as tasks on the concurrent executor; the
/// caller resumes on its own executor. Sleeps go through the current
/// TimerScheduler, so tests drive them with a ManualClock.
///
/// The operation may drop the caller's task handle (the race still ends and
/// no continuation is leaked), run a time limit of its own (the inner
/// time-out reaches the caller as the operation's error) or throw (the caller
/// gets the exception; the timer runs out and does nothing).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "quarnkit/core/error.h"
#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/runtime/continuation.h"
#include "quarnkit/platform/runtime/task.h"

namespace quarn {

/// The failure of withTimeout when the time limit passes first. A value.
class TimeoutHandlerError : public Error {
 public:
  /// Which failure it is.
  enum class Kind { timeoutOccured };
  /// An error of kind `k`.
  explicit TimeoutHandlerError(Kind k = Kind::timeoutOccured) : kind(k) {}
  /// The time limit passed first.
  static TimeoutHandlerError timeoutOccured() { return TimeoutHandlerError(Kind::timeoutOccured); }
  /// "timeoutOccured".
  [[nodiscard]] std::string description() const override { return "timeoutOccured"; }
  /// Which failure it is.
  Kind kind;
};

/// Suspends for `duration` on the current TimerScheduler; a cancelled sleep
/// throws the cancellation error.
Async<void> sleep(std::chrono::nanoseconds duration);
/// Suspends for seconds × 1,000,000,000 nanoseconds (truncated). Throws
/// std::invalid_argument for a negative, non-finite or too large value.
Async<void> sleep(double seconds);

namespace detail {

template <class T>
struct TimeoutRace {
  std::atomic<bool> resumed{false};
  std::mutex mutex;
  std::optional<Task<void>> operationTask;
  std::optional<Task<void>> timerTask;
  bool callerCancelled = false;

  void cancelBoth() {
    std::lock_guard lock(mutex);
    callerCancelled = true;
    if (operationTask) operationTask->cancel();
    if (timerTask) timerTask->cancel();
  }

  // Keeps a task once it has been started, cancelling it when the caller was
  // cancelled meanwhile. Tasks are started outside the lock: started from the
  // concurrent executor, a task may run inside spawn() up to its first
  // suspension, and the timer takes the lock when its sleep ends at once.
  void keep(std::optional<Task<void>>& slot, const Task<void>& task) {
    std::lock_guard lock(mutex);
    slot = task;
    if (callerCancelled) task.cancel();
  }

  static Async<void> runOperation(std::shared_ptr<TimeoutRace> race, CheckedContinuation<T> c,
                                  std::function<Async<T>()> operation) {
    std::exception_ptr error;
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
    try {
      if constexpr (std::is_void_v<T>) {
        co_await operation();
        value.emplace(true);
      } else {
        value.emplace(co_await operation());
      }
    } catch (...) {
      error = std::current_exception();
    }
    if (race->resumed.exchange(true)) co_return;
    if (error) {
      c.resume(error);
    } else if constexpr (std::is_void_v<T>) {
      c.resume();
    } else {
      c.resume(std::move(*value));
    }
  }

  static Async<void> runTimer(std::shared_ptr<TimeoutRace> race, CheckedContinuation<T> c,
                              std::function<Async<void>()> sleep) {
    co_await sleep();  // a cancelled sleep ends this task silently
    // The flag is claimed before the operation is cancelled: otherwise the
    // operation's cancellation error could win the race it just lost.
    const bool won = !race->resumed.exchange(true);
    {
      std::lock_guard lock(race->mutex);
      if (race->operationTask) race->operationTask->cancel();
    }
    if (won) c.resumeThrowing(TimeoutHandlerError::timeoutOccured());
  }
};

/// The race itself, with the sleep as an asynchronous callable.
template <class T>
Async<T> withTimeout(std::function<Async<void>()> sleep, std::function<Async<T>()> operation) {
  if (co_await isCancelled()) throwCancellation();
  auto race = std::make_shared<TimeoutRace<T>>();
  std::function<void(CheckedContinuation<T>)> start = [&](CheckedContinuation<T> c) {
    // The operation is kept before the timer starts, so a timer that ends at
    // once still finds it to cancel.
    race->keep(race->operationTask,
               Task<void>::spawn(TimeoutRace<T>::runOperation(race, c, operation)));
    race->keep(race->timerTask, Task<void>::spawn(TimeoutRace<T>::runTimer(race, c, sleep)));
  };
  std::function<void()> onCancel = [race] { race->cancelBoth(); };
  co_return co_await withCheckedThrowingContinuation<T>("withTimeout(isolation:sleep:_:)",
                                                        std::move(start), std::move(onCancel));
}

template <class F>
using OperationResult = typename std::invoke_result_t<F&>::value_type;

/// `limit` in nanoseconds; a limit too long to count (or not a number) is
/// the longest one, which never runs out.
template <class Rep, class Period>
std::chrono::nanoseconds limitInNanoseconds(std::chrono::duration<Rep, Period> limit) {
  using std::chrono::nanoseconds;
  const std::chrono::duration<long double, std::nano> exact = limit;
  if (!(exact < nanoseconds::max())) return nanoseconds::max();
  if (exact <= nanoseconds::min()) return nanoseconds::min();
  return std::chrono::duration_cast<nanoseconds>(limit);
}

}  // namespace detail

/// Runs `operation` with a time limit of `limit`. A limit longer than the
/// nanosecond count holds (std::chrono::seconds::max()) never runs out.
template <class Rep, class Period, class F>
Async<detail::OperationResult<F>> withTimeout(std::chrono::duration<Rep, Period> limit,
                                              F operation) {
  const auto duration = detail::limitInNanoseconds(limit);
  std::function<Async<void>()> sleeper = [duration] { return sleep(duration); };
  std::function<Async<detail::OperationResult<F>>()> op = std::move(operation);
  return detail::withTimeout<detail::OperationResult<F>>(std::move(sleeper), std::move(op));
}

/// Runs `operation` with a time limit of `nanoseconds`.
template <class F>
Async<detail::OperationResult<F>> withTimeout(std::uint64_t nanoseconds, F operation) {
  const auto duration = std::chrono::nanoseconds(
      static_cast<std::int64_t>(std::min<std::uint64_t>(nanoseconds, INT64_MAX)));
  std::function<Async<void>()> sleeper = [duration] { return sleep(duration); };
  std::function<Async<detail::OperationResult<F>>()> op = std::move(operation);
  return detail::withTimeout<detail::OperationResult<F>>(std::move(sleeper), std::move(op));
}

}  // namespace quarn
