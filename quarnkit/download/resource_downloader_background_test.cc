// ResourceDownloader over a background download service that calls back from
// its own threads: the size probe, starting, joining, finishing, failing and
// cancelling service downloads, and the background task's single result.
#include <gtest/gtest.h>

#include "quarnkit/concurrency/progress_operations.h"
#include "quarnkit/core/log.h"
#include "quarnkit/download/detail/content_length.h"
#include "quarnkit/download/resource_download_background_task.h"
#include "quarnkit/download/resource_downloader.h"
#include "quarnkit/download/testing/downloader_fixture.h"
#include "quarnkit/download/testing/test_background_download_service.h"
#include "quarnkit/platform/file_manager.h"
#include "quarnkit/platform/runtime/task.h"
#include "quarnkit/testing/support.h"

namespace quarn {
namespace {

using quarn::testing::errorOfType;
using quarn::testing::runUntil;
using quarn::testing::TestBackgroundDownloadService;
namespace fs = std::filesystem;

TEST(ContentLengthTest, OnlyADecimalCountThatFitsIsASize) {
  const std::vector<std::pair<std::optional<std::string_view>, std::int64_t>> cases = {
      {std::nullopt, 0},
      {"", 0},
      {"1234", 1234},
      {"+7", 7},
      {"0", 0},
      {"-5", 0},
      {"abc", 0},
      {"12abc", 0},
      {" 12", 0},
      {"+-5", 0},
      {"-", 0},
      {"1.5", 0},
      {"9223372036854775807", 9223372036854775807},
      {"9223372036854775808", 0},
  };
  for (const auto& [header, expected] : cases) {
    EXPECT_EQ(detail::parseContentLength(header), expected) << header.value_or("(missing)");
  }
}

TEST(ContentLengthTest, ASuccessWithoutAResponseCannotBeRead) {
  http::DataResponse<std::string> response{std::nullopt, std::nullopt, std::nullopt, std::string()};
  auto error = errorOfType<ResourceDownloaderError>([&] { detail::contentLengthOf(response); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->kind(), ResourceDownloaderError::Kind::failedParseResponse);
}

class BackgroundDownloadTest : public quarn::testing::DownloaderTest {
 protected:
  void SetUp() override {
    DownloaderTest::SetUp();
    auto& r = server.routes();
    r.Get("/sized/none", [](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("application/octet-stream",
                                       [](size_t, httplib::DataSink& sink) {
                                         sink.done();
                                         return true;
                                       });
    });
    service = std::make_shared<TestBackgroundDownloadService>(scratch.path());
    downloader->setBackgroundDownloadService(service);
    downloader->setUseBackgroundAssets(true);
    downloader->setApplicationGroupIdentifier("group.example");
  }

  /// Starts downloadFile(remote) and runs until the service has started a
  /// download for it; that download.
  platform::BackgroundDownload startDownload(const URL& remote, Task<URL>& call) {
    const std::size_t before = service->started().size();
    call = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(remote));
    runUntil([&] { return service->started().size() > before; });
    drainMainContext();
    return service->started().back();
  }

  quarn::testing::TemporaryDirectory scratch;
  std::shared_ptr<TestBackgroundDownloadService> service;
};

TEST_F(BackgroundDownloadTest, TheServiceDownloadsWithTheProbedSizeAndCallsBackFromItsThreads) {
  const URL remote = url("/files/asset.pack");
  Task<URL> call;
  const auto download = startDownload(remote, call);
  EXPECT_EQ(hits("/files/asset.pack"), 1);  // the HEAD probe, no GET
  EXPECT_EQ(download.url, remote);
  EXPECT_EQ(download.fileSize,
            static_cast<std::int64_t>(std::string("file /files/asset.pack").size()));
  EXPECT_EQ(download.applicationGroupIdentifier, "group.example");
  EXPECT_EQ(download.priority, service->maxPriority());
  EXPECT_FALSE(download.essential);

  auto task = downloader->task(download.identifier);
  ASSERT_TRUE(task);
  EXPECT_EQ(downloader->downloadTask(remote), task);
  EXPECT_EQ(task->progress()->totalUnitCount(), download.fileSize);
  service->progress(download, 5, 22);
  runUntil([&] { return task->progress()->completedUnitCount() == 5; });
  EXPECT_EQ(task->progress()->totalUnitCount(), 22);

  service->finish(download, "delivered bytes");
  EXPECT_EQ(runUntilComplete(call.value()), local("asset.pack"));
  EXPECT_EQ(contents(directory.path() / "asset.pack"), "delivered bytes");
  EXPECT_TRUE(downloader->taskMap().empty());
  // Nothing staged is left behind.
  EXPECT_EQ(directory.files(), std::vector<std::string>{"asset.pack"});
  EXPECT_TRUE(scratch.files().empty());
}

TEST_F(BackgroundDownloadTest, AMissingOrUnreadableContentLengthIsZero) {
  Task<URL> call;
  const auto download = startDownload(url("/sized/none"), call);
  EXPECT_EQ(download.fileSize, 0);
  EXPECT_EQ(downloader->task(download.identifier)->progress()->totalUnitCount(), 0);
  service->fail(download, std::make_exception_ptr(std::runtime_error("gone")));
  EXPECT_THROW(runUntilComplete(call.value()), std::runtime_error);
}

TEST_F(BackgroundDownloadTest, AFinishedDownloadCompletesTheCallersProgress) {
  // Neither the probe nor the service told the size: the unit the download
  // stands for still completes when it is done.
  auto overall = platform::Progress::make(1);
  auto call = Task<URL>::spawn(
      mainExecutor(), performAsCurrent(overall, downloader->downloadFile(url("/sized/none"))));
  runUntil([&] { return !service->started().empty(); });
  drainMainContext();
  service->finish(service->started().back(), "no size told");
  EXPECT_EQ(runUntilComplete(call.value()), local("none"));
  EXPECT_DOUBLE_EQ(overall->fractionCompleted(), 1.0);
}

TEST_F(BackgroundDownloadTest, OverlappingCallsJoinTheServiceDownload) {
  const URL remote = url("/files/shared.pack");
  Task<URL> first;
  const auto download = startDownload(remote, first);
  auto second = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(remote));
  // A joining caller's progress follows the download through a proxy.
  auto joined = platform::Progress::make(1);
  auto third =
      Task<URL>::spawn(mainExecutor(), performAsCurrent(joined, downloader->downloadFile(remote)));
  drainMainContext();
  service->progress(download, 5, 20);
  runUntil([&] { return joined->fractionCompleted() == 0.25; });
  service->finish(download, "once");
  EXPECT_EQ(runUntilComplete(third.value()), local("shared.pack"));
  EXPECT_EQ(runUntilComplete(first.value()), local("shared.pack"));
  EXPECT_EQ(runUntilComplete(second.value()), local("shared.pack"));
  EXPECT_EQ(service->started().size(), 1u);
}

TEST_F(BackgroundDownloadTest, CallsThatProbeAtOnceStartOneServiceDownload) {
  // Both probe before either has started: the second finds the first's
  // download in the exclusive section and awaits it.
  const URL remote = url("/files/race.pack");
  auto first = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(remote));
  auto second = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(remote));
  runUntil([&] { return service->sections() == 2; });
  drainMainContext();
  ASSERT_EQ(service->started().size(), 1u);
  service->finish(service->started()[0], "raced");
  EXPECT_EQ(runUntilComplete(first.value()), local("race.pack"));
  EXPECT_EQ(runUntilComplete(second.value()), local("race.pack"));
  EXPECT_EQ(hits("/files/race.pack"), 2);  // two HEAD probes, no GET
}

TEST_F(BackgroundDownloadTest, WithoutAnApplicationGroupNothingStarts) {
  downloader->setApplicationGroupIdentifier(std::nullopt);
  auto error = errorOfType<ResourceDownloaderError>(
      [&] { runUntilComplete(downloader->downloadFile(url("/files/x.pack"))); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->kind(), ResourceDownloaderError::Kind::missingApplicationGroupIdentifier);
  EXPECT_TRUE(service->started().empty());
  EXPECT_TRUE(downloader->taskMap().empty());
}

TEST_F(BackgroundDownloadTest, ServiceErrorsReachTheCaller) {
  service->failStartWith(std::make_exception_ptr(std::runtime_error("start refused")));
  EXPECT_THROW(runUntilComplete(downloader->downloadFile(url("/files/a.pack"))),
               std::runtime_error);
  service->failStartWith(nullptr);
  service->refuseControlWith(std::make_exception_ptr(std::logic_error("busy")));
  EXPECT_THROW(runUntilComplete(downloader->downloadFile(url("/files/b.pack"))), std::logic_error);
  EXPECT_TRUE(downloader->taskMap().empty());
}

TEST_F(BackgroundDownloadTest, AFailedDownloadIsLoggedAndLeavesNoFile) {
  quarn::testing::LogCapture log;
  Task<URL> call;
  const auto download = startDownload(url("/files/broken.pack"), call);
  service->fail(download, std::make_exception_ptr(std::runtime_error("disk full")));
  EXPECT_THROW(runUntilComplete(call.value()), std::runtime_error);
  EXPECT_EQ(log.count("Download failed: disk full"), 1u);
  EXPECT_FALSE(downloader->isDownloadedFile(url("/files/broken.pack")));
  EXPECT_TRUE(downloader->taskMap().empty());
}

// A file manager whose staging or final move fails.
class FailingFiles final : public platform::FileManager {
 public:
  enum class Step { stage, install };
  explicit FailingFiles(Step step) : step_(step) {}
  fs::path itemReplacementDirectory(const fs::path& appropriateFor) override {
    if (step_ == Step::stage) fail();
    return FileManager::itemReplacementDirectory(appropriateFor);
  }
  void moveItem(const fs::path& from, const fs::path& to) override {
    if (step_ == Step::install && to.filename() == "moved.pack") fail();
    FileManager::moveItem(from, to);
  }

 private:
  [[noreturn]] static void fail() {
    throw fs::filesystem_error("refused", std::make_error_code(std::errc::no_space_on_device));
  }
  Step step_;
};

TEST_F(BackgroundDownloadTest, AFileThatCannotBeMovedFailsTheDownloadWithTheLogLine) {
  const std::vector<std::pair<FailingFiles::Step, std::string>> cases = {
      {FailingFiles::Step::stage,
       "Download finished, however a failure occurred moving the file to a temporary location. "},
      {FailingFiles::Step::install, "Failed to move downloaded file: "},
  };
  for (const auto& [step, line] : cases) {
    SCOPED_TRACE(line);
    quarn::testing::LogCapture log;
    downloader->setFileManager(std::make_shared<FailingFiles>(step));
    Task<URL> call;
    const auto download = startDownload(url("/files/moved.pack"), call);
    service->finish(download, "bytes");
    EXPECT_THROW(runUntilComplete(call.value()), fs::filesystem_error);
    EXPECT_EQ(log.count(line), 1u);
    EXPECT_TRUE(directory.files().empty());
    EXPECT_TRUE(downloader->taskMap().empty());
  }
}

TEST_F(BackgroundDownloadTest, TheCacheEmptiedWhileTheServiceDownloadsStillGetsTheFile) {
  Task<URL> call;
  const auto download = startDownload(url("/files/later.pack"), call);
  downloader->removeAllDownloadedFiles();
  service->finish(download, "after clearing");
  EXPECT_EQ(runUntilComplete(call.value()), local("later.pack"));
  EXPECT_EQ(contents(directory.path() / "later.pack"), "after clearing");
}

TEST_F(BackgroundDownloadTest, CallbacksForUnknownOrUnsupportedDownloadsAreLogged) {
  quarn::testing::LogCapture log;
  platform::BackgroundDownload unknown;
  unknown.identifier = "nobody";
  unknown.uniqueIdentifier = "u-1";
  service->setDelegate(downloader);
  service->finish(unknown, "stray", true);
  runUntil([&] { return log.count("Unknown download: nobody, uniqueIdentifier: u-1") == 1; });
  platform::BackgroundDownload other = unknown;
  other.kind = platform::BackgroundDownload::Kind::other;
  service->fail(other, std::make_exception_ptr(std::runtime_error("why")));
  EXPECT_EQ(log.count("Download of unsupported type failed: nobody. why"), 1u);
  EXPECT_TRUE(directory.files().empty());
  // A challenge gets the default handling, without a credential.
  std::optional<platform::AuthChallengeDisposition> answer;
  downloader->didReceive(unknown, {"cdn.example.com", "basic"},
                         [&](platform::AuthChallengeDisposition d,
                             const std::optional<platform::URLCredential>& credential) {
                           answer = d;
                           EXPECT_FALSE(credential);
                         });
  EXPECT_EQ(answer, platform::AuthChallengeDisposition::performDefaultHandling);
}

TEST_F(BackgroundDownloadTest, CancellingTheCallerCancelsTheServiceDownload) {
  Task<URL> call;
  const auto download = startDownload(url("/files/cancel.pack"), call);
  call.cancel();
  runUntil([&] { return downloader->taskMap().empty() && service->cancels() == 1; });
  EXPECT_TRUE(service->currentDownloads().empty());
  EXPECT_FALSE(downloader->isDownloadedFile(url("/files/cancel.pack")));
}

TEST_F(BackgroundDownloadTest, ACallerThatJoinedGetsTheFileAfterTheFirstCallerIsCancelled) {
  // The first caller's entry leaves the task map when it is cancelled; the
  // download goes on for the caller that joined it, and its end still counts.
  const URL remote = url("/files/joined.pack");
  Task<URL> first;
  const auto download = startDownload(remote, first);
  auto second = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(remote));
  drainMainContext();
  first.cancel();
  runUntil([&] { return downloader->taskMap().empty(); });
  EXPECT_EQ(service->cancels(), 0);
  service->finish(download, "still wanted");
  runUntil([&] { return second.isFinished(); }, std::chrono::seconds(2));
  ASSERT_TRUE(second.isFinished());
  EXPECT_EQ(runUntilComplete(second.value()), local("joined.pack"));
  EXPECT_EQ(contents(directory.path() / "joined.pack"), "still wanted");
}

TEST_F(BackgroundDownloadTest, ABuiltServiceTaskStillHearsTheServiceAfterItsFirstCallerLeaves) {
  // A builder hands back a task of the service's own: once the first caller
  // is cancelled and its entry has left the task map, the service's report
  // still reaches the caller that joined it.
  const URL remote = url("/files/built.pack");
  ResourceDownloader::TaskBuilder builder =
      [](const URL& from, const URL& to) -> Async<std::shared_ptr<ResourceDownloaderTask>> {
    co_return ResourceDownloadBackgroundTask::make("built", from, to, 0);
  };
  auto first = Task<URL>::spawn(
      mainExecutor(), downloader->downloadFile(remote, std::nullopt, std::nullopt, builder));
  runUntil([&] { return downloader->task("built") != nullptr; });
  auto second = Task<URL>::spawn(
      mainExecutor(), downloader->downloadFile(remote, std::nullopt, std::nullopt, builder));
  drainMainContext();
  first.cancel();
  runUntil([&] { return downloader->taskMap().empty(); });
  platform::BackgroundDownload download;
  download.identifier = "built";
  service->setDelegate(downloader);
  service->finish(download, "built bytes", true);
  runUntil([&] { return second.isFinished(); }, std::chrono::seconds(2));
  ASSERT_TRUE(second.isFinished());
  EXPECT_EQ(runUntilComplete(second.value()), local("built.pack"));
  EXPECT_EQ(contents(directory.path() / "built.pack"), "built bytes");
}

TEST_F(BackgroundDownloadTest, ACallerCancelledWhileWaitingForTheServiceStartsNothing) {
  // Another user of the service holds its exclusive section meanwhile.
  auto held = runUntilComplete(service->exclusiveControl());
  auto call = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(url("/files/late.pack")));
  // The size probe has come back and the call waits for the section (the
  // server seeing the probe is not enough: its answer may still be on the way).
  runUntil([&] { return service->waitingForSection() == 1; });
  EXPECT_EQ(hits("/files/late.pack"), 1);
  call.cancel();
  drainMainContext();
  held.reset();
  EXPECT_THROW(runUntilComplete(call.value()), std::exception);
  runUntil([&] { return service->sections() == 2; });
  drainMainContext();
  EXPECT_TRUE(service->currentDownloads().empty());
  EXPECT_TRUE(downloader->taskMap().empty());
}

TEST_F(BackgroundDownloadTest, TheFirstResultIsKeptAndLaterOnesIgnored) {
  // A result that comes before anyone reads the value.
  auto early = ResourceDownloadBackgroundTask::make("early", url("/files/e"), local("e"), 0);
  early->finish(nullptr);
  EXPECT_EQ(runUntilComplete(early->value()), local("e"));
  EXPECT_EQ(runUntilComplete(early->value()), local("e"));

  // A second callback for a download that already ended.
  auto twice = ResourceDownloadBackgroundTask::make("twice", url("/files/t"), local("t"), 0);
  auto reader = Task<URL>::spawn(mainExecutor(), twice->value());
  drainMainContext();
  twice->finish(std::make_exception_ptr(std::runtime_error("first")));
  twice->finish(nullptr);
  EXPECT_THROW(runUntilComplete(reader.value()), std::runtime_error);
  EXPECT_THROW(runUntilComplete(twice->value()), std::runtime_error);
}

TEST_F(BackgroundDownloadTest, AReportAfterTheFirstFinishChangesNothing) {
  // The service reports one download finished twice, before and after the
  // caller has its URL: the file stays the one the first report delivered.
  Task<URL> call;
  const auto download = startDownload(url("/files/twice.pack"), call);
  const auto task = downloader->task(download.identifier);  // the host keeps it
  service->finish(download, "first", true);
  service->finish(download, "second", true);
  EXPECT_EQ(runUntilComplete(call.value()), local("twice.pack"));
  EXPECT_EQ(contents(directory.path() / "twice.pack"), "first");

  service->finish(download, "late", true);
  service->fail(download, std::make_exception_ptr(std::runtime_error("late failure")));
  drainMainContext();
  EXPECT_EQ(contents(directory.path() / "twice.pack"), "first");
  EXPECT_EQ(runUntilComplete(task->value()), local("twice.pack"));
  // The redundant deliveries left nothing behind.
  EXPECT_EQ(directory.files(), std::vector<std::string>{"twice.pack"});
  EXPECT_TRUE(scratch.files().empty());
}

TEST_F(BackgroundDownloadTest, WithoutAServiceTheHTTPClientDownloads) {
  downloader->setBackgroundDownloadService(nullptr);  // the platform's: unavailable
  EXPECT_EQ(runUntilComplete(downloader->downloadFile(url("/files/plain.bin"))),
            local("plain.bin"));
  EXPECT_EQ(contents(directory.path() / "plain.bin"), "file /files/plain.bin");
}

}  // namespace
}  // namespace quarn
