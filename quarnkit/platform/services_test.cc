#include "quarnkit/platform/services.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <vector>

#include "quarnkit/platform/key_value_store.h"
#include "quarnkit/platform/notification_center.h"
#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/runtime/task.h"

using namespace quarn;
using namespace quarn::platform;

TEST(ServicesTest, RandomUUIDsAreVersion4InCanonicalUppercaseText) {
  std::set<UUID> seen;
  for (int i = 0; i < 64; ++i) {
    const UUID uuid = randomUUID();
    EXPECT_EQ(uuid.bytes()[6] >> 4, 4);       // version 4
    EXPECT_EQ(uuid.bytes()[8] & 0xC0, 0x80);  // RFC 4122 variant
    seen.insert(uuid);
    const std::string text = uuid.uuidString();
    EXPECT_TRUE(std::regex_match(
        text, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}")))
        << text;
    EXPECT_EQ(UUID::parse(text), uuid);  // the core type reads it back
  }
  EXPECT_EQ(seen.size(), 64u);
}

TEST(ServicesTest, RandomSources) {
  MersenneTwisterRandomSource a(42), b(42);
  bool sawNegative = false;
  for (int i = 0; i < 64; ++i) {
    auto x = a.nextInt();
    EXPECT_EQ(x, b.nextInt());
    sawNegative |= x < 0;
  }
  EXPECT_TRUE(sawNegative);  // outputs are signed
  EXPECT_EQ(MersenneTwisterRandomSource(5489).nextInt(), static_cast<std::int32_t>(3499211612u));
  for (int i = 0; i < 100; ++i) EXPECT_LT(SystemRandomSource::shared().nextInt(10), 10u);
}

TEST(ServicesTest, BundleAndURLOpenerDefaultsAndDoubles) {
  EXPECT_FALSE(BundleInfo::main()->bundleIdentifier);
  auto url = *URL::parse("https://example.com/a");
  EXPECT_FALSE(URLOpener::current()->canOpenURL(url));
  auto recording = std::make_shared<RecordingURLOpener>(std::vector<std::string>{"https"});
  ScopedService<URLOpener> scoped(recording);
  EXPECT_TRUE(URLOpener::current()->canOpenURL(url));
  EXPECT_FALSE(URLOpener::current()->canOpenURL(*URL::parse("mailto:a@b.c")));
  URLOpener::current()->open(url);
  EXPECT_EQ(recording->openedURLs(), std::vector<URL>{url});
}

TEST(KeyValueStoreTest, FileStorePersistsAtomicallyAndForgetsCorruptFiles) {
  auto path = std::filesystem::temp_directory_path() / ("quarnkit-kv-" + randomUUID().uuidString());
  {
    FileKeyValueStore store(path);
    store.set("timedEvents", KeyValueStore::Data{0, 1, 2, 255});
    store.set("name", Value("x"));
    EXPECT_THROW(store.set("bad", Value(Value::Opaque(std::make_shared<OpaqueValue>()))),
                 std::invalid_argument);
  }
  {
    FileKeyValueStore store(path);
    EXPECT_EQ(store.data("timedEvents"), (KeyValueStore::Data{0, 1, 2, 255}));
    EXPECT_FALSE(store.data("name"));  // not binary data
    EXPECT_FALSE(store.object("bad"));
    EXPECT_FALSE(std::filesystem::exists(path.string() + ".tmp"));
  }
  std::ofstream(path) << "{ not json";
  {
    FileKeyValueStore store(path);
    EXPECT_FALSE(store.object("timedEvents"));
    store.set("k", Value(1));
  }
  EXPECT_EQ(std::get<Value>(*FileKeyValueStore(path).object("k")), Value(1));
  std::filesystem::remove(path);
}

TEST(NotificationCenterTest, SenderFilterRemovalAndDeliveryOnPostingThread) {
  NotificationCenter center;
  auto request = std::make_shared<int>(1);
  auto other = std::make_shared<int>(2);
  int any = 0, filtered = 0;
  auto t1 = center.addObserver("didResume", nullptr, [&](const Notification&) { ++any; });
  center.addObserver("didResume", request, [&](const Notification&) { ++filtered; });
  center.post({"didResume", request, {}});
  center.post({"didResume", other, {}});
  center.post({"didComplete", request, {}});
  EXPECT_EQ(any, 2);
  EXPECT_EQ(filtered, 1);
  center.removeObserver(t1);
  request.reset();  // the filtered sender is gone: its observer matches nothing
  center.post({"didResume", other, {}});
  EXPECT_EQ(any, 2);
  EXPECT_EQ(filtered, 1);
}

TEST(WeakObserverSetTest, GoneObserversAreSkipped) {
  struct Observer {
    int calls = 0;
  };
  WeakObserverSet<Observer> set;
  auto a = std::make_shared<Observer>();
  auto b = std::make_shared<Observer>();
  set.add(a);
  set.add(a);
  set.add(b);
  b.reset();
  set.invoke([](Observer& o) { ++o.calls; });
  EXPECT_EQ(a->calls, 1);
  EXPECT_EQ(set.count(), 1u);
}

TEST(ManualClockTest, TimersFireInOrderRepeatAndObeyInvalidation) {
  auto clock = std::make_shared<ManualClock>(Date(1000));
  std::vector<std::string> fired;
  auto late = clock->scheduleTimer(3, false, [&](Timer&) { fired.push_back("late"); });
  auto early = clock->scheduleTimer(1, false, [&](Timer&) {
    fired.push_back("early@" +
                    std::to_string(static_cast<int>(clock->now().timeIntervalSince1970())));
    EXPECT_TRUE(isOnMainContext());
  });
  int ticks = 0;
  auto repeating = clock->scheduleTimer(1, true, [&](Timer& t) {
    if (++ticks == 3) t.invalidate();
  });
  clock->advance(10);
  EXPECT_EQ(fired, (std::vector<std::string>{"early@1001", "late"}));
  EXPECT_EQ(ticks, 3);
  EXPECT_FALSE(early->isValid());
  EXPECT_FALSE(repeating->isValid());

  // A moved fire date (as a pause to the distant future and a resume do).
  auto moved = clock->scheduleTimer(5, false, [&](Timer&) { fired.push_back("moved"); });
  moved->setFireDate(kDistantFuture);
  clock->advance(100);
  EXPECT_EQ(fired.size(), 2u);
  moved->setFireDate(clock->now().addingTimeInterval(3));
  clock->advance(2.9);
  EXPECT_EQ(fired.size(), 2u);
  clock->advance(0.1);
  EXPECT_EQ(fired.back(), "moved");
}

TEST(ManualClockTest, DeadlinesPastTheRangeStayInTheFuture) {
  // Once time has moved, a deadline of "now + the longest wait" lies past
  // the nanosecond range; it must not wrap into the past and fire at once.
  auto clock = std::make_shared<ManualClock>(Date(1000));
  clock->advance(1.0);
  bool fired = false;
  auto timer = clock->scheduleTimer(1e300, false, [&](Timer&) { fired = true; });
  bool woke = false;
  auto sleeper =
      Task<void>::spawn(mainExecutor(), [](std::shared_ptr<ManualClock> c, bool& w) -> Async<void> {
        co_await c->sleep(std::chrono::nanoseconds::max());
        w = true;
      }(clock, woke));
  drainMainContext();
  clock->advance(3600.0);
  clock->advance(std::chrono::hours(24 * 365 * 100));
  drainMainContext();
  EXPECT_FALSE(fired);
  EXPECT_FALSE(woke);
  EXPECT_EQ(clock->pendingCount(), 2u);
  // Advancing by the longest step from here saturates too.
  clock->advance(std::chrono::nanoseconds::max());
  EXPECT_GT(clock->monotonicNow(), 9e9);
  // The sleeper's body hears the cancellation on the main context; until
  // then it and the clock hold each other.
  sleeper.cancel();
  drainMainContext();
  timer->invalidate();
  EXPECT_EQ(clock->pendingCount(), 0u);
}

TEST(ManualClockTest, FireDatesReadAsTheRealSchedulersDo) {
  // A paused timer (moved to the distant future), a timer due past the
  // nanosecond range and a spent one-shot report what the real scheduler
  // reports, not a clamped year-2262 date.
  auto clock = std::make_shared<ManualClock>(Date(1000));
  const MainContextTimerScheduler real;
  for (const TimerScheduler* scheduler : {static_cast<const TimerScheduler*>(clock.get()),
                                          static_cast<const TimerScheduler*>(&real)}) {
    auto paused = scheduler->scheduleTimer(10, true, [](Timer&) {});
    paused->setFireDate(kDistantFuture);
    EXPECT_EQ(paused->fireDate(), kDistantFuture);
    paused->invalidate();
  }
  drainMainContext();

  auto far = clock->scheduleTimer(1e12, false, [](Timer&) {});
  EXPECT_EQ(far->fireDate(), Date(1000 + 1e12));
  auto once = clock->scheduleTimer(5, false, [](Timer&) {});
  clock->advance(6);
  EXPECT_FALSE(once->isValid());
  EXPECT_EQ(once->fireDate(), Date(1005));
  far->invalidate();

  // A repeating timer moved into the past fires once, then every interval
  // from now (the real one does not catch up on the firings it missed).
  int late = 0;
  auto behind = clock->scheduleTimer(1, true, [&](Timer&) { ++late; });
  behind->setFireDate(clock->now().addingTimeInterval(-10));
  clock->advance(0.5);
  EXPECT_EQ(late, 1);
  EXPECT_EQ(behind->fireDate(), clock->now().addingTimeInterval(0.5));
  behind->invalidate();
}

TEST(ManualClockTest, ARepeatingTimerPastTheRangeNeverFires) {
  // Its next firing cannot be counted in nanoseconds: advancing as far as the
  // clock goes neither fires it nor overflows its deadline.
  auto clock = std::make_shared<ManualClock>(Date(1000));
  int fired = 0;
  auto timer = clock->scheduleTimer(1e300, true, [&](Timer&) { ++fired; });
  clock->advance(std::chrono::nanoseconds::max());
  clock->advance(std::chrono::nanoseconds::max());
  EXPECT_EQ(fired, 0);
  EXPECT_TRUE(timer->isValid());
  timer->invalidate();

  // A paused one moved back into range fires on time and repeats.
  auto other = std::make_shared<ManualClock>(Date(1000));
  auto paused = other->scheduleTimer(1, true, [&](Timer&) { ++fired; });
  paused->setFireDate(kDistantFuture);
  other->advance(1e6);
  EXPECT_EQ(fired, 0);
  paused->setFireDate(other->now().addingTimeInterval(2));
  other->advance(3.5);
  EXPECT_EQ(fired, 2);
  paused->invalidate();
}

TEST(MainContextTimerSchedulerTest, OneShotFiresForReal) {
  bool fired = false;
  auto timer =
      MainContextTimerScheduler().scheduleTimer(0.01, false, [&](Timer&) { fired = true; });
  EXPECT_TRUE(runMainContextUntil([&] { return fired; }, std::chrono::seconds(5)));
  EXPECT_FALSE(timer->isValid());
}
