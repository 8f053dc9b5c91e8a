/// @file
/// The records a request hands its response handlers: Result<T> (a value or
/// a RequestError), DataResponse<T> and DownloadResponse<T> (the request, the
/// HTTP response when one arrived, the body or file, and the result), and
/// TransferProgress. All are values.
///
/// ```
///   request->responseData([](DataResponse<std::string> response) {
///     if (const std::string* body = response.value()) show(*body);
///     else report(response.error()->description());
///   });
/// ```
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "quarnkit/core/url.h"
#include "quarnkit/http/request_error.h"
#include "quarnkit/http/url_request.h"

namespace quarn::http {

/// A value or the error that took its place.
template <class T>
class Result {
 public:
  /// A success holding `value` (converts implicitly).
  Result(T value)
      : v_(std::in_place_index<0>, std::move(value)) {}  // NOLINT(google-explicit-constructor)
  /// A failure with `error` (converts implicitly).
  Result(RequestError error)
      : v_(std::in_place_index<1>, std::move(error)) {}  // NOLINT(google-explicit-constructor)

  /// Whether it holds a value.
  [[nodiscard]] bool isSuccess() const { return v_.index() == 0; }
  /// The value, or null for a failure.
  [[nodiscard]] const T* ifValue() const { return std::get_if<0>(&v_); }
  /// The value, or null for a failure.
  [[nodiscard]] T* ifValue() { return std::get_if<0>(&v_); }
  /// The error, or null for a success.
  [[nodiscard]] const RequestError* ifError() const { return std::get_if<1>(&v_); }
  /// The value; throws the error.
  const T& get() const& {
    if (const RequestError* e = ifError()) throw *e;
    return std::get<0>(v_);
  }
  /// The value, moved out; throws the error.
  T get() && {
    if (const RequestError* e = ifError()) throw *e;
    return std::get<0>(std::move(v_));
  }

 private:
  std::variant<T, RequestError> v_;
};

/// What a data request produced, serialized into a T.
template <class T>
struct DataResponse {
  /// The request as sent.
  std::optional<URLRequest> request;
  /// The final response, when one arrived.
  std::optional<HTTPURLResponse> response;
  /// The body bytes, when the transfer produced any.
  std::optional<std::string> data;
  /// The serialized value, or the error.
  Result<T> result;

  /// The value, or null for a failure.
  [[nodiscard]] const T* value() const { return result.ifValue(); }
  /// The error, or null for a success.
  [[nodiscard]] const RequestError* error() const { return result.ifError(); }
};

/// What a download request produced.
template <class T>
struct DownloadResponse {
  /// The request as sent.
  std::optional<URLRequest> request;
  /// The final response, when one arrived.
  std::optional<HTTPURLResponse> response;
  /// Where the downloaded file is, when it was kept.
  std::optional<URL> fileURL;
  /// The serialized value, or the error.
  Result<T> result;

  /// The value, or null for a failure.
  [[nodiscard]] const T* value() const { return result.ifValue(); }
  /// The error, or null for a success.
  [[nodiscard]] const RequestError* error() const { return result.ifError(); }
};

/// Bytes received of a response body.
struct TransferProgress {
  /// Body bytes received.
  std::int64_t completedUnitCount = 0;
  /// -1 while the size is unknown (before the headers, or a chunked body).
  std::int64_t totalUnitCount = -1;

  /// completed / total, 0 while the total is unknown or 0.
  [[nodiscard]] double fractionCompleted() const {
    return totalUnitCount > 0
               ? static_cast<double>(completedUnitCount) / static_cast<double>(totalUnitCount)
               : 0.0;
  }
  /// Equal when both counts are.
  friend bool operator==(const TransferProgress&, const TransferProgress&) = default;
};

}  // namespace quarn::http
