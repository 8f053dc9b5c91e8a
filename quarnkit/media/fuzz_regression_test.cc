// Replays the inputs kept for the player screens' fuzz target; the target
// itself checks each sequence (the overlay's states applied or superseded,
// the screen's overlay and playing state consistent, no pending seek).
#include "quarnkit/testing/fuzz_replay.h"

namespace {

TEST(PlayerControllersFuzzRegressionTest, ReplaysEveryKeptInput) {
  quarn::testing::replayKeptInputs(QUARNKIT_PLAYER_CONTROLLERS_REGRESSIONS);
}

}  // namespace
