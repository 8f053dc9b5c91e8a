/// @file
/// Request: one HTTP request of a Session, the common part of DataRequest and DownloadRequest.

/// @class quarn::http::Request
/// One HTTP request of a Session, the common part of DataRequest and
/// DownloadRequest. A request is a shared object whose transfer runs on the
/// main context; its operations may be called from any thread.
///
/// Life: initialized → resumed ⇄ suspended → finished, or cancelled from any
/// state before it finished. A request resumes by itself when its first
/// response handler is added (unless the session says otherwise). Each
/// response handler runs exactly once, on the executor it names: with the
/// outcome when the transfer ends, or with explicitlyCancelled after
/// cancel(); a handler added after the end runs at once (posted).
///
/// ```
///   auto request = session.request(url);
///   request->validate();                                  // 2xx only
///   request->downloadProgress([](const TransferProgress& p) { bar(p.fractionCompleted()); });
///   request->responseData([](DataResponse<std::string> r) { ... });
///   request->cancel();                                    // the handler gets explicitlyCancelled
/// ```
///
/// What response and progress handlers may do: drop the request or its
/// session (the transfer holds the request until it ends; a session dropped
/// ends its unfinished requests with sessionDeinitialized), cancel, add
/// handlers (one added after the end runs, posted, with the same outcome) or
/// make more requests. What a handler throws leaves the run of the main
/// context (or of the executor it names) that called it; the request's other
/// handlers still run, and the session keeps working.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quarnkit/core/uuid.h"
#include "quarnkit/http/event_monitor.h"
#include "quarnkit/http/request_error.h"
#include "quarnkit/http/request_interceptor.h"
#include "quarnkit/http/response.h"
#include "quarnkit/http/session_task.h"
#include "quarnkit/http/url_request.h"
#include "quarnkit/platform/runtime/async.h"

namespace quarn::http {

namespace detail {
class Engine;

/// What a request takes from its session.
struct RequestContext {
  std::weak_ptr<Engine> engine;
  std::shared_ptr<const RequestInterceptor> interceptor;
  std::vector<std::shared_ptr<EventMonitor>> monitors;
  double idleTimeout = 60;
  std::optional<double> totalTimeout;
  bool headersStayWithOrigin = true;
  HTTPHeaders defaultHeaders;
  std::optional<std::uint64_t> maximumResponseSize;
  std::filesystem::path temporaryDirectory;
  bool startImmediately = true;
};

/// Runs `work` on `executor`, later (never inline).
void postTo(const Executor& executor, std::function<void()> work);
}  // namespace detail

class Request : public std::enable_shared_from_this<Request> {
 public:
  /// Where the request is in its life.
  enum class State { initialized, resumed, suspended, cancelled, finished };
  /// Receives the transfer's progress.
  using ProgressHandler = std::function<void(const TransferProgress&)>;

  virtual ~Request();
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  /// Unique to this request.
  [[nodiscard]] const UUID& id() const { return id_; }
  /// The request as given; once its task exists, as sent (the session's
  /// headers added and its interceptor applied).
  [[nodiscard]] URLRequest request() const;
  /// Where the request is in its life.
  [[nodiscard]] State state() const;
  /// Whether cancel() ended the request.
  [[nodiscard]] bool isCancelled() const { return state() == State::cancelled; }
  /// Whether the request has its outcome.
  [[nodiscard]] bool isFinished() const { return state() == State::finished; }
  /// The task under the request, from its first resume on; null before.
  [[nodiscard]] std::shared_ptr<SessionTask> task() const;
  /// The final response, once the request has finished with one.
  [[nodiscard]] std::optional<HTTPURLResponse> response() const;
  /// The failure, once the request has ended with one.
  [[nodiscard]] std::optional<RequestError> error() const;

  /// Body bytes received so far.
  [[nodiscard]] TransferProgress downloadProgress() const;
  /// Calls `handler` on `queue` with the progress each time more of the
  /// body arrives.
  void downloadProgress(ProgressHandler handler, Executor queue = mainExecutor());

  /// Starts the transfer, or continues a suspended one. Does nothing once
  /// the request was cancelled or has finished.
  void resume();
  /// Pauses the transfer (the connection stays open).
  void suspend();
  /// Ends the request with explicitlyCancelled, unless it has already
  /// finished; a cancelled request never leaves a partial file behind.
  void cancel();

  /// Fails a response whose status is not 2xx with responseValidationFailed.
  void validate() { validate(200, 300); }
  /// Fails a response whose status is outside [from, to).
  void validate(int from, int to);

 protected:
  /// Starts in the initialized state; a request with `initialError` fails as soon as it is resumed.
  Request(URLRequest request, detail::RequestContext context,
          std::optional<RequestError> initialError);

  /// Runs `work` on `queue` once the request has ended (posted at once
  /// when it has); resumes the request when the session starts requests
  /// immediately.
  void onFinish(const Executor& queue, std::function<void()> work);
  /// The session's settings and services the request runs with.
  [[nodiscard]] const detail::RequestContext& context() const { return context_; }
  /// Records why receive() refused bytes; the request fails with it.
  void failReceiving(TransportError error);

  // What subclasses do with the body. Called on the main context.
  /// Before the task starts; an error fails the request at once.
  virtual std::optional<RequestError> prepareBody() { return std::nullopt; }
  /// The final response's head, before its body; false stops the transfer.
  virtual bool beginBody(const HTTPURLResponse& /*response*/) { return true; }
  /// A piece of the body; false stops the transfer.
  virtual bool receive(std::string_view bytes) = 0;
  /// Bytes of the body held from an earlier transfer and not sent again:
  /// they count as received in the progress.
  [[nodiscard]] virtual std::int64_t bytesHeld() const { return 0; }
  /// Once the transfer has ended, before the handlers run: keeps or
  /// discards what was received; may replace a success by an error.
  virtual void finishBody(const std::optional<HTTPURLResponse>& response,
                          std::optional<RequestError>& error) = 0;

  /// Guards the state the transfer thread and the main context share; subclasses take it for
  /// theirs.
  mutable std::mutex mutex_;

 private:
  class Sink;
  friend class Sink;

  // The state machine, on the main context.
  void reconcile();
  void startTask();
  void didProgress(std::int64_t received, std::int64_t expected);
  void finish(std::optional<HTTPURLResponse> response, std::optional<RequestError> error);
  std::shared_ptr<Request> self() { return shared_from_this(); }

  const UUID id_;
  const detail::RequestContext context_;
  URLRequest request_;
  std::optional<RequestError> initialError_;
  State state_ = State::initialized;
  std::shared_ptr<SessionTask> task_;
  std::uint64_t transferId_ = 0;  // main context only
  std::optional<HTTPURLResponse> response_;
  std::optional<RequestError> error_;
  std::optional<TransportError> receiveFailure_;
  TransferProgress progress_;
  std::vector<std::pair<int, int>> acceptableStatus_;
  std::vector<std::pair<Executor, ProgressHandler>> progressHandlers_;
  std::vector<std::pair<Executor, std::function<void()>>> finishHandlers_;
  bool ended_ = false;      // the outcome is decided
  bool delivered_ = false;  // finish handlers were handed out
};

}  // namespace quarn::http
