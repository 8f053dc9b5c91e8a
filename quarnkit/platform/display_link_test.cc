// Display links: manual frames, self-invalidation, links added mid-frame, and
// the default links on the injectable timer scheduler.
#include "quarnkit/platform/display_link.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/runtime/clock.h"

namespace quarn::platform {
namespace {

TEST(DisplayLinkTest, ManualFramesCallLinksInOrderUntilInvalidated) {
  auto frames = std::make_shared<ManualFrameScheduler>();
  ScopedService<FrameScheduler> installed(frames);
  std::string calls;
  auto a = DisplayLink::add([&](DisplayLink&) { calls += 'a'; });
  int bCalls = 0;
  auto b = DisplayLink::add([&](DisplayLink& self) {
    calls += 'b';
    if (++bCalls == 2) self.invalidate();
  });
  EXPECT_EQ(calls, "");  // nothing before the first frame
  frames->step(3);
  EXPECT_EQ(calls, "ababa");
  EXPECT_FALSE(b->isValid());
  EXPECT_EQ(frames->linkCount(), 1u);
  a->invalidate();
  frames->step();
  EXPECT_EQ(calls, "ababa");
  EXPECT_EQ(frames->linkCount(), 0u);
}

TEST(DisplayLinkTest, LinksAddedOrStoppedDuringAFrame) {
  auto frames = std::make_shared<ManualFrameScheduler>();
  std::string calls;
  std::shared_ptr<DisplayLink> late;
  std::shared_ptr<DisplayLink> second;
  auto first = frames->addDisplayLink([&](DisplayLink&) {
    calls += '1';
    second->invalidate();  // not called in this frame any more
    if (!late) late = frames->addDisplayLink([&](DisplayLink&) { calls += 'L'; });
  });
  second = frames->addDisplayLink([&](DisplayLink&) { calls += '2'; });
  frames->step();
  EXPECT_EQ(calls, "1");  // the late link waits for the next frame
  frames->step();
  EXPECT_EQ(calls, "11L");
  first->invalidate();
  late->invalidate();
  EXPECT_EQ(frames->runUntilIdle(100), 0u);
}

TEST(DisplayLinkTest, DefaultLinksAreRepeatingTimers) {
  auto clock = std::make_shared<ManualClock>();
  ScopedService<TimerScheduler> scheduler(clock);
  int count = 0;
  auto link = TimerFrameScheduler().addDisplayLink([&](DisplayLink& self) {
    if (++count == 3) self.invalidate();
  });
  drainMainContext();
  clock->advance(DisplayLink::kFrameInterval);
  EXPECT_EQ(count, 1);
  clock->advance(1.0);
  EXPECT_EQ(count, 3);
  EXPECT_FALSE(link->isValid());
  EXPECT_EQ(clock->pendingCount(), 0u);
}

}  // namespace
}  // namespace quarn::platform
