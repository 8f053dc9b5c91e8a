#include "quarnkit/ui/activity_indicator_manager.h"

#include <algorithm>
#include <array>
#include <limits>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "quarnkit/http/event_monitor.h"
#include "quarnkit/http/request.h"
#include "quarnkit/platform/notification_center.h"
#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/runtime/clock.h"

namespace quarn {

using platform::Timer;
using Phase = ActivityIndicatorState;

// Shared with the notification observers and the timers, which hold it
// weakly: either may still run on another thread while the manager goes.
// Members are guarded by `lock`; the methods below expect it held.
struct ActivityIndicatorManager::State : std::enable_shared_from_this<State> {
  mutable std::mutex lock;
  std::shared_ptr<ActivityIndicatorProtocol> view;
  std::shared_ptr<http::Request> dataRequest;
  bool visible = false;
  std::function<void(bool)> visibilityChanged;
  double startDelay = 1.0;
  double completionDelay = 0.2;
  Phase phase = Phase::notActive;
  std::int64_t activityCount = 0;
  bool enabled = true;
  std::shared_ptr<Timer> startDelayTimer;
  std::shared_ptr<Timer> completionDelayTimer;
  // Tasks whose start is counted and whose end is not yet: each counts once,
  // however many notifications arrive, and a replaced request's task still
  // ends its activity.
  std::vector<std::shared_ptr<http::SessionTask>> countedTasks;

  std::shared_ptr<platform::NotificationCenter> center;
  std::array<platform::ObserverToken, 3> observers;

  void changeCount(std::int64_t delta) {
    if (delta > 0 && activityCount < std::numeric_limits<std::int64_t>::max()) ++activityCount;
    if (delta < 0 && activityCount > 0) --activityCount;
    updatePhase();
  }

  void taskStarted(const std::shared_ptr<http::SessionTask>& task) {
    if (std::find(countedTasks.begin(), countedTasks.end(), task) != countedTasks.end()) return;
    countedTasks.push_back(task);
    changeCount(+1);
  }

  void taskEnded(const std::shared_ptr<http::SessionTask>& task) {
    const auto it = std::find(countedTasks.begin(), countedTasks.end(), task);
    if (it == countedTasks.end()) return;
    countedTasks.erase(it);
    changeCount(-1);
  }

  void countIfRunning(const std::shared_ptr<http::Request>& request) {
    if (!request) return;
    const auto task = request->task();
    if (task && task->state() == http::SessionTask::State::running) taskStarted(task);
  }

  void updatePhase() {
    if (!enabled) return;
    switch (phase) {
      case Phase::notActive:
        if (activityCount > 0) enter(Phase::delayingStart);
        break;
      case Phase::delayingStart:
        break;  // the start timer decides
      case Phase::active:
        if (activityCount == 0) enter(Phase::delayingCompletion);
        break;
      case Phase::delayingCompletion:
        if (activityCount >= 1) enter(Phase::active);
        break;
    }
  }

  void enter(Phase next) {
    phase = next;
    switch (next) {
      case Phase::notActive:
        setVisible(false);
        drop(startDelayTimer);
        drop(completionDelayTimer);
        break;
      case Phase::delayingStart:
        drop(startDelayTimer);
        startDelayTimer = schedule(startDelay, &State::startDelayTimerFired);
        break;
      case Phase::active:
        drop(completionDelayTimer);
        setVisible(true);
        break;
      case Phase::delayingCompletion:
        drop(completionDelayTimer);
        completionDelayTimer = schedule(completionDelay, &State::completionDelayTimerFired);
        break;
    }
  }

  static void drop(std::shared_ptr<Timer>& timer) {
    if (timer) timer->invalidate();
    timer.reset();
  }

  // Scheduled and stored under the lock, so that a later state change always
  // sees (and can invalidate) the timer an earlier one started.
  std::shared_ptr<Timer> schedule(double delay, void (State::*fired)(Timer&)) {
    std::weak_ptr<State> weak = weak_from_this();
    return platform::TimerScheduler::current()->scheduleTimer(
        delay, false, [weak, fired](Timer& timer) {
          if (auto self = weak.lock()) {
            const std::lock_guard guard(self->lock);
            ((*self).*fired)(timer);
          }
        });
  }

  // A timer acts only while it is the stored one and its state still holds.
  void startDelayTimerFired(Timer& timer) {
    if (startDelayTimer.get() != &timer || phase != Phase::delayingStart) return;
    startDelayTimer.reset();
    enter(activityCount >= 1 ? Phase::active : Phase::notActive);
  }

  void completionDelayTimerFired(Timer& timer) {
    if (completionDelayTimer.get() != &timer || phase != Phase::delayingCompletion) return;
    completionDelayTimer.reset();
    // Activity that came back while disabled keeps the indicator shown.
    enter(activityCount == 0 ? Phase::notActive : Phase::active);
  }

  // Posted in the order of the changes; runs on the main context, outside
  // the lock, on copies of the indicator and the callback (either may
  // replace them). Once the manager is gone only a hide still reaches the
  // indicator, and the callback is not told, also when the indicator's own
  // call destroyed the manager: the callback may point into what the host
  // tore down. A throwing indicator does not keep the callback from being
  // told.
  void setVisible(bool shown) {
    if (shown == visible) return;
    visible = shown;
    postToMain([weak = weak_from_this(), indicator = view, callback = visibilityChanged, shown] {
      if (weak.expired() && shown) return;
      const auto tell = [&] {
        if (callback && !weak.expired()) callback(shown);
      };
      if (indicator) {
        try {
          if (shown) {
            indicator->startAnimating();
          } else {
            indicator->stopAnimating();
          }
        } catch (...) {
          tell();
          throw;
        }
      }
      tell();
    });
  }

  // Notification handlers; any thread.
  void requestDidStart(const platform::Notification& notification) {
    const auto request = http::requestOf(notification);
    const auto task = request ? request->task() : nullptr;
    if (!task) return;
    const std::lock_guard guard(lock);
    if (dataRequest && dataRequest->task() == task) taskStarted(task);
  }

  void requestDidComplete(const platform::Notification& notification) {
    const auto request = http::requestOf(notification);
    const auto task = request ? request->task() : nullptr;
    if (!task) return;
    const std::lock_guard guard(lock);
    taskEnded(task);
  }
};

ActivityIndicatorManager::ActivityIndicatorManager(
    std::shared_ptr<ActivityIndicatorProtocol> indicatorView,
    std::shared_ptr<http::Request> dataRequest)
    : state_(std::make_shared<State>()) {
  state_->view = std::move(indicatorView);
  state_->dataRequest = std::move(dataRequest);
  // Registered once for the manager's life: assigning another request
  // changes what the handlers compare against, not how often they run.
  state_->center = platform::NotificationCenter::current();
  const std::weak_ptr<State> weak = state_;
  const auto observe = [&](std::string_view name,
                           void (State::*handler)(const platform::Notification&)) {
    return state_->center->addObserver(std::string(name), nullptr,
                                       [weak, handler](const platform::Notification& n) {
                                         if (auto self = weak.lock()) ((*self).*handler)(n);
                                       });
  };
  state_->observers = {
      observe(http::kRequestDidResumeTaskNotification, &State::requestDidStart),
      observe(http::kRequestDidSuspendTaskNotification, &State::requestDidComplete),
      observe(http::kRequestDidCompleteTaskNotification, &State::requestDidComplete)};
  const std::lock_guard guard(state_->lock);
  state_->countIfRunning(state_->dataRequest);
}

ActivityIndicatorManager::~ActivityIndicatorManager() {
  for (const auto& token : state_->observers) state_->center->removeObserver(token);
  const std::lock_guard guard(state_->lock);
  State::drop(state_->startDelayTimer);
  State::drop(state_->completionDelayTimer);
}

std::shared_ptr<ActivityIndicatorProtocol> ActivityIndicatorManager::activityIndicatorView() const {
  const std::lock_guard guard(state_->lock);
  return state_->view;
}

void ActivityIndicatorManager::setActivityIndicatorView(
    std::shared_ptr<ActivityIndicatorProtocol> view) {
  const std::lock_guard guard(state_->lock);
  state_->view = std::move(view);
}

std::shared_ptr<http::Request> ActivityIndicatorManager::dataRequest() const {
  const std::lock_guard guard(state_->lock);
  return state_->dataRequest;
}

void ActivityIndicatorManager::setDataRequest(std::shared_ptr<http::Request> request) {
  const std::lock_guard guard(state_->lock);
  state_->dataRequest = std::move(request);
  state_->countIfRunning(state_->dataRequest);
}

bool ActivityIndicatorManager::isNetworkActivityIndicatorVisible() const {
  const std::lock_guard guard(state_->lock);
  return state_->visible;
}

std::function<void(bool)> ActivityIndicatorManager::networkActivityIndicatorVisibilityChanged()
    const {
  const std::lock_guard guard(state_->lock);
  return state_->visibilityChanged;
}

void ActivityIndicatorManager::setNetworkActivityIndicatorVisibilityChanged(
    std::function<void(bool)> callback) {
  const std::lock_guard guard(state_->lock);
  state_->visibilityChanged = std::move(callback);
}

double ActivityIndicatorManager::startDelay() const {
  const std::lock_guard guard(state_->lock);
  return state_->startDelay;
}

void ActivityIndicatorManager::setStartDelay(double seconds) {
  const std::lock_guard guard(state_->lock);
  state_->startDelay = seconds;
}

double ActivityIndicatorManager::completionDelay() const {
  const std::lock_guard guard(state_->lock);
  return state_->completionDelay;
}

void ActivityIndicatorManager::setCompletionDelay(double seconds) {
  const std::lock_guard guard(state_->lock);
  state_->completionDelay = seconds;
}

bool ActivityIndicatorManager::isEnabled() const {
  const std::lock_guard guard(state_->lock);
  return state_->enabled;
}

void ActivityIndicatorManager::setEnabled(bool enabled) {
  const std::lock_guard guard(state_->lock);
  state_->enabled = enabled;
}

ActivityIndicatorState ActivityIndicatorManager::activityIndicatorState() const {
  const std::lock_guard guard(state_->lock);
  return state_->phase;
}

std::int64_t ActivityIndicatorManager::activityCount() const {
  const std::lock_guard guard(state_->lock);
  return state_->activityCount;
}

bool ActivityIndicatorManager::hasActivity() const { return activityCount() > 0; }

std::shared_ptr<Timer> ActivityIndicatorManager::startDelayTimer() const {
  const std::lock_guard guard(state_->lock);
  return state_->startDelayTimer;
}

std::shared_ptr<Timer> ActivityIndicatorManager::completionDelayTimer() const {
  const std::lock_guard guard(state_->lock);
  return state_->completionDelayTimer;
}

void ActivityIndicatorManager::incrementActivityCount() {
  const std::lock_guard guard(state_->lock);
  state_->changeCount(+1);
}

void ActivityIndicatorManager::decrementActivityCount() {
  const std::lock_guard guard(state_->lock);
  state_->changeCount(-1);
}

}  // namespace quarn
