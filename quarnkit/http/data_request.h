/// @file
/// DataRequest: a request whose body is kept in memory and handed to response serializers; a shared
/// object made by Session::request().

/// @class quarn::http::DataRequest
/// A request whose body is kept in memory and handed to response
/// serializers; a shared object made by Session::request().
///
/// ```
///   auto request = session.request("https://api.example.com/items");
///   request->validate();
///   request->response<std::vector<Item>>(serializer, [](DataResponse<std::vector<Item>> r) {
///     ...                                     // on the main context
///   });
///
///   DataResponse<std::string> r = co_await request->serializingData(true);
///   // cancelling the awaiting coroutine cancels the request
/// ```
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "quarnkit/http/request.h"
#include "quarnkit/http/response.h"
#include "quarnkit/http/response_serializer.h"
#include "quarnkit/platform/runtime/continuation.h"

namespace quarn::http {

class Session;

class DataRequest final : public Request {
 public:
  /// What the transfer produced, as the serializers see it.
  struct Outcome {
    /// The request as sent (adapted by the interceptor).
    URLRequest request;
    /// The response, when the server answered.
    std::optional<HTTPURLResponse> response;
    /// The body, when one was received.
    std::optional<std::string> data;
    /// The failure, when the transfer failed.
    std::optional<RequestError> error;
  };

  using Request::response;

  /// The body received so far (all of it once the request has finished).
  [[nodiscard]] std::optional<std::string> data() const;

  /// Serializes the outcome with `serializer` on `queue` once the request has
  /// ended, and calls `completion` there with the response.
  template <class T>
  DataRequest& response(std::shared_ptr<const ResponseSerializer<T>> serializer,
                        std::function<void(DataResponse<T>)> completion,
                        const Executor& queue = mainExecutor()) {
    addOutcomeHandler(
        queue, [serializer = std::move(serializer), completion = std::move(completion)](
                   const Outcome& outcome) { completion(serialize<T>(*serializer, outcome)); });
    return *this;
  }
  /// The body under the default handling (DataResponseSerializer).
  DataRequest& responseData(std::function<void(DataResponse<std::string>)> completion,
                            Executor queue = mainExecutor());

  /// Awaits the serialized response. With `automaticallyCancelling`,
  /// cancelling the awaiting coroutine cancels the request (the response
  /// then carries explicitlyCancelled).
  template <class T>
  Async<DataResponse<T>> serializingResponse(
      std::shared_ptr<const ResponseSerializer<T>> serializer,
      bool automaticallyCancelling = false) {
    auto self = std::static_pointer_cast<DataRequest>(shared_from_this());
    std::function<void()> onCancel;
    if (automaticallyCancelling) onCancel = [self] { self->cancel(); };
    return withCheckedThrowingContinuation<DataResponse<T>>(
        "serializingResponse",
        [self, serializer = std::move(serializer)](CheckedContinuation<DataResponse<T>> c) {
          self->response<T>(serializer, [c](DataResponse<T> r) { c.resume(std::move(r)); });
        },
        std::move(onCancel));
  }
  /// serializingResponse() with the body under the default handling.
  Async<DataResponse<std::string>> serializingData(bool automaticallyCancelling = false);

  /// The response `serializer` makes of `outcome`: what it throws becomes the
  /// error (a RequestError as it is, anything else wrapped as
  /// customSerializationFailed), named with the request's URL.
  template <class T>
  static DataResponse<T> serialize(const ResponseSerializer<T>& serializer,
                                   const Outcome& outcome) {
    try {
      return {outcome.request, outcome.response, outcome.data,
              Result<T>(serializer.serialize(
                  &outcome.request, outcome.response ? &*outcome.response : nullptr, outcome.data,
                  outcome.error ? &*outcome.error : nullptr))};
    } catch (...) {
      return {outcome.request, outcome.response, outcome.data,
              Result<T>(serializationError(outcome))};
    }
  }

 private:
  friend class Session;
  DataRequest(URLRequest request, detail::RequestContext context,
              std::optional<RequestError> initialError);

  /// The error in flight (inside a catch) as a RequestError about the request.
  static RequestError serializationError(const Outcome& outcome);
  void addOutcomeHandler(const Executor& queue, std::function<void(const Outcome&)> handler);

  bool receive(std::string_view bytes) override;
  void finishBody(const std::optional<HTTPURLResponse>& response,
                  std::optional<RequestError>& error) override;

  std::string body_;
  bool receivedAny_ = false;
  std::shared_ptr<const Outcome> outcome_;
};

}  // namespace quarn::http
