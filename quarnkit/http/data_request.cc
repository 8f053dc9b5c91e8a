#include "quarnkit/http/data_request.h"

namespace quarn::http {

DataRequest::DataRequest(URLRequest request, detail::RequestContext context,
                         std::optional<RequestError> initialError)
    : Request(std::move(request), std::move(context), std::move(initialError)) {}

std::optional<std::string> DataRequest::data() const {
  const std::lock_guard lock(mutex_);
  if (outcome_) return outcome_->data;
  if (!receivedAny_) return std::nullopt;
  return body_;
}

DataRequest& DataRequest::responseData(std::function<void(DataResponse<std::string>)> completion,
                                       Executor queue) {
  static const auto serializer = std::make_shared<const DataResponseSerializer>();
  return response<std::string>(serializer, std::move(completion), std::move(queue));
}

Async<DataResponse<std::string>> DataRequest::serializingData(bool automaticallyCancelling) {
  static const auto serializer = std::make_shared<const DataResponseSerializer>();
  return serializingResponse<std::string>(serializer, automaticallyCancelling);
}

RequestError DataRequest::serializationError(const Outcome& outcome) {
  const std::string url = outcome.request.url.absoluteString();
  try {
    throw;
  } catch (const RequestError& e) {
    return e.url().empty() ? e.withURL(url) : e;
  } catch (...) {
    return RequestError::responseSerializationFailed(
               RequestError::SerializationFailureReason::customSerializationFailed,
               std::current_exception())
        .withURL(url);
  }
}

void DataRequest::addOutcomeHandler(const Executor& queue,
                                    std::function<void(const Outcome&)> handler) {
  auto self = std::static_pointer_cast<DataRequest>(shared_from_this());
  onFinish(queue, [self, handler = std::move(handler)] {
    std::shared_ptr<const Outcome> outcome;
    {
      const std::lock_guard lock(self->mutex_);
      outcome = self->outcome_;
    }
    handler(*outcome);
  });
}

bool DataRequest::receive(std::string_view bytes) {
  const auto& limit = context().maximumResponseSize;
  {
    const std::lock_guard lock(mutex_);
    receivedAny_ = true;
    if (!limit || body_.size() + bytes.size() <= *limit) {
      body_.append(bytes);
      return true;
    }
  }
  failReceiving({TransportError::Code::dataLengthExceedsMaximum,
                 "more than " + std::to_string(*limit) + " bytes"});
  return false;
}

void DataRequest::finishBody(const std::optional<HTTPURLResponse>& response,
                             std::optional<RequestError>& error) {
  auto outcome = std::make_shared<Outcome>();
  outcome->request = request();
  outcome->response = response;
  outcome->error = error;
  if (error) outcome->error = error->withURL(outcome->request.url.absoluteString());
  const std::lock_guard lock(mutex_);
  if (receivedAny_ || response) outcome->data = std::move(body_);
  body_.clear();
  outcome_ = std::move(outcome);
}

}  // namespace quarn::http
