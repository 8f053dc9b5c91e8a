// PreviewServer: the live preview's web server, on 127.0.0.1 only. It
// serves the page with its script and style (built in), an event stream
// (Server-Sent Events) that tells each open page when the inputs changed,
// the render endpoint, and the template folder's own files through
// servedFile(); every other path is 404, and a request naming another host
// (a rebound DNS name) is refused.
//
// Kind: a unique object (neither copyable nor movable). start() and stop()
// from one thread; changed() from any.
//
//   PreviewServer server("examples/home", render);
//   int port = server.start(0);       // a free port; serving on threads of its own
//   server.changed();                 // each open page renders again
//   server.stop();                    // ends the streams and joins
//
// An event stream holds one of the server's threads while it is open, so
// the streams are capped (PreviewServerLimits::maxStreams; more are refused
// with 503), each writes a heartbeat so that a closed page frees its slot
// within one, and each ends after a while (the page reconnects).
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quarn::tool {

struct PreviewServerLimits {
  /// Event streams open at once; more are refused with 503.
  std::size_t maxStreams = 16;
  /// Threads serving connections: the streams and the page's requests.
  std::size_t threads = 40;
  /// How often an idle stream writes a comment to find a closed page.
  std::chrono::milliseconds heartbeat{2000};
  /// How long a stream stays open before the page reconnects.
  std::chrono::seconds streamLifetime{300};
  /// Changes closer together than this reach a stream as one event.
  std::chrono::milliseconds coalesce{100};
  /// How long a connection may take to send its request.
  std::chrono::seconds readTimeout{5};
};

class PreviewServer {
 public:
  using Query = std::vector<std::pair<std::string, std::string>>;
  /// Answers a render request with its JSON document; called on the server's
  /// threads, one request at a time or several: it must be thread-safe. A
  /// std::invalid_argument it throws is a 400 with its message.
  using Renderer = std::function<std::string(const Query&)>;

  PreviewServer(std::filesystem::path folder, Renderer render, PreviewServerLimits limits = {});
  ~PreviewServer();
  PreviewServer(const PreviewServer&) = delete;
  PreviewServer& operator=(const PreviewServer&) = delete;

  /// Binds 127.0.0.1 on `port` (0: a free one) and serves on threads of its
  /// own; the port. std::runtime_error when the port cannot be bound.
  int start(int port);
  /// Ends the event streams, stops serving and joins. Safe to call twice.
  void stop();

  /// Tells every open event stream that the inputs changed.
  void changed();
  /// Event streams open now.
  [[nodiscard]] std::size_t openStreams() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace quarn::tool
