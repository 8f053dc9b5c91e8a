/// @file
/// EventMonitor: told, on the main context, what the requests of a session do with their tasks.

/// @class quarn::http::EventMonitor
/// Told, on the main context, what the requests of a session do
/// with their tasks. The host's shared object: a session holds its monitors in
/// std::shared_ptr. A monitor that throws is logged (error) and the request
/// goes on; it may cancel requests, make new ones or drop the session. NotificationEventMonitor,
/// which sessions carry by default, turns three of those events into notifications of the platform
/// notification centre, with the request as the notification's object and
/// under "request" in its user info:
///
/// ```
///   auto token = platform::NotificationCenter::current()->addObserver(
///       std::string(kRequestDidResumeTaskNotification), nullptr,
///       [](const platform::Notification& n) { started(requestOf(n)); });
/// ```
#pragma once

#include <memory>
#include <string_view>

#include "quarnkit/http/request_error.h"
#include "quarnkit/http/session_task.h"

namespace quarn::platform {
struct Notification;
}

namespace quarn::http {

class Request;

/// A request resumed its task (first start included).
inline constexpr std::string_view kRequestDidResumeTaskNotification =
    "QuarnKit.Request.didResumeTask";
/// A request suspended its task.
inline constexpr std::string_view kRequestDidSuspendTaskNotification =
    "QuarnKit.Request.didSuspendTask";
/// A request's task completed (finished, failed or was cancelled).
inline constexpr std::string_view kRequestDidCompleteTaskNotification =
    "QuarnKit.Request.didCompleteTask";

/// The request a request notification carries, or null for another
/// notification.
std::shared_ptr<Request> requestOf(const platform::Notification& notification);

class EventMonitor {
 public:
  virtual ~EventMonitor() = default;
  /// The request's task started or resumed.
  virtual void requestDidResumeTask(const std::shared_ptr<Request>&, const SessionTask&) {}
  /// The request's task was suspended.
  virtual void requestDidSuspendTask(const std::shared_ptr<Request>&, const SessionTask&) {}
  /// `error` is the task's failure, or null when the transfer succeeded.
  virtual void requestDidCompleteTask(const std::shared_ptr<Request>&, const SessionTask&,
                                      const RequestError* /*error*/) {}
  /// The request has its outcome; response handlers run after this.
  virtual void requestDidFinish(const std::shared_ptr<Request>&) {}
};

/// Posts each task event as the matching request notification on the current notification centre
/// (the ones ActivityIndicatorManager follows).
class NotificationEventMonitor final : public EventMonitor {
 public:
  /// Posts kRequestDidResumeTaskNotification.
  void requestDidResumeTask(const std::shared_ptr<Request>& request, const SessionTask&) override;
  /// Posts kRequestDidSuspendTaskNotification.
  void requestDidSuspendTask(const std::shared_ptr<Request>& request, const SessionTask&) override;
  void requestDidCompleteTask(const std::shared_ptr<Request>& request, const SessionTask&,
                              const RequestError* error) override;
};

}  // namespace quarn::http
