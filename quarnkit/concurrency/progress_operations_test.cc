#include "quarnkit/concurrency/progress_operations.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "quarnkit/platform/progress_proxy.h"
#include "quarnkit/testing/support.h"

using namespace quarn;
using platform::Progress;
using platform::ProgressProxy;
using quarn::testing::errorOf;

namespace {

Async<std::shared_ptr<Progress>> readCurrent() { co_return currentProgress(); }

// The current progress as a task started from inside the body sees it.
Async<std::shared_ptr<Progress>> readCurrentFromAChildTask() {
  co_return co_await Task<std::shared_ptr<Progress>>::spawn(readCurrent()).value();
}

TEST(CurrentProgressTest, BoundForTheBodyAndWhatItStarts) {
  EXPECT_EQ(currentProgress(), nullptr);
  auto outer = Progress::make(1);
  auto inner = Progress::make(1);
  EXPECT_EQ(runUntilComplete(performAsCurrent(outer, readCurrent())), outer);
  EXPECT_EQ(runUntilComplete(performAsCurrent(outer, readCurrentFromAChildTask())), outer);
  auto nested = [&]() -> Async<std::shared_ptr<Progress>> {
    auto seen = co_await performAsCurrent(inner, readCurrent());
    EXPECT_EQ(seen, inner);
    co_return currentProgress();  // the outer binding again
  };
  EXPECT_EQ(runUntilComplete(performAsCurrent(outer, nested())), outer);
  EXPECT_EQ(currentProgress(), nullptr);
}

TEST(WaitForFractionTest, ReturnsAtOnceWhenFarEnoughUnlessCancelled) {
  struct Case {
    std::int64_t total, completed;
    double target;
    bool cancelled;
    bool fails;
  };
  const Case cases[] = {
      {0, 0, 0.0, false, false},  // indeterminate, but 0 <= 0
      {4, 1, 0.0, false, false}, {4, 1, 0.25, false, false}, {4, 4, 1.0, false, false},
      {0, 0, 0.0, true, true},   {4, 4, 0.5, true, true},  // cancelled wins
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.completed) + "/" + std::to_string(c.total) + " target " +
                 std::to_string(c.target) + (c.cancelled ? " cancelled" : ""));
    auto p = Progress::make(c.total);
    p->setCompletedUnitCount(c.completed);
    if (c.cancelled) p->cancel();
    auto error = errorOf([&] { runUntilComplete(wait(p, c.target)); });
    EXPECT_EQ(error != nullptr, c.fails);
    if (error) {
      EXPECT_TRUE(isCancellation(error));
    }
  }
}

TEST(WaitForFractionTest, ResumedByAChangeOnAnotherThread) {
  auto p = Progress::make(10);
  auto waiting = Task<void>::spawn(mainExecutor(), wait(p, 0.5));
  drainMainContext();
  std::thread worker([p] {
    for (int i = 1; i <= 10; ++i) p->setCompletedUnitCount(i);
  });
  runUntilComplete(waiting.value());
  worker.join();
  EXPECT_GE(p->fractionCompleted(), 0.5);

  // Through a child and a proxy, as a download reports.
  auto parent = Progress::make(1);
  auto base = Progress::make(1);
  parent->addChild(ProgressProxy::make(base), 1);
  auto viaChild = Task<void>::spawn(mainExecutor(), wait(parent, 1.0));
  drainMainContext();
  std::thread finisher([base] { base->setCompletedUnitCount(1); });
  runUntilComplete(viaChild.value());
  finisher.join();
}

TEST(WaitForFractionTest, FailsWhenCancelledWhileWaiting) {
  auto p = Progress::make(10);
  auto waiting = Task<void>::spawn(mainExecutor(), wait(p, 0.5));
  drainMainContext();
  p->setCompletedUnitCount(2);
  EXPECT_FALSE(waiting.isFinished());
  std::thread canceller([p] { p->cancel(); });
  auto error = errorOf([&] { runUntilComplete(waiting.value()); });
  canceller.join();
  ASSERT_TRUE(error);
  EXPECT_TRUE(isCancellation(error));
}

// Waits until `gate` is done, then answers 5.
Async<int> answerWhenOpen(std::shared_ptr<Progress> gate, std::shared_ptr<Progress>* seen) {
  *seen = currentProgress();
  co_await wait(std::move(gate), 1.0);
  co_return 5;
}

TEST(PerformAsCancellableCurrentTest, RunsTheBodyAsCurrentAndReturnsItsValue) {
  auto p = Progress::make(1);
  p->setCancellable(false);
  auto gate = Progress::make(1);
  gate->setCompletedUnitCount(1);
  std::shared_ptr<Progress> seen;
  EXPECT_EQ(runUntilComplete(performAsCancellableCurrent(p, answerWhenOpen(gate, &seen))), 5);
  EXPECT_EQ(seen, p);
  EXPECT_TRUE(p->isCancellable());
  EXPECT_FALSE(p->isCancelled());
}

TEST(PerformAsCancellableCurrentTest, CancellingTheProgressCancelsTheBody) {
  auto p = Progress::make(1);
  auto gate = Progress::make(1);
  std::shared_ptr<Progress> seen;
  auto caller =
      Task<int>::spawn(mainExecutor(), performAsCancellableCurrent(p, answerWhenOpen(gate, &seen)));
  drainMainContext();
  EXPECT_EQ(seen, p);
  p->cancel();
  auto error = errorOf([&] { runUntilComplete(caller.value()); });
  ASSERT_TRUE(error);
  EXPECT_TRUE(isCancellation(error));
  gate->setCompletedUnitCount(1);  // lets the cancelled body end
  drainMainContext();
}

TEST(PerformAsCancellableCurrentTest, CancellingTheCallerCancelsTheProgress) {
  auto p = Progress::make(1);
  auto gate = Progress::make(1);
  std::shared_ptr<Progress> seen;
  auto caller =
      Task<int>::spawn(mainExecutor(), performAsCancellableCurrent(p, answerWhenOpen(gate, &seen)));
  drainMainContext();
  caller.cancel();
  drainMainContext();
  EXPECT_TRUE(p->isCancelled());
  gate->setCompletedUnitCount(1);
  drainMainContext();
}

}  // namespace
