// The activity indicator on a manual clock: when it shows and hides, what the
// indicator and the callback are told, and how requests are counted, with
// real requests against a server on 127.0.0.1. The notifications come from
// the HTTP client itself, or, where the test needs to place them exactly,
// are posted by the test for requests of a session that posts none.
#include "quarnkit/ui/activity_indicator_manager.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "quarnkit/http/testing/http_fixtures.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/testing/loopback_server.h"

namespace quarn {
namespace {

using http::kRequestDidCompleteTaskNotification;
using http::kRequestDidResumeTaskNotification;
using http::kRequestDidSuspendTaskNotification;
using quarn::testing::runUntil;
using State = ActivityIndicatorState;

// Records what the manager tells the indicator, in order.
class RecordingIndicator final : public ActivityIndicatorProtocol {
 public:
  [[nodiscard]] bool isAnimating() const override { return animating; }
  void startAnimating() override {
    animating = true;
    calls.emplace_back("start");
  }
  void stopAnimating() override {
    animating = false;
    calls.emplace_back("stop");
  }
  bool animating = false;
  std::vector<std::string> calls;
};

class ActivityIndicatorManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Answers once the test opens the gate.
    server.routes().Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
      std::unique_lock lock(gateMutex);
      gateOpened.wait(lock, [this] { return gateOpen; });
      res.set_content("done", "text/plain");
    });
    server.start();
  }

  void TearDown() override {
    openGate();
    for (auto& r : requests) r->cancel();
    drainMainContext();
  }

  void openGate() {
    {
      const std::lock_guard lock(gateMutex);
      gateOpen = true;
    }
    gateOpened.notify_all();
  }

  // A request whose task runs (on the server's gate) and whose session posts
  // no notifications: the test posts them.
  std::shared_ptr<http::Request> runningSilentRequest() {
    auto request = silent.request(server.url("/slow"));
    request->resume();
    runUntil([&] { return request->task() != nullptr; });
    requests.push_back(request);
    return request;
  }

  static void post(std::string_view name, const std::shared_ptr<http::Request>& request) {
    platform::Notification n{std::string(name), request, {}};
    n.userInfo.emplace("request", request);
    platform::NotificationCenter::current()->post(n);
  }
  static void started(const std::shared_ptr<http::Request>& r) {
    post(kRequestDidResumeTaskNotification, r);
  }
  static void suspended(const std::shared_ptr<http::Request>& r) {
    post(kRequestDidSuspendTaskNotification, r);
  }
  static void completed(const std::shared_ptr<http::Request>& r) {
    post(kRequestDidCompleteTaskNotification, r);
  }

  // A manager following `request` whose visibility changes are recorded.
  std::unique_ptr<ActivityIndicatorManager> makeManager(std::shared_ptr<http::Request> request) {
    auto manager = std::make_unique<ActivityIndicatorManager>(indicator, std::move(request));
    manager->setNetworkActivityIndicatorVisibilityChanged(
        [this](bool shown) { callbacks.push_back(shown); });
    return manager;
  }

  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  platform::ScopedService<platform::Clock> installedClock{clock};
  platform::ScopedService<platform::TimerScheduler> installedScheduler{clock};
  quarn::testing::LoopbackServer server;
  std::mutex gateMutex;
  std::condition_variable gateOpened;
  bool gateOpen = false;
  http::Session session;
  http::Session silent{{}, nullptr, {}};
  std::vector<std::shared_ptr<http::Request>> requests;
  std::shared_ptr<RecordingIndicator> indicator = std::make_shared<RecordingIndicator>();
  std::vector<bool> callbacks;
};

using Calls = std::vector<std::string>;
using Callbacks = std::vector<bool>;

TEST_F(ActivityIndicatorManagerTest, ARealRequestShowsAtOneSecondAndHidesAFifthOfASecondAfterIt) {
  auto request = session.request(server.url("/slow"));
  auto manager = makeManager(request);
  EXPECT_EQ(manager->activityCount(), 0);  // not started yet
  request->resume();
  runUntil([&] { return manager->hasActivity(); });
  EXPECT_EQ(manager->activityIndicatorState(), State::delayingStart);

  clock->advance(0.999);
  EXPECT_FALSE(manager->isNetworkActivityIndicatorVisible());
  clock->advance(0.001);
  EXPECT_EQ(manager->activityIndicatorState(), State::active);
  EXPECT_TRUE(manager->isNetworkActivityIndicatorVisible());
  EXPECT_EQ(indicator->calls, Calls{"start"});
  EXPECT_EQ(callbacks, Callbacks{true});

  openGate();
  runUntil([&] { return request->isFinished(); });
  drainMainContext();
  EXPECT_EQ(manager->activityCount(), 0);
  EXPECT_EQ(manager->activityIndicatorState(), State::delayingCompletion);
  clock->advance(0.199);
  EXPECT_TRUE(indicator->animating);
  clock->advance(0.001);
  EXPECT_EQ(manager->activityIndicatorState(), State::notActive);
  EXPECT_EQ(indicator->calls, (Calls{"start", "stop"}));
  EXPECT_EQ(callbacks, (Callbacks{true, false}));
  EXPECT_EQ(clock->pendingCount(), 0u);
}

TEST_F(ActivityIndicatorManagerTest, ARealRequestSuspendedAndCancelledEndsItsActivityOnce) {
  auto request = session.request(server.url("/slow"));
  auto first = makeManager(request);
  request->resume();
  runUntil([&] { return first->hasActivity(); });
  request->suspend();
  runUntil([&] { return !first->hasActivity(); });
  request->resume();
  runUntil([&] { return first->hasActivity(); });  // resuming counts again
  request->suspend();
  runUntil([&] { return !first->hasActivity(); });
  request->cancel();  // completes the suspended task
  runUntil([&] {
    return request->isCancelled() &&
           request->task()->state() == http::SessionTask::State::completed;
  });
  drainMainContext();
  EXPECT_EQ(first->activityCount(), 0);

  // The manager still works for the next request: it was not left below 0.
  first->setDataRequest(runningSilentRequest());
  EXPECT_EQ(first->activityCount(), 1);
  clock->advance(1.0);
  EXPECT_TRUE(first->isNetworkActivityIndicatorVisible());
}

TEST_F(ActivityIndicatorManagerTest, ARequestEndingWithinTheStartDelayNeverShows) {
  auto request = runningSilentRequest();
  auto manager = makeManager(nullptr);
  manager->setDataRequest(request);  // counted at once: its task runs
  EXPECT_EQ(manager->activityIndicatorState(), State::delayingStart);
  clock->advance(0.5);
  completed(request);
  EXPECT_EQ(manager->activityIndicatorState(), State::delayingStart);  // the timer decides
  clock->advance(0.5);
  EXPECT_EQ(manager->activityIndicatorState(), State::notActive);
  EXPECT_FALSE(manager->isNetworkActivityIndicatorVisible());
  // notActive assigned the visibility it already had: nobody is told.
  EXPECT_TRUE(indicator->calls.empty());
  EXPECT_TRUE(callbacks.empty());
  EXPECT_EQ(manager->startDelayTimer(), nullptr);
}

TEST_F(ActivityIndicatorManagerTest, ARequestWithinTheCompletionDelayKeepsItShownWithoutAFlicker) {
  auto request = runningSilentRequest();
  auto manager = makeManager(request);
  clock->advance(1.0);
  completed(request);
  clock->advance(0.199);
  EXPECT_EQ(manager->activityIndicatorState(), State::delayingCompletion);

  auto next = runningSilentRequest();
  manager->setDataRequest(next);
  EXPECT_EQ(manager->activityIndicatorState(), State::active);
  EXPECT_EQ(manager->completionDelayTimer(), nullptr);
  clock->advance(5.0);
  EXPECT_EQ(indicator->calls, Calls{"start"});  // visible assigned true again: no call
  EXPECT_EQ(callbacks, Callbacks{true});

  completed(next);
  clock->advance(0.2);
  EXPECT_EQ(indicator->calls, (Calls{"start", "stop"}));
}

TEST_F(ActivityIndicatorManagerTest, ADisabledManagerIgnoresCountChangesButItsTimersStillFire) {
  auto request = runningSilentRequest();
  auto manager = makeManager(request);
  manager->setEnabled(false);
  EXPECT_FALSE(manager->isEnabled());
  completed(request);
  EXPECT_EQ(manager->activityIndicatorState(), State::delayingStart);
  clock->advance(1.0);  // the start timer applies its rule: no activity
  EXPECT_EQ(manager->activityIndicatorState(), State::notActive);

  manager->incrementActivityCount();
  EXPECT_EQ(manager->activityIndicatorState(), State::notActive);
  manager->setEnabled(true);  // does not re-evaluate
  EXPECT_EQ(manager->activityIndicatorState(), State::notActive);
  manager->decrementActivityCount();
  manager->incrementActivityCount();
  EXPECT_EQ(manager->activityIndicatorState(), State::delayingStart);
  clock->advance(1.0);
  manager->setEnabled(false);
  manager->decrementActivityCount();
  clock->advance(10.0);
  EXPECT_EQ(manager->activityIndicatorState(), State::active);
  EXPECT_TRUE(manager->isNetworkActivityIndicatorVisible());

  // A completion delay that ends while activity came back (unseen while
  // disabled) keeps the indicator shown.
  manager->setEnabled(true);
  manager->incrementActivityCount();
  manager->decrementActivityCount();
  EXPECT_EQ(manager->activityIndicatorState(), State::delayingCompletion);
  manager->setEnabled(false);
  manager->incrementActivityCount();
  clock->advance(0.2);
  EXPECT_EQ(manager->activityIndicatorState(), State::active);
  EXPECT_EQ(callbacks, Callbacks{true});
}

TEST_F(ActivityIndicatorManagerTest, EachTrackedTaskCountsOnceFromStartToEnd) {
  auto request = runningSilentRequest();
  auto manager = makeManager(request);
  started(request);  // already counted by the constructor
  started(request);
  EXPECT_EQ(manager->activityCount(), 1);
  suspended(request);
  completed(request);  // a suspended task that completes ends nothing more
  completed(request);
  EXPECT_EQ(manager->activityCount(), 0);
  started(request);
  EXPECT_EQ(manager->activityCount(), 1);

  // Other requests' notifications are ignored, whatever they say.
  auto other = runningSilentRequest();
  started(other);
  completed(other);
  EXPECT_EQ(manager->activityCount(), 1);
  post(kRequestDidResumeTaskNotification, nullptr);
  EXPECT_EQ(manager->activityCount(), 1);
}

TEST_F(ActivityIndicatorManagerTest, AssigningRequestsNeitherMultipliesDeliveriesNorLosesEnds) {
  auto first = runningSilentRequest();
  auto second = runningSilentRequest();
  auto manager = makeManager(nullptr);
  manager->setDataRequest(first);
  manager->setDataRequest(first);
  EXPECT_EQ(manager->activityCount(), 1);
  completed(first);
  EXPECT_EQ(manager->activityCount(), 0);
  started(first);
  EXPECT_EQ(manager->activityCount(), 1);

  manager->setDataRequest(second);
  EXPECT_EQ(manager->activityCount(), 2);
  started(first);  // no longer tracked: a new start is not counted
  completed(first);
  EXPECT_EQ(manager->activityCount(), 1);
  completed(second);
  EXPECT_EQ(manager->activityCount(), 0);

  manager->decrementActivityCount();  // never below 0
  EXPECT_EQ(manager->activityCount(), 0);
  manager->incrementActivityCount();
  EXPECT_EQ(manager->activityIndicatorState(), State::delayingStart);
}

TEST_F(ActivityIndicatorManagerTest, AnEndAndAStartBeforeTheMainContextRunsNeverHideTheIndicator) {
  auto request = runningSilentRequest();
  auto manager = makeManager(request);
  clock->advance(1.0);
  ASSERT_TRUE(manager->isNetworkActivityIndicatorVisible());

  // Both arrive on another thread while the main context is busy elsewhere.
  std::thread([&] {
    suspended(request);
    started(request);
  }).join();
  drainMainContext();
  clock->advance(0.2);
  clock->advance(5.0);
  EXPECT_EQ(manager->activityIndicatorState(), State::active);
  EXPECT_EQ(indicator->calls, Calls{"start"});
  EXPECT_EQ(callbacks, Callbacks{true});
}

TEST_F(ActivityIndicatorManagerTest, NotificationsFromManyThreadsLeaveAConsistentCount) {
  auto request = runningSilentRequest();
  auto other = runningSilentRequest();
  auto manager = makeManager(request);
  std::vector<std::thread> threads;
  threads.reserve(4);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        const auto& r = t % 2 == 0 ? request : other;
        started(r);
        completed(r);
      }
    });
  }
  for (int i = 0; i < 20; ++i) clock->advance(0.1);
  for (auto& t : threads) t.join();
  completed(request);
  clock->advance(2.0);
  EXPECT_EQ(manager->activityCount(), 0);
  EXPECT_EQ(manager->activityIndicatorState(), State::notActive);
  EXPECT_FALSE(indicator->animating);
}

TEST_F(ActivityIndicatorManagerTest, ADroppedManagerTellsNobodyWhatWasStillOnItsWay) {
  // The timers fire on the main context, and the host drops the manager
  // before the posted visibility change runs: its callback may point into
  // a screen that is gone, and a spinner started now would never stop.
  auto request = runningSilentRequest();
  auto manager = makeManager(request);
  postToMain([&] {
    clock->advance(1.0);
    manager.reset();
  });
  drainMainContext();
  EXPECT_TRUE(callbacks.empty());
  EXPECT_TRUE(indicator->calls.empty());

  // A hide on its way still reaches the indicator, so it does not spin on.
  manager = makeManager(request);
  clock->advance(1.0);
  completed(request);
  postToMain([&] {
    clock->advance(0.2);
    manager.reset();
  });
  drainMainContext();
  EXPECT_EQ(indicator->calls, (Calls{"start", "stop"}));
  EXPECT_EQ(callbacks, Callbacks{true});
}

TEST_F(ActivityIndicatorManagerTest, DrivesTheToolkitsSpinnerAndReadsTheNewDelays) {
  auto spinner = std::make_shared<platform::ActivityIndicatorView>();
  auto request = runningSilentRequest();
  ActivityIndicatorManager manager(std::make_shared<ActivityIndicatorViewAdapter>(spinner),
                                   nullptr);
  manager.setStartDelay(0.5);
  manager.setCompletionDelay(2.0);
  manager.setDataRequest(request);
  clock->advance(0.5);
  EXPECT_TRUE(spinner->isAnimating());
  EXPECT_FALSE(spinner->isHidden);
  completed(request);
  clock->advance(1.999);
  EXPECT_TRUE(spinner->isAnimating());
  clock->advance(0.001);
  EXPECT_FALSE(spinner->isAnimating());
  EXPECT_TRUE(spinner->isHidden);
}

}  // namespace
}  // namespace quarn
