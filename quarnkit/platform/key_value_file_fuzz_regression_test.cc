// Replays the kept inputs of the key-value file fuzz target; the target itself
// checks each one (no crash, whatever is read writes back and reads back the
// same).
#include <gtest/gtest.h>

#include <cstdint>

#include "quarnkit/testing/support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

TEST(KeyValueFileFuzzRegressionTest, ReplaysEveryKeptInput) {
  const auto inputs = quarn::testing::keptInputs(QUARNKIT_KEY_VALUE_FILE_REGRESSIONS);
  ASSERT_FALSE(inputs.empty());
  for (const auto& [name, bytes] : inputs) {
    SCOPED_TRACE(name);
    EXPECT_EQ(
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
        0);
  }
}

}  // namespace
