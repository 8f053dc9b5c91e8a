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
  Result(T value)
      : v_(std::in_place_index<0>, std::move(value)) {}  // NOLINT(google-explicit-constructor)
  Result(RequestError error)
      : v_(std::in_place_index<1>, std::move(error)) {}  // NOLINT(google-explicit-constructor)

  [[nodiscard]] bool isSuccess() const { return v_.index() == 0; }
  [[nodiscard]] const T* ifValue() const { return std::get_if<0>(&v_); }
  [[nodiscard]] T* ifValue() { return std::get_if<0>(&v_); }
  [[nodiscard]] const RequestError* ifError() const { return std::get_if<1>(&v_); }
  /// The value; throws the error.
  const T& get() const& {
    if (const RequestError* e = ifError()) throw *e;
    return std::get<0>(v_);
  }
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
  Result<T> result;

  [[nodiscard]] const T* value() const { return result.ifValue(); }
  [[nodiscard]] const RequestError* error() const { return result.ifError(); }
};

/// What a download request produced.
template <class T>
struct DownloadResponse {
  std::optional<URLRequest> request;
  std::optional<HTTPURLResponse> response;
  /// Where the downloaded file is, when it was kept.
  std::optional<URL> fileURL;
  Result<T> result;

  [[nodiscard]] const T* value() const { return result.ifValue(); }
  [[nodiscard]] const RequestError* error() const { return result.ifError(); }
};

/// Bytes received of a response body.
struct TransferProgress {
  std::int64_t completedUnitCount = 0;
  /// -1 while the size is unknown (before the headers, or a chunked body).
  std::int64_t totalUnitCount = -1;

  /// completed / total, 0 while the total is unknown or 0.
  [[nodiscard]] double fractionCompleted() const {
    return totalUnitCount > 0
               ? static_cast<double>(completedUnitCount) / static_cast<double>(totalUnitCount)
               : 0.0;
  }
  friend bool operator==(const TransferProgress&, const TransferProgress&) = default;
};

}  // namespace quarn::http
