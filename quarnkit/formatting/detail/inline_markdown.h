// Inline markdown to attributed text, with md4c: only inline syntax
// (emphasis, strong emphasis, code, strikethrough, links and autolinks) is
// read; block syntax ("# ", "- ", "> ", indented code) stays text, and
// whitespace and line breaks are kept as written.
#pragma once

#include <optional>
#include <string_view>

#include "quarnkit/platform/attributed_string.h"

namespace quarn::detail {

/// `text` as attributed text; nothing when it cannot be parsed (invalid
/// UTF-8, or md4c failing).
std::optional<platform::AttributedString> parseInlineMarkdown(std::string_view text);

}  // namespace quarn::detail
