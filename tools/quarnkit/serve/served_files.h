// The template folder's own files as the live preview serves them: a name
// from a request path reaches a file only through the include resolver's
// confinement (IncludeFolder), and only when it is a plain relative name
// whose components are not hidden (".git", ".env"). Free functions.
//
//   servedFile(folder, "includes/promo.json");   // the file, when it is one
//   servedFile(folder, "../secret.json");        // nothing
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "tools/quarnkit/host/include_folder.h"

namespace quarn::tool {

/// The regular file `name` (a request path after the files prefix, already
/// percent-decoded) names in `folder`, or nothing: an absolute name, a
/// hidden component, a name that leads outside the folder (through "..",
/// a symlink, a NUL), or no regular file there.
std::optional<std::filesystem::path> servedFile(const IncludeFolder& folder, std::string_view name);

/// The content type a served file is sent with, by its extension; text/plain
/// for anything that a browser could run as a page of this server.
std::string_view servedContentType(const std::filesystem::path& file);

}  // namespace quarn::tool
