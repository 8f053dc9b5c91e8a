// route: matches URLs against an app's routing table exactly as the app's
// URL matcher does, says why each pattern matched or not, and checks the
// table for surprises before release.
//
//   quarnkit route examples/routes/routes.txt myapp://profile/42
//   quarnkit route examples/routes/routes.txt myapp://profile/me --explain
//   quarnkit route examples/routes/routes.txt --check
//
// A routes file holds one pattern a line, optionally followed by white space
// and a name; blank lines and lines starting with "#" are skipped. A file
// whose first non-blank byte is "[" or "{" is the JSON form: an array of
// entries, or an object whose "routes" member is one (and which may name its
// "$schema"); an entry is a pattern string or {"pattern", "name"}. Its
// routes are numbered by the line each entry starts on. A URL
// argument "-" reads URLs from standard input, one a line.
// Exit status: 0 when every URL matched (or the check found nothing), 1 for
// a URL without a match, a finding, or errors in the inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/core/value.h"
#include "tools/quarnkit/common/format.h"
#include "tools/quarnkit/common/input_file.h"

namespace quarn::tool {

/// One line of a routes file.
struct Route {
  std::size_t line = 0;
  std::string pattern;
  std::optional<std::string> name;

  /// "line 3 myapp://profile/<int:id> (profile)".
  [[nodiscard]] std::string label() const;
};

/// A routes file: its routes, and one line per error found in it
/// ("routes.txt:4: error: ...").
struct RouteTable {
  std::string file;
  std::vector<Route> routes;
  std::vector<std::string> errors;
};

/// "1 component", "2 components".
std::string countOf(std::size_t n, const char* noun);

/// Reads and checks a routes file's lines (a byte-order mark skipped);
/// InputError when it cannot be read or holds more than `maxBytes`.
RouteTable readRouteTable(const std::string& file,
                          std::uint64_t maxBytes = InputLimits{}.maxFileSize);
/// The JSON Schema document of the JSON form of a routes file.
Value routeTableSchema(const std::string& id);
/// What is wrong with a pattern, or nothing.
std::optional<std::string> patternProblem(const std::string& pattern);

struct RouteOptions {
  std::string routesFile;
  /// URLs to match; "-" stands for the lines of `input`.
  std::vector<std::string> urls;
  bool explain = false;
  bool check = false;
  Format format = Format::text;
  /// What "-" reads (standard input in the tool).
  std::string input;
  /// Bytes of the routes file, and of standard input, at most.
  std::uint64_t maxFileSize = InputLimits{}.maxFileSize;
};

/// What the command prints: its output, its error lines, its exit status.
struct RouteReport {
  std::string output;
  std::string errors;
  int status = 0;
};

RouteReport routeReport(const RouteOptions& options);
/// Prints the report (standard input read for "-") and returns its status.
int runRoute(RouteOptions options);

}  // namespace quarn::tool
