// Text and URLs made safe for the tool's html pages: every text is escaped,
// and only links and images with safe schemes become attributes, since the
// documents previewed come from outside.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quarn::tool {

/// `text` with &, <, >, " and ' escaped.
std::string escapeHTML(std::string_view text);

/// An escaped link: any scheme except those that run code in the page.
std::optional<std::string> safeLink(const std::optional<std::string>& url);

/// An escaped image source: web and local files only.
std::optional<std::string> safeImage(const std::optional<std::string>& url);

}  // namespace quarn::tool
