#include "quarnkit/http/download_request.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "quarnkit/platform/detail/file_calls.h"
#include "quarnkit/platform/file_manager.h"
#include "quarnkit/platform/runtime/continuation.h"

namespace quarn::http {

namespace fs = std::filesystem;

namespace {

// Moves `from` to `to` as the options say (across file systems by a copy
// renamed into place, so that nothing partial is ever at `to`).
void moveFile(const fs::path& from, const fs::path& to, const DownloadRequest::Options& options) {
  platform::FileManager files;
  if (options.createIntermediateDirectories && to.has_parent_path()) {
    files.createDirectory(to.parent_path(), true);
  }
  if (options.removePreviousFile) fs::remove_all(to);
  files.moveItem(from, to);
}

Async<URL> fileURLOf(std::shared_ptr<DownloadRequest> request, bool automaticallyCancelling) {
  DownloadResponse<URL> response = co_await request->serializingResponse(automaticallyCancelling);
  co_return std::move(response.result).get();
}

}  // namespace

DownloadRequest::DownloadRequest(URLRequest request, detail::RequestContext context,
                                 std::optional<RequestError> initialError, Destination destination)
    : Request(std::move(request), std::move(context), std::move(initialError)),
      destination_(std::move(destination)) {}

DownloadRequest::~DownloadRequest() {
  closeFile();
  removeTemporaryFile();
}

std::optional<URL> DownloadRequest::fileURL() const {
  const std::lock_guard lock(mutex_);
  return fileURL_;
}

DownloadRequest& DownloadRequest::response(std::function<void(DownloadResponse<URL>)> completion,
                                           Executor queue) {
  auto self = std::static_pointer_cast<DownloadRequest>(shared_from_this());
  onFinish(queue, [self, completion = std::move(completion)] {
    std::optional<URLRequest> sent = self->request();
    std::optional<URL> file = self->fileURL();
    std::optional<RequestError> error = self->error();
    if (error || !file) {
      completion({sent, self->response(), file,
                  Result<URL>(error.value_or(RequestError::explicitlyCancelled()))});
    } else {
      completion({sent, self->response(), file, Result<URL>(*file)});
    }
  });
  return *this;
}

Async<DownloadResponse<URL>> DownloadRequest::serializingResponse(bool automaticallyCancelling) {
  auto self = std::static_pointer_cast<DownloadRequest>(shared_from_this());
  std::function<void()> onCancel;
  if (automaticallyCancelling) onCancel = [self] { self->cancel(); };
  return withCheckedThrowingContinuation<DownloadResponse<URL>>(
      "serializingResponse",
      [self](CheckedContinuation<DownloadResponse<URL>> c) {
        self->response([c](DownloadResponse<URL> r) { c.resume(std::move(r)); });
      },
      std::move(onCancel));
}

Async<URL> DownloadRequest::serializingDownloadedFileURL(bool automaticallyCancelling) {
  return fileURLOf(std::static_pointer_cast<DownloadRequest>(shared_from_this()),
                   automaticallyCancelling);
}

std::optional<RequestError> DownloadRequest::prepareBody() {
  std::error_code ignored;
  const fs::path directory = context().temporaryDirectory.empty() ? fs::temp_directory_path(ignored)
                                                                  : context().temporaryDirectory;
  std::string name = (directory / "quarnkit-download-XXXXXX").string();
  fd_ = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd_ < 0) {
    return RequestError::sessionTaskFailed(
        {TransportError::Code::cannotWriteToFile,
         "cannot create a temporary file in " + directory.string() + ": " + std::strerror(errno)});
  }
  temporaryPath_ = name;
  return std::nullopt;
}

bool DownloadRequest::receive(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = platform::detail::writeFile(fd_, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      failReceiving({TransportError::Code::cannotWriteToFile,
                     temporaryPath_.string() + ": " + std::strerror(errno)});
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

void DownloadRequest::closeFile() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void DownloadRequest::removeTemporaryFile() {
  if (temporaryPath_.empty()) return;
  std::error_code ignored;
  fs::remove(temporaryPath_, ignored);
  temporaryPath_.clear();
}

void DownloadRequest::finishBody(const std::optional<HTTPURLResponse>& response,
                                 std::optional<RequestError>& error) {
  closeFile();
  if (error || !response || temporaryPath_.empty()) {
    removeTemporaryFile();
    return;
  }
  const URL temporaryURL = URL::fileURL(temporaryPath_);
  fs::path destination = temporaryPath_;
  try {
    DestinationResult chosen{temporaryURL, {}};
    if (destination_) chosen = destination_(temporaryURL, *response);
    if (!chosen.fileURL.isFileURL()) {
      throw std::invalid_argument("the destination " + chosen.fileURL.absoluteString() +
                                  " is not a file URL");
    }
    destination = chosen.fileURL.filePath();
    if (destination != temporaryPath_) moveFile(temporaryPath_, destination, chosen.options);
    const std::lock_guard lock(mutex_);
    fileURL_ = chosen.fileURL;
    temporaryPath_.clear();
  } catch (...) {
    error = RequestError::downloadedFileMoveFailed(std::current_exception(),
                                                   temporaryPath_.string(), destination.string());
    removeTemporaryFile();
  }
}

}  // namespace quarn::http
