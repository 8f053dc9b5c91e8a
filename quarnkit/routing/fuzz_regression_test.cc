// Replays the inputs kept for the URL matcher's fuzz target; the target itself
// checks each one (no exception, index equal to scan, stable normalisation).
#include <gtest/gtest.h>

#include <cstdint>

#include "quarnkit/testing/support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

TEST(URLMatcherFuzzRegressionTest, ReplaysEveryKeptInput) {
  const auto inputs = quarn::testing::keptInputs(QUARNKIT_URL_MATCHER_REGRESSIONS);
  ASSERT_FALSE(inputs.empty());
  for (const auto& [name, bytes] : inputs) {
    SCOPED_TRACE(name);
    EXPECT_EQ(
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
        0);
  }
}

}  // namespace
