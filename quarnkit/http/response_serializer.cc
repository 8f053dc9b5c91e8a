#include "quarnkit/http/response_serializer.h"

namespace quarn::http {

bool emptyResponseAllowed(const URLRequest* request, const HTTPURLResponse* response) {
  if (request != nullptr && request->method == HTTPMethod::head) return true;
  return response != nullptr && (response->statusCode == 204 || response->statusCode == 205);
}

std::string_view defaultBody(const URLRequest* request, const HTTPURLResponse* response,
                             const std::optional<std::string>& data, const RequestError* error) {
  if (error != nullptr) throw *error;
  if (data && !data->empty()) return *data;
  if (emptyResponseAllowed(request, response)) return {};
  throw RequestError::responseSerializationFailed(
      RequestError::SerializationFailureReason::inputDataNilOrZeroLength);
}

}  // namespace quarn::http
