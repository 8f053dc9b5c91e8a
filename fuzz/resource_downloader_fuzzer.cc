// Fuzz target of the resource downloader: random sequences of host actions
// against downloads whose tasks a builder makes (service-style tasks, so no
// request is ever sent): callers start, join and are cancelled; the service
// reports progress, files (again and again), failures and unknown downloads;
// objectWillChange subscribers throw or start downloads; the cache is emptied.
// The main context runs one handler at a time. Checked: every caller ends once
// every download has been reported, the task map is then empty, a caller's
// file URL is the one asked for, the file of a finished download keeps the
// content it was installed with (until the cache is emptied), and no
// continuation is leaked.
#include <unistd.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "event_bytes.h"
#include "quarnkit/core/log.h"
#include "quarnkit/download/resource_download_background_task.h"
#include "quarnkit/download/resource_downloader.h"
#include "quarnkit/http/session.h"
#include "quarnkit/platform/runtime/publisher.h"
#include "quarnkit/platform/runtime/task.h"
#include "quiet_logs.h"

namespace {

using namespace quarn;
namespace fs = std::filesystem;

void check(bool condition) {
  if (!condition) std::abort();
}

struct HostError : std::runtime_error {
  HostError() : std::runtime_error("thrown by the host") {}
};

constexpr std::size_t kURLs = 4;
constexpr std::size_t kMaxEvents = 200;

const fs::path& root() {
  static const fs::path path =
      fs::temp_directory_path() / ("quarnkit-fuzz-downloader-" + std::to_string(::getpid()));
  return path;
}

const std::shared_ptr<http::Session>& session() {
  static const auto s = std::make_shared<http::Session>(http::SessionConfiguration::standard());
  return s;
}

std::string contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs one ready handler of the main context; whether there was one.
bool runOne() {
  auto& context = mainContext();
  context.restart();
  return context.poll_one() > 0;
}

Async<void> yieldToMain() {
  co_await boost::asio::post(co_await boost::asio::this_coro::executor, boost::asio::use_awaitable);
}

// A caller: the file URL it gets must be the one it asked for.
Async<URL> caller(std::shared_ptr<ResourceDownloader> downloader, URL remote, URL expected,
                  ResourceDownloader::TaskBuilder builder) {
  URL file = co_await downloader->downloadFile(std::move(remote), std::nullopt, std::nullopt,
                                               std::move(builder));
  check(file == expected);
  co_return file;
}

// A task the builder made, as the service knows it.
struct Made {
  std::weak_ptr<ResourceDownloadBackgroundTask> task;
  platform::BackgroundDownload download;
  fs::path local;
  bool seenFinished = false;
};

class Run {
 public:
  explicit Run(fuzzing::EventBytes& in) : in_(in) {
    std::error_code ignored;
    fs::remove_all(root(), ignored);
    fs::create_directories(root() / "deliveries");
    downloader_ = ResourceDownloader::make(session(), URL::fileURL(root() / "cache"));
    watch_ = downloader_->objectWillChange().sink([this](const auto&) { announced(); });
  }

  void run() {
    for (std::size_t n = 0; n < kMaxEvents && !in_.empty(); ++n) step();
    finishEverything();
  }

 private:
  enum class BuilderMode { fresh, suspendFirst, reuseRunning, raise };
  enum class CancelMode { none, failsAtOnce, reportedLater };
  enum class WatchMode { quiet, raise, startJoined };

  // Distinct names: two remote URLs never share a local file here.
  static URL remote(std::size_t i) {
    return *URL::parse("http://127.0.0.1/files/asset" + std::to_string(i) + ".bin");
  }
  static URL local(std::size_t i) {
    return URL::fileURL(root() / "cache" / ("asset" + std::to_string(i) + ".bin"));
  }

  void step() {
    switch (in_.choose(10)) {
      case 0:
      case 1: {
        const std::size_t which = in_.choose(kURLs);
        const auto mode = static_cast<BuilderMode>(in_.choose(4));
        startCall(which, mode, static_cast<CancelMode>(in_.choose(3)));
        break;
      }
      case 2:
        cancelCaller();
        break;
      case 3:
        report(true);
        break;
      case 4:
        report(false);
        break;
      case 5:
        progress();
        break;
      case 6:
        watchMode_ = static_cast<WatchMode>(in_.choose(3));
        break;
      case 7:
        emptyCache();
        break;
      case 8:
        unknownReport();
        break;
      default:
        for (int i = in_.integer(1, 8); i > 0 && runOne(); --i) verify();
        break;
    }
    verify();
  }

  void startCall(std::size_t which, BuilderMode mode, CancelMode cancelMode) {
    ResourceDownloader::TaskBuilder builder =
        [this, mode, cancelMode](const URL& from,
                                 const URL& to) -> Async<std::shared_ptr<ResourceDownloaderTask>> {
      if (mode == BuilderMode::raise) throw HostError();
      if (mode == BuilderMode::suspendFirst) co_await yieldToMain();
      if (mode == BuilderMode::reuseRunning) {
        if (auto running = downloader_->downloadTask(from)) co_return running;
      }
      co_return make(from, to, cancelMode);
    };
    callers_.push_back(Task<URL>::spawn(
        mainExecutor(), caller(downloader_, remote(which), local(which), std::move(builder))));
  }

  std::shared_ptr<ResourceDownloaderTask> make(const URL& from, const URL& to,
                                               CancelMode cancelMode) {
    const std::string id = "task-" + std::to_string(made_.size());
    auto task = ResourceDownloadBackgroundTask::make(id, from, to, 0);
    platform::BackgroundDownload download;
    download.identifier = id;
    download.uniqueIdentifier = "unique-" + id;
    download.url = from;
    if (cancelMode == CancelMode::failsAtOnce) {
      task->setCancelHandler([](const ResourceDownloadBackgroundTask::CancelCompletion& done) {
        done(std::make_exception_ptr(std::runtime_error("cannot cancel")));
      });
    } else if (cancelMode == CancelMode::reportedLater) {
      // The service cancels and reports the failure itself (see finishEverything()).
      task->setCancelHandler(
          [](const ResourceDownloadBackgroundTask::CancelCompletion& done) { done(nullptr); });
    }
    made_.push_back({task, download, to.filePath()});
    return task;
  }

  void cancelCaller() {
    if (callers_.empty()) return;
    callers_[in_.choose(callers_.size())].cancel();
  }

  Made* pickMade() {
    if (made_.empty()) return nullptr;
    return &made_[in_.choose(made_.size())];
  }

  // The service reports a download finished (with a file) or failed; the
  // same one may be reported any number of times.
  void report(bool finished) {
    Made* made = pickMade();
    if (made == nullptr) return;
    if (finished) {
      const fs::path file = root() / "deliveries" / std::to_string(deliveries_++);
      std::ofstream(file, std::ios::binary) << "delivery " << deliveries_;
      downloader_->finishedWithFileURL(made->download, URL::fileURL(file));
      std::error_code ignored;
      fs::remove(file, ignored);  // the service takes its file back
    } else {
      downloader_->failedWithError(made->download,
                                   std::make_exception_ptr(std::runtime_error("failed")));
    }
  }

  void progress() {
    Made* made = pickMade();
    if (made == nullptr) return;
    const std::int64_t written = in_.integer(0, 1000);
    downloader_->didWriteBytes(made->download, written, written, in_.integer(-1, 1000));
  }

  void unknownReport() {
    platform::BackgroundDownload stray;
    stray.identifier = "nobody";
    const fs::path file = root() / "deliveries" / "stray";
    std::ofstream(file, std::ios::binary) << "stray";
    downloader_->finishedWithFileURL(stray, URL::fileURL(file));
    std::error_code ignored;
    fs::remove(file, ignored);
  }

  void emptyCache() {
    downloader_->removeAllDownloadedFiles();
    installed_.clear();
  }

  void announced() {
    switch (watchMode_) {
      case WatchMode::quiet:
        break;
      case WatchMode::raise:
        throw HostError();
      case WatchMode::startJoined:
        watchMode_ = WatchMode::quiet;  // once, or every start would start another
        startCall(0, BuilderMode::fresh, CancelMode::none);
        break;
    }
  }

  // The file a finished download installed keeps its content.
  void verify() {
    for (Made& made : made_) {
      if (made.seenFinished) continue;
      auto task = made.task.lock();
      if (task && !task->isFinished()) continue;
      made.seenFinished = true;
      if (task && fs::exists(made.local)) installed_[made.local.string()] = contents(made.local);
    }
    for (const auto& [path, content] : installed_) {
      if (fs::exists(path)) check(contents(path) == content);
    }
  }

  // The service reports every download still running as failed; then every
  // caller must end and the task map must be empty.
  void finishEverything() {
    watchMode_ = WatchMode::quiet;
    for (int round = 0; round < 64; ++round) {
      for (Made& made : made_) {
        auto task = made.task.lock();
        if (task && !task->isFinished()) {
          downloader_->failedWithError(made.download,
                                       std::make_exception_ptr(std::runtime_error("ended")));
        }
      }
      while (runOne()) verify();
      bool pending = false;
      for (const Task<URL>& call : callers_) pending = pending || !call.isFinished();
      if (!pending) break;
    }
    for (const Task<URL>& call : callers_) check(call.isFinished());
    check(downloader_->taskMap().empty());
    verify();
  }

  fuzzing::EventBytes& in_;
  std::shared_ptr<ResourceDownloader> downloader_;
  AnyCancellable watch_;
  WatchMode watchMode_ = WatchMode::quiet;
  std::vector<Task<URL>> callers_;
  std::vector<Made> made_;
  std::map<std::string, std::string> installed_;
  int deliveries_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::silenceLogsOnce();
  const quarn::testing::LogCapture log;
  {
    fuzzing::EventBytes in(data, size);
    Run run(in);
    run.run();
  }
  while (runOne()) {
  }
  std::error_code ignored;
  fs::remove_all(root(), ignored);
  check(log.count("leaked its continuation") == 0);
  return 0;
}
