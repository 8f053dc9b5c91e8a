/// @file
/// DataKeyPathSerializer<T>: the response serializer of the page fetcher; a value, like its error
/// AlamofireDecodableError.

/// @class quarn::DataKeyPathSerializer
/// The response serializer of the page fetcher; a
/// value, like its error AlamofireDecodableError. It decodes a T from the
/// whole JSON body, or from the value at a dotted key path inside it
/// ("data.items": the member "items" of the member "data").
///
/// ```
///   auto serializer = std::make_shared<DataKeyPathSerializer<std::vector<Article>>>(
///       "data.items", JSONDecoder());
///   responseDecodableObject<std::vector<Article>>(*request, mainExecutor(), "data.items",
///                                                 decoder, [](DataResponse<...> r) { ... });
/// ```
///
/// Failures, all as the client's response-serialization failure:
/// - an empty key path: emptyKeyPath ("KeyPath can not be empty.");
/// - a body that is not JSON: jsonSerializationFailed, with the parser's error;
/// - a path that names nothing (a member missing, or a step into something
///   that is not an object): invalidKeyPath;
/// - a path that names a number, string, boolean or null: invalidJSON;
/// - a value that does not decode as T: decodingFailed, with the decoder's
///   error (its coding path counted from the document's root).
/// A transfer error passes through as it is; then an empty key path is
/// refused; then an empty body follows the client's default rules.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/core/error.h"
#include "quarnkit/core/type_name.h"
#include "quarnkit/http/data_request.h"
#include "quarnkit/http/response_serializer.h"

namespace quarn {

/// The paging subsystem's own decoding failures (see DataKeyPathSerializer). A value.
class AlamofireDecodableError : public Error {
 public:
  /// Which failure it is.
  enum class Kind { invalidKeyPath, emptyKeyPath, invalidJSON };
  /// An error of `kind`.
  explicit AlamofireDecodableError(Kind kind) : kind_(kind) {}
  /// Which failure it is.
  [[nodiscard]] Kind kind() const { return kind_; }
  /// "Nested object doesn't exist by this keyPath.", "KeyPath can not be
  /// empty.", "Invalid nested json."
  [[nodiscard]] std::string description() const override;

 private:
  Kind kind_;
};

namespace detail {
/// Parses `body` and calls `fn` with a decoder for the value at `keyPath`
/// (the whole document when it is absent); throws the failures above.
void decodeAtKeyPath(std::string_view body, const std::optional<std::string>& keyPath,
                     const JSONDecoder& decoder, DecodeFn fn);
}  // namespace detail

template <DecodableType T>
class DataKeyPathSerializer final : public http::ResponseSerializer<T> {
 public:
  /// A serializer decoding at `path` (none: the whole body) with `jsonDecoder`.
  DataKeyPathSerializer(std::optional<std::string> path, JSONDecoder jsonDecoder)
      : keyPath(std::move(path)), decoder(std::move(jsonDecoder)) {}

  /// The dotted key path of the value to decode; none for the whole body.
  std::optional<std::string> keyPath;
  /// The decoder the value is decoded with.
  JSONDecoder decoder;

  /// The T in the response, or throws the failures above (a transfer error as it came).
  T serialize(const http::URLRequest* request, const http::HTTPURLResponse* response,
              const std::optional<std::string>& data,
              const http::RequestError* error) const override {
    // An empty key path is refused before the body is looked at; a
    // transfer error still comes first.
    if (error == nullptr && keyPath && keyPath->empty()) {
      detail::decodeAtKeyPath({}, keyPath, decoder, [](Decoder&) {});
    }
    const std::string_view body = http::defaultBody(request, response, data, error);
    if (body.empty()) {
      throw http::RequestError::responseSerializationFailed(
          http::RequestError::SerializationFailureReason::invalidEmptyResponse, nullptr,
          std::string(typeName<T>()));
    }
    std::optional<T> out;
    detail::decodeAtKeyPath(body, keyPath, decoder,
                            [&](Decoder& d) { out.emplace(d.decode<T>()); });
    return std::move(*out);
  }
};

/// Runs `request` with a DataKeyPathSerializer for `keyPath` and `decoder`
/// and delivers the response on `queue`.
template <DecodableType T>
http::DataRequest& responseDecodableObject(http::DataRequest& request, Executor queue,
                                           std::optional<std::string> keyPath, JSONDecoder decoder,
                                           std::function<void(http::DataResponse<T>)> completion) {
  return request.response<T>(
      std::make_shared<const DataKeyPathSerializer<T>>(std::move(keyPath), std::move(decoder)),
      std::move(completion), std::move(queue));
}

}  // namespace quarn
