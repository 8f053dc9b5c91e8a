// Replays the kept inputs of the text-template fuzz target (inputs that made
// it fail, and ones that would not end without the expansion bounds); the
// harness checks each one.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace quarn::fuzz {
int textTemplateOneInput(const std::uint8_t* data, std::size_t size);
}

namespace {

TEST(TextTemplateFuzzRegressionTest, ReplaysEveryKeptInput) {
  const std::filesystem::path dir(QUARNKIT_TEXT_TEMPLATE_REGRESSIONS);
  ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SCOPED_TRACE(entry.path().filename().string());
    EXPECT_EQ(quarn::fuzz::textTemplateOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                                bytes.size()),
              0);
    ++replayed;
  }
  EXPECT_GT(replayed, 0);
}

}  // namespace
