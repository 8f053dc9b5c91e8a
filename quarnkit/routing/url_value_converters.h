// URL value converters: how a typed placeholder of a URL pattern turns the
// URL's component into a value.
//
//   matcher.valueConverters["hex"] = [](std::span<const std::string> components,
//                                       std::size_t index) -> std::any {
//     return parseHex(components[index]);  // an empty std::any: no match
//   };
//
// A converter gets all of the URL's components and the index of the one
// being matched (always within them), and returns the value or, when the
// component is not of its type, an empty std::any.
#pragma once

#include <any>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>

namespace quarn {

using URLValueConverter =
    std::function<std::any(std::span<const std::string> components, std::size_t index)>;
using URLValueConverters = std::map<std::string, URLValueConverter, std::less<>>;

/// The built-in converters, made once (thread-safely) on first use:
///   "string"  the component (std::string)
///   "int"     an optional "+" or "-" then decimal digits only, within the
///             signed 64-bit range (std::int64_t)
///   "float"   a 32-bit float read in the C locale, the whole text, no leading
///             white space (float; "1e50" is infinity)
///   "uuid"    a UUID in its 8-4-4-4-12 hexadecimal form (quarn::UUID)
///   "path"    the components from the index to the end joined with "/"
///             (std::string; never fails). Its value keeps ".." segments and
///             percent-escapes as they came: a host must not use it as a file
///             path without checking it.
const URLValueConverters& defaultURLValueConverters();

/// The text of a value of the types the built-in converters make: an
/// integer or a float in its shortest form, a UUID upper-case, text as it is;
/// nothing for values of other types.
std::optional<std::string> describeURLValue(const std::any& value);

}  // namespace quarn
