// Replays the kept inputs of the key-value file fuzz target; the target itself
// checks each one (no crash, whatever is read writes back and reads back the
// same).
#include "quarnkit/testing/fuzz_replay.h"

namespace {

TEST(KeyValueFileFuzzRegressionTest, ReplaysEveryKeptInput) {
  quarn::testing::replayKeptInputs(QUARNKIT_KEY_VALUE_FILE_REGRESSIONS);
}

}  // namespace
