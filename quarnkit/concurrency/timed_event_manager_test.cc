// Timed events on the manual clock: the rules, trimming, groups, the stored
// JSON, unreadable and unencodable histories, and writers in other threads
// and processes over one file store.
#include "quarnkit/concurrency/timed_event_manager.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <thread>
#include <unordered_set>

#include "quarnkit/core/log.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/services.h"
#include "quarnkit/testing/child_process.h"

namespace quarn {
namespace {

namespace fs = std::filesystem;
using platform::Clock;
using platform::InMemoryKeyValueStore;
using platform::KeyValueStore;
using platform::ManualClock;
using platform::ScopedService;
using R = ExecuteResult;

constexpr double kStart = 1'700'000'000.0;

std::string text(const std::optional<KeyValueStore::Data>& data) {
  return data ? std::string(data->begin(), data->end()) : "<none>";
}

KeyValueStore::Data bytes(std::string_view s) { return {s.begin(), s.end()}; }

class TimedEventManagerTest : public ::testing::Test {
 protected:
  std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>(Date(kStart));
  ScopedService<Clock> installed_{clock_};
  std::shared_ptr<InMemoryKeyValueStore> store_ = std::make_shared<InMemoryKeyValueStore>();
  std::shared_ptr<TimedEventManager> manager_ = TimedEventManager::make(store_, "default");

  [[nodiscard]] std::string stored() const { return text(store_->data("timedEvents")); }
};

TEST_F(TimedEventManagerTest, ExecuteOnceRunsUntilTheWorkSaysItRan) {
  int runs = 0;
  bool ran = false;
  const auto work = [&] {
    ++runs;
    return ran;
  };
  EXPECT_EQ(manager_->executeOnce(EventIdentifier::appRate, work), R::notExecuted());
  EXPECT_EQ(manager_->executeOnce(EventIdentifier::appRate, work), R::notExecuted());
  EXPECT_EQ(runs, 2);
  ran = true;
  EXPECT_EQ(manager_->executeOnce(EventIdentifier::appRate, work), R::executed());
  clock_->advance(5);
  EXPECT_EQ(manager_->executeOnce(EventIdentifier::appRate, work), R::lastExecuting(kStart));
  EXPECT_EQ(runs, 3);
}

TEST_F(TimedEventManagerTest, CountAndMinimumInterval) {
  int runs = 0;
  const auto work = [&] {
    ++runs;
    return true;
  };
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(manager_->execute("tip", 3, work), R::executed());
    clock_->advance(1);
  }
  EXPECT_EQ(manager_->execute("tip", 3, work), R::lastExecuting(kStart + 2));
  EXPECT_EQ(manager_->execute("never", 0, work), R::notExecuted());
  EXPECT_EQ(runs, 3);

  runs = 0;
  EXPECT_EQ(manager_->execute("daily", 10, 86400.0, work), R::executed());
  const double last = kStart + 3;
  clock_->advance(86399.5);
  EXPECT_EQ(manager_->execute("daily", 10, 86400.0, work), R::lastExecuting(last));
  clock_->advance(0.5);  // exactly a day
  EXPECT_EQ(manager_->execute("daily", 10, 86400.0, work), R::executed());
  EXPECT_EQ(runs, 2);

  // A predicate sees every recorded time.
  std::vector<double> seen;
  EXPECT_EQ(manager_->execute(
                "daily",
                [&](const std::vector<double>& times) {
                  seen = times;
                  return false;
                },
                work),
            R::lastExecuting(last + 86400));
  EXPECT_EQ(seen, (std::vector<double>{last, last + 86400}));
}

TEST_F(TimedEventManagerTest, RegisterKeepsTheNewestTimes) {
  for (int i = 0; i < 3; ++i) {
    manager_->registerEvent(EventIdentifier::appLaunch, 2);
    clock_->advance(10);
  }
  EXPECT_EQ(manager_->events(EventIdentifier::appLaunch)->eventTimes,
            (std::vector<double>{kStart + 10, kStart + 20}));
  manager_->registerEventTimestamp("zero", 0);
  EXPECT_FALSE(manager_->containsEvents("zero"));
  EXPECT_TRUE(manager_->events("zero"));  // recorded, with no times
  manager_->registerEvent("negative", -5);
  EXPECT_FALSE(manager_->containsEvents("negative"));
  EXPECT_FALSE(manager_->events("unknown"));
}

TEST_F(TimedEventManagerTest, GroupsAreSeparateAndClearing) {
  auto other = TimedEventManager::make(store_, "other");
  manager_->registerEvent(EventIdentifier::appLaunch, 5);
  other->registerEvent(EventIdentifier::appRate, 5);
  EXPECT_FALSE(manager_->containsEvents(EventIdentifier::appRate));
  EXPECT_FALSE(other->containsEvents(EventIdentifier::appLaunch));
  EXPECT_EQ(manager_->events().size(), 2U);

  manager_->registerEvent(EventIdentifier::emailAlert, 5);
  manager_->clear(EventIdentifier::appLaunch);
  EXPECT_FALSE(manager_->containsEvents(EventIdentifier::appLaunch));
  EXPECT_TRUE(manager_->containsEvents(EventIdentifier::emailAlert));
  manager_->clearEventsGroup();
  EXPECT_EQ(manager_->events().at("default"), EventGroup{});  // the group stays, empty
  EXPECT_TRUE(other->containsEvents(EventIdentifier::appRate));
  other->clearAllEvents();
  EXPECT_TRUE(manager_->events().empty());
  EXPECT_EQ(stored(), "{}");
}

TEST_F(TimedEventManagerTest, StoredShape) {
  manager_->registerEvent(EventIdentifier::appLaunch, 5);
  clock_->advance(0.25);
  manager_->registerEvent(EventIdentifier::appLaunch, 5);
  manager_->registerEvent(EventIdentifier::firstAppLaunch, 5);
  TimedEventManager::make(store_, "g2")->registerEvent(EventIdentifier::signUpBonusAlert, 1);
  EXPECT_EQ(stored(),
            R"({"default":["app_launch",{"identifier":"app_launch","eventTimes":[1700000000,)"
            R"(1700000000.25]},"first_app_launch",{"identifier":"first_app_launch",)"
            R"("eventTimes":[1700000000.25]}],"g2":["signup_bonus_alert",)"
            R"({"identifier":"signup_bonus_alert","eventTimes":[1700000000.25]}]})");
  // Written by another implementation: a later record under a repeated name
  // wins, and times may be integers.
  store_->set("timedEvents", bytes(R"({"default":["x",{"identifier":"x","eventTimes":[1]},)"
                                   R"("x",{"identifier":"x","eventTimes":[2,3.5],"extra":0}]})"));
  EXPECT_EQ(manager_->events("x")->eventTimes, (std::vector<double>{2, 3.5}));

  EventGroups groups;
  groups["a"].insert_or_assign("e", Events{"e", {1.5}});
  manager_->setEvents(groups);
  EXPECT_EQ(manager_->events(), groups);
}

TEST_F(TimedEventManagerTest, UnreadableHistoryReadsAsEmptyAndIsKeptWhenReplaced) {
  testing::LogCapture logs;
  store_->set("timedEvents", bytes("not json"));
  EXPECT_TRUE(manager_->events().empty());
  EXPECT_EQ(manager_->executeOnce("x", [] { return false; }), R::notExecuted());
  EXPECT_EQ(stored(), "not json");  // nothing was written yet
  manager_->registerEvent("x", 1);
  EXPECT_TRUE(manager_->containsEvents("x"));
  EXPECT_EQ(text(store_->data("timedEvents.corrupt")), "not json");
  EXPECT_EQ(logs.count("The stored history could not be read and was replaced; the stored value "
                       "(8 bytes) is kept under \"timedEvents.corrupt\""),
            1U);
  // A value that is not data at all reads as empty too.
  store_->set("timedEvents", Value(3));
  EXPECT_FALSE(manager_->containsEvents("x"));
}

TEST_F(TimedEventManagerTest, OneUnreadableGroupLeavesTheOthersAsTheyWere) {
  testing::LogCapture logs;
  const std::string broken = R"("broken":["x",{"identifier":"x","eventTimes":["soon"]}])";
  store_->set("timedEvents", bytes("{" + broken + R"(,"default":[]})"));
  auto brokenGroup = TimedEventManager::make(store_, "broken");
  EXPECT_FALSE(brokenGroup->containsEvents("x"));
  EXPECT_EQ(manager_->events().count("broken"), 0U);

  manager_->registerEvent("y", 1);
  EXPECT_EQ(stored(),
            "{" + broken + R"(,"default":["y",{"identifier":"y","eventTimes":[1700000000]}]})");
  EXPECT_EQ(logs.count("could not be read"), 0U);

  brokenGroup->registerEvent("x", 1);  // its own group is replaced, and kept
  EXPECT_TRUE(brokenGroup->containsEvents("x"));
  EXPECT_TRUE(manager_->containsEvents("y"));
  EXPECT_NE(text(store_->data("timedEvents.corrupt")).find("soon"), std::string::npos);
  EXPECT_EQ(logs.count("The events of group \"broken\" could not be read"), 1U);
}

TEST(TimedEventManagerEncodingTest, AnUnencodableHistoryKeepsTheStoredValue) {
  struct NotANumberClock final : Clock {
    [[nodiscard]] Date now() const override { return Date(std::nan("")); }
    [[nodiscard]] double monotonicNow() const override { return 0; }
  };
  ScopedService<Clock> clock(std::make_shared<NotANumberClock>());
  testing::LogCapture logs;
  auto store = std::make_shared<InMemoryKeyValueStore>();
  auto manager = TimedEventManager::make(store, "default");
  store->set("timedEvents", bytes(R"({"default":[]})"));
  manager->registerEvent("x", 1);
  EXPECT_EQ(text(store->data("timedEvents")), R"({"default":[]})");
  EXPECT_EQ(logs.count("could not be encoded; \"timedEvents\" keeps its value"), 1U);
  manager->setEvents({{"g", {{"e", Events{"e", {INFINITY}}}}}});
  EXPECT_EQ(text(store->data("timedEvents")), R"({"default":[]})");
  EXPECT_EQ(logs.count("could not be encoded"), 2U);
}

TEST_F(TimedEventManagerTest, CountRulesKeepOnlyWhatTheyNeed) {
  // Another writer records while the work runs (as another process could):
  // the rule still keeps one time, not two.
  auto concurrent = TimedEventManager::make(store_, "default");
  EXPECT_EQ(manager_->executeOnce("once",
                                  [&] {
                                    concurrent->executeOnce("once", [] { return true; });
                                    return true;
                                  }),
            R::executed());
  EXPECT_EQ(manager_->events("once")->count(), 1U);
  // A predicate's history keeps every time up to its bound.
  for (int i = 0; i < 5; ++i) {
    manager_->execute(
        "all", [](const std::vector<double>&) { return true; }, [] { return true; });
  }
  EXPECT_EQ(manager_->events("all")->count(), 5U);
}

TEST_F(TimedEventManagerTest, PredicateHistoriesAreBoundedAndLongerStoredOnesStillRead) {
  // A history written before histories were bounded: 250 times.
  std::string times;
  for (int i = 1; i <= 250; ++i) times += (i > 1 ? "," : "") + std::to_string(i);
  store_->set("timedEvents",
              bytes(R"({"default":["tip",{"identifier":"tip","eventTimes":[)" + times + "]}]}"));
  ASSERT_EQ(manager_->events("tip")->count(), 250U);
  std::size_t seen = 0;
  const auto always = [&](const TimedEventManager::Times& t) {
    seen = t.size();
    return true;
  };
  EXPECT_EQ(manager_->execute("tip", always, [] { return true; }), R::executed());
  EXPECT_EQ(seen, 250U);
  // Recording trimmed it to the newest times, this run's last.
  auto kept = manager_->events("tip")->eventTimes;
  ASSERT_EQ(static_cast<std::int64_t>(kept.size()), TimedEventManager::kPredicateHistoryLimit);
  EXPECT_EQ(kept.front(), 152);
  EXPECT_EQ(kept.back(), kStart);
  for (int i = 0; i < 150; ++i) manager_->execute("tip", always, [] { return true; });
  EXPECT_EQ(seen, 100U);
  EXPECT_EQ(manager_->events("tip")->count(), 100U);
  // A rule that needs more keeps more; keeping none still keeps the last run.
  for (int i = 0; i < 150; ++i)
    manager_->execute(
        "long", always, [] { return true; }, 1000);
  EXPECT_EQ(manager_->events("long")->count(), 150U);
  clock_->advance(5);
  EXPECT_EQ(manager_->execute(
                "none", always, [] { return true; }, 0),
            R::executed());
  EXPECT_EQ(manager_->execute(
                "none", [](const TimedEventManager::Times&) { return false; }, [] { return true; }),
            R::lastExecuting(kStart + 5));
}

TEST(TimedEventManagerDefaultTest, UsesTheStandardStoreAndIsReplaceable) {
  auto store = std::make_shared<InMemoryKeyValueStore>();
  KeyValueStore::setStandard(store);
  TimedEventManager::setDefault(nullptr);  // made afresh, over `store`
  auto manager = TimedEventManager::default_();
  EXPECT_EQ(manager->userDefaults(), store);
  EXPECT_EQ(manager->groupIdentifier(), "default");
  EXPECT_EQ(TimedEventManager::default_(), manager);
  auto other = TimedEventManager::make(store, "x");
  TimedEventManager::setDefault(other);
  EXPECT_EQ(TimedEventManager::default_(), other);
  TimedEventManager::setDefault(nullptr);
  KeyValueStore::setStandard(nullptr);
}

// ----- Writers in other threads and processes over one file store -----------

constexpr int kEventsPerWriter = 12;

class TimedEventFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = fs::temp_directory_path() / ("quarnkit-te-" + platform::randomUUID().uuidString());
    fs::create_directory(directory_);
    path_ = directory_ / "store.json";
  }
  void TearDown() override { fs::remove_all(directory_); }
  fs::path directory_;
  fs::path path_;
};

TEST_F(TimedEventFileTest, WritersInThreadsLoseNoEvents) {
  auto a = std::make_shared<platform::FileKeyValueStore>(path_);
  auto b = std::make_shared<platform::FileKeyValueStore>(path_);
  std::vector<std::thread> threads;
  threads.reserve(4);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      // Two writers of one group (one per store instance), and two of their own.
      auto manager =
          TimedEventManager::make(t % 2 == 0 ? a : b, t < 2 ? "shared" : "own" + std::to_string(t));
      for (int i = 0; i < kEventsPerWriter; ++i) manager->registerEvent("e", 1000);
    });
  }
  for (auto& t : threads) t.join();
  const auto groups = TimedEventManager::make(a, "x")->events();
  EXPECT_EQ(groups.at("shared").at("e").count(), 2U * kEventsPerWriter);
  EXPECT_EQ(groups.at("own2").at("e").count(), std::size_t{kEventsPerWriter});
  EXPECT_EQ(groups.at("own3").at("e").count(), std::size_t{kEventsPerWriter});
}

constexpr const char* kHelperVariable = "QUARNKIT_TIMED_EVENT_HELPER";

TEST(TimedEventFileHelper, DISABLED_RegistersEvents) {
  const char* path = std::getenv(kHelperVariable);
  if (path == nullptr) GTEST_SKIP() << "run by WritersInProcessesLoseNoEvents";
  auto manager =
      TimedEventManager::make(std::make_shared<platform::FileKeyValueStore>(path), "shared");
  for (int i = 0; i < kEventsPerWriter; ++i) manager->registerEvent("e", 1000);
}

TEST_F(TimedEventFileTest, WritersInProcessesLoseNoEvents) {
  std::vector<pid_t> helpers;
  for (int p = 0; p < 2; ++p) {
    const pid_t pid = quarn::testing::spawnThisExecutable(
        {"--gtest_also_run_disabled_tests", "--gtest_filter=TimedEventFileHelper.*"},
        {std::string(kHelperVariable) + "=" + path_.string()});
    ASSERT_NE(pid, -1);
    helpers.push_back(pid);
  }
  for (pid_t pid : helpers) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "helper status " << status;
  }
  auto manager =
      TimedEventManager::make(std::make_shared<platform::FileKeyValueStore>(path_), "shared");
  EXPECT_EQ(manager->events("e")->count(), 2U * kEventsPerWriter);
}

TEST(EventsHashTest, EqualHistoriesHashAlikeAndSetsFindThem) {
  const std::hash<Events> hash;
  const Events a{"app_launch", {kStart, kStart + 60}};
  EXPECT_EQ(hash(a), hash(Events{"app_launch", {kStart, kStart + 60}}));
  // Equal, so hashed alike, though the bits of the two zeros differ.
  const Events zero{"e", {0.0}};
  const Events negativeZero{"e", {-0.0}};
  ASSERT_EQ(zero, negativeZero);
  EXPECT_EQ(hash(zero), hash(negativeZero));

  // Every field and the order of the times take part.
  const Events others[] = {{"app_rate", {kStart, kStart + 60}},
                           {"app_launch", {kStart + 60, kStart}},
                           {"app_launch", {kStart}},
                           {"app_launch", {kStart, kStart + 60, kStart + 60}}};
  for (const Events& other : others) EXPECT_NE(hash(a), hash(other));

  std::unordered_set<Events> seen{a, zero};
  EXPECT_TRUE(seen.contains(negativeZero));
  EXPECT_FALSE(seen.contains(others[1]));
  EXPECT_EQ(std::hash<EventIdentifier>()("app_launch"), std::hash<EventIdentifier>()(a.identifier));
}

}  // namespace
}  // namespace quarn
