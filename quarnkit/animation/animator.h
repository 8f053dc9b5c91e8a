// ProgressAnimator and Animator<T>: frame-driven animations of a progress
// 0...1 towards a target.
//
// Each display frame moves the progress by a fixed 1/(duration * 60) towards
// the target (the step assumes 60 frames a second) and applies it; on reaching
// the target the progress is set to it exactly, applied once more, and the
// completion is called with true. Animator<T> applies a progress by
// interpolating a value through its key values and handing it to a closure or
// writing it into a member of a root object.
//
//   auto fade = Animator<double>::make(0.0, 1.0, BasicInterpolation::easeOut,
//                                      [&](double alpha) { view->setAlpha(alpha); });
//   fade->animate(1.0, 0.2, [](bool finished) { ... });   // 12 frames later: true
//
// Starting an animation while one runs stops the running one first, calling
// its completion with false; an animation that completion starts is
// superseded by the later call (neither run nor completed). The target is clamped to 0...1 when
// stored (not a number means the current progress). A duration that is not a positive finite
// number, or one whose step is too small to move the progress, jumps to the target at once and
// completes with true: nothing ever steps forever. Animators are shared objects (make() them), run
// their frames through platform::DisplayLink on the main context and are used from there.
#pragma once

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "quarnkit/animation/interpolator.h"
#include "quarnkit/platform/display_link.h"

namespace quarn {

class ProgressAnimator : public std::enable_shared_from_this<ProgressAnimator> {
 protected:
  struct Passkey {};

 public:
  using Apply = std::function<void(double progress)>;
  using Completion = std::function<void(bool finished)>;

  static std::shared_ptr<ProgressAnimator> make(Apply apply);
  ProgressAnimator(Passkey, Apply apply);
  virtual ~ProgressAnimator();
  ProgressAnimator(const ProgressAnimator&) = delete;
  ProgressAnimator& operator=(const ProgressAnimator&) = delete;

  /// Called with every new progress; cleared by invalidate().
  Apply applyProgress;
  /// The running animation's completion; cleared once called.
  Completion animationCompletion;

  [[nodiscard]] double progress() const { return progress_; }
  /// Clamps to 0...1 (not a number counts as 0) and applies at once; a
  /// running animation goes on from there.
  void setProgress(double progress);
  /// The duration of the last animation, seconds (initially 0.2).
  [[nodiscard]] double duration() const { return duration_; }
  [[nodiscard]] double targetProgress() const { return targetProgress_; }
  /// The frame callback of the running animation, or null.
  [[nodiscard]] const std::shared_ptr<platform::DisplayLink>& displayLink() const {
    return displayLink_;
  }
  [[nodiscard]] bool isAnimating() const { return displayLink_ != nullptr; }

  /// Animates from the current progress to `target` over `duration` seconds.
  void animate(double target, double duration, Completion completion = {});
  /// Stops, completing with whether the target was reached.
  void stopAnimation();
  /// Forgets applyProgress and the completion without calling either.
  void invalidate();

 private:
  void step(platform::DisplayLink& link);
  void stop(bool finished);
  void apply();

  double progress_ = 0.0;
  double duration_ = 0.2;
  double targetProgress_ = 0.0;
  double step_ = 0.0;
  // Set while animate() calls the completion of the animation it interrupts.
  bool interrupting_ = false;
  std::shared_ptr<platform::DisplayLink> displayLink_;
};

template <InterpolatableValue T>
class Animator final : public ProgressAnimator {
 public:
  static std::shared_ptr<Animator> make(const std::vector<T>& values, TimingFunction function,
                                        std::function<void(T)> apply) {
    auto interpolator = std::make_shared<Interpolator<T>>(values, std::move(function));
    auto onProgress = [interpolator, apply = std::move(apply)](double p) {
      if (apply) apply(interpolator->interpolateValue(p));
    };
    return std::make_shared<Animator>(Passkey{}, std::move(interpolator), std::move(onProgress));
  }
  static std::shared_ptr<Animator> make(const T& from, const T& to, TimingFunction function,
                                        std::function<void(T)> apply) {
    return make(std::vector<T>{from, to}, std::move(function), std::move(apply));
  }
  /// Writes each value into `root->*keyPath`; the root is held weakly, so a
  /// released root is no longer written.
  template <class Root>
  static std::shared_ptr<Animator> make(const std::vector<T>& values,
                                        const std::shared_ptr<Root>& root, T Root::*keyPath,
                                        TimingFunction function) {
    std::weak_ptr<Root> weakRoot = root;
    return make(values, std::move(function), [weakRoot, keyPath](T value) {
      if (auto r = weakRoot.lock()) (*r).*keyPath = std::move(value);
    });
  }
  template <class Root>
  static std::shared_ptr<Animator> make(const T& from, const T& to,
                                        const std::shared_ptr<Root>& root, T Root::*keyPath,
                                        TimingFunction function) {
    return make(std::vector<T>{from, to}, root, keyPath, std::move(function));
  }

  Animator(Passkey key, std::shared_ptr<Interpolator<T>> interpolator, Apply apply)
      : ProgressAnimator(key, std::move(apply)), interpolator_(std::move(interpolator)) {}

  [[nodiscard]] const std::shared_ptr<Interpolator<T>>& interpolator() const {
    return interpolator_;
  }

 private:
  std::shared_ptr<Interpolator<T>> interpolator_;
};

}  // namespace quarn
