// Replays the inputs kept for the paginated data source's fuzz target; the
// target itself checks each one (every completion once, every await ended,
// no leaked continuation, idle once the fetcher is, no duplicate ids).
#include "quarnkit/testing/fuzz_replay.h"

namespace {

TEST(PaginatedDataSourceFuzzRegressionTest, ReplaysEveryKeptInput) {
  quarn::testing::replayKeptInputs(QUARNKIT_PAGINATED_DATA_SOURCE_REGRESSIONS);
}

}  // namespace
