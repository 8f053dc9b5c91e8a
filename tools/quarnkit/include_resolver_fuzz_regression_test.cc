// Replays the kept inputs of the include resolver's fuzz target: names that
// once led, or could lead, outside the includes folder. The harness checks
// each one.
#include <gtest/gtest.h>

#include <cstdint>

#include "quarnkit/testing/support.h"

namespace quarn::fuzz {
int includeResolverOneInput(const std::uint8_t* data, std::size_t size);
}

namespace {

TEST(IncludeResolverFuzzRegressionTest, ReplaysEveryKeptInput) {
  const auto inputs = quarn::testing::keptInputs(QUARNKIT_INCLUDE_RESOLVER_REGRESSIONS);
  ASSERT_FALSE(inputs.empty());
  for (const auto& [name, bytes] : inputs) {
    SCOPED_TRACE(name);
    EXPECT_EQ(quarn::fuzz::includeResolverOneInput(
                  reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
              0);
  }
}

}  // namespace
