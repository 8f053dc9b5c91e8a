#include "quarnkit/routing/url_convertible.h"

namespace quarn {

namespace {
// The characters a host, a path, a query or a fragment may hold unescaped.
constexpr std::string_view kURLAllowedCharacters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
    "-._~!$&'()*+,;=:/?@[]";
}  // namespace

std::optional<URL> urlOfText(std::string_view text) {
  if (auto url = URL::parse(text)) return url;
  auto encoded = URL::addingPercentEncoding(text, kURLAllowedCharacters);
  if (!encoded) return std::nullopt;
  return URL::parse(*encoded);
}

std::optional<URL> URLConvertible::urlValue() const {
  if (url_) return url_;
  return urlOfText(text_);
}

std::map<std::string, std::string> URLConvertible::queryParameters() const {
  std::map<std::string, std::string> out;
  const auto url = urlValue();
  if (!url) return out;
  const auto query = url->query();
  if (!query) return out;
  std::string_view rest = *query;
  while (true) {
    const std::size_t amp = rest.find('&');
    const std::string_view piece = rest.substr(0, amp);
    if (const std::size_t eq = piece.find('='); eq != std::string_view::npos) {
      const std::string_view raw = piece.substr(eq + 1);
      out.insert_or_assign(std::string(piece.substr(0, eq)),
                           URL::removingPercentEncoding(raw).value_or(std::string(raw)));
    }
    if (amp == std::string_view::npos) break;
    rest.remove_prefix(amp + 1);
  }
  return out;
}

std::optional<std::vector<URL::QueryItem>> URLConvertible::queryItems() const {
  const auto url = URL::parse(urlStringValue());
  if (!url) return std::nullopt;
  return url->queryItems();
}

}  // namespace quarn
