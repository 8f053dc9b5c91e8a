// Replays the inputs kept for the manual clock's fuzz target; the target
// itself checks each one (timers fire on time, in order and never after
// being invalidated, nothing due is left unfired, fire dates read as set).
#include "quarnkit/testing/fuzz_replay.h"

namespace {

TEST(ManualClockFuzzRegressionTest, ReplaysEveryKeptInput) {
  quarn::testing::replayKeptInputs(QUARNKIT_MANUAL_CLOCK_REGRESSIONS);
}

}  // namespace
