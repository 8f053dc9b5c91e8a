// How the JSON coders write a finite double: the shortest text that reads
// back as the same value ("2", "0.1", "1e+300"). Internal to the coding
// library.
#pragma once

#include <fmt/format.h>

#include <string>

namespace quarn::detail {

inline std::string formatDouble(double d) { return fmt::format("{}", d); }

}  // namespace quarn::detail
