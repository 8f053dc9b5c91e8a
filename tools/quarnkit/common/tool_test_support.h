// Test helpers of the tool: a scratch directory of files and the platform
// services fixed for a run.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "quarnkit/platform/runtime/clock.h"
#include "tools/quarnkit/host/host_environment.h"

namespace quarn::tool::testing {

/// A fresh directory removed with everything in it at the end of the test.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    path_ =
        std::filesystem::temp_directory_path() /
        ("quarnkit-tool-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter()++));
    std::filesystem::create_directories(path_);
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  /// Writes `text` to `name` under the directory and returns its path.
  std::string write(const std::string& name, const std::string& text) const {
    const auto file = path_ / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
  }

 private:
  static int& counter() {
    static int n = 0;
    return n;
  }
  std::filesystem::path path_;
};

/// The bytes of a file ("" when it cannot be read).
inline std::string contentsOf(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline constexpr Date kNow = Date(1714557600);  // 2024-05-01T10:00:00Z

}  // namespace quarn::tool::testing
