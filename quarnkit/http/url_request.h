/// @file
/// URLRequest: what a request asks for (URL, method, header fields, body and an optional idle limit
/// of its own), and HTTPURLResponse: what came back (the final URL after redirects, the status code
/// and the header fields).

/// @struct quarn::http::URLRequest
/// What a request asks for (URL, method, header fields, body and
/// an optional idle limit of its own), and HTTPURLResponse: what came back
/// (the final URL after redirects, the status code and the header fields).
/// Both are values.
///
/// ```
///   URLRequest request(*URL::parse("https://api.example.com/items"), HTTPMethod::post);
///   request.headers.update("Content-Type", "application/json");
///   request.body = R"({"page": 1})";
///
///   response.statusCode;                       // 200
///   response.value("x-pagination-total-count");   // header names ignore case
/// ```
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "quarnkit/core/url.h"
#include "quarnkit/http/http_headers.h"

namespace quarn::http {

struct URLRequest {
  URLRequest() = default;
  /// A request for `requestURL` with `requestMethod` and `requestHeaders`, no body.
  explicit URLRequest(URL requestURL, HTTPMethod requestMethod = HTTPMethod::get,
                      HTTPHeaders requestHeaders = {})
      : url(std::move(requestURL)),
        method(std::move(requestMethod)),
        headers(std::move(requestHeaders)) {}

  /// Where the request goes.
  URL url;
  /// The method.
  HTTPMethod method = HTTPMethod::get;
  /// The request's own header fields.
  HTTPHeaders headers;
  /// The body bytes; sent when not empty.
  std::string body;
  /// Seconds the request may wait for the connection or for more bytes;
  /// none: the session's limit.
  std::optional<double> timeoutInterval;

  /// Equal when every field is.
  friend bool operator==(const URLRequest&, const URLRequest&) = default;
};

/// The head of a server's answer: where it came from, its status and its header fields. A value.
struct HTTPURLResponse {
  /// The URL that answered (after redirects).
  URL url;
  /// The HTTP status code.
  int statusCode = 0;
  /// The header fields of the final response (not of redirects).
  HTTPHeaders headers;

  /// The header field named `name`, ignoring letter case.
  [[nodiscard]] std::optional<std::string> value(std::string_view name) const {
    return headers.value(name);
  }
  /// The "Content-Length" as a number, or -1 when it is missing or not one.
  [[nodiscard]] std::int64_t expectedContentLength() const;

  /// Equal when every field is.
  friend bool operator==(const HTTPURLResponse&, const HTTPURLResponse&) = default;
};

}  // namespace quarn::http
