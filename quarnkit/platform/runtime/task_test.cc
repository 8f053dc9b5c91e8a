#include "quarnkit/platform/runtime/task.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/runtime/continuation.h"
#include "quarnkit/platform/runtime/task_local.h"
#include "quarnkit/testing/support.h"

using namespace quarn;
using namespace std::chrono_literals;

namespace {

using quarn::testing::errorOf;

Async<int> answer() { co_return 42; }
Async<int> failing() {
  throw std::runtime_error("boom");
  co_return 0;
}

// Sleeps for real on the caller's executor; records when it saw cancellation.
Async<int> sleepy(std::atomic<bool>& sawCancellation, std::chrono::milliseconds afterCancel = 0ms) {
  try {
    co_await platform::MainContextTimerScheduler().sleep(10s);
  } catch (...) {
    if (isCancellation(std::current_exception())) {
      std::this_thread::sleep_for(afterCancel);
      sawCancellation = true;
    }
    throw;
  }
  co_return 1;
}

}  // namespace

TEST(TaskTest, ValueErrorAndManyAwaiters) {
  EXPECT_EQ(runUntilComplete([]() -> Async<int> {
              auto t = Task<int>::spawn(answer());
              int a = co_await t.value();
              int b = co_await t.value();  // after it ended
              co_return a + b;
            }()),
            84);
  EXPECT_THROW(runUntilComplete([]() -> Async<int> {
                 co_return co_await Task<int>::spawn(failing()).value();
               }()),
               std::runtime_error);
}

TEST(TaskTest, CancelEndsAwaitersAndCancelsTheBody) {
  std::atomic<bool> saw{false};
  auto error = errorOf([&] {
    runUntilComplete([&]() -> Async<void> {
      auto t = Task<int>::spawn(sleepy(saw));
      EXPECT_FALSE(t.isFinished());
      Task<void>::spawn(mainExecutor(), [](Task<int> task) -> Async<void> {
        task.cancel();
        co_return;
      }(t));
      co_await t.value();
    }());
  });
  EXPECT_TRUE(isCancellation(error));
  EXPECT_TRUE(runMainContextUntil([&] { return saw.load(); }));
}

namespace {

// Holds a body at one point until the test opens it. The body does not react
// to cancellation while it waits there.
class Gate {
 public:
  Async<void> pass() {
    std::function<void(CheckedContinuation<void>)> park = [this](CheckedContinuation<void> c) {
      continuation_.emplace(std::move(c));
    };
    co_await withCheckedThrowingContinuation<void>("gate", std::move(park));
  }
  void open() { continuation_->resume(); }

 private:
  std::optional<CheckedContinuation<void>> continuation_;
};

Async<int> afterGate(Gate& gate, int value) {
  co_await gate.pass();
  co_return value;
}

// Awaits `task`: its value, or -1 when the await ended with the cancellation
// error. Also written to `out` when given.
Async<int> outcomeOf(Task<int> task, std::atomic<int>* out = nullptr) {
  int outcome = -1;
  try {
    outcome = co_await task.value();
  } catch (...) {
    if (!isCancellation(std::current_exception())) throw;
  }
  if (out) *out = outcome;
  co_return outcome;
}

Async<int> answerAfterAHop(Executor executor) { co_return co_await runOn(executor, answer()); }

// `pairs` awaiters of `task` on each context, once they are all parked.
std::vector<Task<int>> parkedAwaiters(const Task<int>& task, int pairs) {
  std::vector<Task<int>> awaiters;
  for (int i = 0; i < pairs; ++i) {
    awaiters.push_back(Task<int>::spawn(mainExecutor(), outcomeOf(task)));
    awaiters.push_back(Task<int>::spawn(concurrentExecutor(), outcomeOf(task)));
  }
  drainMainContext();
  std::this_thread::sleep_for(20ms);  // lets the pool's awaiters park too
  return awaiters;
}

}  // namespace

// Cancelling such a task once it has ended changes nothing.
TEST(TaskTest, ABodyThatNeverSuspendsHasEndedWhenSpawnReturns) {
  runUntilComplete([]() -> Async<void> {
    auto t = Task<int>::spawn(mainExecutor(), answer());
    EXPECT_TRUE(t.isFinished());
    EXPECT_EQ(co_await t.value(), 42);
    t.cancel();
    EXPECT_FALSE(t.isCancelled());
    EXPECT_EQ(co_await t.value(), 42);
    auto f = Task<int>::spawn(mainExecutor(), failing());
    EXPECT_TRUE(f.isFinished());
    EXPECT_FALSE(f.isCancelled());
    bool threw = false;
    try {
      co_await f.value();
    } catch (const std::runtime_error&) {
      threw = true;
    }
    EXPECT_TRUE(threw);
  }());
}

TEST(TaskTest, AwaitersParkedOnEitherContextAllGetTheValue) {
  Gate gate;
  auto task = Task<int>::spawn(mainExecutor(), afterGate(gate, 7));
  auto awaiters = parkedAwaiters(task, 3);
  EXPECT_FALSE(task.isFinished());
  gate.open();
  for (auto& awaiter : awaiters) EXPECT_EQ(runUntilComplete(awaiter.value()), 7);
  EXPECT_TRUE(task.isFinished());
}

TEST(TaskTest, CancelEndsParkedAwaitersAtOnceAndTheBodyAtItsNextSuspension) {
  Gate gate;
  std::atomic<bool> bodySawCancellation{false};
  auto body = [](Gate& g, std::atomic<bool>& saw) -> Async<int> {
    co_await g.pass();
    try {
      co_await platform::MainContextTimerScheduler().sleep(10s);
    } catch (...) {
      saw = isCancellation(std::current_exception());
      throw;
    }
    co_return 1;
  };
  auto task = Task<int>::spawn(mainExecutor(), body(gate, bodySawCancellation));
  auto awaiters = parkedAwaiters(task, 2);
  task.cancel();
  EXPECT_TRUE(task.isCancelled());
  EXPECT_TRUE(task.isFinished());
  // Every awaiter has its answer while the body still waits at the gate.
  for (auto& awaiter : awaiters) EXPECT_EQ(runUntilComplete(awaiter.value()), -1);
  EXPECT_FALSE(bodySawCancellation);

  gate.open();
  EXPECT_TRUE(runMainContextUntil([&] { return bodySawCancellation.load(); }));
  EXPECT_EQ(runUntilComplete(outcomeOf(task)), -1);
}

TEST(TaskTest, AnAwaiterCancelledWhileParkedLeavesTheTaskAndTheOtherAwaitersAlone) {
  Gate gate;
  auto task = Task<int>::spawn(mainExecutor(), afterGate(gate, 7));
  std::atomic<int> first{0}, second{0};
  auto a = Task<int>::spawn(mainExecutor(), outcomeOf(task, &first));
  auto b = Task<int>::spawn(mainExecutor(), outcomeOf(task, &second));
  drainMainContext();
  a.cancel();
  drainMainContext();
  EXPECT_EQ(first, -1);  // its await ended with the cancellation error
  EXPECT_EQ(second, 0);  // still waiting
  EXPECT_FALSE(task.isFinished());

  gate.open();
  EXPECT_EQ(runUntilComplete(b.value()), 7);
  EXPECT_EQ(first, -1);  // resumed once only
  EXPECT_EQ(runUntilComplete(task.value()), 7);
}

TEST(TaskTest, CancelRacingTheEndGivesEveryAwaiterOneConsistentOutcome) {
  for (int round = 0; round < 200; ++round) {
    // Even rounds hop through the main context, which does not run until the
    // test awaits, so cancel() comes first and meets the body mid-hop; odd
    // rounds hop between pool strands and race cancel().
    const bool viaMain = round % 2 == 0;
    auto task = Task<int>::spawn(answerAfterAHop(viaMain ? mainExecutor() : concurrentExecutor()));
    auto awaiter = Task<int>::spawn(outcomeOf(task));
    for (int yield = 0; yield < round % 16; ++yield) std::this_thread::yield();  // vary the timing
    task.cancel();
    const int seen = runUntilComplete(awaiter.value());
    if (viaMain) {
      EXPECT_EQ(seen, -1) << "round " << round;
    }
    EXPECT_TRUE(seen == 42 || seen == -1) << seen;
    EXPECT_EQ(seen == -1, task.isCancelled()) << "round " << round;
    EXPECT_EQ(runUntilComplete(outcomeOf(task)), seen);
  }
}

namespace {

// Counts how often it was copied.
struct Counted {
  explicit Counted(std::shared_ptr<int> copies_) : copies(std::move(copies_)) {}
  Counted(const Counted& other) : copies(other.copies) { ++*copies; }
  Counted(Counted&&) = default;
  Counted& operator=(const Counted&) = delete;
  Counted& operator=(Counted&&) = default;
  std::shared_ptr<int> copies;
};

Async<Counted> counted(Gate& gate, std::shared_ptr<int> copies) {
  co_await gate.pass();
  co_return Counted(std::move(copies));
}

}  // namespace

TEST(TaskTest, CheckingForCancellationPassesInATaskThatGoesOn) {
  auto task = Task<int>::spawn(mainExecutor(), []() -> Async<int> {
    co_await checkCancellation();
    co_return co_await isCancelled() ? 1 : 0;
  }());
  EXPECT_EQ(runUntilComplete(task.value()), 0);
}

TEST(TaskTest, TakeMovesTheValueOutOnlyWhenNoOtherHandleIsLeft) {
  const auto copies = std::make_shared<int>(0);
  Gate gate;
  auto alone = Task<Counted>::spawn(mainExecutor(), counted(gate, copies));
  auto taken = Task<Counted>::spawn(mainExecutor(), [](Task<Counted> task) -> Async<Counted> {
    co_await task.wait();
    co_return co_await std::move(task).take();
  }(std::move(alone)));
  drainMainContext();
  gate.open();
  runUntilComplete(taken.wait());
  EXPECT_EQ(*copies, 0);

  Gate second;
  auto shared = Task<Counted>::spawn(mainExecutor(), counted(second, copies));
  auto kept = shared;
  drainMainContext();
  second.open();
  runUntilComplete(std::move(shared).take());
  EXPECT_EQ(*copies, 1);  // another handle could still read it
  runUntilComplete(kept.value());
  EXPECT_EQ(*copies, 2);
}

TEST(TaskTest, WaitEndsWithTheTaskWithoutItsErrorButWithTheWaitersCancellation) {
  auto failed = Task<int>::spawn(mainExecutor(), failing());
  EXPECT_NO_THROW(runUntilComplete(failed.wait()));
  EXPECT_THROW(runUntilComplete(Task<int>(failed).take()), std::runtime_error);

  Gate gate;
  auto held = Task<int>::spawn(mainExecutor(), afterGate(gate, 5));
  auto waiter = Task<void>::spawn(mainExecutor(), held.wait());
  drainMainContext();
  waiter.cancel();
  EXPECT_TRUE(isCancellation(errorOf([&] { runUntilComplete(waiter.value()); })));
  EXPECT_FALSE(held.isFinished());
  gate.open();
  EXPECT_EQ(runUntilComplete(held.value()), 5);
}

TEST(TaskTest, ATaskRunsOnWithoutItsHandle) {
  Gate gate;
  std::atomic<bool> ran{false};
  auto body = [](Gate& g, std::atomic<bool>& r) -> Async<void> {
    co_await g.pass();
    r = true;
  };
  Task<void>::spawn(mainExecutor(), body(gate, ran));  // the handle is dropped at once
  drainMainContext();
  gate.open();
  EXPECT_TRUE(runMainContextUntil([&] { return ran.load(); }));
}

TEST(TaskTest, RunOnHopsAndResumesAtHome) {
  runUntilComplete([]() -> Async<void> {
    auto mainThread = std::this_thread::get_id();
    auto poolThread = co_await runOn(concurrentExecutor(), []() -> Async<std::thread::id> {
      EXPECT_FALSE(isOnMainContext());
      co_return std::this_thread::get_id();
    }());
    EXPECT_NE(poolThread, mainThread);
    EXPECT_TRUE(isOnMainContext());
  }());
}

TEST(TaskGroupTest, ResultsComeInCompletionOrder) {
  // Children on the main context wait for gates the body opens in its own order.
  auto order = runUntilComplete([]() -> Async<std::vector<int>> {
    std::vector<CheckedContinuation<void>> gates;
    co_return co_await withThrowingTaskGroup<int>(
        [&](TaskGroup<int>& group) -> Async<std::vector<int>> {
          for (int i = 0; i < 3; ++i) {
            group.addTask(mainExecutor(),
                          [](std::vector<CheckedContinuation<void>>& g, int index) -> Async<int> {
                            co_await withCheckedThrowingContinuation<void>(
                                "gate", [&](CheckedContinuation<void> c) { g.push_back(c); });
                            co_return index;
                          }(gates, i));
          }
          std::vector<int> out;
          for (int i : {2, 0, 1}) {
            gates[static_cast<std::size_t>(i)].resume();
            out.push_back(*co_await group.next());
          }
          auto none = co_await group.next();
          EXPECT_FALSE(none);
          co_return out;
        });
  }());
  EXPECT_EQ(order, (std::vector<int>{2, 0, 1}));
}

TEST(TaskGroupTest, FirstFailureCancelsTheRestAndWaitsForThem) {
  std::atomic<bool> saw1{false}, saw2{false};
  auto error = errorOf([&] {
    runUntilComplete(withThrowingTaskGroup<int>([&](TaskGroup<int>& group) -> Async<int> {
      group.addTask(sleepy(saw1, 20ms));
      group.addTask(sleepy(saw2, 20ms));
      group.addTask(failing());
      int sum = 0;
      while (auto v = co_await group.next()) sum += *v;
      co_return sum;
    }));
  });
  ASSERT_TRUE(error);
  EXPECT_THROW(std::rethrow_exception(error), std::runtime_error);
  // Both siblings had ended before the error reached us.
  EXPECT_TRUE(saw1);
  EXPECT_TRUE(saw2);
}

TEST(TaskGroupTest, BodyReturningEarlyStillAwaitsChildren) {
  std::atomic<int> ended{0};
  runUntilComplete(withThrowingTaskGroup<void>([&](TaskGroup<void>& group) -> Async<void> {
    for (int i = 0; i < 4; ++i) {
      group.addTask([](std::atomic<int>& e) -> Async<void> {
        std::this_thread::sleep_for(5ms);
        ++e;
        co_return;
      }(ended));
    }
    co_return;
  }));
  EXPECT_EQ(ended, 4);
}

namespace {
TaskLocal<std::string> traceId{"none"};

Async<std::string> readTrace() { co_return traceId.get(); }
}  // namespace

TEST(TaskLocalTest, BindingsReachHopsTasksAndChildrenButNotDetachedTasks) {
  runUntilComplete([]() -> Async<void> {
    EXPECT_EQ(traceId.get(), "none");
    auto inside = []() -> Async<std::vector<std::string>> {
      std::vector<std::string> seen{traceId.get()};
      seen.push_back(co_await runOn(concurrentExecutor(), readTrace()));
      seen.push_back(co_await Task<std::string>::spawn(readTrace()).value());
      seen.push_back(
          co_await Task<std::string>::detached(concurrentExecutor(), readTrace()).value());
      seen.push_back(co_await traceId.withValue("inner", readTrace()));
      seen.push_back(traceId.get());
      seen.push_back(co_await withThrowingTaskGroup<std::string>(
          [](TaskGroup<std::string>& g) -> Async<std::string> {
            g.addTask(readTrace());
            auto first = co_await g.next();
            co_return *first;
          }));
      co_return seen;
    };
    auto seen = co_await traceId.withValue("outer", inside());
    EXPECT_EQ(seen, (std::vector<std::string>{"outer", "outer", "outer", "none", "inner", "outer",
                                              "outer"}));
    EXPECT_EQ(traceId.get(), "none");
  }());
}

TEST(ContinuationTest, ResumesFromAnotherThreadWithValueOrError) {
  // Joined, not detached: the thread is still inside resume() when the value
  // arrives, and must not outlive the main context it resumes on.
  std::thread resumer;
  int v = runUntilComplete(withCheckedThrowingContinuation<int>(
      "value",
      [&resumer](CheckedContinuation<int> c) { resumer = std::thread([c] { c.resume(7); }); }));
  resumer.join();
  EXPECT_EQ(v, 7);
  EXPECT_THROW(
      runUntilComplete(withCheckedThrowingContinuation<int>(
          "error", [](CheckedContinuation<int> c) { c.resumeThrowing(std::logic_error("x")); })),
      std::logic_error);
}

TEST(ContinuationTest, LeakedContinuationEndsWithCancellation) {
  auto error = errorOf([] {
    runUntilComplete(
        withCheckedThrowingContinuation<int>("dropped", [](CheckedContinuation<int>) {}));
  });
  EXPECT_TRUE(isCancellation(error));
}

TEST(ContinuationDeathTest, SecondResumeStopsNamingTheContinuation) {
  EXPECT_DEATH(
      runUntilComplete(withCheckedThrowingContinuation<int>("provideTemplate(form:)",
                                                            [](CheckedContinuation<int> c) {
                                                              c.resume(1);
                                                              c.resume(2);
                                                            })),
      "provideTemplate\\(form:\\) tried to resume its continuation more than once");
}
