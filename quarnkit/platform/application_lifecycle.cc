#include "quarnkit/platform/application_lifecycle.h"

#include <string>

#include "quarnkit/platform/notification_center.h"

namespace quarn::platform {

void postApplicationWillEnterForeground() {
  NotificationCenter::current()->post(
      {std::string(kApplicationWillEnterForegroundNotification), nullptr, {}});
}

void postApplicationDidEnterBackground() {
  NotificationCenter::current()->post(
      {std::string(kApplicationDidEnterBackgroundNotification), nullptr, {}});
}

}  // namespace quarn::platform
