/// @file
/// RequestError: the HTTP client's one error type, a value.

/// @class quarn::http::RequestError
/// The HTTP client's one error type, a value. Every failure of a request
/// reaches its handlers as a RequestError naming the request's URL and the
/// reason: a transport failure (refused, reset, timed out), a status the
/// request's validation does not accept, a response its serializer could not
/// turn into a value (with the serializer's own error inside), a cancellation.
///
/// ```
///   if (const RequestError* e = response.error()) {
///     e->kind();          // RequestError::Kind::responseValidationFailed
///     e->responseCode();  // 404
///     e->description();   // "http://127.0.0.1:8080/items: the server answered with status 404"
///   }
/// ```
#pragma once

#include <exception>
#include <optional>
#include <string>

#include "quarnkit/core/error.h"

namespace quarn::http {

/// A failure below HTTP: the connection, the wire, the local file.
struct TransportError {
  /// What kind of transport failure it was.
  enum class Code {
    cannotConnectToHost,
    cannotFindHost,
    timedOut,
    networkConnectionLost,
    badServerResponse,
    unsupportedURL,
    tooManyRedirects,
    secureConnectionFailed,
    cannotWriteToFile,
    dataLengthExceedsMaximum,
    responseHeadersTooLarge,
    unknown,
  };
  /// What kind of transport failure it was.
  Code code = Code::unknown;
  /// The transport's own words, when it gave any.
  std::string detail;

  /// "could not connect to the server (Failed to connect to ...)".
  [[nodiscard]] std::string description() const;
};

class RequestError : public Error {
 public:
  /// What failed.
  enum class Kind {
    explicitlyCancelled,
    invalidURL,
    requestAdaptationFailed,
    sessionTaskFailed,
    responseValidationFailed,
    responseSerializationFailed,
    downloadedFileMoveFailed,
    sessionDeinitialized,
  };
  /// Why a serializer failed.
  enum class SerializationFailureReason {
    /// The response had no body where one was needed.
    inputDataNilOrZeroLength,
    /// An empty body was allowed (HEAD, 204, 205) but the type has no empty value.
    invalidEmptyResponse,
    /// The body is not JSON.
    jsonSerializationFailed,
    /// The value could not be decoded; underlyingError() says why.
    decodingFailed,
    /// The serializer failed with an error of its own.
    customSerializationFailed,
  };

  /// The request was cancelled.
  static RequestError explicitlyCancelled();
  /// `text` is not a URL the client can request.
  static RequestError invalidURL(std::string text);
  /// The interceptor failed with `error`.
  static RequestError requestAdaptationFailed(std::exception_ptr error);
  /// The transfer failed with `error`.
  static RequestError sessionTaskFailed(TransportError error);
  /// The server answered with status `code`, which validation refused.
  static RequestError unacceptableStatusCode(int code);
  /// `detail` completes the reason where there is no underlying error (the
  /// type name of invalidEmptyResponse).
  static RequestError responseSerializationFailed(SerializationFailureReason reason,
                                                  std::exception_ptr underlying = nullptr,
                                                  std::string detail = {});
  /// The downloaded file could not be moved from `source` to `destination`.
  static RequestError downloadedFileMoveFailed(std::exception_ptr error, std::string source,
                                               std::string destination);
  /// The session was destroyed before the request ended.
  static RequestError sessionDeinitialized();

  /// What failed.
  [[nodiscard]] Kind kind() const { return kind_; }
  /// Whether the request was cancelled.
  [[nodiscard]] bool isExplicitlyCancelled() const { return kind_ == Kind::explicitlyCancelled; }
  /// The transport failure of sessionTaskFailed.
  [[nodiscard]] const std::optional<TransportError>& transportError() const { return transport_; }
  /// The refused status of responseValidationFailed.
  [[nodiscard]] std::optional<int> responseCode() const { return code_; }
  /// Why the serializer failed, for responseSerializationFailed.
  [[nodiscard]] std::optional<SerializationFailureReason> serializationFailureReason() const {
    return reason_;
  }
  /// The error this one wraps (the interceptor's, the decoder's, the file
  /// system's), if any.
  [[nodiscard]] const std::exception_ptr& underlyingError() const { return underlying_; }

  /// The URL of the failed request (empty until the request reports it).
  [[nodiscard]] const std::string& url() const { return url_; }
  /// The same error, naming `url` as the failed request's.
  [[nodiscard]] RequestError withURL(std::string url) const;

  /// What went wrong, without the URL.
  [[nodiscard]] std::string reason() const;
  /// "URL: reason", or the reason alone when no URL is known.
  [[nodiscard]] std::string description() const override;

 private:
  explicit RequestError(Kind kind) : kind_(kind) {}
  Kind kind_;
  std::optional<TransportError> transport_;
  std::optional<int> code_;
  std::optional<SerializationFailureReason> reason_;
  std::exception_ptr underlying_;
  std::string detail_;
  std::string destination_;
  std::string url_;
};

}  // namespace quarn::http
