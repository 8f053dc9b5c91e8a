// Replays the inputs that once made the fuzz target fail; the target itself
// checks each one (no crash, round trip through the canonical text, same
// result for a dictionary and a Value as the evaluated object).
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

TEST(PredicateFuzzRegressionTest, ReplaysEveryKeptInput) {
  const std::filesystem::path dir(QUARNKIT_PREDICATE_REGRESSIONS);
  ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SCOPED_TRACE(entry.path().filename().string());
    EXPECT_EQ(
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
        0);
    ++replayed;
  }
  EXPECT_GT(replayed, 0);
}

}  // namespace
