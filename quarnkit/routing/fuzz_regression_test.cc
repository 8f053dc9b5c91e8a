// Replays the inputs kept for the URL matcher's fuzz target; the target itself
// checks each one (no exception, index equal to scan, stable normalisation).
#include "quarnkit/testing/fuzz_replay.h"

namespace {

TEST(URLMatcherFuzzRegressionTest, ReplaysEveryKeptInput) {
  quarn::testing::replayKeptInputs(QUARNKIT_URL_MATCHER_REGRESSIONS);
}

}  // namespace
