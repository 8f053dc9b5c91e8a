// UTF-8 validation for text that crosses into formats requiring it, and the
// debug form of a string. Internal to the library.
#pragma once

#include <string>
#include <string_view>

namespace quarn::detail {

/// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or
/// code points above U+10FFFF).
bool isValidUTF8(std::string_view text);

/// The platform's debug form of a string: in double quotes, with quotes,
/// backslashes and control characters escaped ("\"a\\nb\"").
std::string debugQuoted(std::string_view text);

}  // namespace quarn::detail
