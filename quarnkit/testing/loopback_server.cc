#include "quarnkit/testing/loopback_server.h"

#include <sys/socket.h>

#include <algorithm>
#include <charconv>
#include <optional>
#include <stdexcept>

namespace quarn::testing {

namespace {

std::optional<std::int64_t> integerParam(const httplib::Request& req, const char* name) {
  if (!req.has_param(name)) return std::nullopt;
  const std::string text = req.get_param_value(name);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string nested(const std::string& keyPath, std::string array) {
  if (keyPath.empty()) return array;
  std::vector<std::string> keys;
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = keyPath.find('.', start);
    keys.push_back(keyPath.substr(start, dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
    array = "{\"" + *it + "\": " + array + "}";
  }
  return array;
}

}  // namespace

LoopbackServer::LoopbackServer(std::size_t threads) {
  server_.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  // Keep-alive connections are reused for many requests, as servers do.
  server_.set_keep_alive_max_count(1000);
  // Headers and body go out in separate writes: without this each response
  // would wait for a delayed acknowledgement.
  server_.set_tcp_nodelay(true);
  // The library listens with a backlog of 5: more simultaneous connections
  // would wait for a SYN retry (a second). Remember the socket to widen it.
  server_.set_socket_options([this](socket_t sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    listenSocket_ = sock;
  });
  server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
    requests_.fetch_add(1);
    const std::size_t now = active_.fetch_add(1) + 1;
    std::size_t seen = maxActive_.load();
    while (now > seen && !maxActive_.compare_exchange_weak(seen, now)) {
    }
    {
      const std::lock_guard lock(portsMutex_);
      if (std::find(ports_.begin(), ports_.end(), req.remote_port) == ports_.end()) {
        ports_.push_back(req.remote_port);
      }
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server_.set_post_routing_handler(
      [this](const httplib::Request&, httplib::Response&) { active_.fetch_sub(1); });
}

LoopbackServer::~LoopbackServer() { stop(); }

void LoopbackServer::start() {
  port_ = server_.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("the loopback server could not bind 127.0.0.1");
  ::listen(listenSocket_, SOMAXCONN);
  // The socket listens once bound: clients may connect before the thread runs.
  thread_ = std::thread([this] {
    server_.listen_after_bind();
    listenEnded_ = true;
  });
}

void LoopbackServer::stop() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  woken_.notify_all();
  if (thread_.joinable()) {
    // stop() does nothing until the serving thread has begun listening.
    while (!server_.is_running() && !listenEnded_.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    server_.stop();
    thread_.join();
  }
}

std::string LoopbackServer::url(std::string_view pathAndQuery) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(pathAndQuery);
}

bool LoopbackServer::hold(std::chrono::milliseconds duration) {
  std::unique_lock lock(mutex_);
  return !woken_.wait_for(lock, duration, [this] { return stopping_; });
}

void LoopbackServer::holdUntilStopped() {
  std::unique_lock lock(mutex_);
  woken_.wait(lock, [this] { return stopping_; });
}

std::size_t LoopbackServer::distinctConnections() const {
  const std::lock_guard lock(portsMutex_);
  return ports_.size();
}

namespace {

std::string totalText(const PagedCollection& c, std::int64_t total, std::size_t request) {
  using Total = PagedCollection::Total;
  switch (c.total) {
    case Total::empty:
      return "";
    case Total::malformed:
      return std::to_string(total) + " items";
    case Total::negative:
      return "-5";
    case Total::overflowing:
      return "99999999999999999999";
    case Total::shrinking:
      return std::to_string(
          std::max<std::int64_t>(total - 3 * static_cast<std::int64_t>(request - 1), 0));
    case Total::larger:
      return std::to_string(total + 5);
    case Total::actual:
    case Total::absent:
      break;
  }
  return std::to_string(total);
}

void servePagesOn(httplib::Server& server, LoopbackServer* loopback, const std::string& path,
                  std::shared_ptr<const PagedCollection> collection) {
  auto requests = std::make_shared<std::atomic<std::size_t>>(0);
  server.Get(path, [collection, requests, loopback, path](const httplib::Request& req,
                                                          httplib::Response& res) {
    if (collection->redirectTo && !req.has_param("redirected")) {
      std::string query;
      for (const auto& [name, value] : req.params) {
        query += (query.empty() ? "?" : "&") + name + "=" + value;
      }
      res.set_redirect(*collection->redirectTo + path + query + (query.empty() ? "?" : "&") +
                       "redirected=1");
      return;
    }
    const std::size_t request = requests->fetch_add(1) + 1;
    if (request == collection->failAt) {
      res.status = 503;
      res.set_content(R"({"error": "unavailable"})", "application/json");
      return;
    }
    std::vector<std::pair<std::int64_t, std::string>> all = collection->items;
    if (all.empty()) {
      for (std::size_t i = 1; i <= collection->count; ++i) {
        const auto id = static_cast<std::int64_t>(i);
        if (std::find(collection->missingIds.begin(), collection->missingIds.end(), id) !=
            collection->missingIds.end()) {
          continue;
        }
        all.emplace_back(id, "{\"id\": " + std::to_string(id) + ", \"name\": \"item " +
                                 std::to_string(id) + "\"}");
      }
    }
    const auto total = static_cast<std::int64_t>(all.size());
    std::int64_t first = 0;
    std::int64_t size = total;
    std::int64_t perPage = total;
    std::int64_t page = 1;
    std::vector<std::pair<std::int64_t, std::string>> chosen;
    if (req.has_param("ids")) {
      const std::string ids = req.get_param_value("ids");
      std::size_t start = 0;
      while (start <= ids.size() && !ids.empty()) {
        const std::size_t comma = ids.find(',', start);
        const std::string one = ids.substr(start, comma - start);
        for (const auto& item : all) {
          if (std::to_string(item.first) == one) chosen.push_back(item);
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    } else {
      if (auto limit = integerParam(req, "limit")) {
        perPage = size = *limit;
        first = integerParam(req, "offset").value_or(0);
      } else if (auto pp = integerParam(req, "per-page")) {
        perPage = size = *pp;
        if (auto p = integerParam(req, "page")) {
          page = *p;
          first = (*p - 1) * *pp;
        } else if (auto after = req.has_param("page-from-pk") ? integerParam(req, "page-from-pk")
                                                              : integerParam(req, "page-from-id")) {
          first = 0;
          while (first < total && all[static_cast<std::size_t>(first)].first <= *after) ++first;
        }
      }
      if (perPage > 0 && first >= 0) page = first / perPage + 1;
      for (std::int64_t i = std::max<std::int64_t>(first, 0); i < total && i < first + size; ++i) {
        chosen.push_back(all[static_cast<std::size_t>(i)]);
      }
    }
    if (collection->duplicatesAcrossPages && !chosen.empty()) {
      const auto at = std::find(all.begin(), all.end(), chosen.front());
      if (at != all.begin() && at != all.end()) chosen.insert(chosen.begin(), *(at - 1));
    }
    if (request == collection->emptyAt) chosen.clear();
    std::string array = "[";
    for (std::size_t i = 0; i < chosen.size(); ++i) {
      array += (i ? ", " : "") + chosen[i].second;
    }
    array += "]";
    if (collection->sendTotalCount && collection->total != PagedCollection::Total::absent) {
      res.set_header(collection->totalCountHeader, totalText(*collection, total, request));
    }
    if (collection->sendPageHeaders && perPage > 0) {
      res.set_header("X-Pagination-Current-Page", std::to_string(page));
      res.set_header("X-Pagination-Page-Count", std::to_string((total + perPage - 1) / perPage));
      res.set_header("X-Pagination-Per-Page", std::to_string(perPage));
    }
    std::string text = nested(collection->keyPath, array);
    if (request == collection->cutAt || request == collection->stallAt) {
      const bool stall = request == collection->stallAt;
      res.set_content_provider(
          text.size(), "application/json",
          [text, stall, loopback](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            if (offset > 0) {
              if (stall && loopback != nullptr) loopback->holdUntilStopped();
              return false;  // the connection closes with the body cut
            }
            sink.write(text.data(), text.size() / 2);
            return true;
          });
      return;
    }
    if (collection->slowBody.count() > 0 &&
        (collection->slowAt == 0 || request == collection->slowAt)) {
      const std::size_t step = std::max<std::size_t>(text.size() / (chosen.size() + 1), 1);
      // The server compresses a chunked "application/json" body for a client
      // that accepts it, and its compressor holds every piece until the end;
      // with a charset parameter the pieces go out as they are written.
      res.set_chunked_content_provider(
          "application/json; charset=utf-8", [text, step, pause = collection->slowBody, loopback](
                                                 std::size_t offset, httplib::DataSink& sink) {
            if (offset >= text.size()) {
              sink.done();
              return true;
            }
            if (offset > 0) {
              if (loopback != nullptr) {
                loopback->hold(pause);
              } else {
                std::this_thread::sleep_for(pause);
              }
            }
            sink.write(text.data() + offset, std::min(step, text.size() - offset));
            return true;
          });
      return;
    }
    res.set_content(text, "application/json");
  });
}

}  // namespace

void servePages(httplib::Server& server, const std::string& path,
                std::shared_ptr<const PagedCollection> collection) {
  servePagesOn(server, nullptr, path, std::move(collection));
}

void servePages(LoopbackServer& server, const std::string& path,
                std::shared_ptr<const PagedCollection> collection) {
  servePagesOn(server.routes(), &server, path, std::move(collection));
}

}  // namespace quarn::testing
