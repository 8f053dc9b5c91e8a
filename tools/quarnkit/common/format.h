// The output formats the template subcommands (preview, explain, page, route)
// share on the command line as `--format`.
#pragma once

namespace quarn::tool {

enum class Format { text, json, html };

}  // namespace quarn::tool
