// Reading the numbers given on the command line, one rule for every
// subcommand: decimal text only, an optional leading '+', the whole text
// read (no spaces, no trailing unit), and the value within range. Free
// functions.
//
//   readNumber("+2.5e3");            // 2500
//   readNumber("nan");               // nullopt: not a finite number
//   readWholeNumber("+12", 100);     // 12
//   readWholeNumber("-1", 100);      // nullopt
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quarn::tool {

/// A finite number in decimal or exponent notation ("5", "+5", "-0.25",
/// "1e-3"); nullopt for anything else, including "inf", "nan", hexadecimal
/// and values beyond a double.
std::optional<double> readNumber(std::string_view text);

/// A whole number from 0 to `max` in decimal digits ("42", "+42").
std::optional<std::uint64_t> readWholeNumber(std::string_view text, std::uint64_t max);

}  // namespace quarn::tool
