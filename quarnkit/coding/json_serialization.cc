#include "quarnkit/coding/json_serialization.h"

#include "quarnkit/coding/detail/json_internal.h"

namespace quarn {

Value parseJSON(std::string_view text) {
  boost::json::monotonic_resource memory;
  return detail::toValue(detail::parseJSONText(text, &memory));
}

std::string serializeJSON(const Value& value, JSONOutputFormatting formatting) {
  std::string out;
  detail::writeJSON(detail::valueToJSON(value), formatting, out);
  return out;
}

}  // namespace quarn
