/// @file
/// ResourceDownloader: fetches remote files into a local cache directory and hands back their local
/// file URLs.

/// @class quarn::ResourceDownloader
/// Fetches remote files into a local cache directory and
/// hands back their local file URLs. Overlapping calls for the same remote URL
/// and local file share one download; a file already on disk is returned
/// without any request; progress goes into the caller's current progress.
/// Downloads run over the HTTP client, or, when enabled and available,
/// through the platform's background download service.
///
/// Kind: a shared object, made only by make() (the service's callbacks and
/// the downloads reach it weakly).
///
/// ```
///   // Into <caches>/QuarnKit.ResourceDownloader:
///   auto downloader = ResourceDownloader::make();
///   URL local = co_await downloader->downloadFile(
///       *URL::parse("https://cdn.example.com/a/movie.mp4"));
///   // local: file://.../QuarnKit.ResourceDownloader/movie.mp4
///   auto all = co_await downloader->downloadFiles(urls);  // in the order they finish
/// ```
///
/// The local file is the destination directory joined with the caller's file
/// name, or with the remote URL's last path component once every "%2F" in it
/// (or "%2f") has become "/" ("https://h/o/a%2Fb%2Fc.png" → "c.png"). Different remote
/// URLs with the same last component share one file (a warning is logged when
/// one replaces another's). A name that would leave the destination directory
/// is refused with ResourceDownloaderError::invalidFileName, and so is one
/// over 255 bytes or starting with ".quarnkit-partial-" (before any request).
/// Only a file at the local URL (or a link to one) is "already downloaded": a
/// directory or a dangling link there is replaced by the download. A call
/// that starts no download of its own (file on disk, a download it joins)
/// still completes its unit of the caller's progress. A file is at its local URL only once
/// it is complete (of the length the response gave): a failed or cancelled
/// download leaves nothing there.
///
/// The body is written to a hidden partial file beside the local file
/// (".quarnkit-partial-<hash of the remote URL and the name>") and renamed
/// into place, so a full or small temporary directory does not matter. Files
/// are created with the mode the process's umask gives. An interrupted
/// download (cancelled, connection lost, timed out) keeps its partial file
/// and the server's validator; the next download of the same remote URL into
/// the same local file asks only for the rest (Range with If-Range), and
/// starts over when the server sends the whole body. The bytes already there
/// count as done in the progress.
///
/// Use it on the main context; its operations hop there themselves. Errors of
/// the HTTP client (http::RequestError) and of the file system
/// (std::filesystem::filesystem_error) pass through unchanged.
///
/// A running call keeps the downloader alive,
/// so the host may drop its last reference inside any callback (a caller's
/// continuation, a progress observer, an objectWillChange subscriber, a task
/// builder, the challenge completion): the calls under way complete. From
/// those callbacks it may start downloads (one for a URL being downloaded
/// joins it, even from the announcement of that download; a task builder may
/// hand back the task of a download it started) and cancel callers. A task builder that throws
/// fails its call and changes nothing. An objectWillChange subscriber that throws does not stop the
/// change it was told of: the download goes on and the task map changes as announced; the exception
/// then reaches the caller whose call made the change, in place of its file URL, once its download
/// has ended (the download's own failure comes first; a downloaded file is kept). The challenge
/// completion's exception propagates to the service. A service report for a download that has
/// already ended (a second finish, a late failure) changes nothing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "quarnkit/core/log.h"
#include "quarnkit/core/url.h"
#include "quarnkit/download/resource_downloader_error.h"
#include "quarnkit/download/resource_downloader_task.h"
#include "quarnkit/platform/background_download_service.h"
#include "quarnkit/platform/runtime/async_fwd.h"

namespace quarn {
struct Never;
template <class Output, class Failure>
class AnyPublisher;
template <class Output, class Failure>
class PassthroughSubject;
class ResourceDownloadBackgroundTask;
}  // namespace quarn

namespace quarn::http {
class Session;
class RequestInterceptor;
}  // namespace quarn::http

namespace quarn::platform {
class FileManager;
}

namespace quarn {

class ResourceDownloader : public platform::BackgroundDownloadDelegate,
                           public std::enable_shared_from_this<ResourceDownloader> {
 public:
  /// One running download: the remote URL, the local file it writes, and
  /// the task. Several entries may share a remote URL when callers asked
  /// for different local files.
  struct TaskMapEntry {
    URL remoteURL;                                 ///< The URL downloaded.
    URL localFileURL;                              ///< The local file written.
    std::shared_ptr<ResourceDownloaderTask> task;  ///< The download itself.
  };
  /// Makes the task of a download from the remote URL to the local file URL.
  using TaskBuilder = std::function<Async<std::shared_ptr<ResourceDownloaderTask>>(
      const URL& remoteURL, const URL& localFileURL)>;
  /// What objectWillChange() sends (nothing but the fact).
  using WillChange = std::monostate;

  /// A downloader over a session of the standard configuration (5-second
  /// idle limit, 10 connections per host) with `interceptor`. Without a
  /// destination: the directory "QuarnKit.ResourceDownloader" in the user's
  /// caches directory, created when needed.
  static std::shared_ptr<ResourceDownloader> make(
      std::optional<URL> destinationDirectory = std::nullopt,
      std::shared_ptr<const http::RequestInterceptor> interceptor = nullptr);
  /// A downloader over `session`.
  static std::shared_ptr<ResourceDownloader> make(
      std::shared_ptr<http::Session> session,
      std::optional<URL> destinationDirectory = std::nullopt);
  ~ResourceDownloader() override;
  ResourceDownloader(const ResourceDownloader&) = delete;
  ResourceDownloader& operator=(const ResourceDownloader&) = delete;

  /// The HTTP session the downloads and size probes run on.
  [[nodiscard]] const std::shared_ptr<http::Session>& session() const { return session_; }
  /// The root of the local cache (a file URL).
  [[nodiscard]] const URL& destinationDirectory() const { return destinationDirectory_; }

  /// Route new downloads through the background download service; without
  /// an available service this has no effect.
  [[nodiscard]] bool useBackgroundAssets() const { return useBackgroundAssets_; }
  /// Sets whether new downloads go through the background download service.
  void setUseBackgroundAssets(bool use) { useBackgroundAssets_ = use; }
  /// The application group the background downloads belong to (required
  /// for them).
  [[nodiscard]] const std::optional<std::string>& applicationGroupIdentifier() const {
    return applicationGroupIdentifier_;
  }
  /// Sets the application group of background downloads.
  void setApplicationGroupIdentifier(std::optional<std::string> identifier) {
    applicationGroupIdentifier_ = std::move(identifier);
  }
  /// The file manager the cache is read and written through.
  [[nodiscard]] const std::shared_ptr<platform::FileManager>& fileManager() const {
    return fileManager_;
  }
  /// Sets the file manager (the platform's by default).
  void setFileManager(std::shared_ptr<platform::FileManager> manager);
  /// The service background downloads go to (the platform's by default).
  [[nodiscard]] const std::shared_ptr<platform::BackgroundDownloadService>&
  backgroundDownloadService() const {
    return service_;
  }
  /// Sets the service background downloads go to.
  void setBackgroundDownloadService(std::shared_ptr<platform::BackgroundDownloadService> service);

  /// The downloads in progress. Main context only.
  [[nodiscard]] const std::vector<TaskMapEntry>& taskMap() const { return taskMap_; }
  /// Sends a value just before every change of the task map (on the main
  /// context; see above for a subscriber that throws).
  [[nodiscard]] AnyPublisher<WillChange, Never> objectWillChange() const;

  /// The local file URL for `remoteURL`: in `destinationDirectory` (else
  /// this downloader's), named `fileName` (else after the remote URL). Throws
  /// ResourceDownloaderError (invalidFileName, missingDestinationUrl).
  [[nodiscard]] URL urlForDownloadedFile(
      const URL& remoteURL, const std::optional<std::string>& fileName = std::nullopt,
      const std::optional<URL>& destinationDirectory = std::nullopt) const;
  /// Whether a file is at urlForDownloadedFile() (false for a refused name).
  [[nodiscard]] bool isDownloadedFile(
      const URL& remoteURL, const std::optional<std::string>& fileName = std::nullopt,
      const std::optional<URL>& destinationDirectory = std::nullopt) const;

  /// Downloads `remoteURL` (a file URL is returned as it is) into
  /// `destinationUrl` (a directory; absent: destinationDirectory()) and
  /// returns the local file URL. The operations returned here hold the
  /// downloader until they finish: the host may drop its reference before
  /// awaiting them.
  Async<URL> downloadFile(URL remoteURL, std::optional<std::string> fileName = std::nullopt,
                          std::optional<URL> destinationUrl = std::nullopt);
  /// downloadFile() into the directory `subdirectory` of destinationDirectory().
  Async<URL> downloadFile(URL remoteURL, std::optional<std::string> fileName,
                          const std::string& subdirectory);
  /// downloadFile() whose new downloads `taskBuilder` makes. When it hands
  /// back a task already in the task map, that download is awaited.
  Async<URL> downloadFile(URL remoteURL, std::optional<std::string> fileName,
                          std::optional<URL> destinationUrl, TaskBuilder taskBuilder);
  /// Downloads every URL at once; the local URLs in the order the downloads
  /// finish. The first failure cancels the others and is thrown.
  Async<std::vector<URL>> downloadFiles(std::vector<URL> remoteURLs,
                                        std::optional<URL> destinationUrl = std::nullopt);

  /// The task downloading `remoteURL`, if any (the first one when several
  /// local files are being written from it).
  [[nodiscard]] std::shared_ptr<ResourceDownloaderTask> downloadTask(const URL& remoteURL) const;
  /// The background task with `identifier` in the task map, if any.
  [[nodiscard]] std::shared_ptr<ResourceDownloadBackgroundTask> task(
      const std::string& identifier) const;

  /// The bytes of all files in destinationDirectory(); 0 when it cannot be
  /// read.
  [[nodiscard]] std::int64_t currentDiskUsage() const;
  /// Removes destinationDirectory() with everything in it, when it exists.
  void removeAllDownloadedFiles();

  /// Probes the size of `remoteURL` with a HEAD request, then starts its
  /// download by the background service into `localFileUrl` (or returns the
  /// one already running for it).
  Async<std::shared_ptr<ResourceDownloadBackgroundTask>> startResourceDownloadBackgroundTask(
      URL remoteURL, URL localFileUrl);

  /// The background service's callbacks (any thread).
  void didWriteBytes(const platform::BackgroundDownload& download, std::int64_t bytesWritten,
                     std::int64_t totalBytesWritten,
                     std::int64_t totalExpectedBytesToWrite) override;
  /// The service finished `download` into the temporary `fileURL`: it is moved to its local file.
  void finishedWithFileURL(const platform::BackgroundDownload& download,
                           const URL& fileURL) override;
  /// The service failed `download` with `error`: its task ends with it.
  void failedWithError(const platform::BackgroundDownload& download,
                       std::exception_ptr error) override;
  /// Always the default handling, without a credential.
  void didReceive(const platform::BackgroundDownload& download,
                  const platform::AuthenticationChallenge& challenge,
                  std::function<void(platform::AuthChallengeDisposition,
                                     std::optional<platform::URLCredential>)>
                      completion) override;

 private:
  struct Token {
    explicit Token() = default;
  };

 public:
  /// For std::make_shared only: the token is private, so hosts call make().
  ResourceDownloader(Token, std::shared_ptr<http::Session> session,
                     std::optional<URL> destinationDirectory);

 private:
  Async<URL> download(URL remoteURL, std::optional<std::string> fileName,
                      std::optional<URL> destinationUrl, TaskBuilder taskBuilder);
  Async<std::vector<URL>> downloadAll(std::vector<URL> remoteURLs,
                                      std::optional<URL> destinationUrl);
  Async<std::shared_ptr<ResourceDownloadBackgroundTask>> startBackgroundTask(URL remoteURL,
                                                                             URL localFileUrl);
  [[nodiscard]] bool backgroundAssetsInUse() const;
  std::shared_ptr<ResourceDownloaderTask> makeHTTPTask(const URL& remoteURL,
                                                       const URL& localFileURL);
  std::shared_ptr<ResourceDownloadBackgroundTask> resolveTask(
      const platform::BackgroundDownload& download) const;
  void installBackgroundFile(const platform::BackgroundDownload& download,
                             const std::filesystem::path& staged,
                             const std::exception_ptr& stageError);
  /// Logs a warning when `local` holds a file another remote URL put there
  /// during this run; records `remote` as its origin.
  void noteReplacement(const std::filesystem::path& local, const URL& remote) const;
  /// Announces a change of the task map; a subscriber's exception goes into
  /// `error` (unless one is there) instead of stopping the change.
  void willChange(std::exception_ptr& error) const;
  /// Remembers a started background task by its identifier, weakly, for the
  /// callers that joined it after it left the task map.
  void keepBackgroundTask(const std::shared_ptr<ResourceDownloadBackgroundTask>& task);

  std::shared_ptr<http::Session> session_;
  URL destinationDirectory_;
  bool useBackgroundAssets_ = false;
  std::optional<std::string> applicationGroupIdentifier_;
  std::shared_ptr<platform::FileManager> fileManager_;
  std::shared_ptr<platform::BackgroundDownloadService> service_;
  std::vector<TaskMapEntry> taskMap_;
  // Entries announced and about to enter the task map: a call made from the
  // announcement joins them. Main context only.
  std::vector<TaskMapEntry> announcing_;
  // The background tasks started here or handed back by a task builder, by
  // identifier, while anyone holds them: a caller that joined a download still waits after the
  // first caller's entry has left the task map, and the service's callbacks must reach it. Main
  // context only.
  std::map<std::string, std::weak_ptr<ResourceDownloadBackgroundTask>> backgroundTasks_;
  std::shared_ptr<PassthroughSubject<WillChange, Never>> objectWillChange_;
  Logger log_;
};

}  // namespace quarn
