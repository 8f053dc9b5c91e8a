// Engine: libcurl's multi interface driven by the main context. Each socket
// libcurl announces waits as an Asio descriptor, libcurl's own timer is a
// real steady timer (never the injectable TimerScheduler: a test's manual
// clock must not freeze transfers), and handles are never added or removed
// inside a libcurl callback. A transfer reports to its TransferSink; the
// requests of http/ are such sinks. Transfers beyond twice a host's
// connection limit wait in the engine, in order, and get their libcurl
// handle (a reset one of an earlier transfer where there is one) when they
// go to libcurl. The engine follows redirects itself, so that it decides
// which header fields go to another origin, and so that a redirect's body
// never reaches the sink or its progress. Its time limits run on real
// timers of its own: an idle limit (no byte moved either way) and an
// optional bound on the whole transfer.
//
// Used on the main context only (the session's requests post their calls
// there).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "quarnkit/http/request_error.h"
#include "quarnkit/http/url_request.h"

namespace quarn::http::detail {

/// What one transfer sends.
struct TransferSetup {
  URLRequest request;
  /// Seconds to wait for the connection, or, once connected, for the next
  /// byte in either direction (0 or less: no limit).
  double idleTimeout = 60;
  /// Seconds the whole transfer may take, redirects included; none: no limit.
  std::optional<double> totalTimeout;
  /// The request's header fields go only to the origin (scheme, host and
  /// port) of its URL: a redirect elsewhere drops them all. When false, only
  /// the credentials (Authorization, Cookie) are dropped there.
  bool headersStayWithOrigin = true;
};

/// How a transfer ended: the final response when one arrived, and the
/// transport failure, if any.
struct TransferOutcome {
  std::optional<HTTPURLResponse> response;
  std::optional<TransportError> error;
};

class TransferSink {
 public:
  virtual ~TransferSink() = default;
  /// The final response's status and header fields, before its body (a
  /// redirect or an interim 1xx response is not reported); false stops the
  /// transfer, which then fails.
  virtual bool head(const HTTPURLResponse& /*response*/) { return true; }
  /// A piece of the body; false stops the transfer, which then fails.
  virtual bool receive(std::string_view bytes) = 0;
  /// Body bytes received so far and expected in all (-1: unknown), when
  /// either changes.
  virtual void progress(std::int64_t received, std::int64_t expected) = 0;
  /// The transfer has ended (called once, outside libcurl).
  virtual void complete(TransferOutcome outcome) = 0;
  /// The engine went away first; the transfer will not complete.
  virtual void abandon() = 0;
};

class Engine {
 public:
  using TransferId = std::uint64_t;

  /// An engine with at most `maxConnectionsPerHost` connections to one host
  /// (0: no limit); further transfers to the host wait for a free one.
  static std::shared_ptr<Engine> make(long maxConnectionsPerHost);
  /// Ends every transfer still running; their sinks are abandoned.
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  /// Starts a transfer; the sink is kept until it completes or is aborted.
  TransferId start(TransferSetup setup, std::shared_ptr<TransferSink> sink);
  /// Pauses or continues a running transfer.
  void pause(TransferId id, bool paused);
  /// Stops a transfer without completing its sink. Unknown ids are ignored.
  void abort(TransferId id);
  /// Transfers added and not yet completed or aborted.
  [[nodiscard]] std::size_t transferCount() const;

  struct Impl;

 private:
  explicit Engine(long maxConnectionsPerHost);
  std::shared_ptr<Impl> impl_;
};

}  // namespace quarn::http::detail
