/// @file
/// Pausing and resuming a repeating timer of the TimerScheduler. The action of
/// a timer may pause or resume its own timer, or drop it; pausing inside the
/// action keeps the whole interval to the next firing. An action that throws
/// leaves a pause it made in place.
///
/// ```
///   auto timer = platform::TimerScheduler::current()->scheduleTimer(10, true, tick);
///   pause(*timer);    // 3 s before it was due: it will not fire
///   resume(*timer);   // later: fires 3 s from now, then every 10 s
/// ```
///
/// While paused, the time that was left is kept in the timer's userInfo()
/// (which must not be used for anything else meanwhile) and the fire date is
/// the distant future. Pausing a paused timer, or resuming a running one,
/// changes nothing. Time is read from the current Clock.
#pragma once

#include "quarnkit/platform/runtime/clock.h"

namespace quarn {

/// Whether `timer` is paused.
bool isPaused(platform::Timer& timer);
/// Stops `timer` firing, keeping the time left until its next firing.
void pause(platform::Timer& timer);
/// Lets `timer` fire again when the time it had left has passed.
void resume(platform::Timer& timer);

}  // namespace quarn
