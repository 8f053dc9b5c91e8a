// lint: checks a template (and the templates it includes) without running
// it, and reports each finding with its file and JSON path:
//   errors    decoding errors, predicates that do not parse (with the
//             position), includes that cannot be resolved, duplicate
//             uniqueIds in one item list (results reach only the first);
//   warnings  items without a type (skipped), types without a built-in
//             description (previewed generically; the host must register
//             one), placeholders naming no fact and no variable of the item.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/quarnkit/common/finding.h"
#include "tools/quarnkit/host/session.h"

namespace quarn::tool {

/// Lints the template of `options` (its includes directory and environment
/// file are used; results are not read). Includes are followed as preview
/// follows them, within the same limits: an include cycle, includes nested
/// too deep and too many included items are errors. InputError only when
/// the environment file or includes directory themselves are unusable.
std::vector<LintFinding> lintTemplate(const HostOptions& options);

/// Prints the findings and a count; 1 when one of them is an error.
int runLint(const HostOptions& options);

/// The placeholder fields of a text ("Hi ${user.name}" → {"user.name"}).
std::vector<std::string> placeholderFields(std::string_view text);

}  // namespace quarn::tool
