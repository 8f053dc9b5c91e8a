// Replays the kept inputs of the text-template fuzz target (inputs that made
// it fail, and ones that would not end without the expansion bounds); the
// harness checks each one.
#include <gtest/gtest.h>

#include <cstdint>

#include "quarnkit/testing/support.h"

namespace quarn::fuzz {
int textTemplateOneInput(const std::uint8_t* data, std::size_t size);
}

namespace {

TEST(TextTemplateFuzzRegressionTest, ReplaysEveryKeptInput) {
  const auto inputs = quarn::testing::keptInputs(QUARNKIT_TEXT_TEMPLATE_REGRESSIONS);
  ASSERT_FALSE(inputs.empty());
  for (const auto& [name, bytes] : inputs) {
    SCOPED_TRACE(name);
    EXPECT_EQ(quarn::fuzz::textTemplateOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                                bytes.size()),
              0);
  }
}

}  // namespace
