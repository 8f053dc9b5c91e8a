// What the host may do from inside every callback the animation types make
// (an Animator<T>'s value closure is its applyProgress): release the object,
// call back into it, or throw. Frames come from the manual frame scheduler.
// Also the kind of each public type.
#include "quarnkit/testing/reentrancy.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "quarnkit/animation/animation_timeline.h"
#include "quarnkit/animation/animator.h"
#include "quarnkit/animation/basic_interpolation.h"
#include "quarnkit/animation/lagged_trim_shape.h"
#include "quarnkit/animation/spring_interpolation.h"
#include "quarnkit/core/log.h"

namespace quarn {
namespace {

using platform::ManualFrameScheduler;
using platform::ScopedService;
using quarn::testing::HostAction;

// Shared objects can be built only by make(), so that every instance lives in
// a std::shared_ptr; unique objects are not copyable; values are.
template <class T, class... Args>
concept BuildableFromBraces = requires(Args... args) {
  T({}, args...);
};
struct OpenKey {  // a key anyone can make from braces, which the check must see
  struct Key {};
  OpenKey(Key, int) {}
};
static_assert(BuildableFromBraces<OpenKey, int>);
static_assert(!BuildableFromBraces<ProgressAnimator, ProgressAnimator::Apply>);
static_assert(!BuildableFromBraces<Animator<double>, std::shared_ptr<Interpolator<double>>,
                                   ProgressAnimator::Apply>);
static_assert(!std::is_copy_constructible_v<ProgressAnimator>);
static_assert(!std::is_copy_constructible_v<Animator<double>>);
static_assert(!std::is_constructible_v<AnimationTimeline, double>);
static_assert(!std::is_copy_constructible_v<AnimationTimeline>);
static_assert(!std::is_copy_constructible_v<Interpolator<double>>);
static_assert(std::is_copy_constructible_v<SpringInterpolation>);
static_assert(std::is_copy_constructible_v<BasicInterpolation>);
static_assert(std::is_copy_constructible_v<TimingFunction>);
static_assert(std::is_copy_constructible_v<AnimationTimeline::Item>);
static_assert(std::is_copy_constructible_v<LaggedTrimShape<int>>);

using Flags = std::vector<bool>;
const Flags kTrue{true};
const Flags kFalse{false};

// A progress animator on the manual frame scheduler (installed while it
// lives), held as the host holds it, and what its callbacks recorded. The
// records come first: they outlive the animator, whose release may still
// call a completion.
struct Rig {
  std::shared_ptr<ManualFrameScheduler> scheduler = std::make_shared<ManualFrameScheduler>();
  ScopedService<platform::FrameScheduler> installed{scheduler};
  Flags done, later;
  int applied = 0;
  std::shared_ptr<ProgressAnimator> animator = ProgressAnimator::make(nullptr);
  std::weak_ptr<ProgressAnimator> weak = animator;

  void step(std::size_t n = 1) { scheduler->step(n); }
  std::size_t runUntilIdle() { return scheduler->runUntilIdle(10000); }
  [[nodiscard]] std::size_t links() const { return scheduler->linkCount(); }
  static ProgressAnimator::Completion record(Flags& into) {
    return [&into](bool finished) { into.push_back(finished); };
  }
  /// Animates to `target` over 0.2 s (twelve frames), then runs `frames`.
  void start(ProgressAnimator::Completion completion, std::size_t frames = 0, double target = 1.0) {
    animator->animate(target, 0.2, std::move(completion));
    if (frames > 0) step(frames);
  }
  /// An animation whose completion makes an animate() (with `superseded`)
  /// that a later call, recording into `later`, then supersedes.
  void startSuperseded(ProgressAnimator::Completion superseded) {
    start([a = animator.get(), superseded](bool) { a->animate(1.0, 0.2, superseded); }, 3);
    animator->animate(0.0, 0.2, record(later));
  }
  /// The animator still animates to `target` and completes with true.
  void expectStillAnimates(double target) {
    Flags again;
    animator->animate(target, 0.2, record(again));
    EXPECT_GT(runUntilIdle(), 0u);
    EXPECT_EQ(animator->progress(), target);
    EXPECT_EQ(again, kTrue);
  }
};

std::vector<testing::ReentrancyRow> animatorRows() {
  const std::string frame = "applyProgress in a frame";
  const std::string jump = "applyProgress of a jump (zero duration)";
  const std::string atTarget = "completion of an animation that reached its target";
  const std::string interrupted = "completion interrupted by animate()";
  const std::string stopped = "completion stopped by stopAnimation()";
  const std::string superseded = "completion of a superseded animate()";
  const std::string released = "completion called as the animator is released";
  return {
      {frame, HostAction::release,
       "the frame ends, the animation completes once with false and no frame is left",
       [] {
         Rig r;
         std::shared_ptr<Animator<double>> animator;
         animator = Animator<double>::make(10.0, 20.0, BasicInterpolation::linear, [&](double) {
           if (++r.applied == 3) animator.reset();
         });
         animator->animate(1.0, 0.2, Rig::record(r.done));
         r.step(5);
         EXPECT_EQ(animator, nullptr);
         EXPECT_EQ(r.applied, 3);
         EXPECT_EQ(r.done, kFalse);
         EXPECT_EQ(r.links(), 0u);
       }},
      {frame, HostAction::reenter,
       "animating again completes the running animation with false; the new one runs to its "
       "target and completes with true",
       [] {
         Rig r;
         r.animator->applyProgress = [&](double) {
           if (++r.applied == 3) r.animator->animate(0.0, 0.2, Rig::record(r.later));
         };
         r.start(Rig::record(r.done));
         r.runUntilIdle();
         EXPECT_EQ(r.done, kFalse);
         EXPECT_EQ(r.later, kTrue);
         EXPECT_EQ(r.animator->progress(), 0.0);
       }},
      {frame, HostAction::reenter, "stopAnimation() completes with false at once; no frame is left",
       [] {
         Rig r;
         std::shared_ptr<Animator<double>> animator;
         std::vector<double> values;
         animator = Animator<double>::make(10.0, 20.0, BasicInterpolation::linear, [&](double v) {
           values.push_back(v);
           if (v >= 12) animator->stopAnimation();
         });
         animator->animate(1.0, 0.2, Rig::record(r.done));
         EXPECT_EQ(r.runUntilIdle(), 3u);
         EXPECT_EQ(r.done, kFalse);
         EXPECT_EQ(values.size(), 3u);
       }},
      {frame, HostAction::reenter,
       "setProgress() while the target is applied: the animation goes on from there and "
       "completes with true later",
       [] {
         Rig r;
         r.animator->applyProgress = [&](double p) {
           if (p == 1.0 && r.applied++ == 0) r.animator->setProgress(0.5);
         };
         r.start(Rig::record(r.done));
         EXPECT_GT(r.runUntilIdle(), 12u);
         EXPECT_EQ(r.done, kTrue);
         EXPECT_EQ(r.animator->progress(), 1.0);
       }},
      {frame, HostAction::raise,
       "the exception leaves that frame only; the animation goes on and completes with true",
       [] {
         Rig r;
         r.animator->applyProgress = [&](double) {
           if (++r.applied == 3) throw std::runtime_error("apply");
         };
         r.start(Rig::record(r.done), 2);
         EXPECT_THROW(r.step(), std::runtime_error);
         EXPECT_TRUE(r.done.empty());
         r.runUntilIdle();
         EXPECT_EQ(r.done, kTrue);
         EXPECT_EQ(r.animator->progress(), 1.0);
       }},
      {frame, HostAction::raise,
       "thrown when applying the target: the animation completes with true before the "
       "exception leaves the frame",
       [] {
         Rig r;
         r.animator->applyProgress = [](double p) {
           if (p == 1.0) throw std::runtime_error("apply");
         };
         r.start(Rig::record(r.done), 11);
         EXPECT_THROW(r.step(), std::runtime_error);
         EXPECT_EQ(r.done, kTrue);
         EXPECT_EQ(r.links(), 0u);
         r.expectStillAnimates(0.0);
       }},

      {jump, HostAction::release,
       "the jump completes with true; the animator goes when animate() returns",
       [] {
         Rig r;
         r.animator->applyProgress = [&](double) { r.animator.reset(); };
         r.animator->animate(1.0, 0.0, Rig::record(r.done));
         EXPECT_EQ(r.done, kTrue);
         EXPECT_TRUE(r.weak.expired());
         EXPECT_EQ(r.links(), 0u);
       }},
      {jump, HostAction::reenter,
       "animating again completes the jump with false; the new animation runs to its target "
       "and completes with true",
       [] {
         Rig r;
         r.animator->applyProgress = [&](double) {
           if (r.applied++ == 0) r.animator->animate(0.0, 0.2, Rig::record(r.later));
         };
         r.animator->animate(1.0, 0.0, Rig::record(r.done));
         EXPECT_EQ(r.done, kFalse);
         EXPECT_TRUE(r.later.empty());
         EXPECT_GE(r.runUntilIdle(), 12u);
         EXPECT_EQ(r.later, kTrue);
         EXPECT_EQ(r.animator->progress(), 0.0);
       }},
      {jump, HostAction::reenter,
       "setProgress() away from the target: the jump completes with false, where it was moved",
       [] {
         Rig r;
         r.animator->applyProgress = [&](double p) {
           if (p == 1.0) r.animator->setProgress(0.25);
         };
         r.animator->animate(1.0, 0.0, Rig::record(r.done));
         EXPECT_EQ(r.done, kFalse);
         EXPECT_EQ(r.animator->progress(), 0.25);
         EXPECT_EQ(r.links(), 0u);
       }},
      {jump, HostAction::raise,
       "animate() throws after the jump reached its target and completed with true",
       [] {
         Rig r;
         r.animator->applyProgress = [&](double) {
           if (r.applied++ == 0) throw std::runtime_error("apply");
         };
         EXPECT_THROW(r.animator->animate(1.0, 0.0, Rig::record(r.done)), std::runtime_error);
         EXPECT_EQ(r.done, kTrue);
         EXPECT_EQ(r.animator->progress(), 1.0);
         r.expectStillAnimates(0.0);
       }},

      {atTarget, HostAction::release, "the animator goes after the call; nothing else is called",
       [] {
         Rig r;
         r.animator->applyProgress = [&](double) { ++r.applied; };
         r.start([&](bool) { r.animator.reset(); });
         EXPECT_EQ(r.runUntilIdle(), 12u);
         EXPECT_TRUE(r.weak.expired());
         EXPECT_EQ(r.applied, 13);
       }},
      {atTarget, HostAction::reenter, "the animation it starts runs and completes with true",
       [] {
         Rig r;
         r.start([&](bool) { r.animator->animate(0.0, 0.2, Rig::record(r.later)); });
         EXPECT_GE(r.runUntilIdle(), 24u);
         EXPECT_EQ(r.later, kTrue);
         EXPECT_EQ(r.animator->progress(), 0.0);
       }},
      {atTarget, HostAction::raise,
       "the exception leaves the frame; the animator is idle and animates again",
       [] {
         Rig r;
         r.start([](bool) { throw std::runtime_error("done"); }, 11);
         EXPECT_THROW(r.step(), std::runtime_error);
         EXPECT_FALSE(r.animator->isAnimating());
         EXPECT_EQ(r.links(), 0u);
         r.expectStillAnimates(0.0);
       }},

      {interrupted, HostAction::release,
       "the new animation starts, and completes with false as the animator goes when "
       "animate() returns",
       [] {
         Rig r;
         r.start([&](bool) { r.animator.reset(); }, 3);
         ProgressAnimator* raw = r.animator.get();
         raw->animate(0.0, 0.2, Rig::record(r.later));
         EXPECT_EQ(r.animator, nullptr);
         EXPECT_EQ(r.later, kFalse);
         EXPECT_EQ(r.links(), 0u);
       }},
      {interrupted, HostAction::reenter,
       "an animate() from it is superseded: the later call runs and completes first, then "
       "the superseded one completes with false without running",
       [] {
         Rig r;
         std::vector<std::string> order;
         const auto named = [&](std::string name) {
           return [&order, name](bool f) { order.push_back(name + (f ? ":true" : ":false")); };
         };
         r.start(
             [&](bool f) {
               named("first")(f);
               r.animator->animate(1.0, 0.2, named("restart"));
             },
             3);
         r.animator->animate(0.0, 0.2, named("later"));
         EXPECT_EQ(r.animator->targetProgress(), 0.0);
         r.runUntilIdle();
         EXPECT_EQ(order, (std::vector<std::string>{"first:false", "later:true", "restart:false"}));
         EXPECT_EQ(r.animator->progress(), 0.0);
       }},
      {interrupted, HostAction::reenter,
       "stopAnimation() from it has nothing to stop; the later call runs to its target",
       [] {
         Rig r;
         r.start([&](bool) { r.animator->stopAnimation(); }, 3);
         r.animator->animate(0.0, 0.2, Rig::record(r.later));
         r.runUntilIdle();
         EXPECT_EQ(r.later, kTrue);
         EXPECT_EQ(r.animator->progress(), 0.0);
       }},
      {interrupted, HostAction::raise,
       "animate() throws once, after starting the new animation, which runs and completes "
       "with true; later calls work",
       [] {
         Rig r;
         r.start([](bool) { throw std::runtime_error("interrupted"); }, 3);
         EXPECT_THROW(r.animator->animate(0.0, 0.2, Rig::record(r.later)), std::runtime_error);
         EXPECT_TRUE(r.animator->isAnimating());
         r.runUntilIdle();
         EXPECT_EQ(r.later, kTrue);
         r.expectStillAnimates(1.0);
       }},

      {stopped, HostAction::release, "stopAnimation() returns; no frame is left",
       [] {
         Rig r;
         r.start([&](bool) { r.animator.reset(); }, 3);
         r.animator->stopAnimation();
         EXPECT_TRUE(r.weak.expired());
         EXPECT_EQ(r.links(), 0u);
       }},
      {stopped, HostAction::reenter, "the animation it starts runs and completes with true",
       [] {
         Rig r;
         r.start(
             [&](bool finished) {
               EXPECT_FALSE(finished);
               r.animator->animate(0.0, 0.2, Rig::record(r.later));
             },
             3);
         r.animator->stopAnimation();
         EXPECT_TRUE(r.animator->isAnimating());
         r.runUntilIdle();
         EXPECT_EQ(r.later, kTrue);
       }},
      {stopped, HostAction::raise,
       "stopAnimation() throws; the animator is idle and animates again",
       [] {
         Rig r;
         r.start([](bool) { throw std::runtime_error("stopped"); }, 3);
         EXPECT_THROW(r.animator->stopAnimation(), std::runtime_error);
         EXPECT_FALSE(r.animator->isAnimating());
         r.animator->stopAnimation();  // nothing left to call
         r.expectStillAnimates(1.0);
       }},

      {superseded, HostAction::release,
       "called with false when the later animation ends; the animator goes after the call",
       [] {
         Rig r;
         r.startSuperseded([&](bool finished) {
           r.done.push_back(finished);
           r.animator.reset();
         });
         r.runUntilIdle();
         EXPECT_EQ(r.later, kTrue);
         EXPECT_EQ(r.done, kFalse);
         EXPECT_TRUE(r.weak.expired());
       }},
      {superseded, HostAction::reenter,
       "an animation it starts runs after the later one: the restart reaches its target",
       [] {
         Rig r;
         r.startSuperseded([&](bool) { r.animator->animate(1.0, 0.2, Rig::record(r.done)); });
         r.runUntilIdle();
         EXPECT_EQ(r.later, kTrue);
         EXPECT_EQ(r.done, kTrue);
         EXPECT_EQ(r.animator->progress(), 1.0);
       }},
      {superseded, HostAction::raise,
       "the later animation's completion is called first; the exception leaves that frame; "
       "the animator is idle and animates again",
       [] {
         Rig r;
         r.startSuperseded([](bool) { throw std::runtime_error("superseded"); });
         EXPECT_THROW(r.runUntilIdle(), std::runtime_error);
         EXPECT_EQ(r.later, kTrue);
         EXPECT_EQ(r.links(), 0u);
         r.expectStillAnimates(1.0);
       }},

      {released, HostAction::release,
       "it may release another running animator, which completes with false too",
       [] {
         Rig r;
         auto second = ProgressAnimator::make(nullptr);
         second->animate(1.0, 0.2, Rig::record(r.later));
         r.start([&](bool) { second.reset(); }, 2);
         r.animator.reset();
         EXPECT_EQ(second, nullptr);
         EXPECT_EQ(r.later, kFalse);
         EXPECT_EQ(r.links(), 0u);
       }},
      {released, HostAction::reenter,
       "its weak reference to the animator is expired; it may start another animator",
       [] {
         Rig r;
         auto successor = ProgressAnimator::make(nullptr);
         bool reached = true;
         r.start(
             [&](bool) {
               reached = r.weak.lock() != nullptr;
               successor->animate(1.0, 0.2, Rig::record(r.later));
             },
             2);
         r.animator.reset();
         EXPECT_FALSE(reached);
         r.runUntilIdle();
         EXPECT_EQ(r.later, kTrue);
       }},
      {released, HostAction::raise,
       "the exception is logged and dropped: releasing returns normally",
       [] {
         Rig r;
         quarn::testing::LogCapture log;
         r.start([](bool) { throw std::runtime_error("released"); }, 2);
         EXPECT_NO_THROW(r.animator.reset());
         EXPECT_EQ(log.count("released"), 1u);
         EXPECT_EQ(r.links(), 0u);
       }},
  };
}

TEST(AnimatorReentrancyTest, EveryCallbackAndAction) {
  testing::runReentrancyTable(animatorRows());
}

// A timeline of one second whose items record their names (an empty one
// records nothing) and then run `then`.
struct Timeline {
  std::vector<std::string> calls;
  std::shared_ptr<AnimationTimeline> timeline = AnimationTimeline::make(1.0);
  std::weak_ptr<AnimationTimeline> weak = timeline;
  void add(double start, std::string name, std::function<void()> then = nullptr) {
    timeline->add(start, 1.0, FillMode::both, [this, name, then](auto&, double, double) {
      if (!name.empty()) calls.push_back(name);
      if (then) then();
    });
  }
};

TEST(AnimationTimelineReentrancyTest, EveryCallbackAndAction) {
  const std::string callback = "item handler";
  testing::runReentrancyTable({
      {callback, HostAction::release, "the pass ends: the items after it are not called",
       [] {
         Timeline t;
         t.add(0.0, "a", [&] { t.timeline.reset(); });
         t.add(0.1, "b");
         t.timeline->perform(0.5);
         EXPECT_EQ(t.calls, std::vector<std::string>{"a"});
         EXPECT_TRUE(t.weak.expired());
       }},
      {callback, HostAction::reenter,
       "an item it adds is called from the next pass; a nested perform() makes a whole pass",
       [] {
         Timeline t;
         int depth = 0;
         t.add(0.0, "", [&] {
           t.calls.push_back("a" + std::to_string(depth));
           if (depth++ > 0) return;
           t.add(0.05, "added");
           t.timeline->perform(0.5);
         });
         t.add(0.1, "b");
         t.timeline->perform(0.5);
         EXPECT_EQ(t.calls, (std::vector<std::string>{"a0", "a1", "added", "b", "b"}));
         EXPECT_EQ(t.timeline->items().size(), 3u);
       }},
      {callback, HostAction::raise,
       "perform() throws, the items after it are not called; the next pass calls them all",
       [] {
         Timeline t;
         bool raise = true;
         t.add(0.0, "a", [&] {
           if (std::exchange(raise, false)) throw std::runtime_error("handler");
         });
         t.add(0.1, "b");
         EXPECT_THROW(t.timeline->perform(0.5), std::runtime_error);
         EXPECT_EQ(t.calls, std::vector<std::string>{"a"});
         t.timeline->perform(0.5);
         EXPECT_EQ(t.calls, (std::vector<std::string>{"a", "a", "b"}));
       }},
  });
}

}  // namespace
}  // namespace quarn
