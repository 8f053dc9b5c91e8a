// Replays the inputs kept for the host-action fuzz target; the target itself
// checks each one (every fetch delivers once, no continuation is leaked, no
// two sections share an identity, no screen is left refreshing).
#include "quarnkit/testing/fuzz_replay.h"

namespace {

TEST(CompositeListHostActionsFuzzRegressionTest, ReplaysEveryKeptInput) {
  quarn::testing::replayKeptInputs(QUARNKIT_COMPOSITE_LIST_HOST_ACTIONS_REGRESSIONS);
}

}  // namespace
