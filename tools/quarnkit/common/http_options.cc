#include "tools/quarnkit/common/http_options.h"

#include <algorithm>
#include <cstdlib>

namespace quarn::tool {

std::optional<http::HTTPHeader> parseHeaderOption(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  const std::string_view name = text.substr(0, colon);
  const bool token = std::all_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte > 0x20 && byte < 0x7f;
  });
  if (!token) return std::nullopt;
  std::string_view value = text.substr(colon + 1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  if (std::any_of(value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n'; })) {
    return std::nullopt;
  }
  return http::HTTPHeader{std::string(name), std::string(value)};
}

std::string checkHTTPURL(std::string_view text) {
  const auto url = URL::parse(text);
  if (!url) return "not a URL";
  const std::string scheme = url->scheme();
  if (scheme != "http" && scheme != "https") return "not an http or https URL";
  if (!url->host() || url->host()->empty()) return "a URL without a host";
  return "";
}

std::optional<double> parseSecondsOption(std::string_view text) {
  const std::string copy(text);
  if (copy.empty() || copy.find_first_not_of("0123456789.") != std::string::npos) {
    return std::nullopt;
  }
  char* end = nullptr;
  const double seconds = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !(seconds > 0) || seconds > 1e6) return std::nullopt;
  return seconds;
}

http::SessionConfiguration toolSessionConfiguration(std::optional<double> maxTime) {
  http::SessionConfiguration c = http::SessionConfiguration::standard();
  c.maximumResponseSize = std::uint64_t{64} << 20;
  // --header is offered for credentials: they go to the server named, never
  // to where it redirects.
  c.restrictsHeadersToOrigin = true;
  c.timeoutIntervalForResource = maxTime;
  return c;
}

InputError requestFailure(const http::RequestError& error) {
  return InputError(error.url(), "", error.reason());
}

}  // namespace quarn::tool
