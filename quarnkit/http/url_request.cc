#include "quarnkit/http/url_request.h"

#include <charconv>

namespace quarn::http {

std::int64_t HTTPURLResponse::expectedContentLength() const {
  const auto text = headers.value("Content-Length");
  if (!text || text->empty()) return -1;
  std::int64_t length = 0;
  const char* end = text->data() + text->size();
  const auto [stop, error] = std::from_chars(text->data(), end, length);
  if (error != std::errc() || stop != end || length < 0) return -1;
  return length;
}

}  // namespace quarn::http
