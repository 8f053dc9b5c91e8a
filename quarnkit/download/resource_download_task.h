/// @file
/// ResourceDownloadTask: a download over the HTTP client — the download request, and the task that
/// awaits its file URL (cancelling that task cancels the request).

/// @class quarn::ResourceDownloadTask
/// A download over the HTTP client — the download
/// request, and the task that awaits its file URL (cancelling that task
/// cancels the request). Two of them are equal when they wrap the same request.
///
/// Kind: a shared object, made only by make() (a downloader's task map and
/// every caller awaiting the download share it).
///
/// ```
///   auto request = session.download(urlRequest, destination);
///   auto task = ResourceDownloadTask::make(request);   // on the main context
///   URL local = co_await task->value();
/// ```
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "quarnkit/download/resource_downloader_task.h"
#include "quarnkit/platform/runtime/task.h"

namespace quarn::http {
class DownloadRequest;
}

namespace quarn {

class ResourceDownloadTask final : public ResourceDownloaderTask {
  struct Token {
    explicit Token() = default;
  };

 public:
  /// Starts awaiting `request` (which then resumes). Call on the main context.
  static std::shared_ptr<ResourceDownloadTask> make(std::shared_ptr<http::DownloadRequest> request);
  /// For std::make_shared only: the token is private, so hosts call make().
  ResourceDownloadTask(Token, std::shared_ptr<http::DownloadRequest> request);
  ~ResourceDownloadTask() override;
  ResourceDownloadTask(const ResourceDownloadTask&) = delete;
  ResourceDownloadTask& operator=(const ResourceDownloadTask&) = delete;

  /// The HTTP client's download request.
  [[nodiscard]] const std::shared_ptr<http::DownloadRequest>& request() const { return request_; }
  /// The request's file URL, awaited with automatic cancellation.
  [[nodiscard]] const Task<URL>& downloadTask() const { return downloadTask_; }

  /// The request's UUID text.
  [[nodiscard]] std::string identifier() const override;
  Async<URL> value() override;
  /// The request's download progress.
  [[nodiscard]] std::shared_ptr<platform::Progress> progress() const override { return progress_; }

  /// Tasks are equal when they follow the same request.
  friend bool operator==(const ResourceDownloadTask& a, const ResourceDownloadTask& b);

 private:
  std::shared_ptr<http::DownloadRequest> request_;
  Task<URL> downloadTask_;
  std::shared_ptr<platform::Progress> progress_;
  std::shared_ptr<std::atomic<int>> awaiters_ = std::make_shared<std::atomic<int>>(0);
};

}  // namespace quarn
