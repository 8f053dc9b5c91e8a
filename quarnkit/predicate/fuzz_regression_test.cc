// Replays the inputs that once made the fuzz target fail; the target itself
// checks each one (no crash, round trip through the canonical text, same
// result for a dictionary and a Value as the evaluated object).
#include <gtest/gtest.h>

#include <cstdint>

#include "quarnkit/testing/support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

TEST(PredicateFuzzRegressionTest, ReplaysEveryKeptInput) {
  const auto inputs = quarn::testing::keptInputs(QUARNKIT_PREDICATE_REGRESSIONS);
  ASSERT_FALSE(inputs.empty());
  for (const auto& [name, bytes] : inputs) {
    SCOPED_TRACE(name);
    EXPECT_EQ(
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
        0);
  }
}

}  // namespace
