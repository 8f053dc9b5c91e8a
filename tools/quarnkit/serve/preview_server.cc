#include "tools/quarnkit/serve/preview_server.h"

#include <httplib.h>

#include <condition_variable>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

#include "tools/quarnkit/host/include_folder.h"
#include "tools/quarnkit/serve/page_assets.h"
#include "tools/quarnkit/serve/served_files.h"

namespace quarn::tool {

namespace {

using Clock = std::chrono::steady_clock;

// The page runs only its own script and style; images of the rows may come
// from anywhere, as in an app.
constexpr const char* kPagePolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src * data:; "
    "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

void notFound(httplib::Response& res) {
  res.status = 404;
  res.set_content("not found\n", "text/plain; charset=utf-8");
}

}  // namespace

struct PreviewServer::State : std::enable_shared_from_this<PreviewServer::State> {
  PreviewServerLimits limits;
  IncludeFolder folder;
  Renderer render;
  httplib::Server server;
  std::thread thread;
  int port = 0;

  mutable std::mutex mutex;
  std::condition_variable wake;
  std::uint64_t version = 0;
  std::size_t streams = 0;
  bool stopping = false;

  State(std::filesystem::path folderPath, Renderer renderer, PreviewServerLimits l)
      : limits(l), folder(std::move(folderPath)), render(std::move(renderer)) {}

  bool openStream() {
    const std::lock_guard lock(mutex);
    if (stopping || streams >= limits.maxStreams) return false;
    ++streams;
    return true;
  }

  void closeStream() {
    const std::lock_guard lock(mutex);
    --streams;
  }

  // One step of an event stream: the current version at once, then each new
  // one (changes close together as one), a heartbeat when nothing happens;
  // false once the page has gone.
  bool streamStep(std::optional<std::uint64_t>& seen, Clock::time_point opened,
                  httplib::DataSink& sink) {
    std::unique_lock lock(mutex);
    std::string event;
    if (!seen) {
      seen = version;
      event = "retry: 1000\ndata: " + std::to_string(version) + "\n\n";
    } else {
      wake.wait_for(lock, limits.heartbeat, [&] { return stopping || version != *seen; });
      if (!stopping && version != *seen) {
        wake.wait_for(lock, limits.coalesce, [&] { return stopping; });
      }
      if (stopping || Clock::now() - opened >= limits.streamLifetime) {
        lock.unlock();
        sink.done();
        return true;
      }
      if (version != *seen) {
        seen = version;
        event = "data: " + std::to_string(version) + "\n\n";
      } else {
        event = ":\n\n";
      }
    }
    lock.unlock();
    return sink.write(event.data(), event.size());
  }

  void routes() {
    const std::weak_ptr<State> weak = weak_from_this();
    server.set_keep_alive_max_count(1);
    server.set_read_timeout(limits.readTimeout);
    const std::size_t threads = limits.threads;
    server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server.set_default_headers({{"X-Content-Type-Options", "nosniff"},
                                {"Referrer-Policy", "no-referrer"},
                                {"Cache-Control", "no-store"}});
    // Only requests to this server by its own name: a page elsewhere whose
    // DNS name was rebound to 127.0.0.1 gets nothing.
    server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
      const std::string host = req.get_header_value("Host");
      const std::string suffix = ":" + std::to_string(port);
      if (host == "127.0.0.1" + suffix || host == "localhost" + suffix) {
        return httplib::Server::HandlerResponse::Unhandled;
      }
      res.status = 403;
      res.set_content("this server answers to 127.0.0.1 only\n", "text/plain; charset=utf-8");
      return httplib::Server::HandlerResponse::Handled;
    });
    server.Get("/", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Content-Security-Policy", kPagePolicy);
      res.set_content(std::string(pageHTML()), "text/html; charset=utf-8");
    });
    server.Get("/app.js", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(pageScript()), "text/javascript; charset=utf-8");
    });
    server.Get("/app.css", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(pageStyle(), "text/css; charset=utf-8");
    });
    server.Get("/render", [this](const httplib::Request& req, httplib::Response& res) {
      const Query query(req.params.begin(), req.params.end());
      try {
        res.set_content(render(query), "application/json");
      } catch (const std::invalid_argument& e) {
        res.status = 400;
        res.set_content(std::string(e.what()) + "\n", "text/plain; charset=utf-8");
      }
    });
    server.Get("/events", [weak](const httplib::Request&, httplib::Response& res) {
      const auto self = weak.lock();
      if (!self || !self->openStream()) {
        res.status = 503;
        res.set_header("Retry-After", "5");
        res.set_content("too many event streams\n", "text/plain; charset=utf-8");
        return;
      }
      auto seen = std::make_shared<std::optional<std::uint64_t>>();
      const Clock::time_point opened = Clock::now();
      res.set_chunked_content_provider(
          "text/event-stream",
          [self, seen, opened](std::size_t, httplib::DataSink& sink) {
            return self->streamStep(*seen, opened, sink);
          },
          [self](bool) { self->closeStream(); });
    });
    server.Get(R"(/files/(.*))", [this](const httplib::Request& req, httplib::Response& res) {
      const auto file = servedFile(folder, req.matches[1].str());
      if (!file) return notFound(res);
      std::ifstream in(*file, std::ios::binary);
      std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (!in && !in.eof()) return notFound(res);
      res.set_header("Content-Security-Policy", "sandbox");
      res.set_content(std::move(body), std::string(servedContentType(*file)));
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
      if (res.body.empty()) res.set_content(std::to_string(res.status) + "\n", "text/plain");
    });
  }
};

PreviewServer::PreviewServer(std::filesystem::path folder, Renderer render,
                             PreviewServerLimits limits)
    : state_(std::make_shared<State>(std::move(folder), std::move(render), limits)) {
  state_->routes();
}

PreviewServer::~PreviewServer() { stop(); }

int PreviewServer::start(int port) {
  State& s = *state_;
  if (port == 0) {
    s.port = s.server.bind_to_any_port("127.0.0.1");
  } else if (s.server.bind_to_port("127.0.0.1", port)) {
    s.port = port;
  } else {
    s.port = -1;
  }
  if (s.port <= 0) {
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
  }
  // The socket listens from the bind on: requests wait for the thread.
  s.thread = std::thread([state = state_] { state->server.listen_after_bind(); });
  // stop() has nothing to stop until the loop runs: wait for it (briefly).
  for (int i = 0; i < 5000 && !s.server.is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return s.port;
}

void PreviewServer::stop() {
  State& s = *state_;
  {
    const std::lock_guard lock(s.mutex);
    s.stopping = true;
  }
  s.wake.notify_all();
  s.server.stop();
  if (s.thread.joinable()) s.thread.join();
}

void PreviewServer::changed() {
  {
    const std::lock_guard lock(state_->mutex);
    ++state_->version;
  }
  state_->wake.notify_all();
}

std::size_t PreviewServer::openStreams() const {
  const std::lock_guard lock(state_->mutex);
  return state_->streams;
}

}  // namespace quarn::tool
