/// @file
/// Clock and TimerScheduler: the library's only sources of "now" and of
/// delayed work, so that tests can drive time by hand.
///
/// Kinds: clocks and schedulers are unique objects (not copyable), installed
/// as services; Timer is a shared object, made only by a scheduler.
///
/// Components read the time through Clock::current() and schedule through
/// TimerScheduler::current(). The defaults are the system clock and timers on
/// the main context. A test installs a ManualClock as both and moves time on:
///
/// ```
///   auto clock = std::make_shared<ManualClock>();
///   ScopedService<Clock> c(clock);
///   ScopedService<TimerScheduler> s(clock);
///   manager.start();          // schedules a 1 s timer
///   clock->advance(1.0);      // the timer fires, on the main context
/// ```
///
/// Timers fire on the main context, in fire-date order; a repeating timer
/// fires again every `timeInterval` seconds until it is invalidated. Awaiting
/// TimerScheduler::sleep() needs async.h; this header includes no Asio.
///
/// An action may drop the last handle to its timer or to the manual clock (the firing completes; a
/// dropped clock fires nothing more), schedule timers (with the manual clock,
/// one due within the advance() under way fires in it, at its own date), and
/// move or invalidate its own timer. An exception an action throws propagates
/// out of the main context's run (for the manual clock, out of advance(),
/// which then stands at that firing); a repeating timer goes on firing.
#pragma once

#include <any>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

#include "quarnkit/core/date.h"
#include "quarnkit/platform/runtime/async_fwd.h"
#include "quarnkit/platform/service.h"

namespace quarn::platform {

/// A fire date far beyond any real one: a timer set to it waits forever.
inline constexpr Date kDistantFuture = Date::fromTimeIntervalSinceReferenceDate(63113904000.0);

/// Tells the time (an interface; SystemClock by default, ManualClock in tests). A unique object,
/// installed as a service.
class Clock {
 public:
  Clock() = default;
  virtual ~Clock() = default;
  Clock(const Clock&) = delete;
  Clock& operator=(const Clock&) = delete;
  /// Wall-clock now.
  [[nodiscard]] virtual Date now() const = 0;
  /// Seconds on a monotonic clock with an arbitrary origin, for measuring
  /// elapsed time.
  [[nodiscard]] virtual double monotonicNow() const = 0;

  /// The clock of this process.
  static std::shared_ptr<const Clock> current();
  /// Replaces the clock of this process (null: the system clock).
  static void setCurrent(std::shared_ptr<const Clock> clock);
};

/// The system clock: the default.
class SystemClock final : public Clock {
 public:
  [[nodiscard]] Date now() const override;
  [[nodiscard]] double monotonicNow() const override;
};

/// A scheduled timer. Its scheduler keeps it alive until it is invalidated (a
/// one-shot timer invalidates itself after firing). Thread-safe.
class Timer {
 public:
  virtual ~Timer() = default;
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;
  /// When the timer fires next.
  [[nodiscard]] virtual Date fireDate() const = 0;
  /// Moves the next firing; a date in the past fires as soon as possible.
  virtual void setFireDate(Date date) = 0;
  /// The repeat interval in seconds (the delay of a one-shot timer).
  [[nodiscard]] virtual double timeInterval() const = 0;
  /// Whether it fires again after each firing.
  [[nodiscard]] virtual bool repeats() const = 0;
  /// Whether it will still fire (not invalidated, nor a one-shot that fired).
  [[nodiscard]] virtual bool isValid() const = 0;
  /// Stops the timer for good; a firing already under way completes.
  virtual void invalidate() = 0;

  /// Free storage for whoever owns the timer (a paused timer's remaining time).
  std::any& userInfo() { return userInfo_; }

 protected:
  Timer() = default;

 private:
  std::any userInfo_;
};

/// Schedules timers and sleeps (an interface; MainContextTimerScheduler by default, ManualClock in
/// tests). A unique object, installed as a service.
class TimerScheduler {
 public:
  /// Called with the timer at each firing, on the main context.
  using Action = std::function<void(Timer&)>;
  TimerScheduler() = default;
  virtual ~TimerScheduler() = default;
  TimerScheduler(const TimerScheduler&) = delete;
  TimerScheduler& operator=(const TimerScheduler&) = delete;

  /// Schedules `action` on the main context `interval` seconds from now, and
  /// then every `interval` seconds when `repeats`.
  virtual std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats,
                                               Action action) const = 0;
  /// Suspends the caller for `duration`; cancelling the caller ends the sleep
  /// at once with the cancellation error. The caller resumes on its own
  /// executor.
  [[nodiscard]] virtual Async<void> sleep(std::chrono::nanoseconds duration) const = 0;

  /// The scheduler of this process.
  static std::shared_ptr<const TimerScheduler> current();
  /// Replaces the scheduler of this process (null: the default).
  static void setCurrent(std::shared_ptr<const TimerScheduler> scheduler);
};

/// Real timers on the main context (Asio steady timers): the default.
class MainContextTimerScheduler final : public TimerScheduler {
 public:
  std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats, Action action) const override;
  [[nodiscard]] Async<void> sleep(std::chrono::nanoseconds duration) const override;
};

/// Time that moves only when a test says so. Both a Clock and a
/// TimerScheduler. A fire date reads as the real scheduler's would: the date
/// set, even one past the nanosecond range the clock counts in (such a timer,
/// a paused one in the distant future, never fires). advance() fires what falls due, one at a time
/// in fire-date order (ties in scheduling order), each with now() set to its fire date: timers on
/// the main context, and sleepers resumed on their own executors. Called outside the main context,
/// advance() runs the main context after each firing until it is idle, and waits until a woken
/// sleeper has run up to its next suspension (on whatever executor it runs), so what a firing does
/// happens before the next one. Called on the main context, it cannot wait: work it wakes there
/// runs after it returns.
class ManualClock final : public Clock, public TimerScheduler {
 public:
  /// A clock reading `start`, with no timer pending.
  explicit ManualClock(Date start = Date(1'700'000'000.0));
  ~ManualClock() override;

  [[nodiscard]] Date now() const override;
  [[nodiscard]] double monotonicNow() const override;
  std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats, Action action) const override;
  [[nodiscard]] Async<void> sleep(std::chrono::nanoseconds duration) const override;

  /// Moves time forward by `seconds` (at least 0), firing what falls due.
  void advance(double seconds);
  /// Moves time forward by `duration`, firing what falls due.
  void advance(std::chrono::nanoseconds duration);
  /// Valid timers plus sleepers still waiting.
  [[nodiscard]] std::size_t pendingCount() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace quarn::platform
