#include "quarnkit/concurrency/timeout.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "quarnkit/concurrency/async_reduce.h"
#include "quarnkit/concurrency/sync_task.h"
#include "quarnkit/testing/support.h"

using namespace quarn;
using namespace std::chrono_literals;
using platform::ManualClock;
using platform::ScopedService;
using platform::TimerScheduler;

namespace {

using quarn::testing::errorOf;

bool isTimeout(const std::exception_ptr& e) {
  if (!e) return false;
  try {
    std::rethrow_exception(e);
  } catch (const TimeoutHandlerError& t) {
    return t.kind == TimeoutHandlerError::Kind::timeoutOccured;
  } catch (...) {
    return false;
  }
}

// Sleeps `seconds` and returns `value`; records whether it saw cancellation.
Async<int> slow(double seconds, int value, std::atomic<bool>* sawCancellation = nullptr) {
  try {
    co_await sleep(seconds);
  } catch (...) {
    if (sawCancellation && isCancellation(std::current_exception())) *sawCancellation = true;
    throw;
  }
  co_return value;
}

}  // namespace

// Real time, scaled down: 10 ms work under a 1 s limit, 5 s work under 50 ms.
TEST(WithTimeoutTest, RealTimeWinnerAndLoser) {
  EXPECT_EQ(runUntilComplete(withTimeout(1s, [] { return slow(0.01, 7); })), 7);

  std::atomic<bool> saw{false};
  auto started = std::chrono::steady_clock::now();
  auto error =
      errorOf([&] { runUntilComplete(withTimeout(50ms, [&] { return slow(5, 1, &saw); })); });
  auto took = std::chrono::steady_clock::now() - started;
  EXPECT_TRUE(isTimeout(error));
  EXPECT_LT(took, 2s);
  EXPECT_TRUE(runMainContextUntil([&] { return saw.load(); }));
}

TEST(WithTimeoutTest, ManualClockDecidesTheRace) {
  auto clock = std::make_shared<ManualClock>();
  ScopedService<TimerScheduler> scheduler(clock);
  struct Case {
    double work;
    double advance;
    bool timesOut;
  };
  for (auto c : std::vector<Case>{
           {0.5, 0.5, false}, {2.0, 1.0, true}, {0.999, 1.0, false}, {1.001, 1.0, true}}) {
    std::atomic<bool> saw{false};
    auto task = Task<int>::spawn(mainExecutor(), withTimeout(std::chrono::seconds(1), [&] {
                                   return slow(c.work, 3, &saw);
                                 }));
    // Both sleeps are registered before time moves.
    ASSERT_TRUE(runMainContextUntil([&] { return clock->pendingCount() == 2; }));
    clock->advance(c.advance);
    ASSERT_TRUE(runMainContextUntil([&] { return task.isFinished(); }));
    auto error = errorOf([&] { runUntilComplete(task.value()); });
    EXPECT_EQ(isTimeout(error), c.timesOut) << c.work;
    if (c.timesOut) {
      EXPECT_TRUE(runMainContextUntil([&] { return saw.load(); }));
    }
    clock->advance(10.0);  // let the losing timer run out
  }
}

TEST(WithTimeoutTest, OperationErrorAndNanosecondForm) {
  EXPECT_THROW(runUntilComplete(withTimeout(std::uint64_t{1'000'000'000},
                                            []() -> Async<int> {
                                              throw std::runtime_error("failed");
                                              co_return 0;
                                            })),
               std::runtime_error);
  EXPECT_TRUE(isTimeout(errorOf(
      [] { runUntilComplete(withTimeout(std::uint64_t{1'000'000}, [] { return slow(5, 1); })); })));
}

// The caller is cancelled while it sleeps, catches that, and then calls
// withTimeout. Either its own co_await refuses to go on, or (with that check
// turned off in the caller) withTimeout's check does: no task starts, so
// neither the operation runs nor the timer sleeps.
TEST(WithTimeoutTest, CancelledCallerFailsAtOnceAndStartsNothing) {
  auto clock = std::make_shared<ManualClock>();
  ScopedService<TimerScheduler> scheduler(clock);
  for (bool callerChecks : {true, false}) {
    std::atomic<bool> started{false};
    bool reached = false;
    bool done = false;
    std::exception_ptr error;
    auto operation = [&]() -> Async<int> {
      started = true;
      co_return 1;
    };
    auto body = [&]() -> Async<void> {
      co_await boost::asio::this_coro::throw_if_cancelled(callerChecks);
      try {
        co_await sleep(3600.0);
      } catch (...) {
        // cancelled: go on regardless
      }
      reached = true;
      try {
        co_await withTimeout(1s, operation);
      } catch (...) {
        error = std::current_exception();
      }
      done = true;
    };
    auto caller = Task<void>::spawn(mainExecutor(), body());
    ASSERT_TRUE(runMainContextUntil([&] { return clock->pendingCount() == 1; }));
    caller.cancel();
    ASSERT_TRUE(runMainContextUntil([&] { return done; })) << callerChecks;
    EXPECT_TRUE(reached);
    EXPECT_TRUE(isCancellation(error)) << callerChecks;
    EXPECT_EQ(clock->pendingCount(), 0u) << callerChecks;  // no timer sleeps
    EXPECT_FALSE(started) << callerChecks;
  }
}

// A limit too long to count in nanoseconds (a caller's "no limit") never runs
// out; it used to overflow into a limit already passed. (Real time: a manual
// clock would keep the never-ending timer, and so itself, alive.)
TEST(WithTimeoutTest, LimitBeyondTheNanosecondRangeNeverExpires) {
  auto work = [] { return slow(0.01, 5); };
  EXPECT_EQ(runUntilComplete(withTimeout(std::chrono::seconds::max(), work)), 5);
  EXPECT_EQ(runUntilComplete(withTimeout(std::chrono::duration<double>(1e300), work)), 5);
}

TEST(WithTimeoutTest, CancellingTheCallerCancelsTheOperation) {
  std::atomic<bool> saw{false};
  auto outer = Task<int>::spawn(mainExecutor(), withTimeout(10s, [&] { return slow(5, 1, &saw); }));
  ASSERT_TRUE(runMainContextUntil([&] { return !outer.isFinished(); }));
  outer.cancel();
  EXPECT_TRUE(runMainContextUntil([&] { return saw.load(); }));
}

TEST(SleepTest, SecondsBecomeTruncatedNanoseconds) {
  auto clock = std::make_shared<ManualClock>();
  ScopedService<TimerScheduler> scheduler(clock);
  auto t = Task<void>::spawn(mainExecutor(), sleep(0.5));
  drainMainContext();
  clock->advance(std::chrono::nanoseconds(499'999'999));
  EXPECT_FALSE(t.isFinished());
  clock->advance(std::chrono::nanoseconds(1));
  EXPECT_TRUE(runMainContextUntil([&] { return t.isFinished(); }));

  for (double bad : {-1.0, std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN(), 1e12}) {
    EXPECT_THROW(runUntilComplete(sleep(bad)), std::invalid_argument) << bad;
  }
}

TEST(SyncTaskTest, ReturnsValueOrRethrows) {
  EXPECT_EQ(syncTask([]() -> Async<std::string> { co_return "done"; }), "done");
  EXPECT_THROW(syncTask([]() -> Async<void> {
                 throw std::logic_error("bad");
                 co_return;
               }),
               std::logic_error);
}

TEST(AsyncReduceTest, AppliesStepsStrictlyInOrder) {
  std::vector<int> seen;
  auto step = [&](std::string acc, int v) -> Async<std::string> {
    seen.push_back(v);
    co_await runOn(concurrentExecutor(), []() -> Async<void> { co_return; }());
    co_return acc + std::to_string(v);
  };
  auto out = runUntilComplete(asyncReduce(std::vector<int>{3, 1, 2}, std::string(">"), step));
  EXPECT_EQ(out, ">312");
  EXPECT_EQ(seen, (std::vector<int>{3, 1, 2}));
}

// Called from the concurrent executor, the race's tasks may start running
// inside the call; a limit already passed then ends the timer there and then.
TEST(WithTimeoutTest, LimitAlreadyPassedFromTheConcurrentExecutor) {
  auto clock = std::make_shared<ManualClock>();
  ScopedService<TimerScheduler> scheduler(clock);
  std::atomic<bool> saw{false};
  auto work = [&] { return slow(3600, 1, &saw); };
  auto task = Task<int>::spawn(mainExecutor(), runOn(concurrentExecutor(), withTimeout(0s, work)));
  ASSERT_TRUE(runMainContextUntil([&] { return task.isFinished(); }, std::chrono::seconds(5)));
  EXPECT_TRUE(isTimeout(errorOf([&] { runUntilComplete(task.value()); })));
  EXPECT_TRUE(runMainContextUntil([&] { return saw.load(); }));
}
