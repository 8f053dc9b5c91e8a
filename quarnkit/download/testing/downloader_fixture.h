// The fixture of the downloader's tests: a loopback server whose files can
// be held back per path until the test opens their gate, request counts per
// path, a scratch destination directory and a downloader over it.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "quarnkit/download/resource_downloader.h"
#include "quarnkit/http/session.h"
#include "quarnkit/http/testing/http_fixtures.h"
#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/testing/loopback_server.h"

namespace quarn::testing {

class DownloaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& r = server.routes();
    // "/files/NAME": the body "file NAME" (the path as requested).
    r.Get(R"(/files/.+)", [this](const httplib::Request& req, httplib::Response& res) {
      count(req);
      res.set_content("file " + req.path, "application/octet-stream");
    });
    // "/gate/NAME": held until the test opens NAME's gate.
    r.Get(R"(/gate/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
      count(req);
      if (req.method != "HEAD" && !waitForGate(req.matches[1].str())) return;
      res.set_content("gated " + req.path, "application/octet-stream");
    });
    // "/chunked/NAME": a body of unknown length.
    r.Get(R"(/chunked/.+)", [this](const httplib::Request& req, httplib::Response& res) {
      count(req);
      res.set_chunked_content_provider("application/octet-stream",
                                       [](size_t, httplib::DataSink& sink) {
                                         sink.write("chunk", 5);
                                         sink.done();
                                         return true;
                                       });
    });
    r.Get("/missing", [this](const httplib::Request& req, httplib::Response& res) {
      count(req);
      res.status = 404;
      res.set_content("not found", "text/plain");
    });
    // Promises 1000 bytes, sends 500 and closes the connection.
    r.Get("/short", [this](const httplib::Request& req, httplib::Response& res) {
      count(req);
      res.set_content_provider(1000, "application/octet-stream",
                               [](size_t, size_t, httplib::DataSink& sink) {
                                 sink.write(std::string(500, 'c').data(), 500);
                                 return false;
                               });
    });
    // Sends a part of the body, then holds until the server stops.
    r.Get("/stalls", [this](const httplib::Request& req, httplib::Response& res) {
      count(req);
      res.set_content_provider(100000, "application/octet-stream",
                               [this](size_t offset, size_t, httplib::DataSink& sink) {
                                 if (offset > 0) {
                                   server.holdUntilStopped();
                                   return false;
                                 }
                                 sink.write(std::string(1000, 's').data(), 1000);
                                 return true;
                               });
    });
    server.start();
    session = std::make_shared<http::Session>(http::SessionConfiguration::standard());
    downloader = ResourceDownloader::make(session, URL::fileURL(directory.path()));
  }

  void TearDown() override {
    // Closing the session's connections first lets the server stop at once.
    downloader.reset();
    session.reset();
    drainMainContext();
    server.stop();
  }

  /// The server's URL for `path`.
  URL url(const std::string& path) const { return *URL::parse(server.url(path)); }
  /// The local file of `name` in the destination directory.
  URL local(const std::string& name) const { return URL::fileURL(directory.path() / name); }

  void openGate(const std::string& name) {
    const std::lock_guard lock(mutex);
    open.insert(name);
  }
  /// Requests (any method) the server answered for `path`.
  int hits(const std::string& path) {
    const std::lock_guard lock(mutex);
    return counts[path];
  }

  static std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  LoopbackServer server;
  TemporaryDirectory directory;
  std::shared_ptr<http::Session> session;
  std::shared_ptr<ResourceDownloader> downloader;

 private:
  void count(const httplib::Request& req) {
    const std::lock_guard lock(mutex);
    ++counts[req.path];
  }
  // Waits (in small holds, so the server can stop) until the gate is open.
  bool waitForGate(const std::string& name) {
    for (;;) {
      {
        const std::lock_guard lock(mutex);
        if (open.count(name) != 0) return true;
      }
      if (!server.hold(std::chrono::milliseconds(2))) return false;
    }
  }

  std::mutex mutex;
  std::set<std::string> open;
  std::map<std::string, int> counts;
};

}  // namespace quarn::testing
