// Replays the kept inputs of the coding toolkit's fuzz target (type-preserved
// values, references, media times, variations and forms); the target itself
// checks each one (a DecodingError or a value that round-trips, never a
// crash or another failure).
#include <gtest/gtest.h>

#include <cstdint>

#include "quarnkit/testing/support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

TEST(CodingToolkitFuzzRegressionTest, ReplaysEveryKeptInput) {
  quarn::testing::expectKeptInputsAccepted(QUARNKIT_CODING_TOOLKIT_REGRESSIONS,
                                           &LLVMFuzzerTestOneInput);
}

}  // namespace
