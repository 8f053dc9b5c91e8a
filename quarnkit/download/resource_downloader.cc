#include "quarnkit/download/resource_downloader.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "quarnkit/concurrency/progress_operations.h"
#include "quarnkit/download/detail/content_length.h"
#include "quarnkit/download/detail/error_text.h"
#include "quarnkit/download/resource_download_background_task.h"
#include "quarnkit/download/resource_download_task.h"
#include "quarnkit/http/session.h"
#include "quarnkit/platform/file_manager.h"
#include "quarnkit/platform/progress_proxy.h"
#include "quarnkit/platform/runtime/publisher.h"
#include "quarnkit/platform/runtime/task.h"
#include "quarnkit/platform/services.h"

namespace quarn {

namespace fs = std::filesystem;

namespace {

Logger makeLogger() {
  const auto bundle = platform::BundleInfo::main();
  return Logger(bundle && bundle->bundleIdentifier ? *bundle->bundleIdentifier : std::string(),
                "ResourceDownloader");
}

// Every encoded "/" ("%2F", or "%2f": percent-encodings ignore case) made a
// separator.
void decodeSlashes(std::string& text) {
  for (std::size_t at = text.find("%2"); at != std::string::npos; at = text.find("%2", at + 1)) {
    if (at + 2 < text.size() && (text[at + 2] == 'F' || text[at + 2] == 'f')) {
      text.replace(at, 3, "/");
    }
  }
}

// Which remote URL put each local file in place during this run, so that a
// download replacing another remote URL's file is noticed.
class FileOrigins {
 public:
  /// Records that `remote` is about to be put at `local`; the remote URL
  /// whose file it replaces, if another one put it there.
  std::optional<URL> replace(const fs::path& local, const URL& remote) {
    const std::lock_guard lock(mutex_);
    auto [it, inserted] = origins_.try_emplace(local.string(), remote);
    if (inserted || it->second == remote) return std::nullopt;
    std::optional<URL> previous = it->second;
    it->second = remote;
    return previous;
  }

  static FileOrigins& shared() {
    static FileOrigins origins;
    return origins;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, URL> origins_;
};

// The partial files of interrupted downloads sit beside the files they
// become, under this prefix, which no local name may take.
constexpr std::string_view kPartialPrefix = ".quarnkit-partial-";

// The longest file name the file systems downloads go to take.
constexpr std::size_t kMaxFileNameBytes = 255;

bool isSafeFileName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxFileNameBytes && name != "." && name != ".." &&
         name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos &&
         !name.starts_with(kPartialPrefix);
}

// The partial file of the download of `remote` into `local`: one per pair,
// so that the next download of the pair continues it.
fs::path partialFile(const URL& remote, const fs::path& local) {
  std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
  auto mix = [&](std::string_view text) {
    for (const char c : text) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 1099511628211ULL;
    }
  };
  mix(remote.absoluteString());
  mix(std::string_view("\0", 1));
  mix(local.filename().string());
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string name(kPartialPrefix);
  for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(hash >> shift) & 0xF];
  return local.parent_path() / name;
}

URL defaultDestination(platform::FileManager& files) {
  fs::path directory;
  try {
    directory = files.userCachesDirectory() / "QuarnKit.ResourceDownloader";
    files.createDirectory(directory, true);
  } catch (const fs::filesystem_error&) {
    // Reported by the first download that needs the directory.
  }
  return URL::fileURL(directory.empty() ? fs::temp_directory_path() / "QuarnKit.ResourceDownloader"
                                        : directory);
}

// `work` awaited while `owner` is held: an operation of a shared object that
// the host may drop between calling it and awaiting what it returned.
template <class T>
Async<T> holding(std::shared_ptr<const void> owner, Async<T> work) {
  (void)owner;  // lives in this frame until `work` is over
  co_return co_await std::move(work);
}

// A complete file at `path` (a link to one counts): a directory or a dangling
// link there is no download.
bool isFileAt(platform::FileManager& files, const fs::path& path) {
  std::error_code ignored;
  return files.fileExists(path) && fs::is_regular_file(fs::status(path, ignored));
}

// One unit of the caller's current progress for a call that starts no
// download of its own (its file is on disk, or it joins a running download
// whose progress belongs to another caller); done() completes it.
class CallerUnit {
 public:
  CallerUnit() {
    if (auto parent = currentProgress()) {
      unit_ = platform::Progress::make(1);
      parent->addChild(unit_, 1);
    }
  }
  void done() const {
    if (unit_) unit_->setCompletedUnitCount(1);
  }

 private:
  std::shared_ptr<platform::Progress> unit_;
};

// A call refused before it starts, failing where it is awaited.
Async<URL> refused(ResourceDownloaderError error) {
  throw std::move(error);
  co_return URL::fileURL("/");
}

}  // namespace

std::shared_ptr<ResourceDownloader> ResourceDownloader::make(
    std::optional<URL> destinationDirectory,
    std::shared_ptr<const http::RequestInterceptor> interceptor) {
  return make(std::make_shared<http::Session>(http::SessionConfiguration::standard(),
                                              std::move(interceptor)),
              std::move(destinationDirectory));
}

std::shared_ptr<ResourceDownloader> ResourceDownloader::make(
    std::shared_ptr<http::Session> session, std::optional<URL> destinationDirectory) {
  return std::make_shared<ResourceDownloader>(Token{}, std::move(session),
                                              std::move(destinationDirectory));
}

ResourceDownloader::ResourceDownloader(Token /*unused*/, std::shared_ptr<http::Session> session,
                                       std::optional<URL> destinationDirectory)
    : session_(std::move(session)),
      fileManager_(platform::FileManager::defaultManager()),
      service_(platform::BackgroundDownloadService::current()),
      objectWillChange_(std::make_shared<PassthroughSubject<WillChange, Never>>()),
      log_(makeLogger()) {
  destinationDirectory_ =
      destinationDirectory ? std::move(*destinationDirectory) : defaultDestination(*fileManager_);
}

ResourceDownloader::~ResourceDownloader() = default;

void ResourceDownloader::setFileManager(std::shared_ptr<platform::FileManager> manager) {
  fileManager_ = manager ? std::move(manager) : platform::FileManager::defaultManager();
}

void ResourceDownloader::setBackgroundDownloadService(
    std::shared_ptr<platform::BackgroundDownloadService> service) {
  service_ = service ? std::move(service) : platform::BackgroundDownloadService::current();
}

AnyPublisher<ResourceDownloader::WillChange, Never> ResourceDownloader::objectWillChange() const {
  return objectWillChange_->eraseToAnyPublisher();
}

void ResourceDownloader::noteReplacement(const fs::path& local, const URL& remote) const {
  std::error_code ignored;
  const bool present = fs::exists(fs::symlink_status(local, ignored));
  const std::optional<URL> previous = FileOrigins::shared().replace(local, remote);
  if (previous && present) {
    log_.log(LogLevel::warning, "Replacing {} downloaded from {} with the file from {}",
             local.string(), previous->absoluteString(), remote.absoluteString());
  }
}

void ResourceDownloader::willChange(std::exception_ptr& error) const {
  try {
    objectWillChange_->send(WillChange{});
  } catch (...) {
    if (!error) error = std::current_exception();
  }
}

URL ResourceDownloader::urlForDownloadedFile(const URL& remoteURL,
                                             const std::optional<std::string>& fileName,
                                             const std::optional<URL>& destinationDirectory) const {
  const URL& directory = destinationDirectory ? *destinationDirectory : destinationDirectory_;
  if (!directory.isFileURL()) {
    throw ResourceDownloaderError(ResourceDownloaderError::Kind::missingDestinationUrl);
  }
  std::string name;
  if (fileName) {
    name = *fileName;
  } else {
    // An object name with encoded separators ("a%2Fb%2Fc.png") is stored
    // under its last segment.
    std::string text = remoteURL.absoluteString();
    decodeSlashes(text);
    const std::optional<URL> decoded = URL::parse(text);
    name = (decoded ? *decoded : remoteURL).lastPathComponent();
  }
  if (!isSafeFileName(name)) {
    throw ResourceDownloaderError(ResourceDownloaderError::Kind::invalidFileName, name);
  }
  return URL::fileURL(directory.filePath() / name);
}

bool ResourceDownloader::isDownloadedFile(const URL& remoteURL,
                                          const std::optional<std::string>& fileName,
                                          const std::optional<URL>& destinationDirectory) const {
  try {
    return isFileAt(*fileManager_,
                    urlForDownloadedFile(remoteURL, fileName, destinationDirectory).filePath());
  } catch (const ResourceDownloaderError&) {
    return false;
  }
}

bool ResourceDownloader::backgroundAssetsInUse() const {
  return useBackgroundAssets_ && service_ && service_->isAvailable();
}

Async<URL> ResourceDownloader::downloadFile(URL remoteURL, std::optional<std::string> fileName,
                                            std::optional<URL> destinationUrl) {
  return holding(shared_from_this(), onMain(download(std::move(remoteURL), std::move(fileName),
                                                     std::move(destinationUrl), nullptr)));
}

Async<URL> ResourceDownloader::downloadFile(URL remoteURL, std::optional<std::string> fileName,
                                            const std::string& subdirectory) {
  // Joined as a relative path: "/posters" is the subdirectory "posters" (a
  // path's "/" would otherwise replace the destination directory); ".."
  // would leave it.
  const fs::path relative = fs::path(subdirectory).relative_path();
  if (subdirectory.find('\0') != std::string::npos ||
      std::find(relative.begin(), relative.end(), fs::path("..")) != relative.end()) {
    return refused(
        ResourceDownloaderError(ResourceDownloaderError::Kind::invalidFileName, subdirectory));
  }
  std::optional<URL> destination = URL::fileURL(destinationDirectory_.filePath() / relative / "");
  return holding(shared_from_this(), onMain(download(std::move(remoteURL), std::move(fileName),
                                                     std::move(destination), nullptr)));
}

Async<URL> ResourceDownloader::downloadFile(URL remoteURL, std::optional<std::string> fileName,
                                            std::optional<URL> destinationUrl,
                                            TaskBuilder taskBuilder) {
  return holding(shared_from_this(),
                 onMain(download(std::move(remoteURL), std::move(fileName),
                                 std::move(destinationUrl), std::move(taskBuilder))));
}

Async<std::vector<URL>> ResourceDownloader::downloadFiles(std::vector<URL> remoteURLs,
                                                          std::optional<URL> destinationUrl) {
  return holding(shared_from_this(), downloadAll(std::move(remoteURLs), std::move(destinationUrl)));
}

Async<std::shared_ptr<ResourceDownloadBackgroundTask>>
ResourceDownloader::startResourceDownloadBackgroundTask(URL remoteURL, URL localFileUrl) {
  return holding(shared_from_this(),
                 startBackgroundTask(std::move(remoteURL), std::move(localFileUrl)));
}

Async<std::vector<URL>> ResourceDownloader::downloadAll(std::vector<URL> remoteURLs,
                                                        std::optional<URL> destinationUrl) {
  auto self = shared_from_this();
  std::function<Async<std::vector<URL>>(TaskGroup<URL>&)> body =
      [&](TaskGroup<URL>& group) -> Async<std::vector<URL>> {
    for (const URL& url : remoteURLs) {
      group.addTask(mainExecutor(), self->download(url, std::nullopt, destinationUrl, nullptr));
    }
    std::vector<URL> local;
    while (auto url = co_await group.next()) local.push_back(std::move(*url));
    co_return local;
  };
  co_return co_await withThrowingTaskGroup<URL>(std::move(body));
}

std::shared_ptr<ResourceDownloaderTask> ResourceDownloader::makeHTTPTask(const URL& remoteURL,
                                                                         const URL& localFileURL) {
  std::weak_ptr<ResourceDownloader> weak = weak_from_this();
  http::DownloadRequest::Destination destination = [weak, remoteURL, localFileURL](
                                                       const URL&, const http::HTTPURLResponse&) {
    if (auto self = weak.lock()) self->noteReplacement(localFileURL.filePath(), remoteURL);
    return http::DownloadRequest::DestinationResult{
        localFileURL, {.removePreviousFile = true, .createIntermediateDirectories = true}};
  };
  // Staged beside the file (placed by a rename), and continued after an
  // interruption.
  auto request = session_->download(http::URLRequest(remoteURL), std::move(destination),
                                    partialFile(remoteURL, localFileURL.filePath()));
  // An error page is not the file: only a 2xx body is kept.
  request->validate();
  return ResourceDownloadTask::make(std::move(request));
}

Async<URL> ResourceDownloader::download(URL remoteURL, std::optional<std::string> fileName,
                                        std::optional<URL> destinationUrl,
                                        TaskBuilder taskBuilder) {
  auto self = shared_from_this();
  if (remoteURL.isFileURL()) co_return remoteURL;
  const URL local = urlForDownloadedFile(remoteURL, fileName, destinationUrl);
  if (isFileAt(*fileManager_, local.filePath())) {
    CallerUnit().done();
    co_return local;
  }

  // Join the running download of the same remote URL into the same file
  // (one that is being announced counts: this call may come from the
  // announcement).
  auto sameFile = [&](const TaskMapEntry& e) {
    return e.remoteURL == remoteURL && e.localFileURL == local;
  };
  std::shared_ptr<ResourceDownloaderTask> running;
  for (const std::vector<TaskMapEntry>* entries : {&taskMap_, &announcing_}) {
    const auto found = std::find_if(entries->begin(), entries->end(), sameFile);
    if (found != entries->end()) {
      running = found->task;
      break;
    }
  }
  if (running) {
    std::shared_ptr<ResourceDownloaderTask> task = running;
    // A background download's progress already has a parent: the caller's
    // progress follows it through a proxy.
    std::shared_ptr<platform::ProgressProxy> proxy;
    std::optional<CallerUnit> unit;
    if (backgroundAssetsInUse() &&
        std::dynamic_pointer_cast<ResourceDownloadBackgroundTask>(task)) {
      proxy = platform::ProgressProxy::make(task->progress());
      if (auto parent = currentProgress()) parent->addChild(proxy, 1);
    } else {
      unit.emplace();
    }
    URL joined = co_await task->value();
    if (unit) unit->done();
    co_return joined;
  }

  fileManager_->createDirectory(local.filePath().parent_path(), true);

  std::shared_ptr<ResourceDownloaderTask> task;
  if (taskBuilder) {
    task = co_await taskBuilder(remoteURL, local);
  } else if (backgroundAssetsInUse()) {
    task = co_await startBackgroundTask(remoteURL, local);
  } else {
    task = makeHTTPTask(remoteURL, local);
  }

  const std::string identifier = task->identifier();
  const bool alreadyRunning =
      std::any_of(taskMap_.begin(), taskMap_.end(), [&](const TaskMapEntry& e) {
        return e.remoteURL == remoteURL && e.task->identifier() == identifier;
      });
  if (alreadyRunning) {
    CallerUnit unit;
    URL joined = co_await task->value();
    unit.done();
    co_return joined;
  }

  // What the host's callbacks throw from here on (the caller's progress
  // observers, objectWillChange subscribers) stops neither the download nor
  // the changes of the task map: it reaches this caller at the end.
  std::exception_ptr hostError;
  if (auto parent = currentProgress()) {
    try {
      parent->addChild(task->progress(), 1);
    } catch (...) {
      hostError = std::current_exception();
    }
  }
  announcing_.push_back({remoteURL, local, task});
  willChange(hostError);
  std::erase_if(announcing_, [&](const TaskMapEntry& e) { return e.task == task; });
  taskMap_.push_back({remoteURL, local, task});
  // A task of the service's (a builder may make one) must still hear the
  // service's reports after this entry has left the map, for the callers
  // that joined it.
  if (auto background = std::dynamic_pointer_cast<ResourceDownloadBackgroundTask>(task)) {
    keepBackgroundTask(background);
  }
  std::exception_ptr failure;
  std::optional<URL> result;
  try {
    result = co_await task->value();
  } catch (...) {
    failure = std::current_exception();
  }
  auto isOurs = [&](const TaskMapEntry& e) { return e.task == task; };
  if (std::any_of(taskMap_.begin(), taskMap_.end(), isOurs)) {
    // Looked up again after the announcement, which may start downloads.
    willChange(hostError);
    taskMap_.erase(std::find_if(taskMap_.begin(), taskMap_.end(), isOurs));
  }
  if (failure) std::rethrow_exception(failure);
  if (hostError) std::rethrow_exception(hostError);
  co_return std::move(*result);
}

std::shared_ptr<ResourceDownloaderTask> ResourceDownloader::downloadTask(
    const URL& remoteURL) const {
  for (const TaskMapEntry& e : taskMap_) {
    if (e.remoteURL == remoteURL) return e.task;
  }
  return nullptr;
}

std::shared_ptr<ResourceDownloadBackgroundTask> ResourceDownloader::task(
    const std::string& identifier) const {
  for (const TaskMapEntry& e : taskMap_) {
    auto background = std::dynamic_pointer_cast<ResourceDownloadBackgroundTask>(e.task);
    if (background && background->identifier() == identifier) return background;
  }
  return nullptr;
}

std::int64_t ResourceDownloader::currentDiskUsage() const {
  const auto items = fileManager_->contentsOfDirectory(destinationDirectory_.filePath());
  if (!items) return 0;
  std::int64_t total = 0;
  for (const auto& item : *items) total += item.totalFileSize.value_or(0);
  return total;
}

void ResourceDownloader::removeAllDownloadedFiles() {
  const fs::path directory = destinationDirectory_.filePath();
  if (fileManager_->fileExists(directory)) fileManager_->removeItem(directory);
}

}  // namespace quarn
