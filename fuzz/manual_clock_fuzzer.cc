// Fuzz target of the manual clock: random sequences of host actions on its
// timers. Timers are scheduled with any interval (zero, negative, tiny, past
// the nanosecond range, not a number), moved (into the past, the distant
// future, back), invalidated and advanced past; their actions invalidate
// themselves, schedule and move other timers, throw, or drop the clock.
// Checked: no timer fires before its fire date or after it was invalidated;
// firings come in time order; after an advance nothing due is left unfired;
// fire dates read back as set (or as now + interval); a spent one-shot keeps
// the date it fired at; the pending count is the number of valid timers.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

#include "event_bytes.h"
#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/runtime/clock.h"

namespace {

using namespace quarn;
using namespace quarn::platform;

void check(bool condition) {
  if (!condition) std::abort();
}

struct HostError : std::runtime_error {
  HostError() : std::runtime_error("thrown by the host") {}
};

constexpr std::size_t kMaxEvents = 120;
constexpr std::size_t kMaxTimers = 24;
constexpr int kMaxFirings = 3000;

// Equal up to the rounding of a date to nanoseconds since the clock's start.
bool near(Date a, Date b) {
  const double x = a.timeIntervalSince1970();
  const double y = b.timeIntervalSince1970();
  return std::abs(x - y) <= std::max(1e-6, 1e-12 * std::max(std::abs(x), std::abs(y)));
}
bool notBefore(Date a, Date b) { return a >= b || near(a, b); }

enum class Behaviour { nothing, invalidateSelf, scheduleAnother, moveAnother, raise, dropClock };

struct Record {
  std::shared_ptr<Timer> timer;
  ManualClock* clock = nullptr;  // the clock it belongs to (null once dropped)
  Behaviour behaviour = Behaviour::nothing;
  bool repeats = false;
  Date due;  // the fire date as last set or read
  bool invalidated = false;
  bool ownClockDropped = false;
  bool spent = false;  // a one-shot that fired
};

class Run {
 public:
  explicit Run(fuzzing::EventBytes& in)
      : in_(in), clock_(std::make_shared<ManualClock>(Date(1000))) {}

  void run() {
    for (std::size_t n = 0; n < kMaxEvents && !in_.empty(); ++n) {
      switch (in_.choose(6)) {
        case 0:
        case 1:
          schedule();
          break;
        case 2:
          move(pick());
          break;
        case 3:
          if (Record* r = pick()) {
            r->timer->invalidate();
            r->invalidated = true;
          }
          break;
        default:
          advance();
          break;
      }
      checkPending();
    }
    for (Record& r : records_) r.timer->invalidate();
  }

 private:
  double interval() {
    switch (in_.choose(9)) {
      case 0:
        return 0;
      case 1:
        return 1e-4;
      case 2:
        return 0.25;
      case 3:
        return 1;
      case 4:
        return 3.5;
      case 5:
        return -2;
      case 6:
        return 1e9;
      case 7:
        return 1e300;
      default:
        return in_.between(0, 20);
    }
  }

  Record* pick() {
    if (records_.empty()) return nullptr;
    return &records_[in_.choose(records_.size())];
  }

  void schedule() {
    if (records_.size() >= kMaxTimers || !clock_) return;
    const double seconds = interval();
    const bool repeats = in_.choose(2) == 1;
    const auto behaviour = static_cast<Behaviour>(in_.choose(6));
    const std::size_t index = records_.size();
    const Date now = clock_->now();
    auto timer =
        clock_->scheduleTimer(seconds, repeats, [this, index](Timer& self) { fired(index, self); });
    records_.push_back({timer, clock_.get(), behaviour, repeats, timer->fireDate()});
    // The real scheduler reports now + interval.
    check(near(timer->fireDate(), now.addingTimeInterval(seconds)));
  }

  void move(Record* r) {
    if (r == nullptr || r->ownClockDropped || r->clock == nullptr) return;
    const Date now = r->clock->now();
    Date date;
    switch (in_.choose(4)) {
      case 0:
        date = now.addingTimeInterval(-in_.between(0, 50));
        break;
      case 1:
        date = kDistantFuture;
        break;
      case 2:
        date = now.addingTimeInterval(1e12);
        break;
      default:
        date = now.addingTimeInterval(in_.between(0, 30));
        break;
    }
    r->timer->setFireDate(date);
    if (r->timer->isValid()) {
      check(r->timer->fireDate() == date);
      r->due = date;
      r->spent = false;
    }
  }

  void fired(std::size_t index, Timer& self) {
    Record& r = records_[index];
    check(!r.invalidated && !r.ownClockDropped);
    const Date now = r.clock->now();
    check(notBefore(now, r.due));
    check(notBefore(now, lastFiring_));
    lastFiring_ = now;
    // A repeating timer already has its next date; a one-shot keeps its own.
    r.due = self.fireDate();
    r.spent = !r.repeats;
    if (++firings_ > kMaxFirings) {
      self.invalidate();
      r.invalidated = true;
      return;
    }
    switch (r.behaviour) {
      case Behaviour::nothing:
        break;
      case Behaviour::invalidateSelf:
        self.invalidate();
        r.invalidated = true;
        break;
      case Behaviour::scheduleAnother:
        schedule();
        break;
      case Behaviour::moveAnother:
        move(pick());
        break;
      case Behaviour::raise:
        if (in_.choose(2) == 0) throw HostError();
        break;
      case Behaviour::dropClock:
        if (in_.choose(4) == 0) {
          // Its timers fire no more: nothing may be checked against them.
          for (Record& other : records_) {
            if (other.clock != clock_.get()) continue;
            other.ownClockDropped = true;
            other.clock = nullptr;
          }
          clock_.reset();
        }
        break;
    }
  }

  void advance() {
    if (!clock_) {
      clock_ = std::make_shared<ManualClock>(Date(1000));
      lastFiring_ = Date(-std::numeric_limits<double>::infinity());
    }
    ManualClock* const clock = clock_.get();
    const Date before = clock->now();
    bool threw = false;
    try {
      switch (in_.choose(8)) {
        case 0:
          clock->advance(0.0);
          break;
        case 1:
          clock->advance(1e-5);
          break;
        case 2:
          clock->advance(0.5);
          break;
        case 3:
          clock->advance(1.0);
          break;
        case 4:
          clock->advance(10.0);
          break;
        case 5:
          clock->advance(1e6);
          break;
        case 6:
          clock->advance(std::chrono::nanoseconds::max());
          break;
        default:
          clock->advance(in_.between(0, 40));
          break;
      }
    } catch (const HostError&) {
      threw = true;
    }
    if (!clock_ || clock_.get() != clock) return;  // dropped inside
    const Date now = clock_->now();
    check(notBefore(now, before));
    if (threw) return;
    // Nothing due is left unfired, and spent one-shots keep their date.
    for (const Record& r : records_) {
      if (r.clock != clock_.get() || r.invalidated) continue;
      const Date due = r.timer->fireDate();
      if (r.spent) {
        check(!r.timer->isValid());
        check(due == r.due);
        continue;
      }
      if (std::isnan(due.timeIntervalSince1970())) continue;
      check(notBefore(due, now));
    }
  }

  void checkPending() {
    if (!clock_) return;
    std::size_t valid = 0;
    for (const Record& r : records_) {
      if (r.clock == clock_.get() && r.timer->isValid()) ++valid;
    }
    check(clock_->pendingCount() == valid);
  }

  fuzzing::EventBytes& in_;
  std::shared_ptr<ManualClock> clock_;
  std::vector<Record> records_;
  Date lastFiring_ = Date(-std::numeric_limits<double>::infinity());
  int firings_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::EventBytes in(data, size);
  {
    Run run(in);
    run.run();
  }
  drainMainContext();
  return 0;
}
