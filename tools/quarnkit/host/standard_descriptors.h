// Standard descriptors the tool was started without (`quarnkit ... 2>&-`).
// Left closed, each would be the next descriptor handed out, to libcurl's or
// Asio's own, and the tool's output would be written into them.
#pragma once

namespace quarn::tool {

/// Holds each closed standard descriptor with /dev/null opened the wrong way
/// round (read-only for output, write-only for input), so that using it
/// fails as it would have closed. Call first thing in main().
void holdClosedStandardDescriptors();

}  // namespace quarn::tool
