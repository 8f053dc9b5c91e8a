// LintFinding: one finding of a checking subcommand (`lint`, `form lint`),
// a value naming the file and the JSON path it concerns.
#pragma once

#include <string>

namespace quarn::tool {

struct LintFinding {
  enum class Severity { error, warning };
  std::string file;
  std::string path;
  Severity severity = Severity::error;
  std::string message;

  /// "file: path: error: message", control characters escaped.
  [[nodiscard]] std::string line() const;
};

}  // namespace quarn::tool
