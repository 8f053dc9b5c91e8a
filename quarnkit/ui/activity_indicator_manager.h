/// @file
/// ActivityIndicatorManager: shows a busy indicator while one HTTP request runs, late enough that
/// short requests never flash it and long enough that back-to-back requests do not make it flicker.

/// @class quarn::ActivityIndicatorManager
/// Shows a busy indicator while one HTTP request
/// runs, late enough that short requests never flash it and long enough that
/// back-to-back requests do not make it flicker.
///
/// ```
///   auto spinner = std::make_shared<platform::ActivityIndicatorView>();
///   ActivityIndicatorManager manager(std::make_shared<ActivityIndicatorViewAdapter>(spinner),
///                                    request);
///   manager.setNetworkActivityIndicatorVisibilityChanged([](bool shown) { ... });
/// ```
///
/// The manager follows the request through the HTTP client's resume, suspend
/// and complete notifications, matching them by the request's task. The
/// first activity starts a `startDelay` timer (1 s); if the request still
/// runs when it fires the indicator is shown, otherwise nothing happens. When
/// activity ends a `completionDelay` timer (0.2 s) hides it, unless activity
/// resumes first. Each tracked task is counted once from its start to its
/// end (a suspension ends it; resuming counts it again), so the count never
/// drifts below zero, and a request replaced by another is still uncounted
/// when it ends. Disabling the manager freezes the state against count
/// changes; timers already running still fire.
///
/// Thread-safe: notifications may arrive on any thread. Timers come from
/// platform::TimerScheduler::current(); the indicator and the visibility
/// callback are called on the main context, after the manager's lock is
/// released, in the order the visibility changed. Once the manager is
/// destroyed the callback is no longer called, and the indicator is only
/// still told to stop.
///
/// A unique object: neither copied nor moved (its timers and observers reach
/// a state it shares with them, never the manager itself). Inside the
/// indicator's calls and the callback the host may destroy the manager (a
/// destroyed manager tells the callback nothing more, even about the change
/// under way when the indicator destroyed it), and may call any of its
/// members (count, request, indicator, callback, delays); a change it causes
/// is delivered after the current one. An exception from either leaves
/// whatever runs the main context (the indicator's after the callback was
/// still told); the manager keeps working.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "quarnkit/ui/activity_indicator_protocol.h"

namespace quarn::http {
class Request;
}
namespace quarn::platform {
class Timer;
}

namespace quarn {

/// Where the indicator is in its cycle: hidden, waiting to show, shown, waiting to hide.
enum class ActivityIndicatorState { notActive, delayingStart, active, delayingCompletion };

class ActivityIndicatorManager {
 public:
  /// Follows `dataRequest` (may be null); a request whose task is already
  /// running counts as one activity at once.
  ActivityIndicatorManager(std::shared_ptr<ActivityIndicatorProtocol> indicatorView,
                           std::shared_ptr<http::Request> dataRequest);
  ~ActivityIndicatorManager();
  ActivityIndicatorManager(const ActivityIndicatorManager&) = delete;
  ActivityIndicatorManager& operator=(const ActivityIndicatorManager&) = delete;

  /// The indicator told to start and stop.
  [[nodiscard]] std::shared_ptr<ActivityIndicatorProtocol> activityIndicatorView() const;
  /// Replaces the indicator; the new one is told the current visibility from the next change on.
  void setActivityIndicatorView(std::shared_ptr<ActivityIndicatorProtocol> view);

  /// The request followed, or null.
  [[nodiscard]] std::shared_ptr<http::Request> dataRequest() const;
  /// Tracks another request from now on, counting it at once when its task
  /// is running. The count is kept: the previous request's activity ends
  /// when that request's task does.
  void setDataRequest(std::shared_ptr<http::Request> request);

  /// Whether the indicator is shown (the state's view of it; the indicator
  /// itself is told on the main context).
  [[nodiscard]] bool isNetworkActivityIndicatorVisible() const;
  /// The callback told every visibility change, or an empty function.
  [[nodiscard]] std::function<void(bool)> networkActivityIndicatorVisibilityChanged() const;
  /// Told every visibility change, on the main context.
  void setNetworkActivityIndicatorVisibilityChanged(std::function<void(bool)> callback);

  /// Seconds before the indicator shows (1.0); read when the timer starts.
  [[nodiscard]] double startDelay() const;
  /// Sets the start delay; a running timer keeps the delay it started with.
  void setStartDelay(double seconds);
  /// Seconds before the indicator hides (0.2); read when the timer starts.
  [[nodiscard]] double completionDelay() const;
  /// Sets the completion delay; a running timer keeps the delay it started with.
  void setCompletionDelay(double seconds);

  /// Whether count changes move the state (true at first).
  [[nodiscard]] bool isEnabled() const;
  /// While disabled, count changes do not move the state; setting it does
  /// not re-evaluate the state either.
  void setEnabled(bool enabled);

  /// The state of the cycle.
  [[nodiscard]] ActivityIndicatorState activityIndicatorState() const;
  /// The activities under way (tasks of the request that run).
  [[nodiscard]] std::int64_t activityCount() const;
  /// Whether activityCount() is above 0.
  [[nodiscard]] bool hasActivity() const;
  /// The pending show timer, or null.
  [[nodiscard]] std::shared_ptr<platform::Timer> startDelayTimer() const;
  /// The pending hide timer, or null.
  [[nodiscard]] std::shared_ptr<platform::Timer> completionDelayTimer() const;

  /// Counts one activity more and updates the state. The count stays
  /// between 0 and the largest int64.
  void incrementActivityCount();
  /// Counts one activity less (none at 0) and updates the state.
  void decrementActivityCount();

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace quarn
