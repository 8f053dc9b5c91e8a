#include "quarnkit/paging/page_request.h"

#include <boost/url/url.hpp>

#include "quarnkit/coding/json_serialization.h"

namespace quarn {

URL urlWithParameters(const URL& url, const Value::Object& parameters) {
  boost::urls::url u(url.absoluteString());
  for (const auto& [name, value] : parameters) {
    const std::string text = value.isString() ? *value.ifString() : serializeJSON(value);
    u.params().set(name, text);
  }
  return URL::parse(u.buffer()).value_or(url);
}

}  // namespace quarn
