// The frame-driven animator on manual display-link frames: frame counts,
// completions, interruption, the bad durations and targets that used to step
// forever, key-path targets and release while running. What closures may do
// from inside is in reentrancy_test.cc.
#include "quarnkit/animation/animator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

#include "quarnkit/animation/basic_interpolation.h"

namespace quarn {
namespace {

using platform::ManualFrameScheduler;
using platform::ScopedService;

class AnimatorTest : public ::testing::Test {
 protected:
  std::shared_ptr<ManualFrameScheduler> frames = std::make_shared<ManualFrameScheduler>();
  ScopedService<platform::FrameScheduler> installed{frames};
  // Enough frames for any animation here; a hang shows as hitting the bound.
  static constexpr std::size_t kBound = 100000;
};

// The frames the fixed step takes from `from` to `to`, with the same
// floating-point sums the animator does.
std::size_t framesToReach(double from, double to, double duration) {
  const double step = 1 / (duration * 60);
  std::size_t n = 0;
  for (double p = from; from < to ? p < to : p > to; ++n) {
    p = std::clamp(from < to ? p + step : p - step, 0.0, 1.0);
  }
  return n;
}

TEST_F(AnimatorTest, ReachesTheTargetInFixedStepsAndCompletes) {
  std::vector<double> applied;
  auto animator = ProgressAnimator::make([&](double p) { applied.push_back(p); });
  std::vector<bool> completions;
  animator->animate(1.0, 0.2, [&](bool finished) { completions.push_back(finished); });
  EXPECT_TRUE(animator->isAnimating());
  EXPECT_EQ(frames->runUntilIdle(kBound), 12u);
  EXPECT_EQ(completions, std::vector<bool>{true});
  EXPECT_EQ(animator->progress(), 1.0);
  ASSERT_EQ(applied.size(), 13u);  // the last frame applies the target again
  EXPECT_NEAR(applied[0], 1.0 / 12, 1e-12);
  EXPECT_EQ(applied.back(), 1.0);
  EXPECT_FALSE(animator->isAnimating());

  // 0.5 s takes 31 frames, not 30: thirty steps of 1/30 add up to less than 1.
  EXPECT_EQ(framesToReach(0, 1, 0.5), 31u);
  animator->animate(0.0, 0.5);
  EXPECT_EQ(frames->runUntilIdle(kBound), framesToReach(1, 0, 0.5));
  EXPECT_EQ(animator->progress(), 0.0);
}

TEST_F(AnimatorTest, AnimatingAgainInterruptsTheRunningAnimation) {
  auto animator = ProgressAnimator::make(nullptr);
  std::vector<int> calls;
  animator->animate(1.0, 0.2, [&](bool finished) { calls.push_back(finished ? 1 : -1); });
  frames->step(5);
  animator->animate(0.0, 0.2, [&](bool finished) { calls.push_back(finished ? 2 : -2); });
  EXPECT_EQ(calls, std::vector<int>{-1});
  frames->runUntilIdle(kBound);
  EXPECT_EQ(calls, (std::vector<int>{-1, 2}));

  // stopAnimation() reports whether the target was reached.
  animator->animate(1.0, 0.2, [&](bool finished) { calls.push_back(finished ? 3 : -3); });
  frames->step(2);
  animator->stopAnimation();
  EXPECT_EQ(calls.back(), -3);
  EXPECT_EQ(frames->linkCount(), 0u);
  animator->stopAnimation();  // nothing left to call
  EXPECT_EQ(calls.size(), 3u);
}

// Frames until `done` holds, at most kBound.
template <class Done>
std::size_t stepUntil(ManualFrameScheduler& frames, Done&& done, std::size_t bound) {
  std::size_t n = 0;
  while (!done() && n < bound) {
    frames.step();
    ++n;
  }
  return n;
}

TEST_F(AnimatorTest, ARestartFromAnInterruptedCompletionWaitsForTheLaterCall) {
  auto animator = ProgressAnimator::make(nullptr);
  int interruptions = 0;
  int finishes = 0;
  std::function<void(bool)> retry = [&](bool finished) {
    if (finished) {
      ++finishes;
      return;
    }
    ++interruptions;
    animator->animate(1.0, 0.2, retry);
  };
  animator->animate(1.0, 0.2, retry);
  frames->step(3);
  std::vector<bool> later;
  animator->animate(0.0, 0.2, [&](bool finished) { later.push_back(finished); });
  // The later call runs; the restart it superseded has not run or completed.
  EXPECT_EQ(interruptions, 1);
  EXPECT_EQ(animator->targetProgress(), 0.0);
  EXPECT_EQ(frames->linkCount(), 1u);
  stepUntil(
      *frames, [&] { return !later.empty(); }, kBound);
  EXPECT_EQ(later, std::vector<bool>{true});
  EXPECT_EQ(animator->progress(), 0.0);
  // Then the superseded restart completes with false, and restarts.
  EXPECT_EQ(interruptions, 2);
  EXPECT_EQ(animator->targetProgress(), 1.0);
  EXPECT_LT(frames->runUntilIdle(kBound), kBound);
  EXPECT_EQ(finishes, 1);
  EXPECT_EQ(animator->progress(), 1.0);
}

TEST_F(AnimatorTest, TwoCompletionsThatAlwaysRestartStillEnd) {
  auto animator = ProgressAnimator::make(nullptr);
  int calls = 0;
  std::function<void(bool)> up;
  std::function<void(bool)> down;
  up = [&](bool finished) {
    ++calls;
    if (!finished) animator->animate(1.0, 0.1, up);
  };
  down = [&](bool finished) {
    ++calls;
    if (!finished) animator->animate(0.0, 0.1, down);
  };
  animator->animate(1.0, 0.1, up);
  frames->step(2);
  animator->animate(0.0, 0.1, down);
  frames->step(1);
  animator->animate(1.0, 0.1, up);
  EXPECT_LT(frames->runUntilIdle(kBound), 100u);
  EXPECT_FALSE(animator->isAnimating());
  EXPECT_LT(calls, 20);
}

TEST_F(AnimatorTest, AnInterruptedCompletionThatThrowsLeavesTheAnimatorWorking) {
  std::vector<double> applied;
  auto animator = ProgressAnimator::make([&](double p) { applied.push_back(p); });
  animator->animate(1.0, 0.2, [](bool) { throw std::runtime_error("interrupted"); });
  frames->step(3);
  std::vector<bool> second;
  EXPECT_THROW(animator->animate(0.0, 0.2, [&](bool finished) { second.push_back(finished); }),
               std::runtime_error);
  // A jump still jumps and completes, and interrupts the animation started above.
  std::vector<bool> jump;
  animator->animate(1.0, 0.0, [&](bool finished) { jump.push_back(finished); });
  EXPECT_EQ(animator->progress(), 1.0);
  EXPECT_EQ(applied.back(), 1.0);
  EXPECT_EQ(jump, std::vector<bool>{true});
  EXPECT_EQ(second, std::vector<bool>{false});
  // And frames still run to the target.
  std::vector<bool> third;
  animator->animate(0.0, 0.2, [&](bool finished) { third.push_back(finished); });
  EXPECT_EQ(frames->runUntilIdle(kBound), 12u);
  EXPECT_EQ(animator->progress(), 0.0);
  EXPECT_EQ(third, std::vector<bool>{true});
}

TEST_F(AnimatorTest, BadDurationsAndTargetsNeverStepForever) {
  std::vector<double> applied;
  auto animator = ProgressAnimator::make([&](double p) { applied.push_back(p); });
  struct Case {
    double target, duration, end;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {1.0, 0.0, 1.0},    {0.0, -1.0, 0.0},  {1.0, nan, 1.0},
      {0.0, inf, 0.0},    {1.0, 1e308, 1.0},  // the step is 0
      {0.0, 1e-320, 0.0},                     // the step is infinite
  };
  for (const auto& c : cases) {
    int completions = 0;
    animator->animate(c.target, c.duration, [&](bool finished) {
      EXPECT_TRUE(finished);
      ++completions;
    });
    EXPECT_EQ(frames->runUntilIdle(kBound), 0u) << c.duration;
    EXPECT_EQ(completions, 1) << c.duration;
    EXPECT_EQ(animator->progress(), c.end) << c.duration;
  }
  // Targets beyond 0...1 are clamped, so the animation ends there.
  animator->animate(1.5, 0.2);
  EXPECT_EQ(frames->runUntilIdle(kBound), 12u);
  EXPECT_EQ(animator->targetProgress(), 1.0);
  EXPECT_EQ(animator->progress(), 1.0);
  animator->setProgress(0.5);
  animator->animate(nan, 0.2);  // not a number: stays where it is
  EXPECT_LT(frames->runUntilIdle(kBound), 3u);
  EXPECT_EQ(animator->progress(), 0.5);
  // A step below the rounding of the progress ends too.
  animator->setProgress(0.75);
  animator->animate(1.0, 1e15);
  EXPECT_EQ(frames->runUntilIdle(kBound), 1u);
  EXPECT_EQ(animator->progress(), 1.0);
}

TEST_F(AnimatorTest, SettingProgressClampsAndApplies) {
  std::vector<double> applied;
  auto animator = ProgressAnimator::make([&](double p) { applied.push_back(p); });
  animator->setProgress(2);
  animator->setProgress(-1);
  animator->setProgress(std::nan(""));
  EXPECT_EQ(applied, (std::vector<double>{1, 0, 0}));
}

TEST_F(AnimatorTest, InvalidateDetachesTheClosures) {
  int applied = 0;
  int completions = 0;
  auto animator = ProgressAnimator::make([&](double) { ++applied; });
  animator->animate(1.0, 0.2, [&](bool) { ++completions; });
  frames->step();
  animator->invalidate();
  frames->runUntilIdle(kBound);
  EXPECT_EQ(applied, 1);
  EXPECT_EQ(completions, 0);
  EXPECT_EQ(animator->progress(), 1.0);
}

TEST_F(AnimatorTest, ReleasedWhileRunningStopsItsFramesAndCompletes) {
  auto animator = ProgressAnimator::make(nullptr);
  std::vector<bool> completions;
  animator->animate(1.0, 1.0, [&](bool finished) { completions.push_back(finished); });
  frames->step(2);
  EXPECT_EQ(frames->linkCount(), 1u);
  animator.reset();
  EXPECT_EQ(frames->linkCount(), 0u);
  EXPECT_EQ(completions, std::vector<bool>{false});
}

struct Badge {
  double scale = 1;
};

TEST_F(AnimatorTest, TypedAnimatorsInterpolateIntoAClosureOrAMember) {
  std::vector<double> values;
  auto animator = Animator<double>::make({0, 10, 30}, BasicInterpolation::linear,
                                         [&](double v) { values.push_back(v); });
  animator->setProgress(0.75);
  EXPECT_EQ(values.back(), 20);
  EXPECT_EQ(animator->interpolator()->count(), 3u);

  auto badge = std::make_shared<Badge>();
  auto grow = Animator<double>::make(1.0, 2.0, badge, &Badge::scale, BasicInterpolation::easeIn);
  grow->animate(1.0, 0.2);
  frames->step(6);
  EXPECT_NEAR(badge->scale, 1 + std::pow(grow->progress(), 3), 1e-12);
  frames->runUntilIdle(kBound);
  EXPECT_EQ(badge->scale, 2.0);
  badge.reset();  // held weakly: a released root is left alone
  grow->setProgress(0);
}

}  // namespace
}  // namespace quarn
