// The live preview page, built into the tool: its html, its script and its
// style (the phone's own style, then the page's). Free functions.
#pragma once

#include <string>
#include <string_view>

namespace quarn::tool {

std::string_view pageHTML();
std::string_view pageScript();
std::string pageStyle();

}  // namespace quarn::tool
