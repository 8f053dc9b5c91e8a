/// @file
/// The application's life-cycle notifications. The host posts them from its
/// own life-cycle callbacks (on the main context); library components
/// observe them through the current notification centre (a paged data
/// source reloads on returning to the foreground, a player pauses in the
/// background).
///
/// ```
///   // in the host's foreground callback:
///   platform::postApplicationWillEnterForeground();
/// ```
#pragma once

#include <string_view>

namespace quarn::platform {

/// The application is about to come back to the foreground.
inline constexpr std::string_view kApplicationWillEnterForegroundNotification =
    "ApplicationWillEnterForeground";
/// The application went to the background.
inline constexpr std::string_view kApplicationDidEnterBackgroundNotification =
    "ApplicationDidEnterBackground";

/// Posts kApplicationWillEnterForegroundNotification on the current centre.
void postApplicationWillEnterForeground();
/// Posts kApplicationDidEnterBackgroundNotification on the current centre.
void postApplicationDidEnterBackground();

}  // namespace quarn::platform
