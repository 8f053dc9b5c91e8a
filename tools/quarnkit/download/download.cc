#include "tools/quarnkit/download/download.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include "quarnkit/download/resource_downloader.h"
#include "quarnkit/http/request_error.h"
#include "quarnkit/platform/progress.h"
#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/runtime/task.h"
#include "tools/quarnkit/common/failure.h"
#include "tools/quarnkit/common/http_options.h"
#include "tools/quarnkit/common/input_error.h"
#include "tools/quarnkit/common/output.h"

namespace quarn::tool {

namespace {

std::optional<URL> destinationOf(const std::optional<std::string>& to) {
  if (!to) return std::nullopt;
  return URL::fileURL(*to);
}

// One run: the work list and what has happened so far. Main context only.
struct Run {
  std::shared_ptr<ResourceDownloader> downloader;
  std::vector<URL> urls;
  DownloadOptions options;
  DownloadListener listener;
  std::size_t next = 0;
  std::set<std::size_t> running;
  std::vector<DownloadOutcome> outcomes;
  // Per URL: the earlier URL of the run whose local file it would share.
  std::vector<std::optional<std::string>> clashes;
  // Bytes of the files that have ended, and of those found on disk.
  std::int64_t finishedBytes = 0;
  std::int64_t bytesFoundOnDisk = 0;
  std::int64_t networkBytes = 0;  // the most seen: the rate's input never goes back
  // A download failed: its bytes never arrive, so no total can be told.
  bool anyFailed = false;
  double start = 0;
  TransferRate rate;
  std::vector<Task<void>> workers;
  std::size_t workersRunning = 0;
  // What ended the run early: the listener's first failure (standard output
  // full or closed), or an interruption.
  std::exception_ptr failure;
};

// Ends the run after the listener failed or a signal came: nothing more starts, the workers
// stop waiting, and the downloads under way are cancelled; their partial
// files stay beside the destination for the next run to continue.
void stopRun(Run& run, std::exception_ptr failure) {
  if (run.failure) return;
  run.failure = std::move(failure);
  run.next = run.urls.size();
  for (auto& worker : run.workers) worker.cancel();
  run.downloader->session()->cancelAllRequests();
}

std::int64_t sizeOf(const std::filesystem::path& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<std::int64_t>(size);
}

// The running downloads' bytes are their tasks' progress; a total is known
// once every download has started and each has its size.
TransferFigures figuresOf(Run& run) {
  std::int64_t done = run.finishedBytes;
  std::int64_t total = run.finishedBytes;
  bool known = run.next >= run.urls.size() && !run.anyFailed;
  std::set<const platform::Progress*> seen;
  for (const std::size_t i : run.running) {
    const auto task = run.downloader->downloadTask(run.urls[i]);
    const auto progress = task ? task->progress() : nullptr;
    if (!progress) {
      known = false;
      continue;
    }
    if (!seen.insert(progress.get()).second) continue;
    done += std::max<std::int64_t>(0, progress->completedUnitCount());
    if (progress->totalUnitCount() > 0) {
      total += progress->totalUnitCount();
    } else {
      known = false;
    }
  }
  run.networkBytes = std::max(run.networkBytes, done - run.bytesFoundOnDisk);
  run.rate.add(platform::Clock::current()->monotonicNow() - run.start, run.networkBytes);
  return {done, known ? std::optional<std::int64_t>(total) : std::nullopt,
          run.rate.bytesPerSecond()};
}

Async<void> downloadNext(std::shared_ptr<Run> run) {
  ++run->workersRunning;
  const std::shared_ptr<void> ended(nullptr, [&run](void*) { --run->workersRunning; });
  while (run->next < run->urls.size()) {
    const std::size_t i = run->next++;
    const URL& url = run->urls[i];
    DownloadOutcome outcome{run->options.urls[i], std::nullopt, {}, false};
    const std::optional<URL> destination = destinationOf(run->options.to);
    run->running.insert(i);
    try {
      if (const auto& first = run->clashes[i]) {
        const URL local =
            run->downloader->urlForDownloadedFile(url, run->options.name, destination);
        throw InputError(
            outcome.url, "",
            "the local file " + local.filePath().string() + " is also that of " + *first);
      }
      outcome.alreadyThere = run->downloader->isDownloadedFile(url, run->options.name, destination);
      const URL local = co_await run->downloader->downloadFile(url, run->options.name, destination);
      outcome.path = local.filePath();
    } catch (const http::RequestError& e) {
      outcome.error = requestFailure(e).what();
    } catch (...) {
      outcome.error = describeFailure(outcome.url);
    }
    run->running.erase(i);
    if (run->failure) co_return;
    if (!outcome.path) run->anyFailed = true;
    if (outcome.path) {
      const std::int64_t size = sizeOf(*outcome.path);
      run->finishedBytes += size;
      if (outcome.alreadyThere) run->bytesFoundOnDisk += size;
    }
    run->outcomes.push_back(outcome);
    try {
      if (run->listener.progress) run->listener.progress(figuresOf(*run));
      if (run->listener.finished) run->listener.finished(outcome);
    } catch (...) {
      stopRun(*run, std::current_exception());
    }
  }
}

Async<void> downloadEverything(std::shared_ptr<Run> run) {
  std::shared_ptr<platform::Timer> ticks;
  if (run->listener.progress) {
    std::weak_ptr<Run> weak = run;
    ticks = platform::TimerScheduler::current()->scheduleTimer(
        run->listener.interval, true, [weak](platform::Timer&) {
          if (auto r = weak.lock()) r->listener.progress(figuresOf(*r));
        });
  }
  // Ctrl-C or a termination ends the run as a failing output does: the
  // downloads under way are cancelled, and a rerun continues them.
  boost::asio::signal_set signals(mainContext(), SIGINT, SIGTERM);
  signals.async_wait([weak = std::weak_ptr<Run>(run)](const boost::system::error_code& error, int) {
    auto r = weak.lock();
    if (error || !r) return;
    stopRun(*r, std::make_exception_ptr(InputError("download", "", "interrupted")));
  });
  const std::size_t count = std::min(std::max<std::size_t>(run->options.jobs, 1), run->urls.size());
  run->workers.reserve(count);
  for (std::size_t k = 0; k < count; ++k) {
    run->workers.push_back(Task<void>::spawn(mainExecutor(), downloadNext(run)));
  }
  for (std::size_t k = 0; k < count; ++k) {
    try {
      co_await run->workers[k].value();
    } catch (...) {
      if (!run->failure) throw;  // a stopped worker ends with the cancellation error
    }
  }
  if (ticks) ticks->invalidate();
  if (run->failure) {
    // Lets the stopped workers and the cancelled downloads end (removing
    // their files) first: a few handlers on the main context, but a worker
    // that somehow does not end must not hold the exit up.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    do {
      co_await boost::asio::post(mainExecutor(), boost::asio::use_awaitable);
    } while (run->workersRunning > 0 && std::chrono::steady_clock::now() < limit);
    std::rethrow_exception(run->failure);
  }
  if (ticks) run->listener.progress(figuresOf(*run));
}

// What standard error shows while downloads run.
class ProgressDisplay {
 public:
  ProgressDisplay(bool quiet, std::size_t count)
      : quiet_(quiet), terminal_(::isatty(STDERR_FILENO) == 1), count_(count) {}

  void update(const TransferFigures& figures) {
    figures_ = figures;
    if (quiet_ || !terminal_) return;
    writeStatusLine(progressBar(figures, width()));
  }

  void finished(const DownloadOutcome& outcome) {
    ++ended_;
    clear();
    if (outcome.path) {
      // A name may hold any byte but "/": a line break or an escape from a
      // URL must not split the line or reach the terminal.
      writeOutput(std::nullopt, printableLine(outcome.path->string()) + "\n");
    } else {
      writeErrorLine(outcome.error);
    }
    if (quiet_) return;
    if (terminal_) {
      update(figures_);
    } else {
      writeErrors("[" + std::to_string(ended_) + "/" + std::to_string(count_) + "] " +
                  progressLine(figures_) + "\n");
    }
  }

  void clear() const {
    if (!quiet_ && terminal_) clearStatusLine();
  }

 private:
  static int width() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
  }

  bool quiet_;
  bool terminal_;
  std::size_t count_;
  std::size_t ended_ = 0;
  TransferFigures figures_;
};

// Different URLs can name one local file (a query string or another folder
// does not reach the name): the later ones would get or replace the first
// one's file and report it as theirs, so they fail instead.
std::vector<std::optional<std::string>> clashesOf(const ResourceDownloader& downloader,
                                                  const std::vector<URL>& urls,
                                                  const DownloadOptions& options) {
  std::vector<std::optional<std::string>> clashes(urls.size());
  std::map<std::string, std::size_t> firstOfFile;
  const std::optional<URL> destination = destinationOf(options.to);
  for (std::size_t i = 0; i < urls.size(); ++i) {
    std::string local;
    try {
      local = downloader.urlForDownloadedFile(urls[i], options.name, destination).absoluteString();
    } catch (...) {
      continue;  // the download itself reports a refused name
    }
    const auto [it, first] = firstOfFile.emplace(local, i);
    if (!first && urls[it->second].absoluteString() != urls[i].absoluteString()) {
      clashes[i] = options.urls[it->second];
    }
  }
  return clashes;
}

// Whether removing `directory` would remove `inside`: it is that directory or
// one of its parents.
bool holds(const std::filesystem::path& directory, const std::filesystem::path& inside) {
  std::error_code error;
  const auto outer = std::filesystem::canonical(directory, error);
  if (error) return false;
  const auto inner = std::filesystem::canonical(inside, error);
  if (error) return false;
  return std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end()).first == outer.end();
}

std::shared_ptr<ResourceDownloader> downloaderFor(const std::optional<std::string>& to) {
  return ResourceDownloader::make(destinationOf(to));
}

}  // namespace

std::vector<DownloadOutcome> downloadAll(const DownloadOptions& options,
                                         const DownloadListener& listener) {
  auto run = std::make_shared<Run>();
  for (const std::string& text : options.urls) {
    if (const std::string why = checkHTTPURL(text); !why.empty()) throw InputError(text, "", why);
    run->urls.push_back(*URL::parse(text));
  }
  run->options = options;
  run->listener = listener;
  run->downloader = downloaderFor(options.to);
  run->clashes = clashesOf(*run->downloader, run->urls, options);
  run->start = platform::Clock::current()->monotonicNow();
  runUntilComplete(downloadEverything(run));
  return run->outcomes;
}

int runDownload(const DownloadOptions& options) {
  auto display = std::make_shared<ProgressDisplay>(options.quiet, options.urls.size());
  DownloadListener listener;
  listener.finished = [display](const DownloadOutcome& o) { display->finished(o); };
  listener.progress = [display](const TransferFigures& f) { display->update(f); };
  std::vector<DownloadOutcome> outcomes;
  try {
    outcomes = downloadAll(options, listener);
  } catch (...) {
    display->clear();  // the error's line starts at the left
    throw;
  }
  display->clear();
  const bool failed = std::any_of(outcomes.begin(), outcomes.end(),
                                  [](const DownloadOutcome& o) { return !o.path; });
  return failed ? 1 : 0;
}

std::string downloadCacheUsage(const std::optional<std::string>& to) {
  const auto downloader = downloaderFor(to);
  const std::int64_t bytes = downloader->currentDiskUsage();
  return humanBytes(static_cast<double>(bytes)) + " (" + std::to_string(bytes) +
         (bytes == 1 ? " byte" : " bytes") + ") in " +
         downloader->destinationDirectory().filePath().string() + "\n";
}

std::string clearDownloadCache(const std::optional<std::string>& to) {
  const auto downloader = downloaderFor(to);
  const std::string directory = downloader->destinationDirectory().filePath().string();
  // "--to ." is a natural place to download to, but clearing it would take
  // the user's own files and the directory they work in with it.
  const char* home = std::getenv("HOME");
  std::error_code ignored;
  if (holds(directory, std::filesystem::current_path(ignored))) {
    throw InputError(directory, "", "holds the current directory; not removed");
  }
  if (home != nullptr && *home != '\0' && holds(directory, home)) {
    throw InputError(directory, "", "holds the home directory; not removed");
  }
  if (!std::filesystem::exists(std::filesystem::symlink_status(directory, ignored))) {
    throw InputError(directory, "", "does not exist; nothing removed");
  }
  // A file (or a dangling link) named by mistake is the user's, not a cache.
  if (!std::filesystem::is_directory(std::filesystem::status(directory, ignored))) {
    throw InputError(directory, "", "not a directory; nothing removed");
  }
  try {
    downloader->removeAllDownloadedFiles();
  } catch (...) {
    rethrowAsInputError(directory);
  }
  return "removed " + directory + "\n";
}

}  // namespace quarn::tool
