#include "quarnkit/http/request_error.h"

namespace quarn::http {

namespace {

std::string phrase(TransportError::Code code) {
  using Code = TransportError::Code;
  switch (code) {
    case Code::cannotConnectToHost:
      return "could not connect to the server";
    case Code::cannotFindHost:
      return "the server's host name was not found";
    case Code::timedOut:
      return "the server did not answer in time";
    case Code::networkConnectionLost:
      return "the connection was lost before the response was complete";
    case Code::badServerResponse:
      return "the server's response is not valid HTTP";
    case Code::unsupportedURL:
      return "the URL is not an HTTP or HTTPS URL the client can fetch";
    case Code::tooManyRedirects:
      return "too many redirects";
    case Code::secureConnectionFailed:
      return "the secure connection failed";
    case Code::cannotWriteToFile:
      return "the download could not be written";
    case Code::dataLengthExceedsMaximum:
      return "the response is larger than allowed";
    case Code::responseHeadersTooLarge:
      return "the response headers are too large";
    case Code::unknown:
      break;
  }
  return "the transfer failed";
}

std::string underlyingText(const std::exception_ptr& error) {
  if (!error) return {};
  try {
    std::rethrow_exception(error);
  } catch (...) {
    return describeCurrentException();
  }
}

}  // namespace

std::string TransportError::description() const {
  return detail.empty() ? phrase(code) : phrase(code) + " (" + detail + ")";
}

RequestError RequestError::explicitlyCancelled() { return RequestError(Kind::explicitlyCancelled); }

RequestError RequestError::invalidURL(std::string text) {
  RequestError e(Kind::invalidURL);
  e.detail_ = std::move(text);
  return e;
}

RequestError RequestError::requestAdaptationFailed(std::exception_ptr error) {
  RequestError e(Kind::requestAdaptationFailed);
  e.underlying_ = std::move(error);
  return e;
}

RequestError RequestError::sessionTaskFailed(TransportError error) {
  RequestError e(Kind::sessionTaskFailed);
  e.transport_ = std::move(error);
  return e;
}

RequestError RequestError::unacceptableStatusCode(int code) {
  RequestError e(Kind::responseValidationFailed);
  e.code_ = code;
  return e;
}

RequestError RequestError::responseSerializationFailed(SerializationFailureReason reason,
                                                       std::exception_ptr underlying,
                                                       std::string detail) {
  RequestError e(Kind::responseSerializationFailed);
  e.reason_ = reason;
  e.underlying_ = std::move(underlying);
  e.detail_ = std::move(detail);
  return e;
}

RequestError RequestError::downloadedFileMoveFailed(std::exception_ptr error, std::string source,
                                                    std::string destination) {
  RequestError e(Kind::downloadedFileMoveFailed);
  e.underlying_ = std::move(error);
  e.detail_ = std::move(source);
  e.destination_ = std::move(destination);
  return e;
}

RequestError RequestError::sessionDeinitialized() {
  return RequestError(Kind::sessionDeinitialized);
}

RequestError RequestError::withURL(std::string url) const {
  RequestError e = *this;
  e.url_ = std::move(url);
  return e;
}

std::string RequestError::reason() const {
  const std::string inner = underlyingText(underlying_);
  auto with = [&](std::string text) { return inner.empty() ? text : text + ": " + inner; };
  switch (kind_) {
    case Kind::explicitlyCancelled:
      return "the request was cancelled";
    case Kind::invalidURL:
      return "not a valid URL: \"" + detail_ + "\"";
    case Kind::requestAdaptationFailed:
      return with("the request interceptor failed");
    case Kind::sessionTaskFailed:
      return transport_ ? transport_->description() : "the transfer failed";
    case Kind::responseValidationFailed:
      return "the server answered with status " + std::to_string(code_.value_or(0));
    case Kind::responseSerializationFailed:
      switch (reason_.value_or(SerializationFailureReason::customSerializationFailed)) {
        case SerializationFailureReason::inputDataNilOrZeroLength:
          return "the response has no body";
        case SerializationFailureReason::invalidEmptyResponse:
          return "the response is empty and " + (detail_.empty() ? "the value" : detail_) +
                 " has no empty form";
        case SerializationFailureReason::jsonSerializationFailed:
          return with("the response is not valid JSON");
        case SerializationFailureReason::decodingFailed:
          return with("the response could not be decoded");
        case SerializationFailureReason::customSerializationFailed:
          break;
      }
      return with("the response could not be read");
    case Kind::downloadedFileMoveFailed:
      return with("could not move the download to " + destination_);
    case Kind::sessionDeinitialized:
      return "the session was released before the request finished";
  }
  return "the request failed";
}

std::string RequestError::description() const {
  return url_.empty() ? reason() : url_ + ": " + reason();
}

}  // namespace quarn::http
