// Replays the kept inputs of the coding toolkit's fuzz target (type-preserved
// values, references, media times, variations and forms); the target itself
// checks each one (a DecodingError or a value that round-trips, never a
// crash or another failure).
#include "quarnkit/testing/fuzz_replay.h"

namespace {

TEST(CodingToolkitFuzzRegressionTest, ReplaysEveryKeptInput) {
  quarn::testing::replayKeptInputs(QUARNKIT_CODING_TOOLKIT_REGRESSIONS);
}

}  // namespace
