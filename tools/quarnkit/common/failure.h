// How every subcommand reports the error that ended it: one printable line.
#pragma once

#include <string>

namespace quarn::tool {

/// The error in flight as one printable line (without the "quarnkit: "
/// prefix), naming `file` when the error itself names none. Call it only
/// from a catch block.
std::string describeFailure(const std::string& file);

}  // namespace quarn::tool
