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

constexpr std::size_t kBound = 10000;

// The manual frame scheduler, installed while it lives.
struct Frames {
  std::shared_ptr<ManualFrameScheduler> scheduler = std::make_shared<ManualFrameScheduler>();
  ScopedService<platform::FrameScheduler> installed{scheduler};
  void step(std::size_t n = 1) { scheduler->step(n); }
  std::size_t runUntilIdle() { return scheduler->runUntilIdle(kBound); }
  [[nodiscard]] std::size_t links() const { return scheduler->linkCount(); }
};

// Records the finished flags a completion is called with.
struct Completions {
  std::vector<bool> calls;
  ProgressAnimator::Completion record() {
    return [this](bool finished) { calls.push_back(finished); };
  }
};

// Checks that an animator still animates to `target` and completes with true.
void expectStillAnimates(Frames& frames, ProgressAnimator& animator, double target) {
  Completions done;
  animator.animate(target, 0.2, done.record());
  EXPECT_GT(frames.runUntilIdle(), 0u);
  EXPECT_EQ(animator.progress(), target);
  EXPECT_EQ(done.calls, std::vector<bool>{true});
}

std::vector<testing::ReentrancyRow> frameApplyRows() {
  const std::string callback = "applyProgress in a frame";
  return {
      {callback, HostAction::release,
       "the frame ends, the animation completes once with false and no frame is left",
       [] {
         Frames frames;
         Completions done;
         int applied = 0;
         std::shared_ptr<Animator<double>> animator;
         animator = Animator<double>::make(10.0, 20.0, BasicInterpolation::linear, [&](double) {
           if (++applied == 3) animator.reset();
         });
         animator->animate(1.0, 0.2, done.record());
         frames.step(5);
         EXPECT_EQ(animator, nullptr);
         EXPECT_EQ(applied, 3);
         EXPECT_EQ(done.calls, std::vector<bool>{false});
         EXPECT_EQ(frames.links(), 0u);
       }},
      {callback, HostAction::reenter,
       "animating again completes the running animation with false; the new one runs to its "
       "target and completes with true",
       [] {
         Frames frames;
         Completions first;
         Completions second;
         int applied = 0;
         auto animator = ProgressAnimator::make(nullptr);
         animator->applyProgress = [&](double) {
           if (++applied == 3) animator->animate(0.0, 0.2, second.record());
         };
         animator->animate(1.0, 0.2, first.record());
         frames.runUntilIdle();
         EXPECT_EQ(first.calls, std::vector<bool>{false});
         EXPECT_EQ(second.calls, std::vector<bool>{true});
         EXPECT_EQ(animator->progress(), 0.0);
       }},
      {callback, HostAction::reenter,
       "stopAnimation() completes with false at once; no frame is left",
       [] {
         Frames frames;
         Completions done;
         std::shared_ptr<Animator<double>> animator;
         std::vector<double> values;
         animator = Animator<double>::make(10.0, 20.0, BasicInterpolation::linear, [&](double v) {
           values.push_back(v);
           if (v >= 12) animator->stopAnimation();
         });
         animator->animate(1.0, 0.2, done.record());
         EXPECT_EQ(frames.runUntilIdle(), 3u);
         EXPECT_EQ(done.calls, std::vector<bool>{false});
         EXPECT_EQ(values.size(), 3u);
       }},
      {callback, HostAction::reenter,
       "setProgress() while the target is applied: the animation goes on from there and "
       "completes with true later",
       [] {
         Frames frames;
         Completions done;
         bool moved = false;
         auto animator = ProgressAnimator::make(nullptr);
         animator->applyProgress = [&](double p) {
           if (p == 1.0 && !std::exchange(moved, true)) animator->setProgress(0.5);
         };
         animator->animate(1.0, 0.2, done.record());
         EXPECT_GT(frames.runUntilIdle(), 12u);
         EXPECT_EQ(done.calls, std::vector<bool>{true});
         EXPECT_EQ(animator->progress(), 1.0);
       }},
      {callback, HostAction::raise,
       "the exception leaves that frame only; the animation goes on and completes with true",
       [] {
         Frames frames;
         Completions done;
         int applied = 0;
         auto animator = ProgressAnimator::make([&](double) {
           if (++applied == 3) throw std::runtime_error("apply");
         });
         animator->animate(1.0, 0.2, done.record());
         frames.step(2);
         EXPECT_THROW(frames.step(), std::runtime_error);
         EXPECT_TRUE(done.calls.empty());
         frames.runUntilIdle();
         EXPECT_EQ(done.calls, std::vector<bool>{true});
         EXPECT_EQ(animator->progress(), 1.0);
       }},
      {callback, HostAction::raise,
       "thrown when applying the target: the animation completes with true before the "
       "exception leaves the frame",
       [] {
         Frames frames;
         Completions done;
         auto animator = ProgressAnimator::make([&](double p) {
           if (p == 1.0) throw std::runtime_error("apply");
         });
         animator->animate(1.0, 0.2, done.record());
         frames.step(11);
         EXPECT_THROW(frames.step(), std::runtime_error);
         EXPECT_EQ(done.calls, std::vector<bool>{true});
         EXPECT_EQ(frames.links(), 0u);
         expectStillAnimates(frames, *animator, 0.0);
       }},
  };
}

std::vector<testing::ReentrancyRow> jumpApplyRows() {
  const std::string callback = "applyProgress of a jump (zero duration)";
  return {
      {callback, HostAction::release,
       "the jump completes with true; the animator goes when animate() returns",
       [] {
         Frames frames;
         Completions done;
         auto animator = ProgressAnimator::make(nullptr);
         std::weak_ptr<ProgressAnimator> weak = animator;
         animator->applyProgress = [&](double) { animator.reset(); };
         animator->animate(1.0, 0.0, done.record());
         EXPECT_EQ(done.calls, std::vector<bool>{true});
         EXPECT_TRUE(weak.expired());
         EXPECT_EQ(frames.links(), 0u);
       }},
      {callback, HostAction::reenter,
       "animating again completes the jump with false; the new animation runs to its target "
       "and completes with true",
       [] {
         Frames frames;
         Completions jump;
         Completions next;
         bool again = true;
         auto animator = ProgressAnimator::make(nullptr);
         animator->applyProgress = [&](double) {
           if (std::exchange(again, false)) animator->animate(0.0, 0.2, next.record());
         };
         animator->animate(1.0, 0.0, jump.record());
         EXPECT_EQ(jump.calls, std::vector<bool>{false});
         EXPECT_TRUE(next.calls.empty());
         EXPECT_GE(frames.runUntilIdle(), 12u);
         EXPECT_EQ(next.calls, std::vector<bool>{true});
         EXPECT_EQ(animator->progress(), 0.0);
       }},
      {callback, HostAction::reenter,
       "setProgress() away from the target: the jump completes with false, where it was moved",
       [] {
         Frames frames;
         Completions jump;
         auto animator = ProgressAnimator::make(nullptr);
         animator->applyProgress = [&](double p) {
           if (p == 1.0) animator->setProgress(0.25);
         };
         animator->animate(1.0, 0.0, jump.record());
         EXPECT_EQ(jump.calls, std::vector<bool>{false});
         EXPECT_EQ(animator->progress(), 0.25);
         EXPECT_EQ(frames.links(), 0u);
       }},
      {callback, HostAction::raise,
       "animate() throws after the jump reached its target and completed with true",
       [] {
         Frames frames;
         Completions done;
         bool raise = true;
         auto animator = ProgressAnimator::make([&](double) {
           if (std::exchange(raise, false)) throw std::runtime_error("apply");
         });
         EXPECT_THROW(animator->animate(1.0, 0.0, done.record()), std::runtime_error);
         EXPECT_EQ(done.calls, std::vector<bool>{true});
         EXPECT_EQ(animator->progress(), 1.0);
         expectStillAnimates(frames, *animator, 0.0);
       }},
  };
}

std::vector<testing::ReentrancyRow> finishedCompletionRows() {
  const std::string callback = "completion of an animation that reached its target";
  return {
      {callback, HostAction::release, "the animator goes after the call; nothing else is called",
       [] {
         Frames frames;
         int applied = 0;
         auto animator = ProgressAnimator::make([&](double) { ++applied; });
         std::weak_ptr<ProgressAnimator> weak = animator;
         animator->animate(1.0, 0.2, [&](bool) { animator.reset(); });
         EXPECT_EQ(frames.runUntilIdle(), 12u);
         EXPECT_TRUE(weak.expired());
         EXPECT_EQ(applied, 13);
       }},
      {callback, HostAction::reenter, "the animation it starts runs and completes with true",
       [] {
         Frames frames;
         Completions back;
         auto animator = ProgressAnimator::make(nullptr);
         animator->animate(1.0, 0.2, [&](bool) { animator->animate(0.0, 0.2, back.record()); });
         EXPECT_GE(frames.runUntilIdle(), 24u);
         EXPECT_EQ(back.calls, std::vector<bool>{true});
         EXPECT_EQ(animator->progress(), 0.0);
       }},
      {callback, HostAction::raise,
       "the exception leaves the frame; the animator is idle and animates again",
       [] {
         Frames frames;
         auto animator = ProgressAnimator::make(nullptr);
         animator->animate(1.0, 0.2, [](bool) { throw std::runtime_error("done"); });
         frames.step(11);
         EXPECT_THROW(frames.step(), std::runtime_error);
         EXPECT_FALSE(animator->isAnimating());
         EXPECT_EQ(frames.links(), 0u);
         expectStillAnimates(frames, *animator, 0.0);
       }},
  };
}

std::vector<testing::ReentrancyRow> interruptedCompletionRows() {
  const std::string callback = "completion interrupted by animate()";
  return {
      {callback, HostAction::release,
       "the new animation starts, and completes with false as the animator goes when "
       "animate() returns",
       [] {
         Frames frames;
         Completions next;
         auto animator = ProgressAnimator::make(nullptr);
         animator->animate(1.0, 0.2, [&](bool) { animator.reset(); });
         frames.step(3);
         ProgressAnimator* raw = animator.get();
         raw->animate(0.0, 0.2, next.record());
         EXPECT_EQ(animator, nullptr);
         EXPECT_EQ(next.calls, std::vector<bool>{false});
         EXPECT_EQ(frames.links(), 0u);
       }},
      {callback, HostAction::reenter,
       "an animate() from it is superseded: the later call runs and completes first, then "
       "the superseded one completes with false without running",
       [] {
         Frames frames;
         std::vector<std::string> order;
         auto animator = ProgressAnimator::make(nullptr);
         animator->animate(1.0, 0.2, [&](bool finished) {
           order.push_back(finished ? "first:true" : "first:false");
           animator->animate(
               1.0, 0.2, [&](bool f) { order.push_back(f ? "restart:true" : "restart:false"); });
         });
         frames.step(3);
         animator->animate(0.0, 0.2,
                           [&](bool f) { order.push_back(f ? "later:true" : "later:false"); });
         EXPECT_EQ(animator->targetProgress(), 0.0);
         frames.runUntilIdle();
         EXPECT_EQ(order, (std::vector<std::string>{"first:false", "later:true", "restart:false"}));
         EXPECT_EQ(animator->progress(), 0.0);
       }},
      {callback, HostAction::reenter,
       "stopAnimation() from it has nothing to stop; the later call runs to its target",
       [] {
         Frames frames;
         Completions later;
         auto animator = ProgressAnimator::make(nullptr);
         animator->animate(1.0, 0.2, [&](bool) { animator->stopAnimation(); });
         frames.step(3);
         animator->animate(0.0, 0.2, later.record());
         frames.runUntilIdle();
         EXPECT_EQ(later.calls, std::vector<bool>{true});
         EXPECT_EQ(animator->progress(), 0.0);
       }},
      {callback, HostAction::raise,
       "animate() throws once, after starting the new animation, which runs and completes "
       "with true; later calls work",
       [] {
         Frames frames;
         Completions next;
         auto animator = ProgressAnimator::make(nullptr);
         animator->animate(1.0, 0.2, [](bool) { throw std::runtime_error("interrupted"); });
         frames.step(3);
         EXPECT_THROW(animator->animate(0.0, 0.2, next.record()), std::runtime_error);
         EXPECT_TRUE(animator->isAnimating());
         frames.runUntilIdle();
         EXPECT_EQ(next.calls, std::vector<bool>{true});
         expectStillAnimates(frames, *animator, 1.0);
       }},
  };
}

std::vector<testing::ReentrancyRow> stoppedCompletionRows() {
  const std::string callback = "completion stopped by stopAnimation()";
  return {
      {callback, HostAction::release, "stopAnimation() returns; no frame is left",
       [] {
         Frames frames;
         auto animator = ProgressAnimator::make(nullptr);
         std::weak_ptr<ProgressAnimator> weak = animator;
         animator->animate(1.0, 0.2, [&](bool) { animator.reset(); });
         frames.step(3);
         animator->stopAnimation();
         EXPECT_TRUE(weak.expired());
         EXPECT_EQ(frames.links(), 0u);
       }},
      {callback, HostAction::reenter, "the animation it starts runs and completes with true",
       [] {
         Frames frames;
         Completions back;
         auto animator = ProgressAnimator::make(nullptr);
         animator->animate(1.0, 0.2, [&](bool finished) {
           EXPECT_FALSE(finished);
           animator->animate(0.0, 0.2, back.record());
         });
         frames.step(3);
         animator->stopAnimation();
         EXPECT_TRUE(animator->isAnimating());
         frames.runUntilIdle();
         EXPECT_EQ(back.calls, std::vector<bool>{true});
       }},
      {callback, HostAction::raise,
       "stopAnimation() throws; the animator is idle and animates again",
       [] {
         Frames frames;
         auto animator = ProgressAnimator::make(nullptr);
         animator->animate(1.0, 0.2, [](bool) { throw std::runtime_error("stopped"); });
         frames.step(3);
         EXPECT_THROW(animator->stopAnimation(), std::runtime_error);
         EXPECT_FALSE(animator->isAnimating());
         animator->stopAnimation();  // nothing left to call
         expectStillAnimates(frames, *animator, 1.0);
       }},
  };
}

// Starts an animation whose completion is superseded: `interrupted` runs,
// and is interrupted by a later call whose completion records into `later`.
void startSuperseded(Frames& frames, const std::shared_ptr<ProgressAnimator>& animator,
                     ProgressAnimator::Completion superseded, Completions& later) {
  animator->animate(1.0, 0.2, [animator = animator.get(), superseded](bool) {
    animator->animate(1.0, 0.2, superseded);
  });
  frames.step(3);
  animator->animate(0.0, 0.2, later.record());
}

std::vector<testing::ReentrancyRow> supersededCompletionRows() {
  const std::string callback = "completion of a superseded animate()";
  return {
      {callback, HostAction::release,
       "called with false when the later animation ends; the animator goes after the call",
       [] {
         Frames frames;
         Completions later;
         auto animator = ProgressAnimator::make(nullptr);
         std::weak_ptr<ProgressAnimator> weak = animator;
         std::vector<bool> superseded;
         startSuperseded(
             frames, animator,
             [&](bool finished) {
               superseded.push_back(finished);
               animator.reset();
             },
             later);
         frames.runUntilIdle();
         EXPECT_EQ(later.calls, std::vector<bool>{true});
         EXPECT_EQ(superseded, std::vector<bool>{false});
         EXPECT_TRUE(weak.expired());
       }},
      {callback, HostAction::reenter,
       "an animation it starts runs after the later one: the restart reaches its target",
       [] {
         Frames frames;
         Completions later;
         Completions restart;
         auto animator = ProgressAnimator::make(nullptr);
         startSuperseded(
             frames, animator, [&](bool) { animator->animate(1.0, 0.2, restart.record()); }, later);
         frames.runUntilIdle();
         EXPECT_EQ(later.calls, std::vector<bool>{true});
         EXPECT_EQ(restart.calls, std::vector<bool>{true});
         EXPECT_EQ(animator->progress(), 1.0);
       }},
      {callback, HostAction::raise,
       "the later animation's completion is called first; the exception leaves that frame; "
       "the animator is idle and animates again",
       [] {
         Frames frames;
         Completions later;
         auto animator = ProgressAnimator::make(nullptr);
         startSuperseded(
             frames, animator, [](bool) { throw std::runtime_error("superseded"); }, later);
         EXPECT_THROW(frames.runUntilIdle(), std::runtime_error);
         EXPECT_EQ(later.calls, std::vector<bool>{true});
         EXPECT_EQ(frames.links(), 0u);
         expectStillAnimates(frames, *animator, 1.0);
       }},
  };
}

std::vector<testing::ReentrancyRow> releasedCompletionRows() {
  const std::string callback = "completion called as the animator is released";
  return {
      {callback, HostAction::release,
       "it may release another running animator, which completes with false too",
       [] {
         Frames frames;
         Completions other;
         auto second = ProgressAnimator::make(nullptr);
         second->animate(1.0, 0.2, other.record());
         auto first = ProgressAnimator::make(nullptr);
         first->animate(1.0, 0.2, [&](bool) { second.reset(); });
         frames.step(2);
         first.reset();
         EXPECT_EQ(second, nullptr);
         EXPECT_EQ(other.calls, std::vector<bool>{false});
         EXPECT_EQ(frames.links(), 0u);
       }},
      {callback, HostAction::reenter,
       "its weak reference to the animator is expired; it may start another animator",
       [] {
         Frames frames;
         Completions next;
         auto animator = ProgressAnimator::make(nullptr);
         auto successor = ProgressAnimator::make(nullptr);
         std::weak_ptr<ProgressAnimator> weak = animator;
         bool reached = true;
         animator->animate(1.0, 0.2, [&](bool) {
           reached = weak.lock() != nullptr;
           successor->animate(1.0, 0.2, next.record());
         });
         frames.step(2);
         animator.reset();
         EXPECT_FALSE(reached);
         frames.runUntilIdle();
         EXPECT_EQ(next.calls, std::vector<bool>{true});
       }},
      {callback, HostAction::raise,
       "the exception is logged and dropped: releasing returns normally",
       [] {
         Frames frames;
         quarn::testing::LogCapture log;
         auto animator = ProgressAnimator::make(nullptr);
         animator->animate(1.0, 0.2, [](bool) { throw std::runtime_error("released"); });
         frames.step(2);
         EXPECT_NO_THROW(animator.reset());
         EXPECT_EQ(log.count("released"), 1u);
         EXPECT_EQ(frames.links(), 0u);
       }},
  };
}

TEST(AnimatorReentrancyTest, EveryCallbackAndAction) {
  std::vector<testing::ReentrancyRow> rows;
  for (auto part :
       {frameApplyRows, jumpApplyRows, finishedCompletionRows, interruptedCompletionRows,
        stoppedCompletionRows, supersededCompletionRows, releasedCompletionRows}) {
    auto more = part();
    rows.insert(rows.end(), more.begin(), more.end());
  }
  testing::runReentrancyTable(rows);
}

TEST(AnimationTimelineReentrancyTest, EveryCallbackAndAction) {
  const std::string callback = "item handler";
  testing::runReentrancyTable({
      {callback, HostAction::release, "the pass ends: the items after it are not called",
       [] {
         std::vector<std::string> calls;
         auto timeline = AnimationTimeline::make(1.0);
         std::weak_ptr<AnimationTimeline> weak = timeline;
         timeline->add(0.0, 1.0, FillMode::both, [&](auto&, double, double) {
           calls.push_back("a");
           timeline.reset();
         });
         timeline->add(0.1, 1.0, FillMode::both,
                       [&](auto&, double, double) { calls.push_back("b"); });
         timeline->perform(0.5);
         EXPECT_EQ(calls, std::vector<std::string>{"a"});
         EXPECT_TRUE(weak.expired());
       }},
      {callback, HostAction::reenter,
       "an item it adds is called from the next pass; a nested perform() makes a whole pass",
       [] {
         std::vector<std::string> calls;
         auto timeline = AnimationTimeline::make(1.0);
         int depth = 0;
         timeline->add(0.0, 1.0, FillMode::both, [&](auto&, double, double) {
           calls.push_back("a" + std::to_string(depth));
           if (depth++ > 0) return;
           timeline->add(0.05, 1.0, FillMode::both,
                         [&](auto&, double, double) { calls.push_back("added"); });
           timeline->perform(0.5);
         });
         timeline->add(0.1, 1.0, FillMode::both,
                       [&](auto&, double, double) { calls.push_back("b"); });
         timeline->perform(0.5);
         EXPECT_EQ(calls, (std::vector<std::string>{"a0", "a1", "added", "b", "b"}));
         EXPECT_EQ(timeline->items().size(), 3u);
       }},
      {callback, HostAction::raise,
       "perform() throws, the items after it are not called; the next pass calls them all",
       [] {
         std::vector<std::string> calls;
         auto timeline = AnimationTimeline::make(1.0);
         bool raise = true;
         timeline->add(0.0, 1.0, FillMode::both, [&](auto&, double, double) {
           calls.push_back("a");
           if (std::exchange(raise, false)) throw std::runtime_error("handler");
         });
         timeline->add(0.1, 1.0, FillMode::both,
                       [&](auto&, double, double) { calls.push_back("b"); });
         EXPECT_THROW(timeline->perform(0.5), std::runtime_error);
         EXPECT_EQ(calls, std::vector<std::string>{"a"});
         timeline->perform(0.5);
         EXPECT_EQ(calls, (std::vector<std::string>{"a", "a", "b"}));
       }},
  });
}

}  // namespace
}  // namespace quarn
