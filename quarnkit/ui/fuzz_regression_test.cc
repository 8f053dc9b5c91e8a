// Replays the inputs kept for the drag-to-dismiss fuzz target; the target
// itself checks each one (every drag that began ends dismissed or sprung back).
#include "quarnkit/testing/fuzz_replay.h"

namespace {

TEST(DismissDragFuzzRegressionTest, ReplaysEveryKeptInput) {
  quarn::testing::replayKeptInputs(QUARNKIT_DISMISS_DRAG_REGRESSIONS);
}

}  // namespace
