// The bounds of one run of the tool, and reading its input files within them.
// A template, results, facts or include file must be a regular file no larger
// than the size limit; both are checked on the opened file before anything
// is read, so a device, a pipe or a directory is refused at once:
//
//   std::string text = readInputFile("t.json", InputLimits{}.maxFileSize);
//   // InputError "t.json: is a directory", "t.json: read error: Input/output error", ...
//   Value document = parseInputJSON("t.json", text);
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "quarnkit/core/value.h"

namespace quarn::tool {

/// What one run reads and expands at most, whatever its inputs hold.
struct InputLimits {
  /// Bytes of any one input file.
  std::uint64_t maxFileSize = std::uint64_t{64} << 20;
  /// Includes inside includes: a template's own includes are at depth 1.
  int maxIncludeDepth = 16;
  /// Items read from included templates, all includes of the run together.
  std::size_t maxIncludedItems = 10000;
};

/// The whole content of the regular file `path`, named `name` in errors.
/// InputError when it cannot be opened, is a directory or not a regular
/// file, holds more than `maxBytes`, or a read fails (with the system's
/// reason).
std::string readInputFile(const std::filesystem::path& path, const std::string& name,
                          std::uint64_t maxBytes);
inline std::string readInputFile(const std::string& file, std::uint64_t maxBytes) {
  return readInputFile(file, file, maxBytes);
}

/// How errors name standard input.
inline constexpr const char* kStandardInput = "standard input";
/// All of standard input; InputError when it holds more than `maxBytes` (read
/// only that far) or a read fails.
std::string readStandardInput(std::uint64_t maxBytes);

/// Parses an input document (JSON text of `file`). InputError naming the
/// file and the JSON path where it is not JSON, or of a number too large for
/// a double (1e400): nothing downstream could show or write it.
Value parseInputJSON(const std::string& file, std::string_view text);

/// The JSON path (after `path`) of the first number in `value` too large for
/// a double, which JSON text reads as infinity.
std::optional<std::string> outOfRangeNumber(const Value& value, const std::string& path);
/// The reason given for such a number.
inline constexpr const char* kNumberOutOfRange =
    "the number is out of range (larger than a double holds)";

/// A byte count as the size limit is written: "64 MiB", "1000 bytes".
std::string describeSize(std::uint64_t bytes);

}  // namespace quarn::tool
