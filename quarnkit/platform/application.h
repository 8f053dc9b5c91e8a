/// @file
/// The application's life-cycle notifications, posted on the current
/// NotificationCenter under the platform's names.
#pragma once

namespace quarn::platform {

inline constexpr const char* kApplicationDidEnterBackgroundNotification =
    "UIApplicationDidEnterBackgroundNotification";
inline constexpr const char* kApplicationWillEnterForegroundNotification =
    "UIApplicationWillEnterForegroundNotification";
/// Posted when the application becomes active.
inline constexpr const char* kApplicationDidBecomeActiveNotification =
    "UIApplicationDidBecomeActiveNotification";
/// Posted when the application is about to stop being active.
inline constexpr const char* kApplicationWillResignActiveNotification =
    "UIApplicationWillResignActiveNotification";

}  // namespace quarn::platform
