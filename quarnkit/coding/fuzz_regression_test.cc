// Replays the inputs kept for the type-adapter registry's fuzz target; the
// target itself checks each one against its model of the registries (the
// type decoded, the text written, the registration refused and why).
#include "quarnkit/testing/fuzz_replay.h"

namespace {

TEST(TypeAdapterRegistryFuzzRegressionTest, ReplaysEveryKeptInput) {
  quarn::testing::replayKeptInputs(QUARNKIT_TYPE_ADAPTER_REGISTRY_REGRESSIONS);
}

}  // namespace
