// Replays the kept inputs of the text-template fuzz target (inputs that made
// it fail, and ones that would not end without the expansion bounds); the
// harness checks each one.
#include "quarnkit/testing/fuzz_replay.h"

namespace quarn::fuzz {
int textTemplateOneInput(const std::uint8_t* data, std::size_t size);
}

namespace {

TEST(TextTemplateFuzzRegressionTest, ReplaysEveryKeptInput) {
  quarn::testing::replayKeptInputs(QUARNKIT_TEXT_TEMPLATE_REGRESSIONS,
                                   quarn::fuzz::textTemplateOneInput);
}

}  // namespace
