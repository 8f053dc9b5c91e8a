// Replays the kept inputs of the text-template fuzz target (inputs that made
// it fail, and ones that would not end without the expansion bounds) in each
// of the four calls its first byte chooses; the harness checks each one.
#include <string>
#include <vector>

#include "quarnkit/testing/fuzz_replay.h"

namespace quarn::fuzz {
int textTemplateOneInput(const std::uint8_t* data, std::size_t size);
}

namespace {

TEST(TextTemplateFuzzRegressionTest, ReplaysEveryKeptInput) {
  quarn::testing::replayKeptInputs(
      QUARNKIT_TEXT_TEMPLATE_REGRESSIONS, [](const std::uint8_t* data, std::size_t size) {
        EXPECT_NE(size, 0U);
        std::vector<std::uint8_t> input(data, data + size);
        for (std::uint8_t call = 0; call < 4 && size > 0; ++call) {
          SCOPED_TRACE("call " + std::to_string(call));
          input[0] = call;
          EXPECT_EQ(quarn::fuzz::textTemplateOneInput(input.data(), input.size()), 0);
        }
        return 0;
      });
}

}  // namespace
