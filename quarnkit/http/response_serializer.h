/// @file
/// ResponseSerializer<T> (shared, const: held as std::shared_ptr<const>): turns what a data request
/// produced (the request, the HTTP response, the body bytes and the transfer's error) into a T, or
/// throws.

/// @class quarn::http::ResponseSerializer
/// Turns what a data request produced (the request, the HTTP response, the
/// body bytes and the transfer's error) into a T, or throws. A shared object,
/// const: held as std::shared_ptr<const>. The client runs it once the request has finished and
/// hands the result to the response handler; what it throws becomes the result's error (a
/// RequestError as it is, anything else wrapped as a customSerializationFailed
/// response-serialization failure).
///
/// ```
///   class Lines final : public ResponseSerializer<std::vector<std::string>> {
///     std::vector<std::string> serialize(const URLRequest* request,
///                                        const HTTPURLResponse* response,
///                                        const std::optional<std::string>& data,
///                                        const RequestError* error) const override {
///       return splitLines(defaultBody(request, response, data, error));
///     }
///   };
/// ```
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "quarnkit/http/request_error.h"
#include "quarnkit/http/url_request.h"

namespace quarn::http {

template <class T>
class ResponseSerializer {
 public:
  /// The type the serializer makes.
  using SerializedObject = T;
  virtual ~ResponseSerializer() = default;
  /// `response`, `error` and the body may each be absent.
  virtual T serialize(const URLRequest* request, const HTTPURLResponse* response,
                      const std::optional<std::string>& data, const RequestError* error) const = 0;
};

/// Whether an empty body is a complete answer: the response to a HEAD
/// request, or a status of 204 or 205.
bool emptyResponseAllowed(const URLRequest* request, const HTTPURLResponse* response);

/// The client's default body handling: throws `error` when there is one;
/// an absent or empty body is the empty text where emptyResponseAllowed(),
/// and otherwise fails with inputDataNilOrZeroLength.
std::string_view defaultBody(const URLRequest* request, const HTTPURLResponse* response,
                             const std::optional<std::string>& data, const RequestError* error);

/// The body bytes under the default handling.
class DataResponseSerializer final : public ResponseSerializer<std::string> {
 public:
  std::string serialize(const URLRequest* request, const HTTPURLResponse* response,
                        const std::optional<std::string>& data,
                        const RequestError* error) const override {
    return std::string(defaultBody(request, response, data, error));
  }
};

}  // namespace quarn::http
