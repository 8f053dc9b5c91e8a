#include "tools/quarnkit/common/failure.h"

#include "quarnkit/core/error.h"
#include "tools/quarnkit/common/input_error.h"
#include "tools/quarnkit/common/output.h"

namespace quarn::tool {

std::string describeFailure(const std::string& file) {
  try {
    throw;
  } catch (const InputError& e) {
    return e.what();
  } catch (const OutputError& e) {
    return e.what();
  } catch (...) {
    return printableLine(file + ": " + describeCurrentException());
  }
}

}  // namespace quarn::tool
