// The text side of URL matching: normalising a URL's text and splitting it
// into the components the matcher compares.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quarn::detail {

/// `text` without its query and fragment, with runs of slashes collapsed
/// (to one, or to two after a colon) and trailing slashes dropped (but not
/// the two after a colon). It gives exactly what these replacements give,
/// applied in turn over the whole text by ICU's regular expression engine:
/// ":/{3,}" by "://", "(?<!:)/{2,}" by "/" and "(?<!:|:/)/+$" by "" ("$"
/// also matching before a line terminator that ends the text).
std::string normalizeURLText(std::string_view text);

/// The same replacements made by the regular expressions themselves: the
/// reference normalizeURLText() is tested against.
std::string normalizeURLTextByExpressions(std::string_view text);

/// The pieces of `text` between slashes, without empty pieces and without a
/// first piece that ends with ":" (the scheme): "app://h/a" gives h, a.
std::vector<std::string> pathComponentTexts(std::string_view text);

}  // namespace quarn::detail
