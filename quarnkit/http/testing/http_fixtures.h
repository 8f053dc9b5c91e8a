// Helpers of the HTTP client's tests: running the main context until
// something happened, collecting responses, recording the request
// notifications, and a scratch directory for downloads.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "quarnkit/http/session.h"
#include "quarnkit/platform/notification_center.h"
#include "quarnkit/platform/runtime/async.h"

namespace quarn::testing {

/// Runs the main context until `done()` holds; fails the test after `timeout`.
inline void runUntil(const std::function<bool()>& done,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  ASSERT_TRUE(runMainContextUntil(done, timeout)) << "timed out";
}

/// The responses one handler received, in order.
template <class Response>
class Received {
 public:
  std::function<void(Response)> handler() {
    return [this](Response r) { responses.push_back(std::move(r)); };
  }
  /// Runs the main context until a response came, then a little longer so
  /// that a second (wrong) delivery would be seen too.
  const Response& awaitOne() {
    runUntil([&] { return !responses.empty(); });
    drainMainContext();
    EXPECT_EQ(responses.size(), 1u);
    return responses.front();
  }
  std::vector<Response> responses;
};

/// The request notifications posted while it lives: (name, request).
class NotificationLog {
 public:
  NotificationLog() {
    token_ = platform::NotificationCenter::current()->addObserver(
        std::nullopt, nullptr, [this](const platform::Notification& n) {
          if (n.name.rfind("QuarnKit.Request.", 0) != 0) return;
          const std::lock_guard lock(mutex_);
          events_.emplace_back(n.name.substr(17), http::requestOf(n).get());
        });
  }
  ~NotificationLog() { platform::NotificationCenter::current()->removeObserver(token_); }
  NotificationLog(const NotificationLog&) = delete;
  NotificationLog& operator=(const NotificationLog&) = delete;

  /// The names ("didResumeTask", ...) posted for `request`, in order.
  std::vector<std::string> of(const http::Request* request) const {
    const std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& [name, r] : events_) {
      if (r == request) out.push_back(name);
    }
    return out;
  }

 private:
  platform::ObserverToken token_;
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, const http::Request*>> events_;
};

/// A fresh directory, removed with its contents at the end of the test.
class TemporaryDirectory {
 public:
  TemporaryDirectory() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("quarnkit-http-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  /// The names of the files in the directory tree, sorted.
  [[nodiscard]] std::vector<std::string> files() const {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(path_)) {
      if (!e.is_directory()) out.push_back(std::filesystem::relative(e.path(), path_).string());
    }
    std::sort(out.begin(), out.end());
    return out;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace quarn::testing
