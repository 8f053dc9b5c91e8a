/// @file
/// DownloadRequest: a request whose body goes to a file; a shared object made by
/// Session::download().

/// @class quarn::http::DownloadRequest
/// A request whose body goes to a file; a shared object made
/// by Session::download(). The body is written
/// to a temporary file while it arrives; once the response is complete (and
/// accepted by the request's validation) the destination closure chooses
/// where the file goes, and it is moved there. A cancelled or failed download
/// never leaves a file, partial or not, at the destination: the temporary
/// file is removed.
///
/// A resumable download (Session::download() with a partial file) writes its
/// body to that file instead, ideally beside the destination so that placing
/// it is a rename. The file is created with the mode the process's umask
/// gives (the temporary file of a plain download is the owner's only). When
/// the transfer fails or is cancelled the partial file stays, with the
/// response's validator (its ETag, else its Last-Modified) in the file
/// "<partial>.validator"; the next download with the same partial file asks
/// only for the rest (Range and If-Range), appends a 206 answer and starts
/// over on a 200. A partial file without a validator is discarded. Bytes
/// already held count as received in the progress. An answer outside 2xx
/// leaves the partial file untouched.
///
/// Whenever the response gave the body's length, the file placed at the
/// destination has exactly that length: otherwise the request fails with
/// "the body was cut short" and nothing is placed.
///
/// ```
///   auto download = session.download(URLRequest(url), [dir](const URL&, const HTTPURLResponse&) {
///     return DownloadRequest::DestinationResult{
///         URL::fileURL(dir / "movie.mp4"), {.removePreviousFile = true,
///                                           .createIntermediateDirectories = true}};
///   });
///   download->validate();
///   URL file = co_await download->serializingDownloadedFileURL(true);
/// ```
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "quarnkit/core/url.h"
#include "quarnkit/http/request.h"
#include "quarnkit/http/response.h"

namespace quarn::http {

class Session;

class DownloadRequest final : public Request {
 public:
  /// How the downloaded file is moved to its destination.
  struct Options {
    /// Remove what is at the destination before moving the file there
    /// (otherwise an existing file fails the move).
    bool removePreviousFile = false;
    /// Create the destination's missing directories.
    bool createIntermediateDirectories = false;
  };
  /// Where a download goes, and how it is moved there.
  struct DestinationResult {
    /// The destination file.
    URL fileURL;
    /// How the file is moved there.
    Options options;
  };
  /// Chooses the destination from the temporary file and the response; runs
  /// on the main context. Without one, the file stays at its temporary URL
  /// (the caller then owns it).
  using Destination =
      std::function<DestinationResult(const URL& temporaryURL, const HTTPURLResponse& response)>;

  ~DownloadRequest() override;

  using Request::response;

  /// Where the downloaded file is, once the request has finished with one.
  [[nodiscard]] std::optional<URL> fileURL() const;

  /// Calls `completion` on `queue` once the request has ended: the file's
  /// URL, or the error.
  DownloadRequest& response(std::function<void(DownloadResponse<URL>)> completion,
                            Executor queue = mainExecutor());
  /// Awaits the response. With `automaticallyCancelling`, cancelling the
  /// awaiting coroutine cancels the request.
  Async<DownloadResponse<URL>> serializingResponse(bool automaticallyCancelling = false);
  /// Awaits the file's URL; throws the RequestError.
  Async<URL> serializingDownloadedFileURL(bool automaticallyCancelling = false);

 private:
  friend class Session;
  DownloadRequest(URLRequest request, detail::RequestContext context,
                  std::optional<RequestError> initialError, Destination destination,
                  std::filesystem::path partialFile = {}, std::int64_t offered = 0);

  /// Adds the fields asking for the rest of `partialFile` to `request` when
  /// a validated partial file is there (its size: the bytes held); discards
  /// a partial file without a validator.
  static std::int64_t askForRest(URLRequest& request, const std::filesystem::path& partialFile);

  std::optional<RequestError> prepareBody() override;
  bool beginBody(const HTTPURLResponse& response) override;
  bool receive(std::string_view bytes) override;
  [[nodiscard]] std::int64_t bytesHeld() const override { return held_; }
  void finishBody(const std::optional<HTTPURLResponse>& response,
                  std::optional<RequestError>& error) override;
  void closeFile();
  void removeTemporaryFile();
  /// Keeps a resumable download's partial file when there is something to
  /// resume (bytes and a validator), else removes it.
  void keepOrDiscardPartial();
  [[nodiscard]] bool resumable() const { return !partialPath_.empty(); }

  Destination destination_;
  int fd_ = -1;  // main context only
  std::filesystem::path temporaryPath_;
  std::optional<URL> fileURL_;
  // A resumable download's partial file and what it asked for. Main context only.
  std::filesystem::path partialPath_;
  std::int64_t offered_ = 0;                    // bytes held when the request asked for the rest
  std::int64_t held_ = 0;                       // bytes of the body kept from before this response
  bool keepBody_ = true;                        // false for an answer outside 2xx
  std::optional<std::int64_t> expectedLength_;  // the whole body's, when known
};

}  // namespace quarn::http
