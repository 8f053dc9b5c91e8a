// The text of a stored error, as the downloader's log lines print it.
#pragma once

#include <exception>
#include <string>

#include "quarnkit/core/error.h"

namespace quarn::detail {

inline std::string describeError(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (...) {
    return describeCurrentException();
  }
}

}  // namespace quarn::detail
