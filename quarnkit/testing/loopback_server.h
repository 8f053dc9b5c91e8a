// LoopbackServer: a real HTTP server on 127.0.0.1 that a test starts and
// stops itself, for testing the HTTP client and what is built on it against
// real sockets (no mock HTTP). Routes are cpp-httplib handlers, added before
// start(); a few scripted routes the tests share come with it.
//
//   LoopbackServer server;
//   server.routes().Get("/items", [](const httplib::Request&, httplib::Response& res) {
//     res.set_content(R"([{"id": 1}])", "application/json");
//   });
//   server.start();                       // a free port, serving on a thread of its own
//   fetch(server.url("/items"));          // "http://127.0.0.1:PORT/items"
//
// A handler may hold its response back with hold() (a slow server) or
// holdUntilStopped() (a server that never answers); stop() wakes every held
// handler, so the server always stops and joins promptly.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quarn::testing {

class LoopbackServer {
 public:
  /// `threads` worker threads: each serves one connection at a time, so a
  /// test that keeps n connections busy needs more than n.
  explicit LoopbackServer(std::size_t threads = 32);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  /// The server, to add routes to before start().
  httplib::Server& routes() { return server_; }

  /// Binds 127.0.0.1 on a free port and serves on a thread of its own.
  void start();
  /// Stops serving, wakes held handlers and joins. Safe to call twice.
  void stop();

  [[nodiscard]] int port() const { return port_; }
  /// "http://127.0.0.1:PORT" followed by `pathAndQuery`.
  [[nodiscard]] std::string url(std::string_view pathAndQuery) const;

  /// Blocks the calling handler for `duration`, or less when the server
  /// stops; false when it stopped.
  bool hold(std::chrono::milliseconds duration);
  /// Blocks the calling handler until the server stops.
  void holdUntilStopped();

  /// Requests whose handler has started, and the most handlers that ran at
  /// the same time (each request on its own connection while it runs).
  [[nodiscard]] std::size_t requestCount() const { return requests_.load(); }
  [[nodiscard]] std::size_t maxConcurrentRequests() const { return maxActive_.load(); }
  /// The client ports of the connections seen so far.
  [[nodiscard]] std::size_t distinctConnections() const;

 private:
  httplib::Server server_;
  std::thread thread_;
  std::atomic<bool> listenEnded_{false};
  int port_ = -1;
  int listenSocket_ = -1;
  std::mutex mutex_;
  std::condition_variable woken_;
  bool stopping_ = false;
  std::atomic<std::size_t> requests_{0};
  std::atomic<std::size_t> active_{0};
  std::atomic<std::size_t> maxActive_{0};
  mutable std::mutex portsMutex_;
  std::vector<int> ports_;
};

/// A collection served in pages: items {"id": 1, "name": "item 1"} ... with
/// ids 1 to `count`, unless `items` gives the items' JSON texts and ids.
/// The switches after the first fields make it a misbehaving server; the
/// ones counted in requests count every request the route answered, from 1.
struct PagedCollection {
  /// What the total-count header says.
  enum class Total {
    actual,       // the number of items
    absent,       // no header (as sendTotalCount = false)
    empty,        // an empty value
    malformed,    // "12 items"
    negative,     // "-5"
    overflowing,  // beyond the largest 64-bit integer
    shrinking,    // the number of items, less 3 for each earlier request
    larger,       // 5 more than there are
  };

  std::size_t count = 0;
  /// Replaces the generated items: each a JSON object text with its id.
  std::vector<std::pair<std::int64_t, std::string>> items;
  /// Send "X-Pagination-Total-Count" (under `totalCountHeader`).
  bool sendTotalCount = true;
  std::string totalCountHeader = "X-Pagination-Total-Count";
  /// Send the current page, page count and page size headers.
  bool sendPageHeaders = true;
  /// The page's array is nested in objects along this dotted path ("" for
  /// a bare array): "data.items" gives {"data": {"items": [...]}}.
  std::string keyPath;

  Total total = Total::actual;
  /// Ids 1 to `count` the data set lacks (an ids request for them finds
  /// nothing; the other schemes see gaps).
  std::vector<std::int64_t> missingIds;
  /// Each page but the first also repeats the item before it.
  bool duplicatesAcrossPages = false;
  /// Request k answers an empty array (0: none).
  std::size_t emptyAt = 0;
  /// Request k announces its whole body but sends half, then closes.
  std::size_t cutAt = 0;
  /// Request k sends half its body, then nothing until the server stops.
  std::size_t stallAt = 0;
  /// Bodies go out an item at a time with this pause between ...
  std::chrono::milliseconds slowBody{0};
  /// ... request k's only (0: every request's).
  std::size_t slowAt = 0;
  /// Request k answers with status 503.
  std::size_t failAt = 0;
  /// An origin ("http://127.0.0.1:PORT", or "" for this server itself):
  /// every request is redirected there with 302, to the same path and query
  /// plus "redirected=1"; a request carrying that parameter is served.
  std::optional<std::string> redirectTo;
};

/// Serves `collection` at GET `path`. The page is chosen by whichever
/// parameters the request carries: "page" with "per-page" (1-based pages),
/// "offset" with "limit", "page-from-pk" or "page-from-id" with "per-page"
/// (the items after that id; 0 starts at the first), or "ids" (a
/// comma-separated list). Without any of them: the whole collection.
void servePages(httplib::Server& server, const std::string& path,
                std::shared_ptr<const PagedCollection> collection);
/// The same on a loopback server, whose stop() ends a stalled body.
void servePages(LoopbackServer& server, const std::string& path,
                std::shared_ptr<const PagedCollection> collection);

}  // namespace quarn::testing
