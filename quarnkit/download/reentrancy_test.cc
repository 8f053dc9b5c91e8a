// What a host may do inside each callback of the resource downloader (drop
// its last reference to the downloader, call back in, throw) and what it then
// sees: the awaiting caller's continuation, progress observers, the
// objectWillChange publisher, the background service's reports and challenge
// completion, and task builders. Downloads go to the loopback server only.
#include "quarnkit/testing/reentrancy.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "quarnkit/concurrency/progress_operations.h"
#include "quarnkit/core/log.h"
#include "quarnkit/download/resource_download_task.h"
#include "quarnkit/download/resource_downloader.h"
#include "quarnkit/download/testing/downloader_fixture.h"
#include "quarnkit/download/testing/test_background_download_service.h"
#include "quarnkit/platform/file_manager.h"
#include "quarnkit/platform/runtime/publisher.h"
#include "quarnkit/platform/runtime/task.h"
#include "quarnkit/testing/support.h"

namespace quarn {
namespace {

using quarn::testing::errorOf;
using quarn::testing::HostAction;
using quarn::testing::runUntil;
using quarn::testing::TestBackgroundDownloadService;
namespace fs = std::filesystem;

struct HostError : std::runtime_error {
  HostError() : std::runtime_error("thrown by the host") {}
};

// The host's caller: awaits the download, then runs its own code.
Async<URL> downloadThen(std::shared_ptr<ResourceDownloader>* holder, URL remote,
                        std::function<void()> after) {
  URL file = co_await (*holder)->downloadFile(std::move(remote));
  after();
  co_return file;
}

Async<void> nothing() { co_return; }

// A file manager whose moves into place throw the host's error.
class ThrowingFiles final : public platform::FileManager {
 public:
  void moveItem(const fs::path& from, const fs::path& to) override {
    if (to.filename() == "raise-report.pack") throw HostError();
    FileManager::moveItem(from, to);
  }
};

class DownloaderReentrancyTest : public quarn::testing::DownloaderTest {
 protected:
  /// A downloader of its own for the next row (a row may have dropped it).
  void renew() { downloader = ResourceDownloader::make(session, URL::fileURL(directory.path())); }

  /// Routes the downloader's downloads through a test background service.
  std::shared_ptr<TestBackgroundDownloadService> useService() {
    auto service = std::make_shared<TestBackgroundDownloadService>(scratch.path());
    downloader->setBackgroundDownloadService(service);
    downloader->setUseBackgroundAssets(true);
    downloader->setApplicationGroupIdentifier("group.example");
    return service;
  }

  /// Starts downloadFile(remote) through `service` and runs until the service
  /// has the download.
  platform::BackgroundDownload startBackground(TestBackgroundDownloadService& service,
                                               const URL& remote, Task<URL>& call) {
    const std::size_t before = service.started().size();
    call = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(remote));
    runUntil([&] { return service.started().size() > before; });
    drainMainContext();
    return service.started().back();
  }

  std::shared_ptr<ResourceDownloaderTask> httpTask(const URL& from, const URL& to) {
    http::DownloadRequest::Destination destination = [to](const URL&, const auto&) {
      return http::DownloadRequest::DestinationResult{to, {}};
    };
    return ResourceDownloadTask::make(
        session->download(http::URLRequest(from), std::move(destination)));
  }

  /// Waits until the gated download of `name` reached the server, then lets
  /// it answer.
  void release(
      const std::string& name, const std::function<bool()>& also = [] { return true; }) {
    runUntil([&] { return hits("/gate/" + name) == 1 && also(); });
    drainMainContext();
    openGate(name);
  }

  quarn::testing::TemporaryDirectory scratch;
};

using Credential = std::optional<platform::URLCredential>;
using platform::AuthChallengeDisposition;

TEST_F(DownloaderReentrancyTest, EveryCallbackAndAction) {
  const quarn::testing::LogCapture log;
  std::vector<quarn::testing::ReentrancyRow> rows{
      // --- The awaiting caller's continuation --------------------------------
      {"completion", HostAction::release,
       "a caller that drops the downloader once it has its file: a caller that joined the "
       "download still gets it",
       [this] {
         const URL remote = url("/gate/release-completion.bin");
         std::function<void()> drop = [this] { downloader.reset(); };
         auto first = Task<URL>::spawn(mainExecutor(), downloadThen(&downloader, remote, drop));
         auto second = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(remote));
         release("release-completion.bin");
         EXPECT_EQ(runUntilComplete(first.value()), local("release-completion.bin"));
         EXPECT_EQ(runUntilComplete(second.value()), local("release-completion.bin"));
         EXPECT_FALSE(downloader);
       }},
      {"completion", HostAction::reenter,
       "a download of the same URL started from the completion gets the file from disk, "
       "without a request or an entry",
       [this] {
         const URL remote = url("/files/reenter-completion.bin");
         Task<URL> again;
         std::function<void()> reenter = [&] {
           again = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(remote));
         };
         auto first = Task<URL>::spawn(mainExecutor(), downloadThen(&downloader, remote, reenter));
         EXPECT_EQ(runUntilComplete(first.value()), local("reenter-completion.bin"));
         EXPECT_EQ(runUntilComplete(again.value()), local("reenter-completion.bin"));
         EXPECT_EQ(hits("/files/reenter-completion.bin"), 1);
         EXPECT_TRUE(downloader->taskMap().empty());
       }},
      {"completion", HostAction::raise,
       "a caller that throws after its download ends affects no other caller: the one that "
       "joined gets the file, the map empties, the next download works",
       [this] {
         const URL remote = url("/gate/raise-completion.bin");
         std::function<void()> raise = [] { throw HostError(); };
         auto first = Task<URL>::spawn(mainExecutor(), downloadThen(&downloader, remote, raise));
         auto second = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(remote));
         release("raise-completion.bin");
         EXPECT_THROW(runUntilComplete(first.value()), HostError);
         EXPECT_EQ(runUntilComplete(second.value()), local("raise-completion.bin"));
         EXPECT_TRUE(downloader->taskMap().empty());
         EXPECT_EQ(runUntilComplete(downloader->downloadFile(url("/files/after-raise.bin"))),
                   local("after-raise.bin"));
       }},

      // --- Progress observers --------------------------------------------------
      {"progress observer", HostAction::release,
       "an observer of the caller's progress that drops the downloader: the running call "
       "keeps it and returns the file",
       [this] {
         auto overall = platform::Progress::make(1);
         AnyCancellable watch = overall->fractionCompletedPublisher().sink([this](double f) {
           if (f > 0) downloader.reset();
         });
         const URL file = runUntilComplete(performAsCurrent(
             overall, downloader->downloadFile(url("/files/release-progress.bin"))));
         EXPECT_EQ(file, local("release-progress.bin"));
         EXPECT_EQ(contents(file.filePath()), "file /files/release-progress.bin");
         EXPECT_FALSE(downloader);
       }},
      {"progress observer", HostAction::reenter,
       "cancelling the caller's progress from its observer cancels the download: the call "
       "ends cancelled, the entry goes, no file is left",
       [this] {
         auto overall = platform::Progress::make(1);
         AnyCancellable watch = overall->fractionCompletedPublisher().sink([&](double f) {
           if (f > 0 && !overall->isCancelled()) overall->cancel();
         });
         auto call = Task<URL>::spawn(
             mainExecutor(),
             performAsCancellableCurrent(overall, downloader->downloadFile(url("/stalls"))));
         EXPECT_TRUE(isCancellation(errorOf([&] { runUntilComplete(call.value()); })));
         runUntil([&] { return downloader->taskMap().empty(); });
         EXPECT_FALSE(downloader->isDownloadedFile(url("/stalls")));
       }},
      {"progress observer", HostAction::raise,
       "the exception leaves the main context's run; the download goes on and the caller "
       "gets its file",
       [this] {
         auto overall = platform::Progress::make(1);
         bool thrown = false;
         AnyCancellable watch = overall->fractionCompletedPublisher().sink([&](double f) {
           if (f > 0 && !thrown) {
             thrown = true;
             throw HostError();
           }
         });
         auto call = Task<URL>::spawn(
             mainExecutor(),
             performAsCurrent(overall, downloader->downloadFile(url("/files/raise-progress.bin"))));
         const auto error = errorOf([&] { runMainContextUntil([&] { return thrown; }); });
         EXPECT_TRUE(error);
         EXPECT_EQ(runUntilComplete(call.value()), local("raise-progress.bin"));
         EXPECT_DOUBLE_EQ(overall->fractionCompleted(), 1.0);
         EXPECT_TRUE(downloader->taskMap().empty());
       }},

      // --- objectWillChange ------------------------------------------------------
      {"objectWillChange subscriber", HostAction::release,
       "a subscriber that drops the downloader: the call that announced keeps it, makes the "
       "change and returns the file",
       [this] {
         bool dropped = false;
         AnyCancellable watch = downloader->objectWillChange().sink([&](const auto&) {
           if (!dropped) {
             dropped = true;
             downloader.reset();
           }
         });
         EXPECT_EQ(runUntilComplete(downloader->downloadFile(url("/files/release-change.bin"))),
                   local("release-change.bin"));
         EXPECT_TRUE(dropped);
         EXPECT_FALSE(downloader);
       }},
      {"objectWillChange subscriber", HostAction::reenter,
       "a download of the same URL started from the announcement joins the running one: one "
       "request, both get the file",
       [this] {
         const URL remote = url("/gate/reenter-change.bin");
         std::optional<Task<URL>> joined;
         int announcements = 0;
         AnyCancellable watch = downloader->objectWillChange().sink([&](const auto&) {
           if (++announcements == 1) {
             joined = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(remote));
           }
         });
         auto first = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(remote));
         release("reenter-change.bin", [&] { return joined.has_value(); });
         EXPECT_EQ(runUntilComplete(first.value()), local("reenter-change.bin"));
         EXPECT_EQ(runUntilComplete(joined->value()), local("reenter-change.bin"));
         EXPECT_EQ(hits("/gate/reenter-change.bin"), 1);
         EXPECT_EQ(announcements, 2);
         EXPECT_TRUE(downloader->taskMap().empty());
       }},
      {"objectWillChange subscriber", HostAction::raise,
       "the change is made anyway and the download goes on; the exception reaches the caller "
       "when its download has ended, and the file is kept",
       [this] {
         const URL remote = url("/files/raise-change.bin");
         int announcements = 0;
         AnyCancellable watch = downloader->objectWillChange().sink([&](const auto&) {
           ++announcements;
           throw HostError();
         });
         EXPECT_THROW(runUntilComplete(downloader->downloadFile(remote)), HostError);
         EXPECT_EQ(announcements, 2);
         EXPECT_TRUE(downloader->taskMap().empty());
         EXPECT_TRUE(downloader->isDownloadedFile(remote));
         watch.cancel();
         EXPECT_EQ(runUntilComplete(downloader->downloadFile(remote)), local("raise-change.bin"));
         EXPECT_EQ(hits("/files/raise-change.bin"), 1);
       }},

      // --- The background service's reports ------------------------------------
      {"service finish report", HostAction::release,
       "the host drops the downloader while a report is on its way to the main context: the "
       "running call keeps it, installs the file and returns it",
       [this] {
         auto service = useService();
         Task<URL> call;
         const auto download = startBackground(*service, url("/files/release-report.pack"), call);
         service->finish(download, "delivered");
         downloader.reset();
         EXPECT_EQ(runUntilComplete(call.value()), local("release-report.pack"));
         EXPECT_EQ(contents(directory.path() / "release-report.pack"), "delivered");
         EXPECT_TRUE(scratch.files().empty());
       }},
      {"service finish report", HostAction::reenter,
       "the service reporting the same download finished again changes nothing: the caller's "
       "file stays the first one",
       [this] {
         auto service = useService();
         Task<URL> call;
         const auto download = startBackground(*service, url("/files/reenter-report.pack"), call);
         service->finish(download, "first", true);
         service->finish(download, "again", true);
         EXPECT_EQ(runUntilComplete(call.value()), local("reenter-report.pack"));
         EXPECT_EQ(contents(directory.path() / "reenter-report.pack"), "first");
         EXPECT_TRUE(scratch.files().empty());
       }},
      {"service finish report", HostAction::raise,
       "the host's file manager throwing while the file is installed fails that download "
       "with its error; the map empties and the next download works",
       [this] {
         auto service = useService();
         downloader->setFileManager(std::make_shared<ThrowingFiles>());
         Task<URL> call;
         const auto download = startBackground(*service, url("/files/raise-report.pack"), call);
         service->finish(download, "bytes");
         EXPECT_THROW(runUntilComplete(call.value()), HostError);
         EXPECT_TRUE(downloader->taskMap().empty());
         EXPECT_FALSE(downloader->isDownloadedFile(url("/files/raise-report.pack")));
         Task<URL> next;
         const auto other = startBackground(*service, url("/files/after-report.pack"), next);
         service->finish(other, "next");
         EXPECT_EQ(runUntilComplete(next.value()), local("after-report.pack"));
       }},

      // --- The challenge completion ----------------------------------------------
      {"challenge completion", HostAction::release,
       "a completion that drops the downloader: didReceive returns normally",
       [this] {
         int answers = 0;
         ResourceDownloader* const raw = downloader.get();
         raw->didReceive({}, {"cdn.example.com", "basic"},
                         [&](AuthChallengeDisposition, const Credential&) {
                           ++answers;
                           downloader.reset();
                         });
         EXPECT_EQ(answers, 1);
         EXPECT_FALSE(downloader);
       }},
      {"challenge completion", HostAction::reenter,
       "a challenge raised again from the completion is answered again, the same way",
       [this] {
         std::vector<AuthChallengeDisposition> answers;
         std::function<void(AuthChallengeDisposition, Credential)> completion =
             [&](AuthChallengeDisposition d, const Credential& credential) {
               answers.push_back(d);
               EXPECT_FALSE(credential);
               if (answers.size() == 1) downloader->didReceive({}, {"h", "basic"}, completion);
             };
         downloader->didReceive({}, {"h", "basic"}, completion);
         EXPECT_EQ(answers, (std::vector<AuthChallengeDisposition>(
                                2, AuthChallengeDisposition::performDefaultHandling)));
       }},
      {"challenge completion", HostAction::raise,
       "the exception reaches the service that called didReceive; later challenges are "
       "answered",
       [this] {
         int answers = 0;
         EXPECT_THROW(downloader->didReceive(
                          {}, {"h", "basic"},
                          [](AuthChallengeDisposition, const Credential&) { throw HostError(); }),
                      HostError);
         downloader->didReceive({}, {"h", "basic"},
                                [&](AuthChallengeDisposition, const Credential&) { ++answers; });
         EXPECT_EQ(answers, 1);
       }},

      // --- Task builders -------------------------------------------------------------
      {"task builder", HostAction::release,
       "a builder that drops the downloader: the call keeps it and returns the built "
       "download's file",
       [this] {
         ResourceDownloader::TaskBuilder builder =
             [this](const URL& from,
                    const URL& to) -> Async<std::shared_ptr<ResourceDownloaderTask>> {
           downloader.reset();
           co_return httpTask(from, to);
         };
         const URL file = runUntilComplete(downloader->downloadFile(
             url("/files/release-builder.bin"), std::nullopt, std::nullopt, builder));
         EXPECT_EQ(file, local("release-builder.bin"));
         EXPECT_EQ(contents(file.filePath()), "file /files/release-builder.bin");
         EXPECT_FALSE(downloader);
       }},
      {"task builder", HostAction::reenter,
       "a builder that starts the same download through the downloader and hands its task "
       "back: the call awaits it, with one entry and one request",
       [this] {
         const URL remote = url("/gate/reenter-builder.bin");
         Task<URL> inner;
         std::size_t largestMap = 0;
         AnyCancellable watch = downloader->objectWillChange().sink(
             [&](const auto&) { largestMap = std::max(largestMap, downloader->taskMap().size()); });
         ResourceDownloader::TaskBuilder builder =
             [&](const URL& from, const URL&) -> Async<std::shared_ptr<ResourceDownloaderTask>> {
           inner = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(from));
           while (!downloader->downloadTask(from)) co_await runOn(concurrentExecutor(), nothing());
           co_return downloader->downloadTask(from);
         };
         auto call = Task<URL>::spawn(
             mainExecutor(), downloader->downloadFile(remote, std::nullopt, std::nullopt, builder));
         release("reenter-builder.bin");
         EXPECT_EQ(runUntilComplete(call.value()), local("reenter-builder.bin"));
         EXPECT_EQ(runUntilComplete(inner.value()), local("reenter-builder.bin"));
         EXPECT_EQ(hits("/gate/reenter-builder.bin"), 1);
         EXPECT_LE(largestMap, 1u);
         EXPECT_TRUE(downloader->taskMap().empty());
       }},
      {"task builder", HostAction::raise,
       "the caller gets the builder's exception; nothing enters the map and the next download "
       "of that URL works",
       [this] {
         const URL remote = url("/files/raise-builder.bin");
         ResourceDownloader::TaskBuilder builder =
             [](const URL&, const URL&) -> Async<std::shared_ptr<ResourceDownloaderTask>> {
           throw HostError();
           co_return nullptr;
         };
         int announcements = 0;
         AnyCancellable watch =
             downloader->objectWillChange().sink([&](const auto&) { ++announcements; });
         EXPECT_THROW(runUntilComplete(
                          downloader->downloadFile(remote, std::nullopt, std::nullopt, builder)),
                      HostError);
         EXPECT_EQ(announcements, 0);
         EXPECT_FALSE(downloader->isDownloadedFile(remote));
         EXPECT_EQ(runUntilComplete(downloader->downloadFile(remote)), local("raise-builder.bin"));
         EXPECT_EQ(announcements, 2);
       }},
  };
  // Each row may drop the downloader: the next gets one of its own.
  for (auto& row : rows) {
    row.run = [this, run = std::move(row.run)] {
      run();
      renew();
    };
  }
  quarn::testing::runReentrancyTable(rows);
  EXPECT_EQ(log.count("leaked its continuation"), 0u);
}

}  // namespace
}  // namespace quarn
