#include "quarnkit/http/event_monitor.h"

#include "quarnkit/platform/notification_center.h"

namespace quarn::http {

namespace {

void post(std::string_view name, const std::shared_ptr<Request>& request) {
  platform::Notification notification{std::string(name), request, {}};
  notification.userInfo.emplace("request", request);
  platform::NotificationCenter::current()->post(notification);
}

}  // namespace

std::shared_ptr<Request> requestOf(const platform::Notification& notification) {
  const auto it = notification.userInfo.find("request");
  if (it == notification.userInfo.end()) return nullptr;
  if (const auto* request = std::any_cast<std::shared_ptr<Request>>(&it->second)) return *request;
  return nullptr;
}

void NotificationEventMonitor::requestDidResumeTask(const std::shared_ptr<Request>& request,
                                                    const SessionTask&) {
  post(kRequestDidResumeTaskNotification, request);
}

void NotificationEventMonitor::requestDidSuspendTask(const std::shared_ptr<Request>& request,
                                                     const SessionTask&) {
  post(kRequestDidSuspendTaskNotification, request);
}

void NotificationEventMonitor::requestDidCompleteTask(const std::shared_ptr<Request>& request,
                                                      const SessionTask&, const RequestError*) {
  post(kRequestDidCompleteTaskNotification, request);
}

}  // namespace quarn::http
