// Replaying the inputs kept for a fuzz target in a unit test, so that every
// build checks them: the test executable links the target's library, whose
// entry point checks each input itself and returns 0.
//
//   TEST(URLMatcherFuzzRegressionTest, ReplaysEveryKeptInput) {
//     quarn::testing::replayKeptInputs(QUARNKIT_URL_MATCHER_REGRESSIONS);
//   }
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "quarnkit/testing/support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace quarn::testing {

/// Runs `oneInput(data, size)` on every file of `dir`, of which there must be
/// one, and expects 0 from each; a failure names the file.
template <class OneInput>
void replayKeptInputs(const std::filesystem::path& dir, OneInput&& oneInput) {
  const auto inputs = keptInputs(dir);
  ASSERT_FALSE(inputs.empty()) << dir;
  for (const auto& [name, bytes] : inputs) {
    SCOPED_TRACE(name);
    EXPECT_EQ(oneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
  }
}

/// The same through the fuzz target's entry point.
inline void replayKeptInputs(const std::filesystem::path& dir) {
  replayKeptInputs(dir, LLVMFuzzerTestOneInput);
}

}  // namespace quarn::testing
