#include "quarnkit/coding/json_convertible.h"

#include "quarnkit/core/detail/utf8.h"
#include "quarnkit/core/error.h"
#include "quarnkit/core/log.h"

namespace quarn::detail {

void reportInitFailure(const std::string& typeName, const std::string& input,
                       const std::exception& error) {
  debugPrint(debugQuoted("‼️ failed init model " + typeName + " from " + input + ". Error " +
                         describeError(error)));
}

void reportEncodeFailure(const std::exception& error) {
  debugPrint(debugQuoted("‼️ " + describeError(error)));
}

bool isValidUTF8Text(std::string_view text) { return isValidUTF8(text); }

}  // namespace quarn::detail
