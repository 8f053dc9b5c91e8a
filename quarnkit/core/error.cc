#include "quarnkit/core/error.h"

#include <cstdio>
#include <cstdlib>

namespace quarn {

const char* Error::what() const noexcept {
  try {
    what_ = description();
  } catch (...) {
    return "quarn::Error";
  }
  return what_.c_str();
}

void fatalError(std::string_view message) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
  std::fflush(stderr);
  std::abort();
}

std::string describeError(const std::exception& error) {
  if (const auto* e = dynamic_cast<const Error*>(&error)) return e->description();
  return error.what();
}

std::string describeCurrentException() {
  try {
    throw;
  } catch (const std::exception& e) {
    return describeError(e);
  } catch (...) {
    return "unknown error";
  }
}

}  // namespace quarn
