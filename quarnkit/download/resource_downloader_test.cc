// ResourceDownloader over the HTTP client, against the loopback server:
// local names, the on-disk short-cut, shared downloads, completion order,
// failures and cancellation leaving nothing behind, the cache directory.
#include "quarnkit/download/resource_downloader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "quarnkit/concurrency/progress_operations.h"
#include "quarnkit/core/log.h"
#include "quarnkit/download/resource_download_task.h"
#include "quarnkit/download/testing/downloader_fixture.h"
#include "quarnkit/http/request_error.h"
#include "quarnkit/platform/detail/file_calls.h"
#include "quarnkit/platform/runtime/publisher.h"
#include "quarnkit/platform/runtime/task.h"
#include "quarnkit/testing/support.h"

namespace quarn {
namespace {

using quarn::testing::DownloaderTest;
using quarn::testing::errorOfType;
using quarn::testing::runUntil;
namespace fs = std::filesystem;

using ResourceDownloaderTest = DownloaderTest;

TEST_F(ResourceDownloaderTest, LocalNamesComeFromTheLastDecodedSegmentOrTheCaller) {
  const URL remote = *URL::parse("https://storage.example.com/o/media%2Fposters%2Fcover.png?x=1");
  EXPECT_EQ(downloader->urlForDownloadedFile(remote), local("cover.png"));
  EXPECT_EQ(downloader->urlForDownloadedFile(remote, "mine.png"), local("mine.png"));
  const URL elsewhere = URL::fileURL(directory.path() / "sub");
  EXPECT_EQ(downloader->urlForDownloadedFile(remote, std::nullopt, elsewhere),
            URL::fileURL(directory.path() / "sub/cover.png"));
  EXPECT_EQ(downloader->urlForDownloadedFile(*URL::parse("https://h/a/b%20c.mp4")),
            local("b c.mp4"));
  // Percent-encodings are case-insensitive: "%2f" separates as "%2F" does.
  EXPECT_EQ(downloader->urlForDownloadedFile(
                *URL::parse("https://storage.example.com/o/media%2fposters%2fcover.png")),
            local("cover.png"));
}

TEST_F(ResourceDownloaderTest, NamesThatWouldLeaveTheDirectoryAreRefused) {
  // A caller's name, or what the remote URL decodes to.
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
      {"/files/x", ""},
      {"/files/x", "."},
      {"/files/x", ".."},
      {"/files/x", "../escape"},
      {"/files/x", "a/b"},
      {"/files/x", std::string("a\0b", 3)},
      {"/files/%2E%2E", std::nullopt},
      {"/files/a%00b", std::nullopt},
      {"/", std::nullopt},
  };
  for (const auto& entry : cases) {
    const std::optional<std::string>& name = entry.second;  // (lambdas capture no bindings)
    SCOPED_TRACE(entry.first + " " + name.value_or("(remote name)"));
    const URL remote = url(entry.first);
    auto error = errorOfType<ResourceDownloaderError>(
        [&] { return downloader->urlForDownloadedFile(remote, name); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), ResourceDownloaderError::Kind::invalidFileName);
    EXPECT_FALSE(downloader->isDownloadedFile(remote, name));
    error = errorOfType<ResourceDownloaderError>(
        [&] { runUntilComplete(downloader->downloadFile(remote, name)); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), ResourceDownloaderError::Kind::invalidFileName);
  }
  EXPECT_EQ(server.requestCount(), 0u);
  EXPECT_TRUE(directory.files().empty());
  EXPECT_FALSE(fs::exists(directory.path().parent_path() / "escape"));
}

TEST_F(ResourceDownloaderTest, ASubdirectoryIsJoinedToTheDestinationEvenWhenItStartsWithASlash) {
  // "/posters" names the subdirectory "posters", not a directory at the root.
  const fs::path outside = directory.path().string() + "-outside";
  const std::string subdirectory = outside.string() + "/posters";
  const URL file = runUntilComplete(
      downloader->downloadFile(url("/files/poster.png"), std::nullopt, subdirectory));
  const bool escaped = fs::exists(outside);
  fs::remove_all(outside);
  EXPECT_FALSE(escaped);
  EXPECT_EQ(file,
            URL::fileURL(directory.path() / fs::path(subdirectory).relative_path() / "poster.png"));
  EXPECT_EQ(contents(file.filePath()), "file /files/poster.png");
  // ".." would leave the destination: refused before any request.
  const auto refused = errorOfType<ResourceDownloaderError>([&] {
    runUntilComplete(downloader->downloadFile(url("/files/up.png"), std::nullopt, "a/../../up"));
  });
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->kind(), ResourceDownloaderError::Kind::invalidFileName);
  EXPECT_FALSE(fs::exists(directory.path().parent_path() / "up"));
  EXPECT_EQ(hits("/files/up.png"), 0);
}

TEST_F(ResourceDownloaderTest, AFileURLIsReturnedAsItIs) {
  const URL file = URL::fileURL("/some/where/file.bin");
  EXPECT_EQ(runUntilComplete(downloader->downloadFile(file)), file);
  EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(ResourceDownloaderTest, AFileOnDiskIsReturnedWithoutARequest) {
  const URL remote = url("/files/movie.mp4");
  EXPECT_FALSE(downloader->isDownloadedFile(remote));
  EXPECT_EQ(runUntilComplete(downloader->downloadFile(remote)), local("movie.mp4"));
  EXPECT_EQ(contents(directory.path() / "movie.mp4"), "file /files/movie.mp4");
  EXPECT_TRUE(downloader->isDownloadedFile(remote));
  // An object name with encoded separators is stored under its last segment.
  EXPECT_EQ(runUntilComplete(downloader->downloadFile(url("/files/o/media%2Fposters%2Fcover.png"))),
            local("cover.png"));
  int changes = 0;
  AnyCancellable watch = downloader->objectWillChange().sink([&](const auto&) { ++changes; });
  EXPECT_EQ(runUntilComplete(downloader->downloadFile(remote)), local("movie.mp4"));
  EXPECT_EQ(hits("/files/movie.mp4"), 1);
  EXPECT_EQ(changes, 0);
  EXPECT_TRUE(downloader->taskMap().empty());
}

TEST_F(ResourceDownloaderTest, OverlappingCallsShareOneDownload) {
  const URL remote = url("/gate/shared.bin");
  int changes = 0;
  AnyCancellable watch = downloader->objectWillChange().sink([&](const auto&) {
    ++changes;
    EXPECT_TRUE(isOnMainContext());
  });
  auto first = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(remote));
  auto second = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(remote));
  runUntil([&] { return hits("/gate/shared.bin") == 1; });
  drainMainContext();
  ASSERT_EQ(downloader->taskMap().size(), 1u);
  EXPECT_EQ(downloader->taskMap()[0].localFileURL, local("shared.bin"));
  EXPECT_TRUE(downloader->downloadTask(remote));
  EXPECT_EQ(changes, 1);
  openGate("shared.bin");
  EXPECT_EQ(runUntilComplete(first.value()), local("shared.bin"));
  EXPECT_EQ(runUntilComplete(second.value()), local("shared.bin"));
  EXPECT_EQ(hits("/gate/shared.bin"), 1);
  EXPECT_TRUE(downloader->taskMap().empty());
  EXPECT_FALSE(downloader->downloadTask(remote));
  EXPECT_EQ(changes, 2);
}

Async<void> nothing() { co_return; }

TEST_F(ResourceDownloaderTest, ABuilderThatHandsBackARunningDownloadIsAwaitedWithoutANewEntry) {
  const URL remote = url("/gate/built.bin");
  std::shared_ptr<ResourceDownloaderTask> built;
  int builds = 0;
  // Suspends before building, so that both calls are past the task-map check.
  ResourceDownloader::TaskBuilder builder =
      [&](const URL& from, const URL& to) -> Async<std::shared_ptr<ResourceDownloaderTask>> {
    ++builds;
    co_await runOn(concurrentExecutor(), nothing());
    if (!built) {
      http::DownloadRequest::Destination destination = [to](const URL&, const auto&) {
        return http::DownloadRequest::DestinationResult{to, {}};
      };
      built = ResourceDownloadTask::make(
          session->download(http::URLRequest(from), std::move(destination)));
    }
    co_return built;
  };
  int changes = 0;
  AnyCancellable watch = downloader->objectWillChange().sink([&](const auto&) { ++changes; });
  auto first = Task<URL>::spawn(
      mainExecutor(), downloader->downloadFile(remote, std::nullopt, std::nullopt, builder));
  auto second = Task<URL>::spawn(
      mainExecutor(), downloader->downloadFile(remote, std::nullopt, std::nullopt, builder));
  runUntil([&] { return builds == 2 && hits("/gate/built.bin") == 1; });
  drainMainContext();
  EXPECT_EQ(downloader->taskMap().size(), 1u);
  openGate("built.bin");
  EXPECT_EQ(runUntilComplete(first.value()), local("built.bin"));
  EXPECT_EQ(runUntilComplete(second.value()), local("built.bin"));
  EXPECT_EQ(changes, 2);
  EXPECT_TRUE(downloader->taskMap().empty());
}

TEST_F(ResourceDownloaderTest, ACallForAnotherLocalFileStartsItsOwnDownload) {
  const URL remote = url("/gate/data.bin");
  auto plain = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(remote));
  auto named = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(remote, "copy.bin"));
  auto elsewhere =
      Task<URL>::spawn(mainExecutor(), downloader->downloadFile(remote, std::nullopt, "sub"));
  runUntil([&] { return downloader->taskMap().size() == 3; });
  openGate("data.bin");
  EXPECT_EQ(runUntilComplete(plain.value()), local("data.bin"));
  EXPECT_EQ(runUntilComplete(named.value()), local("copy.bin"));
  EXPECT_EQ(runUntilComplete(elsewhere.value()), local("sub/data.bin"));
  for (const char* name : {"data.bin", "copy.bin", "sub/data.bin"}) {
    EXPECT_EQ(contents(directory.path() / name), "gated /gate/data.bin") << name;
  }
  EXPECT_EQ(hits("/gate/data.bin"), 3);
}

TEST_F(ResourceDownloaderTest, ReplacingAnotherRemoteURLsFileIsLogged) {
  quarn::testing::LogCapture log;
  // Two remote URLs with one last component share the local file.
  const URL a = url("/gate/a/same.bin");
  const URL b = url("/gate/b/same.bin");
  auto first = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(a));
  auto second = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(b));
  runUntil([&] { return downloader->taskMap().size() == 2; });
  openGate("a/same.bin");
  EXPECT_EQ(runUntilComplete(first.value()), local("same.bin"));
  EXPECT_EQ(log.count("Replacing"), 0u);
  openGate("b/same.bin");
  EXPECT_EQ(runUntilComplete(second.value()), local("same.bin"));
  EXPECT_EQ(contents(directory.path() / "same.bin"), "gated /gate/b/same.bin");
  const auto warnings = log.texts(LogLevel::warning);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find(a.absoluteString()), std::string::npos) << warnings[0];
  EXPECT_NE(warnings[0].find(b.absoluteString()), std::string::npos) << warnings[0];
}

TEST_F(ResourceDownloaderTest, DownloadFilesGivesTheFilesInTheOrderTheyFinish) {
  auto all = Task<std::vector<URL>>::spawn(
      mainExecutor(),
      downloader->downloadFiles({url("/gate/1.bin"), url("/gate/2.bin"), url("/gate/3.bin")}));
  runUntil([&] { return downloader->taskMap().size() == 3; });
  for (const char* name : {"3.bin", "1.bin", "2.bin"}) {
    openGate(name);
    runUntil([&] { return !downloader->downloadTask(url(std::string("/gate/") + name)); });
  }
  EXPECT_EQ(runUntilComplete(all.value()),
            (std::vector<URL>{local("3.bin"), local("1.bin"), local("2.bin")}));
}

TEST_F(ResourceDownloaderTest, OperationsHoldTheDownloaderUntilTheyAreAwaited) {
  // The host keeps only what the calls returned.
  Async<URL> one = downloader->downloadFile(url("/files/held.bin"));
  Async<std::vector<URL>> all = downloader->downloadFiles({url("/files/held-too.bin")});
  std::weak_ptr<ResourceDownloader> watch = downloader;
  downloader.reset();
  EXPECT_FALSE(watch.expired());
  EXPECT_EQ(runUntilComplete(std::move(one)), local("held.bin"));
  EXPECT_EQ(runUntilComplete(std::move(all)), std::vector<URL>{local("held-too.bin")});
  EXPECT_TRUE(watch.expired());
}

TEST_F(ResourceDownloaderTest, TheFirstFailureCancelsTheOtherDownloads) {
  auto all = Task<std::vector<URL>>::spawn(
      mainExecutor(), downloader->downloadFiles({url("/gate/never.bin"), url("/missing")}));
  auto error = errorOfType<http::RequestError>([&] { runUntilComplete(all.value()); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->kind(), http::RequestError::Kind::responseValidationFailed);
  EXPECT_TRUE(downloader->taskMap().empty());
  // The cancelled request removes its (empty) partial file once it has ended.
  drainMainContext();
  EXPECT_TRUE(directory.files().empty());
}

TEST_F(ResourceDownloaderTest, AFailedOrCancelledDownloadLeavesNoFile) {
  // An error status is not the file.
  EXPECT_TRUE(errorOfType<http::RequestError>(
      [&] { runUntilComplete(downloader->downloadFile(url("/missing"))); }));
  EXPECT_FALSE(downloader->isDownloadedFile(url("/missing")));

  // A body cut short, and a destination that is a file, fail that URL only.
  EXPECT_TRUE(errorOfType<http::RequestError>(
      [&] { runUntilComplete(downloader->downloadFile(url("/short"))); }));
  std::ofstream(directory.path() / "taken") << "a file";
  EXPECT_TRUE(errorOfType<fs::filesystem_error>([&] {
    runUntilComplete(downloader->downloadFile(url("/files/x.bin"), std::nullopt, "taken"));
  }));
  EXPECT_EQ(directory.files(), std::vector<std::string>{"taken"});
  fs::remove(directory.path() / "taken");

  // A full disk while the body is written, and a host that does not answer.
  {
    platform::detail::FileCallFailure full(platform::detail::FileCall::write, 1, ENOSPC);
    EXPECT_TRUE(errorOfType<http::RequestError>(
        [&] { runUntilComplete(downloader->downloadFile(url("/files/big.bin"))); }));
    EXPECT_TRUE(full.fired());
  }
  EXPECT_TRUE(errorOfType<http::RequestError>([&] {
    runUntilComplete(downloader->downloadFile(*URL::parse("http://127.0.0.1:1/unreachable.bin")));
  }));
  EXPECT_TRUE(directory.files().empty());
  // The next download goes on.
  EXPECT_EQ(runUntilComplete(downloader->downloadFile(url("/files/big.bin"))), local("big.bin"));
  fs::remove(directory.path() / "big.bin");

  // Cancelled mid-body: the request ends, the entry goes, nothing is kept.
  const URL stalls = url("/stalls");
  auto call = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(stalls));
  runUntil([&] {
    auto task = downloader->downloadTask(stalls);
    return task && task->progress()->completedUnitCount() > 0;
  });
  EXPECT_EQ(downloader->downloadTask(stalls)->progress()->totalUnitCount(), 100000);
  call.cancel();
  runUntil([&] { return downloader->taskMap().empty(); });
  EXPECT_FALSE(downloader->isDownloadedFile(stalls));
  // Without a validator from the server there is nothing to resume.
  drainMainContext();
  EXPECT_TRUE(directory.files().empty());
}

TEST_F(ResourceDownloaderTest, OneCancelledCallerLeavesTheSharedDownloadToTheOther) {
  const URL remote = url("/gate/kept.bin");
  auto leaving = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(remote));
  auto staying = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(remote));
  runUntil([&] { return hits("/gate/kept.bin") == 1; });
  leaving.cancel();
  drainMainContext();
  openGate("kept.bin");
  EXPECT_EQ(runUntilComplete(staying.value()), local("kept.bin"));
  EXPECT_EQ(contents(directory.path() / "kept.bin"), "gated /gate/kept.bin");
}

TEST_F(ResourceDownloaderTest, DownloadsReportIntoTheCallersCurrentProgress) {
  auto overall = platform::Progress::make(2);
  auto all = Task<std::vector<URL>>::spawn(
      mainExecutor(), performAsCurrent(overall, downloader->downloadFiles(
                                                    {url("/gate/p1.bin"), url("/gate/p2.bin")})));
  runUntil([&] { return downloader->taskMap().size() == 2; });
  EXPECT_EQ(overall->children().size(), 2u);
  EXPECT_EQ(overall->fractionCompleted(), 0.0);
  openGate("p1.bin");
  runUntil([&] { return !downloader->downloadTask(url("/gate/p1.bin")); });
  EXPECT_DOUBLE_EQ(overall->fractionCompleted(), 0.5);
  openGate("p2.bin");
  EXPECT_EQ(runUntilComplete(all.value()).size(), 2u);
  EXPECT_DOUBLE_EQ(overall->fractionCompleted(), 1.0);
}

TEST_F(ResourceDownloaderTest, ABodyOfUnknownLengthCompletesItsUnitWhenDone) {
  auto overall = platform::Progress::make(1);
  const URL file =
      runUntilComplete(performAsCurrent(overall, downloader->downloadFile(url("/chunked/c.bin"))));
  EXPECT_EQ(file, local("c.bin"));
  EXPECT_EQ(contents(directory.path() / "c.bin"), "chunk");
  EXPECT_DOUBLE_EQ(overall->fractionCompleted(), 1.0);
}

TEST_F(ResourceDownloaderTest, DiskUsageAndRemovalCoverTheDestinationDirectory) {
  runUntilComplete(downloader->downloadFile(url("/files/one.bin")));
  runUntilComplete(downloader->downloadFile(url("/files/two.bin"), std::nullopt, "nested"));
  EXPECT_EQ(downloader->currentDiskUsage(),
            static_cast<std::int64_t>(std::string("file /files/one.bin").size() +
                                      std::string("file /files/two.bin").size()));
  downloader->removeAllDownloadedFiles();
  EXPECT_FALSE(fs::exists(directory.path()));
  EXPECT_EQ(downloader->currentDiskUsage(), 0);
  downloader->removeAllDownloadedFiles();    // nothing there: fine
  fs::create_directories(directory.path());  // for the fixture's clean-up
}

TEST_F(ResourceDownloaderTest, TheDefaultDestinationIsADirectoryOfItsOwnInTheCaches) {
  const fs::path caches = directory.path() / "caches";
  ::setenv("XDG_CACHE_HOME", caches.c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
  auto own = ResourceDownloader::make();
  ::unsetenv("XDG_CACHE_HOME");  // NOLINT(concurrency-mt-unsafe)
  EXPECT_EQ(own->destinationDirectory(), URL::fileURL(caches / "QuarnKit.ResourceDownloader"));
  std::ofstream(caches / "other-component.db") << "keep";
  runUntilComplete(own->downloadFile(url("/files/cached.bin")));
  own->removeAllDownloadedFiles();
  EXPECT_EQ(contents(caches / "other-component.db"), "keep");
  EXPECT_FALSE(fs::exists(caches / "QuarnKit.ResourceDownloader"));
}

}  // namespace
}  // namespace quarn
