/// @file
/// ResourceDownloadBackgroundTask: a download run by the platform's background download service, as
/// ResourceDownloader starts it.

/// @class quarn::ResourceDownloadBackgroundTask
/// A download run by the platform's background
/// download service, as ResourceDownloader starts it. The service's callbacks
/// finish it (on the main context); whoever awaits value() gets the result.
///
/// Kind: a shared object, made only by make() (the service's callbacks and the
/// awaiting readers reach it weakly).
///
/// ```
///   auto task = co_await downloader->startResourceDownloadBackgroundTask(remote, local);
///   URL file = co_await task->value();     // local, once the service has delivered it
/// ```
///
/// The first result counts and is kept: a reader that comes after it gets it at
/// once, and a later finish() (a second callback for the same download) is
/// ignored. Two tasks are equal when their identifiers are. A cancel handler
/// may drop the last reference to the task; the completion it is given may be
/// called from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "quarnkit/download/resource_downloader_task.h"
#include "quarnkit/platform/runtime/task.h"

namespace quarn {

class ResourceDownloadBackgroundTask final
    : public ResourceDownloaderTask,
      public std::enable_shared_from_this<ResourceDownloadBackgroundTask> {
  struct Token {
    explicit Token() = default;
  };

 public:
  /// Receives the outcome of a cancellation: the error, or null.
  using CancelCompletion = std::function<void(std::exception_ptr)>;
  /// Asks the service to cancel the download, then calls the completion.
  using CancelHandler = std::function<void(CancelCompletion)>;

  /// `contentLength`: the expected size in bytes (0: unknown); the progress
  /// counts that many units.
  static std::shared_ptr<ResourceDownloadBackgroundTask> make(std::string identifier, URL url,
                                                              URL destinationUrl,
                                                              std::int64_t contentLength);
  /// For std::make_shared only: the token is private, so hosts call make().
  ResourceDownloadBackgroundTask(Token, std::string identifier, URL url, URL destinationUrl,
                                 std::int64_t contentLength);
  ~ResourceDownloadBackgroundTask() override;
  ResourceDownloadBackgroundTask(const ResourceDownloadBackgroundTask&) = delete;
  ResourceDownloadBackgroundTask& operator=(const ResourceDownloadBackgroundTask&) = delete;

  /// A fresh UUID text, also the service download's identifier.
  [[nodiscard]] std::string identifier() const override { return identifier_; }
  /// The remote URL.
  [[nodiscard]] const URL& url() const { return url_; }
  /// Where the finished file is moved.
  [[nodiscard]] const URL& destinationUrl() const { return destinationUrl_; }
  /// The expected size in bytes (0: unknown).
  [[nodiscard]] std::int64_t contentLength() const { return contentLength_; }
  [[nodiscard]] std::shared_ptr<platform::Progress> progress() const override { return progress_; }

  /// destinationUrl once the download has finished, or its error. Read it on
  /// the main context; every reader shares one wait (internalTask).
  Async<URL> value() override;
  /// The wait every reader shares, once value() was first read.
  [[nodiscard]] const std::optional<Task<URL>>& internalTask() const { return internalTask_; }

  /// Sets the progress from the service's byte counts. Main context.
  void updateProgress(std::int64_t totalBytesWritten, std::int64_t totalExpectedBytes);

  /// Sets what cancel() asks the service to do.
  void setCancelHandler(CancelHandler handler) { cancelHandler_ = std::move(handler); }
  /// Ends the download with `error`, or with destinationUrl when it is null.
  /// Only the first call counts. Call on the main context.
  void finish(std::exception_ptr error);
  /// Whether finish() has been called: the result is settled.
  [[nodiscard]] bool isFinished() const { return finished_; }

  /// Tasks are equal when their identifiers are.
  friend bool operator==(const ResourceDownloadBackgroundTask& a,
                         const ResourceDownloadBackgroundTask& b) {
    return a.identifier_ == b.identifier_;
  }

 private:
  static Async<URL> start(std::weak_ptr<ResourceDownloadBackgroundTask> weak);
  void cancelDownload();

  std::string identifier_;
  URL url_;
  URL destinationUrl_;
  std::int64_t contentLength_;
  std::shared_ptr<platform::Progress> progress_;
  std::optional<Task<URL>> internalTask_;
  CancelHandler cancelHandler_;
  std::function<void(std::exception_ptr)> finishHandler_;
  bool finished_ = false;
  std::exception_ptr error_;  // the first result, once finished_
  std::shared_ptr<std::atomic<int>> awaiters_ = std::make_shared<std::atomic<int>>(0);
};

}  // namespace quarn
