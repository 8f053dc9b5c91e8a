// Small helpers shared by the test executables: catching what a call throws,
// and reading the inputs a fuzz target once failed on so that a unit test can
// replay them in every build.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quarn::testing {

/// What `f()` throws, or null when it returns.
template <class F>
std::exception_ptr errorOf(F&& f) {
  try {
    std::forward<F>(f)();
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

/// What `f()` throws when it is an E; nothing when it returns or throws
/// something else.
template <class E, class F>
std::optional<E> errorOfType(F&& f) {
  try {
    std::forward<F>(f)();
  } catch (const E& e) {
    return e;
  } catch (...) {
  }
  return std::nullopt;
}

/// A kept fuzz input: the file's name and its bytes.
struct KeptInput {
  std::string name;
  std::string bytes;
};

/// Every file of `dir`, in name order (so failures read the same each run).
inline std::vector<KeptInput> keptInputs(const std::filesystem::path& dir) {
  std::vector<KeptInput> out;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    out.push_back(
        {entry.path().filename().string(),
         std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())});
  }
  std::sort(out.begin(), out.end(),
            [](const KeptInput& a, const KeptInput& b) { return a.name < b.name; });
  return out;
}

}  // namespace quarn::testing
