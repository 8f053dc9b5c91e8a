// Replays the inputs kept for the animator's fuzz target; the target itself
// checks each one (every animate() completes once, only the closures' own
// exceptions leave, the progress stays in 0...1).
#include "quarnkit/testing/fuzz_replay.h"

namespace {

TEST(AnimatorFuzzRegressionTest, ReplaysEveryKeptInput) {
  quarn::testing::replayKeptInputs(QUARNKIT_ANIMATOR_REGRESSIONS);
}

}  // namespace
