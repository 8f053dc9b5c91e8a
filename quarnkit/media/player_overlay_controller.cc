#include "quarnkit/media/player_overlay_controller.h"

#include <utility>

#include "quarnkit/core/hash.h"
#include "quarnkit/platform/media/detail/first_error.h"
#include "quarnkit/platform/runtime/clock.h"

namespace quarn {

std::shared_ptr<PlayerOverlayController> PlayerOverlayController::make() {
  return std::make_shared<PlayerOverlayController>(Key());
}

PlayerOverlayController::~PlayerOverlayController() { cancelTimer(); }

void PlayerOverlayController::setOverlayVisible(bool visible, double delay, bool autoreverse,
                                                double autoreverseDelay) {
  ++requests_;
  nextState_ = State{visible, autoreverse, autoreverseDelay};
  if (delay > 0) {
    if (!isSuspended_) scheduleTimer(delay);
  } else {
    handleNextState(autoreverseDelay);
  }
}

void PlayerOverlayController::flash(double duration) { setOverlayVisible(true, 0, true, duration); }

void PlayerOverlayController::handleNextState(double delay) {
  // The handler may drop the host's last reference to the controller.
  const auto self = shared_from_this();
  platform::detail::FirstError errors;
  while (nextState_) {
    const State state = *nextState_;
    nextState_.reset();
    isVisible_ = state.isVisible;
    const auto request = requests_;
    // A copy: the handler may replace itself. What it throws waits until the
    // reversal below is in place.
    if (auto handler = changeOverlayVisibleHandler) errors.run([&] { handler(state.isVisible); });
    // A request made by the handler is newer than this state's reversal.
    if (!state.autoreverse || requests_ != request) break;
    nextState_ = State{!state.isVisible, false, 0};
    if (delay > 0) {
      scheduleTimer(delay);
      break;
    }
  }
  errors.rethrow();
}

void PlayerOverlayController::cancelTimer() {
  timeInterval_.reset();
  if (timer_) timer_->invalidate();
  timer_.reset();
}

void PlayerOverlayController::scheduleTimer(double interval) {
  cancelTimer();
  timeInterval_ = interval;
  std::weak_ptr<PlayerOverlayController> weak = weak_from_this();
  timer_ = platform::TimerScheduler::current()->scheduleTimer(
      interval, false, [weak, interval](platform::Timer& fired) {
        auto self = weak.lock();
        if (!self || self->timer_.get() != &fired) return;
        // The countdown is over: restart() has nothing to restart.
        self->timer_.reset();
        self->timeInterval_.reset();
        self->handleNextState(interval);
      });
}

void PlayerOverlayController::restart() {
  if (!timeInterval_) return;
  const double interval = *timeInterval_;
  scheduleTimer(interval);
}

void PlayerOverlayController::suspend() {
  isSuspended_ = true;
  cancelTimer();
}

void PlayerOverlayController::resume() {
  isSuspended_ = false;
  if (nextState_) scheduleTimer(kResumeDelay);
}

}  // namespace quarn

std::size_t std::hash<quarn::PlayerOverlayController::State>::operator()(
    const quarn::PlayerOverlayController::State& state) const noexcept {
  std::size_t seed = std::hash<bool>()(state.isVisible);
  quarn::hashCombine(seed, std::hash<bool>()(state.autoreverse));
  quarn::hashCombine(seed, std::hash<double>()(state.autoreverseDelay));
  return seed;
}
