// What the host may do inside the concurrency callbacks (timed events'
// predicates and work, operations' blocks and observers, the operation under
// a time limit, the action of a paused timer): drop the object, call back
// into it, or throw.
#include "quarnkit/testing/reentrancy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "quarnkit/concurrency/async_operation.h"
#include "quarnkit/concurrency/timed_event_manager.h"
#include "quarnkit/concurrency/timeout.h"
#include "quarnkit/concurrency/timer_pause.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/services.h"
#include "quarnkit/testing/support.h"

namespace quarn {
namespace {

using namespace std::chrono_literals;
using platform::Clock;
using platform::InMemoryKeyValueStore;
using platform::ManualClock;
using platform::ScopedService;
using platform::TimerScheduler;
using testing::HostAction;
using R = ExecuteResult;

constexpr double kStart = 1'700'000'000.0;
constexpr const char* kLeak = "leaked its continuation";

// A manual clock for both time and timers, and a store with a manager.
struct Events {
  std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(Date(kStart));
  ScopedService<Clock> time{clock};
  std::shared_ptr<InMemoryKeyValueStore> store = std::make_shared<InMemoryKeyValueStore>();
  std::shared_ptr<TimedEventManager> manager = TimedEventManager::make(store, "default");

  // How often `id` is recorded, read through a manager of the test's own.
  [[nodiscard]] std::size_t recorded(const EventIdentifier& id) const {
    auto e = TimedEventManager::make(store, "default")->events(id);
    return e ? e->count() : 0;
  }
};

// The announcements an operation made, as "did:isFinished".
struct Heard {
  std::vector<std::string> lines;
  Operation::Observer observer() {
    return [this](std::string_view key, bool prior) {
      lines.push_back(std::string(prior ? "will:" : "did:") + std::string(key));
    };
  }
  [[nodiscard]] bool has(const std::string& line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

Async<int> sleepy(double seconds, int value) {
  co_await sleep(seconds);
  co_return value;
}

bool isTimeout(const std::exception_ptr& e) {
  return testing::errorOfType<TimeoutHandlerError>([&] { std::rethrow_exception(e); }).has_value();
}

TEST(ConcurrencyReentrancyTest, TimedEventCallbacks) {
  testing::runReentrancyTable({
      {"work", HostAction::release,
       "execute finishes: the run is recorded, and the manager is freed when execute returns",
       [] {
         Events e;
         std::weak_ptr<TimedEventManager> weak = e.manager;
         auto* manager = e.manager.get();
         EXPECT_EQ(manager->executeOnce("tour",
                                        [&] {
                                          e.manager.reset();
                                          return true;
                                        }),
                   R::executed());
         EXPECT_TRUE(weak.expired());
         EXPECT_EQ(e.recorded("tour"), 1U);
       }},
      {"work", HostAction::reenter,
       "the same event from inside its work does not run (notExecuted, or lastExecuting with its "
       "time); other events do; the outer run is recorded once",
       [] {
         Events e;
         int inner = 0;
         R nested, other;
         EXPECT_EQ(e.manager->executeOnce("tour",
                                          [&] {
                                            nested = e.manager->executeOnce("tour", [&] {
                                              ++inner;
                                              return true;
                                            });
                                            other = e.manager->executeOnce("other",
                                                                           [] { return true; });
                                            return true;
                                          }),
                   R::executed());
         EXPECT_EQ(nested, R::notExecuted());
         EXPECT_EQ(inner, 0);
         EXPECT_EQ(other, R::executed());
         EXPECT_EQ(e.recorded("tour"), 1U);
         // With a time already recorded, the nested call reports it.
         e.clock->advance(5);
         EXPECT_EQ(e.manager->execute("tour", 3,
                                      [&] {
                                        nested = e.manager->execute("tour", 3, [] { return true; });
                                        return true;
                                      }),
                   R::executed());
         EXPECT_EQ(nested, R::lastExecuting(kStart));
         EXPECT_EQ(e.recorded("tour"), 2U);
       }},
      {"work", HostAction::raise,
       "the exception leaves execute; nothing is recorded and the event runs next time",
       [] {
         Events e;
         EXPECT_THROW(
             e.manager->executeOnce("tour", []() -> bool { throw std::runtime_error("no"); }),
             std::runtime_error);
         EXPECT_EQ(e.recorded("tour"), 0U);
         EXPECT_EQ(e.manager->executeOnce("tour", [] { return true; }), R::executed());
         // The same thread may execute the event again: it is not left marked busy.
         EXPECT_EQ(e.manager->execute("tour", 2, [] { return true; }), R::executed());
       }},
      {"predicate", HostAction::release,
       "the work runs and is recorded; the manager is freed when execute returns",
       [] {
         Events e;
         std::weak_ptr<TimedEventManager> weak = e.manager;
         auto* manager = e.manager.get();
         bool ran = false;
         EXPECT_EQ(manager->execute(
                       "tip",
                       [&](const TimedEventManager::Times&) {
                         e.manager.reset();
                         return true;
                       },
                       [&] { return ran = true; }),
                   R::executed());
         EXPECT_TRUE(ran);
         EXPECT_TRUE(weak.expired());
         EXPECT_EQ(e.recorded("tip"), 1U);
       }},
      {"predicate", HostAction::reenter,
       "the predicate executes the same event (not run) and registers another; its own run then "
       "goes on",
       [] {
         Events e;
         R nested;
         EXPECT_EQ(e.manager->execute(
                       "tip",
                       [&](const TimedEventManager::Times& times) {
                         nested = e.manager->executeOnce("tip", [] { return true; });
                         e.manager->registerEvent("seen", 5);
                         return times.empty();
                       },
                       [] { return true; }),
                   R::executed());
         EXPECT_EQ(nested, R::notExecuted());
         EXPECT_EQ(e.recorded("tip"), 1U);
         EXPECT_EQ(e.recorded("seen"), 1U);
       }},
      {"predicate", HostAction::raise,
       "the exception leaves execute; the work does not run and nothing is recorded",
       [] {
         Events e;
         bool ran = false;
         EXPECT_THROW(
             e.manager->execute(
                 "tip",
                 [](const TimedEventManager::Times&) -> bool { throw std::runtime_error("bad"); },
                 [&] { return ran = true; }),
             std::runtime_error);
         EXPECT_FALSE(ran);
         EXPECT_EQ(e.recorded("tip"), 0U);
         EXPECT_EQ(e.manager->executeOnce("tip", [] { return true; }), R::executed());
       }},
  });
}

TEST(ConcurrencyReentrancyTest, OperationCallbacks) {
  testing::runReentrancyTable({
      {"block", HostAction::release,
       "the block drops the last reference and finishes: the operation finishes, its observers "
       "are told, and it is freed when start returns",
       [] {
         Heard heard;
         std::shared_ptr<AsyncBlockOperation> op;
         op = AsyncBlockOperation::make([&](AsyncBlockOperation&, std::function<void()> finish) {
           op.reset();
           finish();
         });
         op->addObserver(heard.observer());
         std::weak_ptr<AsyncBlockOperation> weak = op;
         auto* raw = op.get();
         raw->start();
         EXPECT_TRUE(weak.expired());
         EXPECT_TRUE(heard.has("did:isFinished"));
       }},
      {"block", HostAction::reenter,
       "start from inside the block is ignored (the block runs once); finish twice repeats the "
       "announcements; cancel after that leaves it finished",
       [] {
         int runs = 0;
         auto op = AsyncBlockOperation::make(
             [&](AsyncBlockOperation& self, std::function<void()> finish) {
               ++runs;
               self.start();
               finish();
               finish();
               self.cancel();
             });
         Heard heard;
         op->addObserver(heard.observer());
         op->start();
         EXPECT_EQ(runs, 1);
         EXPECT_TRUE(op->isFinished());
         // Once leaving executing, then twice each for finished replacing finished.
         EXPECT_EQ(std::count(heard.lines.begin(), heard.lines.end(), "did:isFinished"), 5);
       }},
      {"block", HostAction::raise,
       "the operation finishes and the exception leaves start; a queue logs it and moves on",
       [] {
         auto op = AsyncBlockOperation::make([](AsyncBlockOperation&, std::function<void()>) {
           throw std::runtime_error("broken block");
         });
         EXPECT_THROW(op->start(), std::runtime_error);
         EXPECT_TRUE(op->isFinished());

         testing::LogCapture log;
         OperationQueue queue;
         queue.addAsyncOperation([](AsyncBlockOperation&, std::function<void()>) {
           throw std::runtime_error("broken block");
         });
         queue.addOperation([] { throw std::runtime_error("broken work"); });
         queue.waitUntilAllOperationsAreFinished();
         EXPECT_EQ(queue.operationCount(), 0U);
         // Logged once start() has passed the exception on, after the queue let go.
         EXPECT_TRUE(runMainContextUntil(
             [&] { return log.count("broken block") == 1 && log.count("broken work") == 1; }));
       }},
      {"observer", HostAction::release,
       "an observer drops the last reference while told of the end: the change completes and the "
       "operation is freed when it returns",
       [] {
         std::shared_ptr<AsyncBlockOperation> op = AsyncBlockOperation::make(
             [](AsyncBlockOperation&, std::function<void()> finish) { finish(); });
         Heard heard;
         op->addObserver([&](std::string_view key, bool prior) {
           if (key == "isFinished" && prior) op.reset();
         });
         op->addObserver(heard.observer());
         std::weak_ptr<AsyncBlockOperation> weak = op;
         op->start();
         EXPECT_TRUE(weak.expired());
         EXPECT_TRUE(heard.has("did:isFinished"));
       }},
      {"observer", HostAction::reenter,
       "an observer removes itself and adds another: the removed one hears nothing more, the new "
       "one hears from the next announcement on",
       [] {
         auto op = AsyncBlockOperation::make(
             [](AsyncBlockOperation&, std::function<void()> finish) { finish(); });
         Heard first, second;
         std::size_t token = 0;
         token = op->addObserver([&](std::string_view key, bool prior) {
           first.lines.push_back(std::string(prior ? "will:" : "did:") + std::string(key));
           if (key == "isExecuting" && prior) {
             op->removeObserver(token);
             op->addObserver(second.observer());
           }
         });
         op->start();
         EXPECT_EQ(first.lines, (std::vector<std::string>{"will:isExecuting"}));
         EXPECT_TRUE(second.has("will:isReady"));
         EXPECT_TRUE(second.has("did:isFinished"));
       }},
      {"observer", HostAction::raise,
       "the exception is logged; the change goes on and every other observer is told; a queue "
       "still finishes",
       [] {
         testing::LogCapture log;
         OperationQueue queue;
         Heard heard;
         auto op = AsyncBlockOperation::make(
             [](AsyncBlockOperation&, std::function<void()> finish) { finish(); });
         op->addObserver([](std::string_view key, bool) {
           if (key == "isFinished") throw std::runtime_error("noisy observer");
         });
         op->addObserver(heard.observer());
         queue.addOperation(op);
         queue.waitUntilAllOperationsAreFinished();
         EXPECT_TRUE(op->isFinished());
         EXPECT_TRUE(heard.has("will:isFinished"));
         EXPECT_TRUE(heard.has("did:isFinished"));
         EXPECT_EQ(log.count("noisy observer"), 2U);  // before and after
       }},
  });
}

TEST(ConcurrencyReentrancyTest, TimeLimitAndPausedTimerCallbacks) {
  testing::runReentrancyTable({
      {"operation under a time limit", HostAction::release,
       "the operation drops the caller's task: the race still ends (the timer runs out), no "
       "continuation is leaked",
       [] {
         testing::LogCapture log;
         auto clock = std::make_shared<ManualClock>();
         ScopedService<TimerScheduler> scheduler(clock);
         std::optional<Task<int>> caller;
         std::atomic<bool> ended{false};
         caller = Task<int>::spawn(mainExecutor(), withTimeout(1s, [&]() -> Async<int> {
                                     caller.reset();
                                     co_await sleep(0.5);
                                     ended = true;
                                     co_return 1;
                                   }));
         ASSERT_TRUE(runMainContextUntil([&] { return clock->pendingCount() == 2; }));
         EXPECT_FALSE(caller);
         clock->advance(2.0);
         EXPECT_TRUE(runMainContextUntil([&] { return ended && clock->pendingCount() == 0; }));
         EXPECT_EQ(log.count(kLeak), 0U);
       }},
      {"operation under a time limit", HostAction::reenter,
       "the operation runs a shorter limit of its own: the inner time-out reaches the caller "
       "before the outer limit",
       [] {
         testing::LogCapture log;
         auto clock = std::make_shared<ManualClock>();
         ScopedService<TimerScheduler> scheduler(clock);
         auto task = Task<int>::spawn(mainExecutor(), withTimeout(10s, [] {
                                        return withTimeout(1s, [] { return sleepy(5, 1); });
                                      }));
         ASSERT_TRUE(runMainContextUntil([&] { return clock->pendingCount() == 3; }));
         clock->advance(1.0);
         ASSERT_TRUE(runMainContextUntil([&] { return task.isFinished(); }));
         EXPECT_TRUE(isTimeout(testing::errorOf([&] { runUntilComplete(task.value()); })));
         clock->advance(20.0);
         EXPECT_TRUE(runMainContextUntil([&] { return clock->pendingCount() == 0; }));
         EXPECT_EQ(log.count(kLeak), 0U);
       }},
      {"operation under a time limit", HostAction::raise,
       "the caller gets the operation's exception; the timer runs out harmlessly and another "
       "time limit works",
       [] {
         testing::LogCapture log;
         auto clock = std::make_shared<ManualClock>();
         ScopedService<TimerScheduler> scheduler(clock);
         EXPECT_THROW(runUntilComplete(withTimeout(1s,
                                                   []() -> Async<int> {
                                                     throw std::runtime_error("failed");
                                                     co_return 0;
                                                   })),
                      std::runtime_error);
         // The timer may start its sleep after the caller was answered.
         ASSERT_TRUE(runMainContextUntil([&] { return clock->pendingCount() == 1; }));
         clock->advance(2.0);
         ASSERT_TRUE(runMainContextUntil([&] { return clock->pendingCount() == 0; }));
         auto task =
             Task<int>::spawn(mainExecutor(), withTimeout(1s, [] { return sleepy(0.5, 7); }));
         ASSERT_TRUE(runMainContextUntil([&] { return clock->pendingCount() == 2; }));
         clock->advance(0.5);
         ASSERT_TRUE(runMainContextUntil([&] { return task.isFinished(); }));
         EXPECT_EQ(runUntilComplete(task.value()), 7);
         clock->advance(1.0);
         EXPECT_TRUE(runMainContextUntil([&] { return clock->pendingCount() == 0; }));
         EXPECT_EQ(log.count(kLeak), 0U);
       }},
      {"action of a paused timer", HostAction::release,
       "the action pauses its timer and drops the host's reference: it never fires again",
       [] {
         auto clock = std::make_shared<ManualClock>(Date(1000));
         ScopedService<Clock> c(clock);
         int fired = 0;
         std::shared_ptr<platform::Timer> timer;
         timer = clock->scheduleTimer(10, true, [&](platform::Timer& t) {
           ++fired;
           pause(t);
           timer.reset();
         });
         clock->advance(10);
         EXPECT_EQ(fired, 1);
         EXPECT_FALSE(timer);
         clock->advance(100);
         EXPECT_EQ(fired, 1);
       }},
      {"action of a paused timer", HostAction::reenter,
       "the action pauses its own timer: it waits until resumed, then fires after the whole "
       "interval that was left, and repeats",
       [] {
         auto clock = std::make_shared<ManualClock>(Date(1000));
         ScopedService<Clock> c(clock);
         std::vector<double> fired;
         auto timer = clock->scheduleTimer(10, true, [&](platform::Timer& t) {
           fired.push_back(clock->now().timeIntervalSince1970());
           if (fired.size() == 1) {
             pause(t);
             pause(t);  // again: no change
           }
         });
         clock->advance(10);
         EXPECT_TRUE(isPaused(*timer));
         clock->advance(50);
         EXPECT_EQ(fired, (std::vector<double>{1010}));
         resume(*timer);
         clock->advance(10);
         clock->advance(10);
         EXPECT_EQ(fired, (std::vector<double>{1010, 1070, 1080}));
         timer->invalidate();
       }},
      {"action of a paused timer", HostAction::raise,
       "the exception leaves the clock's advance; the pause made before it holds and resuming "
       "keeps the time that was left",
       [] {
         auto clock = std::make_shared<ManualClock>(Date(1000));
         ScopedService<Clock> c(clock);
         auto timer = clock->scheduleTimer(10, true, [&](platform::Timer& t) {
           pause(t);
           throw std::runtime_error("tick failed");
         });
         EXPECT_THROW(clock->advance(10), std::runtime_error);
         EXPECT_TRUE(isPaused(*timer));
         clock->advance(30);
         resume(*timer);
         EXPECT_EQ(timer->fireDate(), Date(1050));
         timer->invalidate();
       }},
  });
}

}  // namespace
}  // namespace quarn
