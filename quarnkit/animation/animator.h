/// @file
/// ProgressAnimator and Animator<T>: frame-driven animations of a progress
/// 0...1 towards a target. Both are shared objects: make() them; they cannot be
/// built or copied otherwise, because their frames reach them weakly.
///
/// Each display frame moves the progress by a fixed 1/(duration * 60) towards
/// the target (the step assumes 60 frames a second) and applies it; on reaching
/// the target the progress is set to it exactly, applied once more, and the
/// completion is called with true. Animator<T> applies a progress by
/// interpolating a value through its key values and handing it to a closure or
/// writing it into a member of a root object.
///
/// ```
///   auto fade = Animator<double>::make(0.0, 1.0, BasicInterpolation::easeOut,
///                                      [&](double alpha) { view->setAlpha(alpha); });
///   fade->animate(1.0, 0.2, [](bool finished) { ... });   // 12 frames later: true
/// ```
///
/// The target is clamped to 0...1 when stored (not a number means the current
/// progress). A duration that is not a positive finite number, or one whose step
/// is too small to move the progress, jumps to the target at once and completes
/// with true: nothing ever steps forever. Animators run their frames through
/// platform::DisplayLink on the main context and are used from there.
///
/// Every animate() call completes exactly once, unless invalidate() forgets its
/// completion first:
/// - with true when its animation reaches the target;
/// - with false when a later animate() interrupts it, when stopAnimation() stops
///   it short of the target, or when the animator is released while it runs
///   (its last reference dropped; from inside one of its own closures, the
///   animation ends when the call that ran the closure, a frame or animate(),
///   returns).
/// - An animate() called from the completion that a later animate() call is
///   ending (a completion that retries when interrupted) is superseded by that
///   later call: it does not run, and its completion is called with false after
///   the later call's animation has ended (after that animation's own completion).
///   So such a completion cannot interrupt the later call in turn, and a
///   completion that restarts whenever it is interrupted restarts only then.
///
/// The host's closures may call back into the animator:
/// - applyProgress may animate() again (the animation it belongs to completes
///   with false and the new one runs) or stopAnimation(); the frame or the jump
///   that called it then does nothing more. After invalidate() from it the
///   animation goes on without closures. setProgress() from it moves the
///   animation, which goes on from there, also when the target was being
///   applied; a jump then completes with false (it has no frames to go on in).
/// - Completions may animate() again: from a completion called with true, or by
///   stopAnimation(), the new animation runs; from an interrupted one it is
///   superseded as above.
/// - A closure that throws: the animator first finishes what it was doing
///   (steps, stops, calls the other completions that are due, starts the
///   animation animate() was asked for), then the exception propagates, once,
///   out of the call that ran the closure: animate(), stopAnimation(),
///   setProgress(), or the display frame. A second exception in the same call
///   is logged and dropped. A completion called because the animator is
///   released cannot throw out of its destructor: its exception is logged and
///   dropped. The animator stays usable either way.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "quarnkit/animation/interpolator.h"
#include "quarnkit/platform/display_link.h"

namespace quarn {

template <InterpolatableValue T>
class Animator;

/// Animates a progress from 0 to 1 (or any target between) one display frame at a time, handing
/// each value to applyProgress (see the file's description). A shared object: made by make().
class ProgressAnimator : public std::enable_shared_from_this<ProgressAnimator> {
 protected:
  /// Only the make() functions can build one, so every animator lives in a
  /// std::shared_ptr.
  class Passkey {
    explicit Passkey() = default;
    friend class ProgressAnimator;
    template <InterpolatableValue T>
    friend class Animator;
  };

 public:
  /// Receives each new progress.
  using Apply = std::function<void(double progress)>;
  /// Receives whether the animation reached its target (false: interrupted or stopped).
  using Completion = std::function<void(bool finished)>;

  /// An animator at progress 0 that hands each progress to `apply`.
  static std::shared_ptr<ProgressAnimator> make(Apply apply);
  /// For std::make_shared only: the passkey is protected, so hosts call make().
  ProgressAnimator(Passkey, Apply apply);
  /// A running animation completes with false.
  virtual ~ProgressAnimator();
  ProgressAnimator(const ProgressAnimator&) = delete;
  ProgressAnimator& operator=(const ProgressAnimator&) = delete;

  /// Called with every new progress; cleared by invalidate().
  Apply applyProgress;
  /// The running animation's completion; cleared once called.
  Completion animationCompletion;

  /// The current progress, 0...1.
  [[nodiscard]] double progress() const { return progress_; }
  /// Clamps to 0...1 (not a number counts as 0) and applies at once; a
  /// running animation goes on from there.
  void setProgress(double progress);
  /// The duration of the last animation, seconds (initially 0.2).
  [[nodiscard]] double duration() const { return duration_; }
  /// The progress the running (or last) animation goes to.
  [[nodiscard]] double targetProgress() const { return targetProgress_; }
  /// The frame callback of the running animation, or null.
  [[nodiscard]] const std::shared_ptr<platform::DisplayLink>& displayLink() const {
    return displayLink_;
  }
  /// Whether an animation is running.
  [[nodiscard]] bool isAnimating() const { return displayLink_ != nullptr; }

  /// Animates from the current progress to `target` over `duration` seconds,
  /// interrupting the running animation first.
  void animate(double target, double duration, Completion completion = {});
  /// Stops, completing with whether the target was reached.
  void stopAnimation();
  /// Forgets applyProgress and the completions without calling them; a
  /// running animation goes on moving the progress.
  void invalidate();

 private:
  void step(platform::DisplayLink& link);
  void stop(bool finished, std::exception_ptr& error);
  void apply();

  double progress_ = 0.0;
  double duration_ = 0.2;
  double targetProgress_ = 0.0;
  double step_ = 0.0;
  // Set while animate() calls the completions of the animation it interrupts.
  bool interrupting_ = false;
  // Changes whenever an animation starts or stops, so that a frame or a jump
  // notices that the closure it called replaced or stopped its animation.
  std::uint64_t run_ = 0;
  // Completions of the calls superseded by the running animation.
  std::vector<Completion> superseded_;
  std::shared_ptr<platform::DisplayLink> displayLink_;
};

/// Animates a value of type T through key values, handing each interpolated value to a closure or
/// writing it into a member of a root object. A shared object: made by make().
template <InterpolatableValue T>
class Animator final : public ProgressAnimator {
 public:
  /// An animator through `values` (at least two) with `function`, handing each value to `apply`.
  static std::shared_ptr<Animator> make(const std::vector<T>& values, TimingFunction function,
                                        std::function<void(T)> apply) {
    auto interpolator = std::make_shared<Interpolator<T>>(values, std::move(function));
    auto onProgress = [interpolator, apply = std::move(apply)](double p) {
      if (apply) apply(interpolator->interpolateValue(p));
    };
    return std::make_shared<Animator>(Passkey{}, std::move(interpolator), std::move(onProgress));
  }
  /// An animator from `from` to `to` with `function`, handing each value to `apply`.
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
  /// An animator from `from` to `to` writing each value into `root->*keyPath` (the root held
  /// weakly).
  template <class Root>
  static std::shared_ptr<Animator> make(const T& from, const T& to,
                                        const std::shared_ptr<Root>& root, T Root::*keyPath,
                                        TimingFunction function) {
    return make(std::vector<T>{from, to}, root, keyPath, std::move(function));
  }

  /// For std::make_shared only: the passkey is protected, so hosts call make().
  Animator(Passkey key, std::shared_ptr<Interpolator<T>> interpolator, Apply apply)
      : ProgressAnimator(key, std::move(apply)), interpolator_(std::move(interpolator)) {}

  /// The interpolator that turns a progress into a value.
  [[nodiscard]] const std::shared_ptr<Interpolator<T>>& interpolator() const {
    return interpolator_;
  }

 private:
  std::shared_ptr<Interpolator<T>> interpolator_;
};

}  // namespace quarn
