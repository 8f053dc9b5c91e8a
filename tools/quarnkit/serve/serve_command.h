// The `serve` subcommand: a live preview in the browser. It serves the
// page on 127.0.0.1 and renders the template again whenever one of its input
// files changes, until SIGINT or SIGTERM. ServeOptions is a value.
#pragma once

#include <chrono>

#include "tools/quarnkit/host/session.h"
#include "tools/quarnkit/serve/preview_server.h"

namespace quarn::tool {

struct ServeOptions {
  HostOptions host;
  /// 0: a free port.
  int port = 0;
  PreviewServerLimits limits;
  /// How often the input files are checked for changes an append is not.
  std::chrono::milliseconds poll{250};
};

/// Serves until SIGINT or SIGTERM; the exit status. Prints the URL first,
/// as "quarnkit: serving http://127.0.0.1:PORT/". InputError when the
/// template is not a regular file; std::runtime_error when the port is taken.
int runServe(const ServeOptions& options);

}  // namespace quarn::tool
