#include "quarnkit/download/resource_download_background_task.h"

#include "quarnkit/download/detail/complete_progress.h"
#include "quarnkit/download/detail/shared_wait.h"
#include "quarnkit/platform/progress.h"
#include "quarnkit/platform/runtime/continuation.h"

namespace quarn {

std::shared_ptr<ResourceDownloadBackgroundTask> ResourceDownloadBackgroundTask::make(
    std::string identifier, URL url, URL destinationUrl, std::int64_t contentLength) {
  return std::make_shared<ResourceDownloadBackgroundTask>(
      Token{}, std::move(identifier), std::move(url), std::move(destinationUrl), contentLength);
}

ResourceDownloadBackgroundTask::ResourceDownloadBackgroundTask(Token /*unused*/,
                                                               std::string identifier, URL url,
                                                               URL destinationUrl,
                                                               std::int64_t contentLength)
    : identifier_(std::move(identifier)),
      url_(std::move(url)),
      destinationUrl_(std::move(destinationUrl)),
      contentLength_(contentLength),
      progress_(platform::Progress::make(contentLength)) {}

ResourceDownloadBackgroundTask::~ResourceDownloadBackgroundTask() {
  // Dropped unfinished (no caller waits any more): end the wait as cancelled.
  if (auto handler = std::exchange(finishHandler_, nullptr)) handler(cancellationError());
}

Async<URL> ResourceDownloadBackgroundTask::value() {
  if (!internalTask_) internalTask_ = Task<URL>::spawn(mainExecutor(), start(weak_from_this()));
  std::weak_ptr<ResourceDownloadBackgroundTask> weak = weak_from_this();
  std::function<void()> cancel = [weak] {
    if (auto self = weak.lock()) self->cancelDownload();
  };
  return detail::awaitSharedDownload(*internalTask_, awaiters_, std::move(cancel));
}

Async<URL> ResourceDownloadBackgroundTask::start(
    std::weak_ptr<ResourceDownloadBackgroundTask> weak) {
  // The wait holds the task weakly: a task dropped unfinished ends its
  // waiters (the continuation goes with it) instead of keeping itself alive.
  std::function<void(CheckedContinuation<URL>)> install =
      [weak](const CheckedContinuation<URL>& c) {
        auto self = weak.lock();
        if (!self) return;
        self->finishHandler_ = [c, url = self->destinationUrl_](std::exception_ptr error) {
          if (error) {
            c.resume(std::move(error));
          } else {
            c.resume(url);
          }
        };
      };
  {
    // A result that came before anyone asked is kept: hand it out at once.
    auto self = weak.lock();
    if (!self) throwCancellation();
    if (self->finished_) {
      if (self->error_) std::rethrow_exception(self->error_);
      co_return self->destinationUrl_;
    }
  }
  co_return co_await withCheckedThrowingContinuation<URL>("start()", std::move(install));
}

void ResourceDownloadBackgroundTask::finish(std::exception_ptr error) {
  if (finished_) return;  // a second callback for the same download
  finished_ = true;
  error_ = error;
  if (!error) detail::completeProgress(*progress_);
  if (auto handler = std::exchange(finishHandler_, nullptr)) handler(std::move(error));
}

void ResourceDownloadBackgroundTask::updateProgress(std::int64_t totalBytesWritten,
                                                    std::int64_t totalExpectedBytes) {
  progress_->setUnitCounts(totalExpectedBytes, totalBytesWritten);
}

void ResourceDownloadBackgroundTask::cancelDownload() {
  if (!cancelHandler_) {
    finish(cancellationError());
    return;
  }
  std::weak_ptr<ResourceDownloadBackgroundTask> weak = weak_from_this();
  cancelHandler_([weak](const std::exception_ptr& error) {
    if (!error) return;  // the service reports the cancelled download itself
    postToMain([weak, error] {
      if (auto self = weak.lock()) self->finish(error);
    });
  });
}

}  // namespace quarn
