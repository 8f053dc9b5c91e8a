#include "quarnkit/download/detail/content_length.h"

#include <charconv>

#include "quarnkit/download/resource_downloader_error.h"

namespace quarn::detail {

std::int64_t parseContentLength(std::optional<std::string_view> header) {
  if (!header || header->empty()) return 0;
  std::string_view text = *header;
  bool negative = false;
  if (text.front() == '+' || text.front() == '-') {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.front() < '0' || text.front() > '9') return 0;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return 0;
  return negative ? 0 : value;
}

std::int64_t contentLengthOf(const http::DataResponse<std::string>& response) {
  if (const http::RequestError* error = response.error()) throw *error;
  if (!response.response) {
    throw ResourceDownloaderError(ResourceDownloaderError::Kind::failedParseResponse);
  }
  const std::optional<std::string> header = response.response->value("Content-Length");
  return parseContentLength(header ? std::optional<std::string_view>(*header) : std::nullopt);
}

}  // namespace quarn::detail
