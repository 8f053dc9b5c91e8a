// DownloadRequest: a request whose body goes to a file; a shared object made
// by Session::download(). The body is written
// to a temporary file while it arrives; once the response is complete (and
// accepted by the request's validation) the destination closure chooses
// where the file goes, and it is moved there. A cancelled or failed download
// never leaves a file, partial or not, at the destination: the temporary
// file is removed.
//
//   auto download = session.download(URLRequest(url), [dir](const URL&, const HTTPURLResponse&) {
//     return DownloadRequest::DestinationResult{
//         URL::fileURL(dir / "movie.mp4"), {.removePreviousFile = true,
//                                           .createIntermediateDirectories = true}};
//   });
//   download->validate();
//   URL file = co_await download->serializingDownloadedFileURL(true);
#pragma once

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
  struct Options {
    /// Remove what is at the destination before moving the file there
    /// (otherwise an existing file fails the move).
    bool removePreviousFile = false;
    /// Create the destination's missing directories.
    bool createIntermediateDirectories = false;
  };
  struct DestinationResult {
    URL fileURL;
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
                  std::optional<RequestError> initialError, Destination destination);

  std::optional<RequestError> prepareBody() override;
  bool receive(std::string_view bytes) override;
  void finishBody(const std::optional<HTTPURLResponse>& response,
                  std::optional<RequestError>& error) override;
  void closeFile();
  void removeTemporaryFile();

  Destination destination_;
  int fd_ = -1;  // main context only
  std::filesystem::path temporaryPath_;
  std::optional<URL> fileURL_;
};

}  // namespace quarn::http
