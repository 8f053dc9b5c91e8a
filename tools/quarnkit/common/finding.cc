#include "tools/quarnkit/common/finding.h"

#include "tools/quarnkit/common/input_error.h"

namespace quarn::tool {

std::string LintFinding::line() const {
  return printableLine(file + ": " + (path.empty() ? "" : path + ": ") +
                       (severity == Severity::error ? "error: " : "warning: ") + message);
}

}  // namespace quarn::tool
