#include "quarnkit/platform/display_link.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <utility>
#include <vector>

#include "quarnkit/platform/runtime/clock.h"

namespace quarn::platform {

namespace {
ServiceSlot<const FrameScheduler>& schedulerSlot() {
  static ServiceSlot<const FrameScheduler> s(
      [] { return std::make_shared<const TimerFrameScheduler>(); });
  return s;
}

// A link driven by a repeating timer.
class TimerLink final : public DisplayLink, public std::enable_shared_from_this<TimerLink> {
 public:
  explicit TimerLink(Callback callback) : callback_(std::move(callback)) {}
  void start() {
    std::weak_ptr<TimerLink> weak = shared_from_this();
    timer_ = TimerScheduler::current()->scheduleTimer(kFrameInterval, true, [weak](Timer& timer) {
      if (auto self = weak.lock()) {
        self->frame();
      } else {
        timer.invalidate();
      }
    });
  }
  void invalidate() override {
    valid_ = false;
    if (timer_) timer_->invalidate();
  }
  [[nodiscard]] bool isValid() const override { return valid_; }

 private:
  void frame() {
    if (!valid_) return;
    // The timer's action holds the link weakly; keep it alive for the call.
    auto self = shared_from_this();
    callback_(*this);
  }

  Callback callback_;
  std::shared_ptr<Timer> timer_;
  std::atomic<bool> valid_{true};
};

// A link of the manual scheduler.
class ManualLink final : public DisplayLink {
 public:
  explicit ManualLink(Callback action) : callback(std::move(action)) {}
  void invalidate() override { valid = false; }
  [[nodiscard]] bool isValid() const override { return valid; }

  Callback callback;
  std::atomic<bool> valid{true};
};
}  // namespace

std::shared_ptr<DisplayLink> DisplayLink::add(Callback callback) {
  return FrameScheduler::current()->addDisplayLink(std::move(callback));
}

std::shared_ptr<const FrameScheduler> FrameScheduler::current() { return schedulerSlot().get(); }
void FrameScheduler::setCurrent(std::shared_ptr<const FrameScheduler> scheduler) {
  schedulerSlot().set(std::move(scheduler));
}

std::shared_ptr<DisplayLink> TimerFrameScheduler::addDisplayLink(
    DisplayLink::Callback callback) const {
  auto link = std::make_shared<TimerLink>(std::move(callback));
  link->start();
  return link;
}

struct ManualFrameScheduler::State {
  mutable std::mutex mutex;
  std::vector<std::shared_ptr<ManualLink>> links;
  bool dropped = false;  // the scheduler is gone: no more frames
};

ManualFrameScheduler::ManualFrameScheduler() : state_(std::make_shared<State>()) {}

ManualFrameScheduler::~ManualFrameScheduler() {
  std::lock_guard lock(state_->mutex);
  state_->dropped = true;
}

std::shared_ptr<DisplayLink> ManualFrameScheduler::addDisplayLink(
    DisplayLink::Callback callback) const {
  auto link = std::make_shared<ManualLink>(std::move(callback));
  std::lock_guard lock(state_->mutex);
  state_->links.push_back(link);
  return link;
}

void ManualFrameScheduler::step(std::size_t frames) {
  // A callback may drop the last reference to this scheduler: only the state
  // is used from here on.
  const std::shared_ptr<State> state = state_;
  auto sweep = [&state] {
    std::lock_guard lock(state->mutex);
    std::erase_if(state->links, [](const auto& l) { return !l->valid.load(); });
  };
  for (std::size_t f = 0; f < frames; ++f) {
    std::vector<std::shared_ptr<ManualLink>> links;
    {
      std::lock_guard lock(state->mutex);
      if (state->dropped) return;
      std::erase_if(state->links, [](const auto& l) { return !l->valid.load(); });
      links = state->links;
    }
    // Every link gets the frame, then the first exception goes on.
    std::exception_ptr error;
    for (const auto& link : links) {
      if (!link->valid) continue;
      try {
        link->callback(*link);
      } catch (...) {
        if (!error) error = std::current_exception();
      }
    }
    if (error) {
      sweep();
      std::rethrow_exception(error);
    }
  }
  sweep();
}

std::size_t ManualFrameScheduler::runUntilIdle(std::size_t maxFrames) {
  std::size_t ran = 0;
  while (ran < maxFrames && linkCount() > 0) {
    step();
    ++ran;
  }
  return ran;
}

std::size_t ManualFrameScheduler::linkCount() const {
  std::lock_guard lock(state_->mutex);
  return static_cast<std::size_t>(std::count_if(state_->links.begin(), state_->links.end(),
                                                [](const auto& l) { return l->valid.load(); }));
}

}  // namespace quarn::platform
