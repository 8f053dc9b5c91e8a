// What a host may do inside each callback of the platform runtime (drop its
// last reference, call back in, throw) and what it then sees: timers of both
// schedulers, notification observers, weak observer sets, subjects and
// futures, progress handlers and observers, the file watcher and display
// links.
#include "quarnkit/testing/reentrancy.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "quarnkit/core/log.h"
#include "quarnkit/platform/display_link.h"
#include "quarnkit/platform/file_watcher.h"
#include "quarnkit/platform/notification_center.h"
#include "quarnkit/platform/progress.h"
#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/runtime/publisher.h"
#include "quarnkit/platform/services.h"
#include "quarnkit/testing/support.h"

namespace quarn::platform {
namespace {

using namespace std::chrono_literals;
using quarn::testing::errorOf;
using quarn::testing::HostAction;
namespace fs = std::filesystem;

struct HostError : std::runtime_error {
  HostError() : std::runtime_error("thrown by the host") {}
};

// Runs the main context until `done`, returning what a handler threw.
std::exception_ptr runCatching(const std::function<bool()>& done) {
  return errorOf([&] { runMainContextUntil(done, 5s); });
}

// A file to watch, removed at the end of the row.
class WatchedFile {
 public:
  WatchedFile()
      : path_(fs::temp_directory_path() / ("quarnkit-reenter-" + randomUUID().uuidString())) {
    std::ofstream(path_) << "start";
  }
  ~WatchedFile() {
    std::error_code ignored;
    fs::remove(path_, ignored);
  }
  WatchedFile(const WatchedFile&) = delete;
  WatchedFile& operator=(const WatchedFile&) = delete;

  const fs::path& path() const { return path_; }
  void grow() const { std::ofstream(path_, std::ios::app) << "more"; }

 private:
  fs::path path_;
};

// A weakly held observer whose call runs `onCall`.
struct Observer {
  std::function<void()> onCall;
};

using Fulfil = std::function<void(Future<int>::Result)>;
// A future whose promise the row keeps, to fulfil it when it likes.
Future<int> pendingFuture(Fulfil& promise) {
  return Future<int>(std::function<void(Future<int>::Promise)>(
      [&promise](Future<int>::Promise p) { promise = std::move(p); }));
}

TEST(PlatformReentrancyTest, EveryCallbackAndAction) {
  const quarn::testing::LogCapture log;
  quarn::testing::runReentrancyTable({
      // --- The manual clock's timers ---------------------------------------
      {"manual timer action", HostAction::release,
       "advance() returns normally; timers of the dropped clock fire no more",
       [] {
         auto clock = std::make_shared<ManualClock>(Date(0));
         ManualClock* const raw = clock.get();
         int later = 0;
         auto dropper = clock->scheduleTimer(1, false, [&](Timer&) { clock.reset(); });
         auto other = clock->scheduleTimer(2, true, [&](Timer&) { ++later; });
         raw->advance(5);
         EXPECT_EQ(later, 0);
       }},
      {"manual timer action", HostAction::reenter,
       "a timer scheduled from an action fires in the same advance at its own date; an "
       "action may invalidate its own timer",
       [] {
         auto clock = std::make_shared<ManualClock>(Date(0));
         std::vector<double> fired;
         std::shared_ptr<Timer> inner;
         auto outer = clock->scheduleTimer(1, true, [&](Timer& self) {
           fired.push_back(clock->now().timeIntervalSince1970());
           self.invalidate();
           inner = clock->scheduleTimer(
               2, false, [&](Timer&) { fired.push_back(clock->now().timeIntervalSince1970()); });
         });
         clock->advance(5);
         EXPECT_EQ(fired, (std::vector<double>{1, 3}));
         EXPECT_FALSE(outer->isValid());
         EXPECT_EQ(clock->pendingCount(), 0u);
       }},
      {"manual timer action", HostAction::raise,
       "the exception leaves advance() with time at that firing; the timer goes on repeating",
       [] {
         auto clock = std::make_shared<ManualClock>(Date(0));
         int ticks = 0;
         auto timer = clock->scheduleTimer(1, true, [&](Timer&) {
           if (++ticks == 1) throw HostError();
         });
         EXPECT_THROW(clock->advance(1.5), HostError);
         EXPECT_EQ(clock->now(), Date(1));
         clock->advance(2);
         EXPECT_EQ(ticks, 3);
         timer->invalidate();
       }},

      // --- Real timers on the main context ---------------------------------
      {"timer action", HostAction::release,
       "dropping the handle inside the action changes nothing: a repeating timer fires until "
       "it is invalidated",
       [] {
         const MainContextTimerScheduler scheduler;
         int ticks = 0;
         std::shared_ptr<Timer> timer = scheduler.scheduleTimer(0.001, true, [&](Timer& self) {
           timer.reset();
           if (++ticks == 3) self.invalidate();
         });
         EXPECT_TRUE(runMainContextUntil([&] { return ticks == 3; }, 5s));
         drainMainContext();
       }},
      {"timer action", HostAction::reenter,
       "a timer scheduled from an action fires; the action's own timer, invalidated there, "
       "fires no more",
       [] {
         const MainContextTimerScheduler scheduler;
         int outerTicks = 0;
         bool innerFired = false;
         std::shared_ptr<Timer> inner;
         auto outer = scheduler.scheduleTimer(0.001, true, [&](Timer& self) {
           ++outerTicks;
           self.invalidate();
           inner = scheduler.scheduleTimer(0.001, false, [&](Timer&) { innerFired = true; });
         });
         EXPECT_TRUE(runMainContextUntil([&] { return innerFired; }, 5s));
         EXPECT_EQ(outerTicks, 1);
         EXPECT_FALSE(outer->isValid());
         drainMainContext();
       }},
      {"timer action", HostAction::raise,
       "the exception leaves the main context's run; the repeating timer fires again",
       [] {
         const MainContextTimerScheduler scheduler;
         int ticks = 0;
         auto timer = scheduler.scheduleTimer(0.001, true, [&](Timer& self) {
           if (++ticks == 1) throw HostError();
           if (ticks == 3) self.invalidate();
         });
         EXPECT_TRUE(runCatching([&] { return ticks >= 1; }));
         EXPECT_TRUE(runMainContextUntil([&] { return ticks == 3; }, 5s));
         drainMainContext();
       }},

      // --- Notification observers --------------------------------------------
      {"notification observer", HostAction::release,
       "post() completes and still reaches the observers after it; the centre goes when it "
       "returns",
       [] {
         auto center = std::make_shared<NotificationCenter>();
         NotificationCenter* const raw = center.get();
         std::vector<std::string> calls;
         center->addObserver("n", nullptr, [&](const Notification&) {
           calls.emplace_back("a");
           center.reset();
         });
         center->addObserver("n", nullptr, [&](const Notification&) { calls.emplace_back("b"); });
         raw->post({"n", nullptr, {}});
         EXPECT_EQ(calls, (std::vector<std::string>{"a", "b"}));
       }},
      {"notification observer", HostAction::reenter,
       "an observer may remove itself and post: the inner post is delivered at once, before "
       "the outer one goes on",
       [] {
         auto center = std::make_shared<NotificationCenter>();
         std::vector<std::string> calls;
         ObserverToken self;
         self = center->addObserver("first", nullptr, [&](const Notification&) {
           calls.emplace_back("self");
           center->removeObserver(self);
           center->post({"second", nullptr, {}});
         });
         center->addObserver(std::nullopt, nullptr,
                             [&](const Notification& n) { calls.push_back("all:" + n.name); });
         center->post({"first", nullptr, {}});
         center->post({"first", nullptr, {}});
         EXPECT_EQ(calls,
                   (std::vector<std::string>{"self", "all:second", "all:first", "all:first"}));
       }},
      {"notification observer", HostAction::raise,
       "the exception reaches the poster at once (the observers after it miss that "
       "notification); the next post reaches every observer",
       [] {
         auto center = std::make_shared<NotificationCenter>();
         std::vector<std::string> calls;
         center->addObserver("n", nullptr, [&](const Notification&) {
           calls.emplace_back("a");
           if (calls.size() == 1) throw HostError();
         });
         center->addObserver("n", nullptr, [&](const Notification&) { calls.emplace_back("b"); });
         EXPECT_THROW(center->post({"n", nullptr, {}}), HostError);
         EXPECT_EQ(calls, (std::vector<std::string>{"a"}));
         center->post({"n", nullptr, {}});
         EXPECT_EQ(calls, (std::vector<std::string>{"a", "a", "b"}));
       }},

      // --- Weak observer sets ----------------------------------------------------
      {"weak observer", HostAction::release,
       "invoke() completes and reaches the observers after it when the set is dropped inside",
       [] {
         auto set = std::make_unique<WeakObserverSet<Observer>>();
         WeakObserverSet<Observer>* const raw = set.get();
         std::string calls;
         auto a = std::make_shared<Observer>();
         auto b = std::make_shared<Observer>();
         a->onCall = [&] {
           calls += 'a';
           set.reset();
         };
         b->onCall = [&] { calls += 'b'; };
         set->add(a);
         set->add(b);
         raw->invoke([](Observer& o) { o.onCall(); });
         EXPECT_EQ(calls, "ab");
       }},
      {"weak observer", HostAction::reenter,
       "an observer removed inside invoke() is not called again; one added there is called "
       "from the next invoke()",
       [] {
         WeakObserverSet<Observer> set;
         std::string calls;
         auto a = std::make_shared<Observer>();
         auto b = std::make_shared<Observer>();
         auto c = std::make_shared<Observer>();
         a->onCall = [&] {
           calls += 'a';
           set.remove(a.get());
           set.add(c);
         };
         b->onCall = [&] { calls += 'b'; };
         c->onCall = [&] { calls += 'c'; };
         set.add(a);
         set.add(b);
         set.invoke([](Observer& o) { o.onCall(); });
         set.invoke([](Observer& o) { o.onCall(); });
         EXPECT_EQ(calls, "abbc");
       }},
      {"weak observer", HostAction::raise,
       "the exception leaves invoke() at once (the observers after it miss that call); the next "
       "invoke() reaches every observer",
       [] {
         WeakObserverSet<Observer> set;
         std::string calls;
         auto a = std::make_shared<Observer>();
         auto b = std::make_shared<Observer>();
         a->onCall = [&] {
           calls += 'a';
           if (calls.size() == 1) throw HostError();
         };
         b->onCall = [&] { calls += 'b'; };
         set.add(a);
         set.add(b);
         EXPECT_THROW(set.invoke([](Observer& o) { o.onCall(); }), HostError);
         EXPECT_EQ(calls, "a");
         set.invoke([](Observer& o) { o.onCall(); });
         EXPECT_EQ(calls, "aab");
         EXPECT_EQ(set.count(), 2u);
       }},

      // --- Subjects ------------------------------------------------------------
      {"subject subscriber", HostAction::release,
       "send() completes and reaches every subscriber when the last handle and the "
       "subscription are dropped inside",
       [] {
         auto subject = std::make_unique<CurrentValueSubject<int>>(0);
         const CurrentValueSubject<int>* const raw = subject.get();
         std::vector<std::string> seen;
         AnyCancellable a;
         a = subject->eraseToAnyPublisher().sink([&](int v) {
           seen.push_back("a" + std::to_string(v));
           if (v == 1) {
             subject.reset();
             a = AnyCancellable();
           }
         });
         AnyCancellable b = subject->eraseToAnyPublisher().sink(
             [&](int v) { seen.push_back("b" + std::to_string(v)); });
         raw->send(1);
         EXPECT_EQ(seen, (std::vector<std::string>{"a0", "b0", "a1", "b1"}));
       }},
      {"subject subscriber", HostAction::reenter,
       "a value sent from a subscriber is delivered after the current one has reached every "
       "subscriber, so each sees the values in order; a subscriber may cancel itself",
       [] {
         CurrentValueSubject<int> subject(0);
         std::vector<std::string> seen;
         AnyCancellable a;
         a = subject.eraseToAnyPublisher().sink([&](int v) {
           seen.push_back("a" + std::to_string(v));
           if (v == 1) {
             subject.send(2);
             a.cancel();
           }
         });
         AnyCancellable b = subject.eraseToAnyPublisher().sink(
             [&](int v) { seen.push_back("b" + std::to_string(v)); });
         seen.clear();
         subject.send(1);
         EXPECT_EQ(seen, (std::vector<std::string>{"a1", "b1", "b2"}));
         EXPECT_EQ(subject.value(), 2);
       }},
      {"subject subscriber", HostAction::raise,
       "the exception leaves send() at once (the subscribers after it miss that value); a value "
       "the subscriber sent before throwing is still delivered, and the subject keeps working",
       [] {
         PassthroughSubject<int> subject;
         std::vector<std::string> seen;
         AnyCancellable a = subject.eraseToAnyPublisher().sink([&](int v) {
           seen.push_back("a" + std::to_string(v));
           if (v == 1) {
             subject.send(2);
             throw HostError();
           }
         });
         AnyCancellable b = subject.eraseToAnyPublisher().sink(
             [&](int v) { seen.push_back("b" + std::to_string(v)); });
         EXPECT_THROW(subject.send(1), HostError);
         EXPECT_EQ(seen, (std::vector<std::string>{"a1", "a2", "b2"}));
         subject.send(3);
         EXPECT_EQ(seen, (std::vector<std::string>{"a1", "a2", "b2", "a3", "b3"}));
       }},

      // --- Futures -------------------------------------------------------------
      {"future subscriber", HostAction::release,
       "a subscriber that drops the future still gets the end of the stream",
       [] {
         Fulfil promise;
         auto future = std::make_unique<Future<int>>(pendingFuture(promise));
         std::vector<std::string> seen;
         AnyCancellable c =
             future->subscribe({[&](int v) {
                                  seen.push_back(std::to_string(v));
                                  future.reset();
                                },
                                [&](const Completion<Never>&) { seen.emplace_back("end"); }});
         promise(Future<int>::Result(std::in_place_index<0>, 7));
         EXPECT_EQ(seen, (std::vector<std::string>{"7", "end"}));
       }},
      {"future subscriber", HostAction::reenter,
       "a subscriber added from a subscriber gets the value at once and the end with the "
       "others",
       [] {
         Fulfil promise;
         Future<int> future = pendingFuture(promise);
         std::vector<std::string> seen;
         AnyCancellable inner;
         AnyCancellable outer = future.subscribe(
             {[&](int v) {
                seen.push_back("outer" + std::to_string(v));
                inner = future.subscribe(
                    {[&](int w) { seen.push_back("inner" + std::to_string(w)); },
                     [&](const Completion<Never>&) { seen.emplace_back("inner end"); }});
              },
              [&](const Completion<Never>&) { seen.emplace_back("outer end"); }});
         promise(Future<int>::Result(std::in_place_index<0>, 7));
         EXPECT_EQ(seen, (std::vector<std::string>{"outer7", "inner7", "outer end", "inner end"}));
       }},
      {"future subscriber", HostAction::raise,
       "the subscribers after it miss the value but every subscriber gets the end; then the "
       "exception reaches whoever fulfilled the promise",
       [] {
         Fulfil promise;
         Future<int> future = pendingFuture(promise);
         std::vector<std::string> seen;
         AnyCancellable a =
             future.subscribe({[&](int) { throw HostError(); },
                               [&](const Completion<Never>&) { seen.emplace_back("a end"); }});
         AnyCancellable b =
             future.subscribe({[&](int v) { seen.push_back("b" + std::to_string(v)); },
                               [&](const Completion<Never>&) { seen.emplace_back("b end"); }});
         EXPECT_THROW(promise(Future<int>::Result(std::in_place_index<0>, 7)), HostError);
         EXPECT_EQ(seen, (std::vector<std::string>{"a end", "b end"}));
       }},

      // --- Progress handlers -----------------------------------------------------
      {"progress handler", HostAction::release,
       "cancel() completes: the children are cancelled when the handler drops the progress",
       [] {
         auto progress = Progress::make(10);
         Progress* const raw = progress.get();
         auto child = Progress::make(1);
         progress->addChild(child, 5);
         progress->setCancellationHandler([&] { progress.reset(); });
         raw->cancel();
         EXPECT_FALSE(progress);
         EXPECT_TRUE(child->isCancelled());
       }},
      {"progress handler", HostAction::reenter,
       "cancelling from the pausing handler cancels once; cancel() inside the cancellation "
       "handler changes nothing",
       [] {
         auto progress = Progress::make(10);
         auto child = Progress::make(1);
         progress->addChild(child, 5);
         int cancels = 0;
         progress->setPausingHandler([&] { progress->cancel(); });
         progress->setCancellationHandler([&] {
           ++cancels;
           progress->cancel();
         });
         progress->pause();
         EXPECT_EQ(cancels, 1);
         EXPECT_TRUE(progress->isCancelled());
         EXPECT_TRUE(progress->isPaused());
         EXPECT_TRUE(child->isCancelled());
         EXPECT_TRUE(child->isPaused());
       }},
      {"progress handler", HostAction::raise,
       "the children are still reached, then the exception leaves cancel(); the progress "
       "stays cancelled and works on",
       [] {
         auto progress = Progress::make(10);
         auto child = Progress::make(1);
         progress->addChild(child, 5);
         progress->setCancellationHandler([] { throw HostError(); });
         EXPECT_THROW(progress->cancel(), HostError);
         EXPECT_TRUE(progress->isCancelled());
         EXPECT_TRUE(child->isCancelled());
         progress->pause();
         EXPECT_TRUE(child->isPaused());
       }},

      // --- Progress observers ----------------------------------------------------
      {"progress observer", HostAction::release,
       "the change completes when an observer drops the last reference to the progress",
       [] {
         auto progress = Progress::make(10);
         Progress* const raw = progress.get();
         std::vector<double> seen;
         AnyCancellable c = progress->fractionCompletedPublisher().sink([&](double f) {
           seen.push_back(f);
           if (f > 0) progress.reset();
         });
         raw->setCompletedUnitCount(5);
         EXPECT_EQ(seen, (std::vector<double>{0, 0.5}));
         EXPECT_FALSE(progress);
       }},
      {"progress observer", HostAction::reenter,
       "a change made by an observer is delivered after the current one; an observer may "
       "cancel itself",
       [] {
         auto progress = Progress::make(10);
         std::vector<std::int64_t> seen;
         AnyCancellable c;
         c = progress->completedUnitCountPublisher().sink([&](std::int64_t n) {
           seen.push_back(n);
           if (n == 1) progress->setCompletedUnitCount(2);
           if (n == 2) c.cancel();
         });
         progress->setCompletedUnitCount(1);
         progress->setCompletedUnitCount(3);
         EXPECT_EQ(seen, (std::vector<std::int64_t>{0, 1, 2}));
         EXPECT_EQ(progress->completedUnitCount(), 3);
       }},
      {"progress observer", HostAction::raise,
       "the change still reaches the other observers and the parent, then the exception "
       "leaves the setter; later changes are delivered",
       [] {
         auto parent = Progress::make(1);
         auto progress = Progress::make(10);
         parent->addChild(progress, 1);
         std::vector<double> fractions;
         AnyCancellable thrower = progress->completedUnitCountPublisher().sink([&](std::int64_t n) {
           if (n == 5) throw HostError();
         });
         AnyCancellable other =
             progress->fractionCompletedPublisher().sink([&](double f) { fractions.push_back(f); });
         EXPECT_THROW(progress->setCompletedUnitCount(5), HostError);
         EXPECT_EQ(fractions, (std::vector<double>{0, 0.5}));
         EXPECT_DOUBLE_EQ(parent->fractionCompleted(), 0.5);
         progress->setCompletedUnitCount(10);
         EXPECT_EQ(fractions.back(), 1.0);
         EXPECT_TRUE(parent->isFinished());
       }},

      // --- The file watcher --------------------------------------------------------
      {"file watcher callback", HostAction::release,
       "destroying the watcher inside its callback lets the call finish; nothing more comes",
       [] {
         WatchedFile file;
         auto watcher = std::make_unique<FileWatcher>(file.path());
         std::string seen;
         watcher->setOnFileGrew([&watcher, &seen, tag = std::string(64, 'w')] {
           watcher.reset();
           seen += tag;
         });
         file.grow();
         EXPECT_TRUE(runMainContextUntil([&] { return !seen.empty(); }, 5s));
         EXPECT_EQ(seen, std::string(64, 'w'));
       }},
      {"file watcher callback", HostAction::reenter,
       "a callback that replaces itself finishes its call; the new one gets the next growth",
       [] {
         WatchedFile file;
         FileWatcher watcher(file.path());
         std::vector<std::string> calls;
         watcher.setOnFileGrew([&, tag = std::string(32, 'a')] {
           calls.push_back(tag);
           watcher.setOnFileGrew([&] { calls.emplace_back("b"); });
           calls.push_back(tag);
         });
         file.grow();
         EXPECT_TRUE(runMainContextUntil([&] { return calls.size() == 2; }, 5s));
         file.grow();
         EXPECT_TRUE(runMainContextUntil([&] { return calls.size() == 3; }, 5s));
         EXPECT_EQ(calls,
                   (std::vector<std::string>{std::string(32, 'a'), std::string(32, 'a'), "b"}));
       }},
      {"file watcher callback", HostAction::raise,
       "the exception leaves the main context's run; the watcher goes on reporting",
       [] {
         WatchedFile file;
         FileWatcher watcher(file.path());
         int calls = 0;
         watcher.setOnFileGrew([&] {
           if (++calls == 1) throw HostError();
         });
         file.grow();
         EXPECT_TRUE(runCatching([&] { return calls == 1; }));
         file.grow();
         EXPECT_TRUE(runMainContextUntil([&] { return calls == 2; }, 5s));
       }},

      // --- Display links -----------------------------------------------------------
      {"display link callback", HostAction::release,
       "step() returns when the scheduler and the link are dropped inside; no frame runs "
       "after that",
       [] {
         auto frames = std::make_shared<ManualFrameScheduler>();
         ManualFrameScheduler* const raw = frames.get();
         int calls = 0;
         std::shared_ptr<DisplayLink> link = frames->addDisplayLink([&](DisplayLink&) {
           ++calls;
           frames.reset();
           link.reset();
         });
         raw->step(3);
         EXPECT_EQ(calls, 1);
       }},
      {"display link callback", HostAction::reenter,
       "a link added from a callback is called from the next frame; a link may invalidate "
       "itself",
       [] {
         auto frames = std::make_shared<ManualFrameScheduler>();
         std::string calls;
         std::shared_ptr<DisplayLink> added;
         auto link = frames->addDisplayLink([&](DisplayLink& self) {
           calls += 'a';
           self.invalidate();
           added = frames->addDisplayLink([&](DisplayLink&) { calls += 'b'; });
         });
         frames->step(3);
         EXPECT_EQ(calls, "abb");
       }},
      {"display link callback", HostAction::raise,
       "the frame still reaches every link, then the exception leaves step(); the next step "
       "calls every link",
       [] {
         auto frames = std::make_shared<ManualFrameScheduler>();
         std::string calls;
         auto a = frames->addDisplayLink([&](DisplayLink&) {
           calls += 'a';
           if (calls.size() == 1) throw HostError();
         });
         auto b = frames->addDisplayLink([&](DisplayLink&) { calls += 'b'; });
         EXPECT_THROW(frames->step(2), HostError);
         EXPECT_EQ(calls, "ab");
         frames->step();
         EXPECT_EQ(calls, "abab");
       }},
  });
  EXPECT_EQ(log.count("leaked its continuation"), 0u);
}

}  // namespace
}  // namespace quarn::platform
