// Replays the kept inputs of the include resolver's fuzz target: names that
// once led, or could lead, outside the includes folder. The harness checks
// each one.
#include "quarnkit/testing/fuzz_replay.h"

namespace quarn::fuzz {
int includeResolverOneInput(const std::uint8_t* data, std::size_t size);
}

namespace {

TEST(IncludeResolverFuzzRegressionTest, ReplaysEveryKeptInput) {
  quarn::testing::replayKeptInputs(QUARNKIT_INCLUDE_RESOLVER_REGRESSIONS,
                                   quarn::fuzz::includeResolverOneInput);
}

}  // namespace
