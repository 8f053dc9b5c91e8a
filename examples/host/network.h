// The app's network layer: a small HTTP client, and (for this example only)
// the server it talks to, on 127.0.0.1 in a thread of its own. The server
// answers the home screen's combined request from a results file and serves
// a list of articles in pages.
#pragma once

#include <httplib.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace host {

struct Response {
  int status = 0;
  std::string body;
  httplib::Headers headers;  // names compare ignoring letter case

  [[nodiscard]] std::optional<std::string> header(std::string_view name) const {
    const auto it = headers.find(std::string(name));
    return it == headers.end() ? std::nullopt : std::optional<std::string>(it->second);
  }
};

class Api {
 public:
  explicit Api(int port) : port_(port) {}

  // Blocking; call it off the main thread. Throws when the server cannot be
  // reached or answers with an error status.
  [[nodiscard]] Response get(const std::string& path) const { return check(client().Get(path)); }
  [[nodiscard]] Response post(const std::string& path, const std::string& json) const {
    return check(client().Post(path, json, "application/json"));
  }

 private:
  [[nodiscard]] httplib::Client client() const { return httplib::Client("127.0.0.1", port_); }
  static Response check(const httplib::Result& result) {
    if (!result) throw std::runtime_error("no answer from the server");
    if (result->status != 200) {
      throw std::runtime_error("server answered " + std::to_string(result->status));
    }
    return Response{result->status, result->body, result->headers};
  }
  int port_;
};

class LoopbackServer {
 public:
  // `results`: the JSON the home screen's request is answered with;
  // `articles` items are served `perPage` at a time.
  LoopbackServer(std::string results, int articles, int perPage) {
    server_.Post("/home", [results](const httplib::Request&, httplib::Response& res) {
      res.set_content(results, "application/json");
    });
    server_.Get(
        "/articles", [articles, perPage](const httplib::Request& req, httplib::Response& res) {
          const int page = req.has_param("page") ? std::stoi(req.get_param_value("page")) : 1;
          std::string body = "[";
          for (int i = (page - 1) * perPage; i < std::min(articles, page * perPage); ++i) {
            body += (body.size() > 1 ? "," : "") + std::string("{\"id\":") + std::to_string(i + 1) +
                    ",\"title\":\"Article " + std::to_string(i + 1) + "\"}";
          }
          res.set_content(body + "]", "application/json");
          res.set_header("X-Pagination-Total-Count", std::to_string(articles));
          res.set_header("X-Pagination-Current-Page", std::to_string(page));
        });
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("cannot bind 127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~LoopbackServer() {
    server_.stop();
    thread_.join();
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  [[nodiscard]] int port() const { return port_; }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
};

}  // namespace host
