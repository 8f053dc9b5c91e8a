// Pausing and resuming a repeating timer on the manual clock.
#include "quarnkit/concurrency/timer_pause.h"

#include <gtest/gtest.h>

namespace quarn {
namespace {

using platform::Clock;
using platform::ManualClock;
using platform::ScopedService;
using platform::TimerScheduler;

TEST(TimerPauseTest, ResumingFiresAfterTheTimeThatWasLeft) {
  auto clock = std::make_shared<ManualClock>(Date(1000));
  ScopedService<Clock> c(clock);
  ScopedService<TimerScheduler> s(clock);
  std::vector<double> fired;
  auto timer = clock->scheduleTimer(
      10, true, [&](platform::Timer&) { fired.push_back(clock->now().timeIntervalSince1970()); });
  clock->advance(7);  // 3 s before the first firing
  EXPECT_FALSE(isPaused(*timer));
  pause(*timer);
  EXPECT_TRUE(isPaused(*timer));
  clock->advance(5);
  pause(*timer);  // paused already: changes nothing
  clock->advance(5);
  EXPECT_TRUE(fired.empty());
  resume(*timer);
  EXPECT_FALSE(isPaused(*timer));
  clock->advance(2.5);
  EXPECT_TRUE(fired.empty());
  clock->advance(0.5);
  EXPECT_EQ(fired, (std::vector<double>{1020}));
  clock->advance(10);  // then every interval again
  EXPECT_EQ(fired, (std::vector<double>{1020, 1030}));
  resume(*timer);  // running: changes nothing
  EXPECT_EQ(timer->fireDate(), Date(1040));
  timer->invalidate();
}

}  // namespace
}  // namespace quarn
