// Replays the inputs that once made the fuzz target fail; the target itself
// checks each one (no crash, round trip through the canonical text, same
// result for a dictionary and a Value as the evaluated object).
#include "quarnkit/testing/fuzz_replay.h"

namespace {

TEST(PredicateFuzzRegressionTest, ReplaysEveryKeptInput) {
  quarn::testing::replayKeptInputs(QUARNKIT_PREDICATE_REGRESSIONS);
}

}  // namespace
