// Replays the kept inputs of the text-template fuzz target (inputs that made
// it fail, and ones that would not end without the expansion bounds) in each
// of the four calls its first byte chooses; the harness checks each one.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "quarnkit/testing/support.h"

namespace quarn::fuzz {
int textTemplateOneInput(const std::uint8_t* data, std::size_t size);
}

namespace {

TEST(TextTemplateFuzzRegressionTest, ReplaysEveryKeptInput) {
  const auto inputs = quarn::testing::keptInputs(QUARNKIT_TEXT_TEMPLATE_REGRESSIONS);
  ASSERT_FALSE(inputs.empty());
  for (const auto& [name, bytes] : inputs) {
    ASSERT_FALSE(bytes.empty()) << name;
    for (char call = 0; call < 4; ++call) {
      SCOPED_TRACE(name + " call " + std::to_string(call));
      std::string input = bytes;
      input[0] = call;
      EXPECT_EQ(quarn::fuzz::textTemplateOneInput(
                    reinterpret_cast<const std::uint8_t*>(input.data()), input.size()),
                0);
    }
  }
}

}  // namespace
