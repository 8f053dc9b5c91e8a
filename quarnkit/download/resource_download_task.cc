#include "quarnkit/download/resource_download_task.h"

#include "quarnkit/download/detail/complete_progress.h"
#include "quarnkit/download/detail/shared_wait.h"
#include "quarnkit/http/download_request.h"
#include "quarnkit/platform/progress.h"

namespace quarn {

std::shared_ptr<ResourceDownloadTask> ResourceDownloadTask::make(
    std::shared_ptr<http::DownloadRequest> request) {
  return std::make_shared<ResourceDownloadTask>(Token{}, std::move(request));
}

ResourceDownloadTask::ResourceDownloadTask(Token /*unused*/,
                                           std::shared_ptr<http::DownloadRequest> request)
    : request_(std::move(request)),
      downloadTask_(Task<URL>::spawn(mainExecutor(), request_->serializingDownloadedFileURL(true))),
      progress_(platform::Progress::make(-1)) {
  // Bytes of the body: the total stays -1 (indeterminate) while unknown.
  std::weak_ptr<platform::Progress> weak = progress_;
  request_->downloadProgress([weak](const http::TransferProgress& transfer) {
    if (auto progress = weak.lock()) {
      progress->setUnitCounts(transfer.totalUnitCount, transfer.completedUnitCount);
    }
  });
  // A body of unknown length (chunked) never reaches its total on the way:
  // a finished download makes its progress finished, so the unit it stands
  // for in a caller's progress completes.
  request_->response([weak](const http::DownloadResponse<URL>& response) {
    auto progress = weak.lock();
    if (progress && response.value()) detail::completeProgress(*progress);
  });
}

ResourceDownloadTask::~ResourceDownloadTask() = default;

std::string ResourceDownloadTask::identifier() const { return request_->id().uuidString(); }

Async<URL> ResourceDownloadTask::value() {
  Task<URL> task = downloadTask_;
  std::function<void()> cancel = [task] { task.cancel(); };
  return detail::awaitSharedDownload(std::move(task), awaiters_, std::move(cancel));
}

bool operator==(const ResourceDownloadTask& a, const ResourceDownloadTask& b) {
  return a.request_->id() == b.request_->id();
}

}  // namespace quarn
