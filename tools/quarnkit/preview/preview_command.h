// The `preview` subcommand: its options and the document it renders (text,
// json or html), once or again on every change of the template file.
#pragma once

#include <optional>
#include <string>

#include "quarnkit/platform/runtime/async_fwd.h"
#include "tools/quarnkit/common/format.h"
#include "tools/quarnkit/host/session.h"

namespace quarn::tool {

struct PreviewOptions {
  HostOptions host;
  Format format = Format::text;
  std::optional<std::string> output;
  bool printRequest = false;
  bool watch = false;
};

/// The rendering of one preview (text, json or html), on the main context.
Async<std::string> renderPreview(PreviewOptions options);
/// The same, running the main context until it is done.
std::string previewDocument(const PreviewOptions& options);
int runPreview(const PreviewOptions& options);
/// Renders, then renders again on every append to the template file until
/// SIGINT or SIGTERM.
int watchPreview(const PreviewOptions& options);

}  // namespace quarn::tool
