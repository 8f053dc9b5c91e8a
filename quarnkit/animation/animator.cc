#include "quarnkit/animation/animator.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "quarnkit/core/log.h"

namespace quarn {

namespace {
double clampedProgress(double p) { return std::isnan(p) ? 0.0 : std::clamp(p, 0.0, 1.0); }

const Logger& animatorLog() {
  static const Logger log("Velmora", "Animator");
  return log;
}

void logDropped(const std::exception_ptr& error, const char* why) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    animatorLog().error("An animation closure threw ({}); the exception is dropped: {}", e.what(),
                        why);
  } catch (...) {
    animatorLog().error("An animation closure threw; the exception is dropped: {}", why);
  }
}

// Calls a host closure, keeping what it throws in `error` (the first one only),
// so that the caller finishes its own work before the exception leaves.
template <class F>
void callKeeping(std::exception_ptr& error, F&& call) {
  try {
    call();
  } catch (...) {
    if (error) {
      logDropped(std::current_exception(), "an earlier one propagates");
    } else {
      error = std::current_exception();
    }
  }
}

void rethrowKept(std::exception_ptr& error) {
  if (error) std::rethrow_exception(std::exchange(error, nullptr));
}
}  // namespace

std::shared_ptr<ProgressAnimator> ProgressAnimator::make(Apply apply) {
  return std::make_shared<ProgressAnimator>(Passkey{}, std::move(apply));
}

ProgressAnimator::ProgressAnimator(Passkey, Apply apply) : applyProgress(std::move(apply)) {}

ProgressAnimator::~ProgressAnimator() {
  // The completions can no longer reach the animator (its weak references have
  // expired), and nothing may leave a destructor.
  std::exception_ptr error;
  stop(false, error);
  if (error) logDropped(error, "the animator was being released");
}

void ProgressAnimator::setProgress(double progress) {
  progress_ = clampedProgress(progress);
  apply();
}

void ProgressAnimator::apply() {
  // A copy: the closure may replace or clear applyProgress while it runs.
  if (Apply call = applyProgress) call(progress_);
}

void ProgressAnimator::animate(double target, double duration, Completion completion) {
  if (interrupting_) {
    // Called from a completion that a later animate() is ending: that later
    // call wins, and this one completes once its animation has ended.
    if (completion) superseded_.push_back(std::move(completion));
    return;
  }
  const auto keepAlive = shared_from_this();  // the completions may release the owner
  std::exception_ptr error;
  {
    interrupting_ = true;
    struct Reset {
      bool& flag;
      ~Reset() { flag = false; }
    } reset{interrupting_};
    stop(false, error);
  }
  duration_ = duration;
  targetProgress_ = std::isnan(target) ? progress_ : std::clamp(target, 0.0, 1.0);
  animationCompletion = std::move(completion);
  step_ = 1 / (duration * 60);
  const std::uint64_t run = ++run_;
  if (!(duration > 0) || !(step_ > 0) || !std::isfinite(step_)) {
    progress_ = targetProgress_;
    callKeeping(error, [&] { apply(); });
    // Unless applying replaced or stopped it; finished unless it moved the progress.
    if (run_ == run) stop(progress_ == targetProgress_, error);
    rethrowKept(error);
    return;
  }
  std::weak_ptr<ProgressAnimator> weak = weak_from_this();
  displayLink_ = platform::DisplayLink::add([weak](platform::DisplayLink& link) {
    if (auto self = weak.lock()) {
      self->step(link);
    } else {
      link.invalidate();
    }
  });
  rethrowKept(error);
}

void ProgressAnimator::step(platform::DisplayLink& link) {
  if (&link != displayLink_.get()) {  // left over from an animation since replaced
    link.invalidate();
    return;
  }
  const auto self = shared_from_this();  // the closures may release the owner
  const std::uint64_t run = run_;
  std::exception_ptr error;
  const bool up = progress_ < targetProgress_;
  const double before = progress_;
  progress_ = std::clamp(progress_ + (up ? step_ : -step_), 0.0, 1.0);
  callKeeping(error, [&] { apply(); });
  if (run_ == run) {  // applying neither stopped nor restarted it
    const bool reached = up ? progress_ >= targetProgress_ : progress_ <= targetProgress_;
    // A step below the rounding of the progress would never arrive.
    if (reached || progress_ == before) {
      progress_ = targetProgress_;
      callKeeping(error, [&] { apply(); });
      // A closure that moved the progress lets the animation go on from there.
      if (run_ == run && progress_ == targetProgress_) stop(true, error);
    }
  }
  rethrowKept(error);
}

void ProgressAnimator::stopAnimation() {
  std::exception_ptr error;
  stop(progress_ == targetProgress_, error);
  rethrowKept(error);
}

void ProgressAnimator::stop(bool finished, std::exception_ptr& error) {
  ++run_;
  if (displayLink_) {
    displayLink_->invalidate();
    displayLink_.reset();
  }
  // Taken out first: a completion may start the next animation, and nothing of
  // `this` is touched after the calls (a completion may release the owner).
  Completion completion = std::exchange(animationCompletion, nullptr);
  std::vector<Completion> superseded = std::exchange(superseded_, {});
  if (completion) callKeeping(error, [&] { completion(finished); });
  for (Completion& later : superseded) callKeeping(error, [&] { later(false); });
}

void ProgressAnimator::invalidate() {
  applyProgress = nullptr;
  animationCompletion = nullptr;
  superseded_.clear();
}

}  // namespace quarn
