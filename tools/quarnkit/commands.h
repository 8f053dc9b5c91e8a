// The tool's subcommands, behind the command line: each takes its parsed
// options, writes its output and returns the exit status. Errors in the
// inputs are thrown as InputError, failed writes as OutputError; main()
// reports them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "quarnkit/platform/runtime/async_fwd.h"
#include "tools/quarnkit/output.h"
#include "tools/quarnkit/session.h"

namespace quarn::tool {

enum class Format { text, json, html };

struct PreviewOptions {
  HostOptions host;
  Format format = Format::text;
  std::optional<std::string> output;
  bool printRequest = false;
  bool watch = false;
};

struct ExplainOptions {
  HostOptions host;
  Format format = Format::text;
  std::optional<std::string> output;
  /// Axes "NAME=VALUE,VALUE...".
  std::vector<std::string> matrix;
};

/// The rendering of one preview (text, json or html), on the main context.
Async<std::string> renderPreview(PreviewOptions options);
/// The same, running the main context until it is done.
std::string previewDocument(const PreviewOptions& options);
int runPreview(const PreviewOptions& options);
/// Renders, then renders again on every append to the template file until
/// SIGINT or SIGTERM.
int watchPreview(const PreviewOptions& options);

std::string explainDocument(const ExplainOptions& options);
int runExplain(const ExplainOptions& options);

/// Prints the findings; 1 when one of them is an error.
int runLint(const HostOptions& options);

/// The error in flight as one printable line (without the "quarnkit: "
/// prefix), naming `file` when the error itself names none.
std::string describeFailure(const std::string& file);

}  // namespace quarn::tool
