#include "quarnkit/http/session.h"

#include <algorithm>

#include "quarnkit/http/detail/curl_engine.h"

namespace quarn::http {

SessionConfiguration SessionConfiguration::standard() {
  SessionConfiguration c;
  c.timeoutIntervalForRequest = 5;
  c.httpMaximumConnectionsPerHost = 10;
  return c;
}

Session::Session(SessionConfiguration configuration,
                 std::shared_ptr<const RequestInterceptor> interceptor,
                 std::vector<std::shared_ptr<EventMonitor>> eventMonitors)
    : configuration_(std::move(configuration)),
      interceptor_(std::move(interceptor)),
      monitors_(std::move(eventMonitors)),
      engine_(detail::Engine::make(configuration_.httpMaximumConnectionsPerHost)) {}

Session::~Session() = default;

detail::RequestContext Session::context() const {
  return {engine_,
          interceptor_,
          monitors_,
          configuration_.timeoutIntervalForRequest,
          configuration_.timeoutIntervalForResource,
          configuration_.restrictsHeadersToOrigin,
          configuration_.headers,
          configuration_.maximumResponseSize,
          configuration_.temporaryDirectory,
          configuration_.startRequestsImmediately};
}

template <class R>
std::shared_ptr<R> Session::track(std::shared_ptr<R> request) {
  const std::lock_guard lock(mutex_);
  // Ended requests are swept out only when the list is full, and the list
  // then keeps room for as many again as it holds, so that making n
  // requests stays linear in n.
  if (requests_.size() == requests_.capacity()) {
    std::erase_if(requests_, [](const std::weak_ptr<Request>& r) { return r.expired(); });
    if (requests_.size() * 2 > requests_.capacity()) {
      requests_.reserve(std::max<std::size_t>(16, requests_.capacity() * 2));
    }
  }
  requests_.push_back(request);
  return request;
}

std::optional<URLRequest> Session::parse(std::string_view url, const HTTPMethod& method,
                                         HTTPHeaders headers) const {
  auto parsed = URL::parse(url);
  if (!parsed || parsed->scheme().empty()) return std::nullopt;
  return URLRequest(std::move(*parsed), method, std::move(headers));
}

std::shared_ptr<DataRequest> Session::request(URLRequest request) {
  return track(
      std::shared_ptr<DataRequest>(new DataRequest(std::move(request), context(), std::nullopt)));
}

std::shared_ptr<DataRequest> Session::request(URL url, const HTTPMethod& method,
                                              HTTPHeaders headers) {
  return request(URLRequest(std::move(url), method, std::move(headers)));
}

std::shared_ptr<DataRequest> Session::request(std::string_view url, const HTTPMethod& method,
                                              HTTPHeaders headers) {
  if (auto r = parse(url, method, headers)) return request(std::move(*r));
  return track(std::shared_ptr<DataRequest>(
      new DataRequest(URLRequest(URL(), method, std::move(headers)), context(),
                      RequestError::invalidURL(std::string(url)))));
}

std::shared_ptr<DownloadRequest> Session::download(URLRequest request,
                                                   DownloadRequest::Destination destination) {
  return track(std::shared_ptr<DownloadRequest>(
      new DownloadRequest(std::move(request), context(), std::nullopt, std::move(destination))));
}

std::shared_ptr<DownloadRequest> Session::download(URLRequest request,
                                                   DownloadRequest::Destination destination,
                                                   const std::filesystem::path& partialFile) {
  const std::int64_t offered = DownloadRequest::askForRest(request, partialFile);
  return track(std::shared_ptr<DownloadRequest>(new DownloadRequest(
      std::move(request), context(), std::nullopt, std::move(destination), partialFile, offered)));
}

std::shared_ptr<DownloadRequest> Session::download(std::string_view url,
                                                   DownloadRequest::Destination destination) {
  if (auto r = parse(url, HTTPMethod::get, {}))
    return download(std::move(*r), std::move(destination));
  return track(std::shared_ptr<DownloadRequest>(
      new DownloadRequest(URLRequest(), context(), RequestError::invalidURL(std::string(url)),
                          std::move(destination))));
}

void Session::cancelAllRequests() {
  std::vector<std::shared_ptr<Request>> live;
  {
    const std::lock_guard lock(mutex_);
    for (const auto& weak : requests_) {
      if (auto r = weak.lock()) live.push_back(std::move(r));
    }
  }
  for (const auto& r : live) r->cancel();
}

}  // namespace quarn::http
