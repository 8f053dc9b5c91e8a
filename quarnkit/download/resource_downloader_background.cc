// The background download service's side of ResourceDownloader: starting a
// download there after a HEAD size probe, cancelling it, and the service's
// callbacks, which arrive on its threads and hop to the main context before
// touching the task map.
#include <algorithm>

#include "quarnkit/download/detail/content_length.h"
#include "quarnkit/download/detail/error_text.h"
#include "quarnkit/download/resource_download_background_task.h"
#include "quarnkit/download/resource_downloader.h"
#include "quarnkit/http/session.h"
#include "quarnkit/platform/file_manager.h"
#include "quarnkit/platform/runtime/task.h"
#include "quarnkit/platform/services.h"

namespace quarn {

namespace fs = std::filesystem;

namespace {

// The cancel handler of a background task: inside the service's exclusive
// section, cancels the service's download with the task's identifier.
Async<void> cancelServiceDownload(std::shared_ptr<platform::BackgroundDownloadService> service,
                                  std::string identifier,
                                  ResourceDownloadBackgroundTask::CancelCompletion completion) {
  try {
    const auto control = co_await service->exclusiveControl();
    const auto downloads = service->currentDownloads();
    const auto found = std::find_if(
        downloads.begin(), downloads.end(),
        [&](const platform::BackgroundDownload& d) { return d.identifier == identifier; });
    if (found == downloads.end()) {
      // Nobody will report on it any more: end the wait as cancelled.
      completion(cancellationError());
      co_return;
    }
    service->cancel(*found);
  } catch (...) {
    completion(std::current_exception());
    co_return;
  }
  completion(nullptr);
}

}  // namespace

// GCC 12 takes the release of this coroutine's frame by Asio's allocator for a
// mismatched delete (a false positive; the frame is allocated and freed by the
// same pair).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
Async<std::shared_ptr<ResourceDownloadBackgroundTask>> ResourceDownloader::startBackgroundTask(
    URL remoteURL, URL localFileUrl) {
  auto self = shared_from_this();
  auto head = session_->request(remoteURL, http::HTTPMethod::head);
  // A file the server does not have (404 ...) is not worth a background download.
  head->validate();
  const http::DataResponse<std::string> response = co_await head->serializingData(true);
  const std::int64_t contentLength = detail::contentLengthOf(response);
  if (!applicationGroupIdentifier_) {
    throw ResourceDownloaderError(ResourceDownloaderError::Kind::missingApplicationGroupIdentifier);
  }
  const std::shared_ptr<platform::BackgroundDownloadService> service = service_;
  service->setDelegate(weak_from_this());
  const auto control = co_await service->exclusiveControl();
  // A caller cancelled while another user held the section must not start a
  // download that nobody would await or cancel.
  co_await checkCancellation();

  const auto downloads = service->currentDownloads();
  for (const TaskMapEntry& e : taskMap_) {
    auto running = std::dynamic_pointer_cast<ResourceDownloadBackgroundTask>(e.task);
    if (!running || e.remoteURL != remoteURL || e.localFileURL != localFileUrl) continue;
    const bool known =
        std::any_of(downloads.begin(), downloads.end(), [&](const platform::BackgroundDownload& d) {
          return d.identifier == running->identifier();
        });
    if (known) co_return running;
  }

  platform::BackgroundDownload download;
  download.kind = platform::BackgroundDownload::Kind::url;
  download.identifier = platform::randomUUID().uuidString();
  download.url = remoteURL;
  download.essential = false;
  download.fileSize = contentLength;
  download.applicationGroupIdentifier = *applicationGroupIdentifier_;
  download.priority = service->maxPriority();
  auto task = ResourceDownloadBackgroundTask::make(download.identifier, remoteURL, localFileUrl,
                                                   contentLength);
  service->startForeground(download);
  keepBackgroundTask(task);
  task->setCancelHandler([service, identifier = download.identifier](
                             ResourceDownloadBackgroundTask::CancelCompletion completion) {
    Task<void>::spawn(mainExecutor(),
                      cancelServiceDownload(service, identifier, std::move(completion)));
  });
  co_return task;
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

void ResourceDownloader::keepBackgroundTask(
    const std::shared_ptr<ResourceDownloadBackgroundTask>& task) {
  std::erase_if(backgroundTasks_, [](const auto& entry) { return entry.second.expired(); });
  backgroundTasks_[task->identifier()] = task;
}

std::shared_ptr<ResourceDownloadBackgroundTask> ResourceDownloader::resolveTask(
    const platform::BackgroundDownload& download) const {
  auto found = task(download.identifier);
  if (!found) {
    // Out of the task map, but still awaited by a caller that joined it.
    const auto kept = backgroundTasks_.find(download.identifier);
    if (kept != backgroundTasks_.end()) found = kept->second.lock();
  }
  if (!found) {
    log_.error("Unknown download: {}, uniqueIdentifier: {}", download.identifier,
               download.uniqueIdentifier);
  }
  return found;
}

void ResourceDownloader::didWriteBytes(const platform::BackgroundDownload& download,
                                       std::int64_t /*bytesWritten*/,
                                       std::int64_t totalBytesWritten,
                                       std::int64_t totalExpectedBytesToWrite) {
  if (download.kind != platform::BackgroundDownload::Kind::url) return;
  std::weak_ptr<ResourceDownloader> weak = weak_from_this();
  postToMain([weak, download, totalBytesWritten, totalExpectedBytesToWrite] {
    auto self = weak.lock();
    if (!self) return;
    if (auto task = self->resolveTask(download)) {
      task->updateProgress(totalBytesWritten, totalExpectedBytesToWrite);
    }
  });
}

void ResourceDownloader::finishedWithFileURL(const platform::BackgroundDownload& download,
                                             const URL& fileURL) {
  // The service takes the file back when this returns: stage it first.
  fs::path staged;
  std::exception_ptr stageError;
  try {
    const fs::path directory =
        fileManager_->itemReplacementDirectory(destinationDirectory_.filePath());
    staged = directory / platform::randomUUID().uuidString();
    fileManager_->moveItem(fileURL.filePath(), staged);
  } catch (...) {
    stageError = std::current_exception();
    log_.error(
        "Download finished, however a failure occurred moving the file to a temporary "
        "location. {}",
        detail::describeError(stageError));
  }
  std::weak_ptr<ResourceDownloader> weak = weak_from_this();
  auto files = fileManager_;
  postToMain([weak, files, download, staged, stageError] {
    if (auto self = weak.lock()) self->installBackgroundFile(download, staged, stageError);
    if (staged.empty()) return;
    // The staged file (if still there) and its replacement directory go.
    std::error_code ignored;
    fs::remove(staged, ignored);
    fs::remove(staged.parent_path(), ignored);
  });
}

void ResourceDownloader::installBackgroundFile(const platform::BackgroundDownload& download,
                                               const fs::path& staged,
                                               const std::exception_ptr& stageError) {
  auto task = resolveTask(download);
  if (!task) return;
  if (task->isFinished()) {
    // The service reported this download again: its first outcome stands,
    // and the file the caller was given stays as it is.
    log_.log(LogLevel::warning,
             "Download {} was reported again after it ended; the new file is dropped",
             download.identifier);
    return;
  }
  if (stageError) {
    task->finish(stageError);
    return;
  }
  const fs::path destination = task->destinationUrl().filePath();
  try {
    noteReplacement(destination, task->url());
    if (fileManager_->fileExists(destination)) fileManager_->removeItem(destination);
    // The cache may have been emptied while the service downloaded.
    fileManager_->createDirectory(destination.parent_path(), true);
    fileManager_->moveItem(staged, destination);
  } catch (...) {
    const std::exception_ptr error = std::current_exception();
    log_.error("Failed to move downloaded file: {}", detail::describeError(error));
    task->finish(error);
    return;
  }
  task->finish(nullptr);
}

void ResourceDownloader::failedWithError(const platform::BackgroundDownload& download,
                                         std::exception_ptr error) {
  if (download.kind != platform::BackgroundDownload::Kind::url) {
    log_.error("Download of unsupported type failed: {}. {}", download.identifier,
               detail::describeError(error));
    return;
  }
  log_.error("Download failed: {}", detail::describeError(error));
  std::weak_ptr<ResourceDownloader> weak = weak_from_this();
  postToMain([weak, download, error] {
    auto self = weak.lock();
    if (!self) return;
    if (auto task = self->resolveTask(download)) task->finish(error);
  });
}

void ResourceDownloader::didReceive(
    const platform::BackgroundDownload& /*download*/,
    const platform::AuthenticationChallenge& /*challenge*/,
    std::function<void(platform::AuthChallengeDisposition, std::optional<platform::URLCredential>)>
        completion) {
  completion(platform::AuthChallengeDisposition::performDefaultHandling, std::nullopt);
}

}  // namespace quarn
