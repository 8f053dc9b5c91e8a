#include "quarnkit/http/download_request.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>
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

fs::path validatorPath(const fs::path& partial) {
  fs::path path = partial;
  path += ".validator";
  return path;
}

std::string readValidator(const fs::path& partial) {
  std::ifstream in(validatorPath(partial), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void removePartial(const fs::path& partial) {
  std::error_code ignored;
  fs::remove(partial, ignored);
  fs::remove(validatorPath(partial), ignored);
}

std::optional<std::int64_t> parseCount(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

// "bytes FIRST-LAST/TOTAL": the first byte and the whole length (none for "*").
struct ContentRange {
  std::int64_t first = 0;
  std::optional<std::int64_t> total;
};

std::optional<ContentRange> parseContentRange(std::string_view text) {
  if (!text.starts_with("bytes ")) return std::nullopt;
  text.remove_prefix(6);
  const auto dash = text.find('-');
  const auto slash = text.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) {
    return std::nullopt;
  }
  const auto first = parseCount(text.substr(0, dash));
  if (!first) return std::nullopt;
  ContentRange range{*first, std::nullopt};
  const std::string_view total = text.substr(slash + 1);
  if (total != "*") {
    range.total = parseCount(total);
    if (!range.total) return std::nullopt;
  }
  return range;
}

Async<URL> fileURLOf(std::shared_ptr<DownloadRequest> request, bool automaticallyCancelling) {
  DownloadResponse<URL> response = co_await request->serializingResponse(automaticallyCancelling);
  co_return std::move(response.result).get();
}

}  // namespace

DownloadRequest::DownloadRequest(URLRequest request, detail::RequestContext context,
                                 std::optional<RequestError> initialError, Destination destination,
                                 std::filesystem::path partialFile, std::int64_t offered)
    : Request(std::move(request), std::move(context), std::move(initialError)),
      destination_(std::move(destination)),
      partialPath_(std::move(partialFile)),
      offered_(offered) {}

DownloadRequest::~DownloadRequest() {
  closeFile();
  if (resumable()) {
    // Never started, or dropped unfinished: what is there may still resume.
    if (!temporaryPath_.empty()) keepOrDiscardPartial();
  } else {
    removeTemporaryFile();
  }
}

std::int64_t DownloadRequest::askForRest(URLRequest& request, const fs::path& partialFile) {
  // Byte offsets are those of the stored file: no content coding.
  request.headers.update("Accept-Encoding", "identity");
  std::error_code failed;
  const auto status = fs::symlink_status(partialFile, failed);
  const std::string validator = readValidator(partialFile);
  const auto size = fs::is_regular_file(status) ? fs::file_size(partialFile, failed) : 0;
  if (failed || size == 0 || validator.empty()) {
    removePartial(partialFile);
    return 0;
  }
  request.headers.update("Range", "bytes=" + std::to_string(size) + "-");
  request.headers.update("If-Range", validator);
  return static_cast<std::int64_t>(size);
}

void DownloadRequest::keepOrDiscardPartial() {
  std::error_code failed;
  const auto size = fs::file_size(partialPath_, failed);
  if (failed || size == 0 || readValidator(partialPath_).empty()) removePartial(partialPath_);
  temporaryPath_.clear();
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
  if (resumable()) {
    // Created as any file of the process (the umask decides its mode); the
    // bytes there are kept until the response says whether they still count.
    fd_ = ::open(partialPath_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) {
      return RequestError::sessionTaskFailed(
          {TransportError::Code::cannotWriteToFile,
           "cannot create " + partialPath_.string() + ": " + std::strerror(errno)});
    }
    temporaryPath_ = partialPath_;
    return std::nullopt;
  }
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

bool DownloadRequest::beginBody(const HTTPURLResponse& response) {
  expectedLength_.reset();
  const bool identity = !response.value("Content-Encoding") ||
                        headerNamesEqual(*response.value("Content-Encoding"), "identity");
  std::optional<std::int64_t> length;
  if (auto text = response.value("Content-Length"); text && identity) length = parseCount(*text);
  if (!resumable()) {
    expectedLength_ = length;
    return true;
  }
  keepBody_ = response.statusCode >= 200 && response.statusCode < 300;
  if (response.statusCode == 416) {
    // The bytes held do not fit the file any more: the next try starts over.
    std::error_code ignored;
    fs::remove(validatorPath(partialPath_), ignored);
  }
  if (!keepBody_) return true;  // an error page: the partial file stays as it was
  std::int64_t from = 0;
  if (response.statusCode == 206) {
    const auto range = parseContentRange(response.value("Content-Range").value_or(""));
    if (!range || (range->first != 0 && range->first != offered_)) {
      failReceiving({TransportError::Code::badServerResponse,
                     "a range that was not asked for (" +
                         response.value("Content-Range").value_or("no Content-Range") + ")"});
      return false;
    }
    from = range->first;
    if (range->total) {
      expectedLength_ = range->total;
    } else if (length) {
      expectedLength_ = from + *length;
    }
  } else {
    expectedLength_ = length;
  }
  // Appending to the bytes held, or starting over. Only a file longer than
  // that is truncated: ext4 flushes a file truncated to zero when it is
  // closed, which would cost a fresh download a write-back.
  struct stat held {};
  const bool longer = ::fstat(fd_, &held) == 0 && held.st_size > from;
  if ((longer && ::ftruncate(fd_, from) != 0) || ::lseek(fd_, from, SEEK_SET) != from) {
    failReceiving({TransportError::Code::cannotWriteToFile,
                   partialPath_.string() + ": " + std::strerror(errno)});
    return false;
  }
  held_ = from;
  std::string validator = response.value("ETag").value_or("");
  if (validator.empty()) validator = response.value("Last-Modified").value_or("");
  std::error_code ignored;
  if (validator.empty()) {
    fs::remove(validatorPath(partialPath_), ignored);
  } else {
    std::ofstream out(validatorPath(partialPath_), std::ios::binary | std::ios::trunc);
    out << validator;
    out.close();
    if (!out) fs::remove(validatorPath(partialPath_), ignored);
  }
  return true;
}

bool DownloadRequest::receive(std::string_view bytes) {
  if (!keepBody_) return true;
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
    if (resumable()) {
      keepOrDiscardPartial();
    } else {
      removeTemporaryFile();
    }
    return;
  }
  if (resumable() && !keepBody_) {
    // Never the body asked for, though nobody asked to validate.
    error = RequestError::unacceptableStatusCode(response->statusCode);
    keepOrDiscardPartial();
    return;
  }
  if (expectedLength_) {
    std::error_code failed;
    const auto size = static_cast<std::int64_t>(fs::file_size(temporaryPath_, failed));
    if (failed || size != *expectedLength_) {
      error = RequestError::sessionTaskFailed(
          {TransportError::Code::networkConnectionLost,
           "the body was cut short: " + std::to_string(failed ? 0 : size) + " of " +
               std::to_string(*expectedLength_) + " bytes"});
      if (resumable()) {
        keepOrDiscardPartial();
      } else {
        removeTemporaryFile();
      }
      return;
    }
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
    if (resumable()) {
      std::error_code ignored;
      fs::remove(validatorPath(partialPath_), ignored);
    }
    const std::lock_guard lock(mutex_);
    fileURL_ = chosen.fileURL;
    temporaryPath_.clear();
  } catch (...) {
    error = RequestError::downloadedFileMoveFailed(std::current_exception(),
                                                   temporaryPath_.string(), destination.string());
    removeTemporaryFile();
    if (resumable()) removePartial(partialPath_);
  }
}

}  // namespace quarn::http
