#include "quarnkit/platform/runtime/clock.h"

#include <algorithm>
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <cmath>
#include <limits>

#include "quarnkit/platform/runtime/detail/scope_exit.h"
#include "quarnkit/platform/runtime/suspension.h"

namespace asio = boost::asio;

namespace quarn::platform {

namespace {
ServiceSlot<const Clock>& clockSlot() {
  static ServiceSlot<const Clock> s([] { return std::make_shared<const SystemClock>(); });
  return s;
}
ServiceSlot<const TimerScheduler>& schedulerSlot() {
  static ServiceSlot<const TimerScheduler> s(
      [] { return std::make_shared<const MainContextTimerScheduler>(); });
  return s;
}

// Repeating timers never fire more often than this.
constexpr double kMinimumInterval = 1e-4;
}  // namespace

std::shared_ptr<const Clock> Clock::current() { return clockSlot().get(); }
void Clock::setCurrent(std::shared_ptr<const Clock> clock) { clockSlot().set(std::move(clock)); }

std::shared_ptr<const TimerScheduler> TimerScheduler::current() { return schedulerSlot().get(); }
void TimerScheduler::setCurrent(std::shared_ptr<const TimerScheduler> scheduler) {
  schedulerSlot().set(std::move(scheduler));
}

Date SystemClock::now() const {
  auto since = std::chrono::system_clock::now().time_since_epoch();
  return Date(std::chrono::duration<double>(since).count());
}

double SystemClock::monotonicNow() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// ---------------------------------------------------------------------------
// Real timers

namespace {
class MainTimer final : public Timer, public std::enable_shared_from_this<MainTimer> {
 public:
  MainTimer(double interval, bool repeats, TimerScheduler::Action action)
      : fireDate_(SystemClock().now().addingTimeInterval(interval)),
        interval_(interval),
        repeats_(repeats),
        action_(std::move(action)),
        timer_(mainContext()) {}

  [[nodiscard]] Date fireDate() const override {
    std::lock_guard lock(mutex_);
    return fireDate_;
  }
  void setFireDate(Date date) override {
    {
      std::lock_guard lock(mutex_);
      if (!valid_) return;
      fireDate_ = date;
      ++generation_;
    }
    asio::post(mainContext(), [self = shared_from_this()] { self->arm(); });
  }
  [[nodiscard]] double timeInterval() const override { return interval_; }
  [[nodiscard]] bool repeats() const override { return repeats_; }
  [[nodiscard]] bool isValid() const override {
    std::lock_guard lock(mutex_);
    return valid_;
  }
  void invalidate() override {
    {
      std::lock_guard lock(mutex_);
      if (!valid_) return;
      valid_ = false;
    }
    // Cancelling the wait releases the handler that keeps the timer alive.
    asio::post(mainContext(), [self = shared_from_this()] { self->timer_.cancel(); });
  }

  // Main context only.
  void arm() {
    Date fireDate;
    std::uint64_t generation;
    {
      std::lock_guard lock(mutex_);
      if (!valid_) return;
      fireDate = fireDate_;
      generation = generation_;
    }
    double delay = std::clamp(fireDate.timeIntervalSince(SystemClock().now()), 0.0, 1e9);
    timer_.expires_after(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(delay)));
    timer_.async_wait([self = shared_from_this(), generation](boost::system::error_code ec) {
      if (!ec) self->fired(generation);
    });
  }

 private:
  void fired(std::uint64_t generation) {
    {
      std::lock_guard lock(mutex_);
      if (!valid_ || generation != generation_) return;
    }
    // A throwing action still leaves a repeating timer armed for its next firing.
    const quarn::detail::ScopeExit next([this, generation] { scheduleNext(generation); });
    action_(*this);
  }

  void scheduleNext(std::uint64_t generation) {
    {
      std::lock_guard lock(mutex_);
      if (!valid_ || generation != generation_) return;  // invalidated or moved meanwhile
      if (!repeats_) {
        valid_ = false;
        return;
      }
      Date now = SystemClock().now();
      double step = std::max(interval_, kMinimumInterval);
      fireDate_ = fireDate_.addingTimeInterval(step);
      if (fireDate_ <= now) fireDate_ = now.addingTimeInterval(step);
      ++generation_;
    }
    arm();
  }

  mutable std::mutex mutex_;
  Date fireDate_;
  const double interval_;
  const bool repeats_;
  bool valid_ = true;
  std::uint64_t generation_ = 0;
  TimerScheduler::Action action_;
  asio::steady_timer timer_;
};
}  // namespace

std::shared_ptr<Timer> MainContextTimerScheduler::scheduleTimer(double interval, bool repeats,
                                                                Action action) const {
  auto timer = std::make_shared<MainTimer>(interval, repeats, std::move(action));
  asio::post(mainContext(), [timer] { timer->arm(); });
  return timer;
}

Async<void> MainContextTimerScheduler::sleep(std::chrono::nanoseconds duration) const {
  asio::steady_timer timer(co_await asio::this_coro::executor, duration);
  co_await timer.async_wait(asio::use_awaitable);
}

// ---------------------------------------------------------------------------
// Manual time

namespace {
// The deadline of a one-shot timer that has fired.
constexpr std::int64_t kUnscheduled = std::numeric_limits<std::int64_t>::max();
// A deadline past the nanosecond range (a paused timer's distant future):
// time never gets there, so it is never due.
constexpr std::int64_t kBeyondRange = kUnscheduled - 1;

std::int64_t toNanoseconds(double seconds) {
  // Every double below 2^63 converts (the largest is 2^63 - 1024, below
  // kBeyondRange): a date just inside the range, which time may have passed,
  // stays a date that falls due.
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  double ns = std::round(seconds * 1e9);
  if (!(ns < kLimit)) return kBeyondRange;
  if (ns < -kLimit) return -kBeyondRange;
  return static_cast<std::int64_t>(ns);
}
/// `elapsed + delay` (both at least 0 in practice), at most kBeyondRange: a
/// wait past the nanosecond range lies in the far future instead of wrapping
/// into the past.
std::int64_t deadlineAfter(std::int64_t elapsed, std::int64_t delay) {
  if (delay > 0 && elapsed > kBeyondRange - delay) return kBeyondRange;
  return elapsed + delay;
}
}  // namespace

class ManualTimer;

struct ManualClock::State {
  Date start;
  mutable std::mutex mutex;
  std::int64_t elapsed = 0;  // nanoseconds since `start`
  std::uint64_t sequence = 0;
  std::vector<std::shared_ptr<ManualTimer>> timers;
  struct Sleeper {
    std::int64_t deadline;
    std::uint64_t sequence;
    std::shared_ptr<detail::Resumption> resumption;
  };
  std::vector<Sleeper> sleepers;
};

class ManualTimer final : public Timer, public std::enable_shared_from_this<ManualTimer> {
 public:
  ManualTimer(std::shared_ptr<ManualClock::State> state, std::int64_t deadline, Date fireDate,
              double interval, bool repeats, TimerScheduler::Action action, std::uint64_t sequence)
      : state_(std::move(state)),
        interval_(interval),
        repeats_(repeats),
        action_(std::move(action)),
        sequence_(sequence),
        deadline_(deadline),
        fireDate_(fireDate) {}

  [[nodiscard]] Date fireDate() const override {
    std::lock_guard lock(state_->mutex);
    return fireDate_;
  }
  void setFireDate(Date date) override {
    std::lock_guard lock(state_->mutex);
    if (!valid_) return;
    deadline_ = toNanoseconds(date.timeIntervalSince(state_->start));
    fireDate_ = date;
  }
  [[nodiscard]] double timeInterval() const override { return interval_; }
  [[nodiscard]] bool repeats() const override { return repeats_; }
  [[nodiscard]] bool isValid() const override {
    std::lock_guard lock(state_->mutex);
    return valid_;
  }
  void invalidate() override {
    std::lock_guard lock(state_->mutex);
    valid_ = false;
  }

  // Called with the state's mutex held, time set to this firing: takes it
  // and moves a repeating timer on to its next one. As the real timers do, a
  // timer that was due in the past fires once and then every interval from
  // now, not once for every interval it missed.
  void takeFiring() {
    firing_ = true;
    if (!repeats_) {
      deadline_ = kUnscheduled;  // the fire date stays the date it fired at
      return;
    }
    const double seconds = std::max(interval_, kMinimumInterval);
    deadline_ = deadlineAfter(std::max(deadline_, state_->elapsed), toNanoseconds(seconds));
    // Past the range, the date moves on as the real timer's does.
    const Date now = state_->start.addingTimeInterval(static_cast<double>(state_->elapsed) / 1e9);
    fireDate_ =
        dateOf(*state_, deadline_,
               std::max(fireDate_.addingTimeInterval(seconds), now.addingTimeInterval(seconds)));
  }

  /// The date of `deadline`, or `beyond` for a deadline past the range.
  static Date dateOf(const ManualClock::State& s, std::int64_t deadline, Date beyond) {
    return deadline < kBeyondRange ? s.start.addingTimeInterval(static_cast<double>(deadline) / 1e9)
                                   : beyond;
  }

  // On the main context.
  void fire() {
    {
      std::lock_guard lock(state_->mutex);
      if (!valid_) {
        firing_ = false;
        return;
      }
    }
    // However the action ends (it may throw), the timer can fire again.
    const quarn::detail::ScopeExit done([this] {
      std::lock_guard lock(state_->mutex);
      firing_ = false;
      if (!repeats_ && deadline_ == kUnscheduled) valid_ = false;
    });
    action_(*this);
  }

  std::shared_ptr<ManualClock::State> state_;
  const double interval_;
  const bool repeats_;
  TimerScheduler::Action action_;
  const std::uint64_t sequence_;
  // Guarded by the state's mutex.
  std::int64_t deadline_;
  Date fireDate_;  // as reported: exactly the date set, even past the range
  bool valid_ = true;
  bool firing_ = false;
};

ManualClock::ManualClock(Date start) : state_(std::make_shared<State>()) { state_->start = start; }

ManualClock::~ManualClock() {
  // Timers point back at the state; dropping them here breaks the cycle.
  // Sleepers still waiting wake with the cancellation error.
  std::vector<std::shared_ptr<ManualTimer>> timers;
  std::vector<State::Sleeper> sleepers;
  {
    std::lock_guard lock(state_->mutex);
    timers.swap(state_->timers);
    sleepers.swap(state_->sleepers);
  }
}

Date ManualClock::now() const {
  std::lock_guard lock(state_->mutex);
  return state_->start.addingTimeInterval(static_cast<double>(state_->elapsed) / 1e9);
}

double ManualClock::monotonicNow() const {
  std::lock_guard lock(state_->mutex);
  return static_cast<double>(state_->elapsed) / 1e9;
}

std::shared_ptr<Timer> ManualClock::scheduleTimer(double interval, bool repeats,
                                                  Action action) const {
  std::lock_guard lock(state_->mutex);
  auto& s = *state_;
  const std::int64_t deadline = deadlineAfter(s.elapsed, toNanoseconds(interval));
  const Date now = s.start.addingTimeInterval(static_cast<double>(s.elapsed) / 1e9);
  auto timer = std::make_shared<ManualTimer>(
      state_, deadline, ManualTimer::dateOf(s, deadline, now.addingTimeInterval(interval)),
      interval, repeats, std::move(action), s.sequence++);
  s.timers.push_back(timer);
  return timer;
}

Async<void> ManualClock::sleep(std::chrono::nanoseconds duration) const {
  if (duration.count() <= 0) co_return;
  std::function<void(std::shared_ptr<detail::Resumption>)> wait =
      [state = state_, duration](std::shared_ptr<detail::Resumption> r) {
        std::lock_guard lock(state->mutex);
        state->sleepers.push_back(
            {deadlineAfter(state->elapsed, duration.count()), state->sequence++, std::move(r)});
      };
  co_await detail::suspend(std::move(wait), detail::OnCancel::resumeWithCancellation);
}

void ManualClock::advance(double seconds) {
  advance(std::chrono::nanoseconds(std::max<std::int64_t>(0, toNanoseconds(seconds))));
}

void ManualClock::advance(std::chrono::nanoseconds duration) {
  // An action may drop the last reference to this clock: only the state is
  // used from here on (the destructor empties it, so nothing more fires).
  const std::shared_ptr<State> state = state_;
  const bool onMain = isOnMainContext();
  std::int64_t target;
  {
    std::lock_guard lock(state->mutex);
    target = deadlineAfter(state->elapsed, std::max<std::int64_t>(0, duration.count()));
  }
  for (;;) {
    std::shared_ptr<ManualTimer> timer;
    std::shared_ptr<detail::Resumption> sleeper;
    {
      std::lock_guard lock(state->mutex);
      auto& s = *state;
      std::erase_if(s.timers, [](const auto& t) { return !t->valid_ && !t->firing_; });
      std::erase_if(s.sleepers, [](const auto& e) { return e.resumption->isResumed(); });
      std::int64_t best = target + 1;
      std::uint64_t bestSequence = 0;
      for (auto& t : s.timers) {
        if (!t->valid_ || t->firing_ || t->deadline_ >= kBeyondRange) continue;
        if (t->deadline_ < best || (t->deadline_ == best && t->sequence_ < bestSequence)) {
          best = t->deadline_;
          bestSequence = t->sequence_;
          timer = t;
        }
      }
      std::size_t sleeperIndex = s.sleepers.size();
      for (std::size_t i = 0; i < s.sleepers.size(); ++i) {
        auto& e = s.sleepers[i];
        if (e.deadline >= kBeyondRange) continue;
        if (e.deadline < best || (e.deadline == best && e.sequence < bestSequence)) {
          best = e.deadline;
          bestSequence = e.sequence;
          sleeperIndex = i;
        }
      }
      if (sleeperIndex < s.sleepers.size()) {
        timer.reset();
        sleeper = std::move(s.sleepers[sleeperIndex].resumption);
        s.sleepers.erase(s.sleepers.begin() + static_cast<std::ptrdiff_t>(sleeperIndex));
      }
      if (!timer && !sleeper) {
        s.elapsed = std::max(s.elapsed, target);
        break;
      }
      s.elapsed = std::max(s.elapsed, best);
      if (timer) timer->takeFiring();
    }
    if (sleeper && !onMain) {
      // The sleeper may run on another executor: wait until it has run up to
      // its next suspension, so what it does happens before the next firing.
      auto ran = std::make_shared<std::atomic<bool>>(false);
      if (sleeper->resume(nullptr, [ran] { *ran = true; })) {
        runMainContextUntil([&] { return ran->load(); });
      }
    } else if (sleeper) {
      sleeper->resume();
    } else if (onMain) {
      timer->fire();
    } else {
      postToMain([timer] { timer->fire(); });
    }
    if (!onMain) drainMainContext();
  }
  if (!onMain) drainMainContext();
}

std::size_t ManualClock::pendingCount() const {
  std::lock_guard lock(state_->mutex);
  std::size_t n = 0;
  for (auto& t : state_->timers) n += t->valid_ ? 1 : 0;
  for (auto& e : state_->sleepers) n += e.resumption->isResumed() ? 0 : 1;
  return n;
}

}  // namespace quarn::platform
