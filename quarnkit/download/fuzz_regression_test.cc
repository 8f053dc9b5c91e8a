// Replays the inputs kept for the resource downloader's fuzz target; the
// target itself checks each one (every caller ends, the task map empties, a
// finished download's file keeps its content, no continuation leaks).
#include "quarnkit/testing/fuzz_replay.h"

namespace {

TEST(ResourceDownloaderFuzzRegressionTest, ReplaysEveryKeptInput) {
  quarn::testing::replayKeptInputs(QUARNKIT_RESOURCE_DOWNLOADER_REGRESSIONS);
}

}  // namespace
