#include "quarnkit/platform/runtime/publisher.h"

#include <string>

#include "quarnkit/core/error.h"

namespace quarn::detail {

void futureFunctionThrew(const std::exception_ptr& error) {
  std::string text = "an unknown error";
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    text = describeError(e);
  } catch (...) {
  }
  fatalError("Future(asyncFunc:) of a future that cannot fail threw " + text);
}

}  // namespace quarn::detail
