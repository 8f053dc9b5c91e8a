/// @file
/// Session: makes requests and runs their transfers, over libcurl, on the main context.

/// @class quarn::http::Session
/// Makes requests and runs their transfers, over libcurl, on the main
/// context. A unique object (neither copyable nor movable). A session carries its configuration (an
/// idle time-out, a limit of connections per host, headers for every request), an optional request
/// interceptor and event monitors (by default the notification event
/// monitor). Releasing a session ends its unfinished requests with
/// sessionDeinitialized.
///
/// ```
///   http::Session session(http::SessionConfiguration::standard());
///   auto request = session.request("https://api.example.com/items?page=1");
///   request->validate();
///   request->responseData([](http::DataResponse<std::string> r) { ... });
///
///   auto head = session.request(url, http::HTTPMethod::head);
///   auto response = co_await head->serializingData(true);
///   response.response->value("Content-Length");
/// ```
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "quarnkit/http/data_request.h"
#include "quarnkit/http/download_request.h"
#include "quarnkit/http/event_monitor.h"
#include "quarnkit/http/request_interceptor.h"

/// The library's HTTP client: sessions, requests and their responses,
/// interceptors, event monitors and response serializers.
namespace quarn::http {

/// How a session's requests behave: time limits, connections, headers, sizes. A value.
struct SessionConfiguration {
  /// Seconds a request may wait for its connection, and then for the next
  /// byte in either direction: an idle limit, not a bound on a whole
  /// transfer (which may take as long as bytes keep coming). A request's
  /// own timeoutInterval wins. Fractions count (0.3 is 300 ms); 0 or less:
  /// no limit.
  double timeoutIntervalForRequest = 60;
  /// Seconds a request may take in all, from its start to its last byte,
  /// redirects and pauses included; it then fails with timedOut. None: no
  /// limit.
  std::optional<double> timeoutIntervalForResource;
  /// Whether the header fields of a request (its own, the session's and the
  /// interceptor's) go only to the origin (scheme, host and port) of its
  /// URL: a redirect to another origin drops them all. When false, only
  /// Authorization and Cookie are dropped there.
  bool restrictsHeadersToOrigin = true;
  /// Connections open to one host at once; further requests wait for one.
  /// 0: no limit.
  long httpMaximumConnectionsPerHost = 6;
  /// Header fields sent with every request that does not set a field of
  /// the same name itself. Several fields of one name all go, in order.
  HTTPHeaders headers;
  /// The most bytes a data request keeps; a larger body fails with
  /// dataLengthExceedsMaximum. None: no limit.
  std::optional<std::uint64_t> maximumResponseSize;
  /// Where downloads are written while they run (empty: the system's
  /// temporary directory).
  std::filesystem::path temporaryDirectory;
  /// Whether a request resumes by itself when its first handler is added.
  bool startRequestsImmediately = true;

  /// The configuration of the library's paged data sources and downloads:
  /// a 5-second idle limit and at most 10 connections per host.
  static SessionConfiguration standard();
};

class Session {
 public:
  /// A session with `configuration`, adapting every request through `interceptor` (none: as given)
  /// and telling `eventMonitors` of every request (by default, the notification monitor).
  explicit Session(SessionConfiguration configuration = {},
                   std::shared_ptr<const RequestInterceptor> interceptor = nullptr,
                   std::vector<std::shared_ptr<EventMonitor>> eventMonitors = {
                       std::make_shared<NotificationEventMonitor>()});
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  /// The configuration the session was made with.
  [[nodiscard]] const SessionConfiguration& configuration() const { return configuration_; }

  /// A data request for `request`; it starts when its first handler is added (see
  /// SessionConfiguration::startRequestsImmediately).
  std::shared_ptr<DataRequest> request(URLRequest request);
  /// A data request for `url` with `method` and `headers`.
  std::shared_ptr<DataRequest> request(URL url, const HTTPMethod& method = HTTPMethod::get,
                                       HTTPHeaders headers = {});
  /// A request for the URL `url`; a text that is not a URL makes a request
  /// that fails with invalidURL.
  std::shared_ptr<DataRequest> request(std::string_view url,
                                       const HTTPMethod& method = HTTPMethod::get,
                                       HTTPHeaders headers = {});
  /// A download of `request`, moved to where `destination` says once it has finished (nowhere: it
  /// stays at its temporary URL).
  std::shared_ptr<DownloadRequest> download(URLRequest request,
                                            DownloadRequest::Destination destination = nullptr);
  /// A resumable download whose body goes to `partialFile` (see
  /// DownloadRequest).
  std::shared_ptr<DownloadRequest> download(URLRequest request,
                                            DownloadRequest::Destination destination,
                                            const std::filesystem::path& partialFile);
  /// A download of the URL `url`; a text that is not a URL makes a request that fails with
  /// invalidURL.
  std::shared_ptr<DownloadRequest> download(std::string_view url,
                                            DownloadRequest::Destination destination = nullptr);

  /// Cancels every request of the session that has not finished.
  void cancelAllRequests();

 private:
  detail::RequestContext context() const;
  std::optional<URLRequest> parse(std::string_view url, const HTTPMethod& method,
                                  HTTPHeaders headers) const;
  template <class R>
  std::shared_ptr<R> track(std::shared_ptr<R> request);

  SessionConfiguration configuration_;
  std::shared_ptr<const RequestInterceptor> interceptor_;
  std::vector<std::shared_ptr<EventMonitor>> monitors_;
  std::shared_ptr<detail::Engine> engine_;
  std::mutex mutex_;
  std::vector<std::weak_ptr<Request>> requests_;
};

}  // namespace quarn::http
