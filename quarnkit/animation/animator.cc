#include "quarnkit/animation/animator.h"

#include <algorithm>
#include <cmath>

namespace quarn {

namespace {
double clampedProgress(double p) { return std::isnan(p) ? 0.0 : std::clamp(p, 0.0, 1.0); }
}  // namespace

std::shared_ptr<ProgressAnimator> ProgressAnimator::make(Apply apply) {
  return std::make_shared<ProgressAnimator>(Passkey{}, std::move(apply));
}

ProgressAnimator::ProgressAnimator(Passkey, Apply apply) : applyProgress(std::move(apply)) {}

ProgressAnimator::~ProgressAnimator() {
  if (displayLink_) displayLink_->invalidate();
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
  // An animation that the interrupted completion starts is superseded by this
  // later call: it is not started, so a completion that restarts whenever it
  // is interrupted cannot interrupt this call in turn, forever.
  if (interrupting_) return;
  const auto keepAlive = shared_from_this();  // the completion may release the owner
  interrupting_ = true;
  stop(false);
  interrupting_ = false;
  duration_ = duration;
  targetProgress_ = std::isnan(target) ? progress_ : std::clamp(target, 0.0, 1.0);
  animationCompletion = std::move(completion);
  step_ = 1 / (duration * 60);
  if (!(duration > 0) || !(step_ > 0) || !std::isfinite(step_)) {
    progress_ = targetProgress_;
    apply();
    stop(true);
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
}

void ProgressAnimator::step(platform::DisplayLink& link) {
  if (&link != displayLink_.get()) {  // left over from an animation since replaced
    link.invalidate();
    return;
  }
  const auto self = shared_from_this();  // the closures may release the owner
  const bool up = progress_ < targetProgress_;
  const double before = progress_;
  progress_ = std::clamp(progress_ + (up ? step_ : -step_), 0.0, 1.0);
  apply();
  if (&link != displayLink_.get()) return;  // applying stopped or restarted it
  const bool reached = up ? progress_ >= targetProgress_ : progress_ <= targetProgress_;
  // A step below the rounding of the progress would never arrive.
  if (!reached && progress_ != before) return;
  progress_ = targetProgress_;
  apply();
  if (&link != displayLink_.get()) return;
  stop(true);
}

void ProgressAnimator::stopAnimation() { stop(progress_ == targetProgress_); }

void ProgressAnimator::stop(bool finished) {
  if (displayLink_) {
    displayLink_->invalidate();
    displayLink_.reset();
  }
  Completion completion = std::move(animationCompletion);
  animationCompletion = nullptr;
  if (completion) completion(finished);
}

void ProgressAnimator::invalidate() {
  applyProgress = nullptr;
  animationCompletion = nullptr;
}

}  // namespace quarn
