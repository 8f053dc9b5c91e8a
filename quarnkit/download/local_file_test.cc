// What counts as a downloaded file and which names are refused before any
// request; the caller's progress completing for calls that start no download
// of their own; a size probe the server refuses starting no service download.
#include <gtest/gtest.h>

#include "quarnkit/concurrency/progress_operations.h"
#include "quarnkit/download/resource_downloader.h"
#include "quarnkit/download/testing/downloader_fixture.h"
#include "quarnkit/download/testing/test_background_download_service.h"
#include "quarnkit/http/request_error.h"
#include "quarnkit/platform/progress.h"
#include "quarnkit/platform/runtime/task.h"
#include "quarnkit/testing/support.h"

namespace quarn {
namespace {

using quarn::testing::errorOfType;
using quarn::testing::runUntil;
namespace fs = std::filesystem;

using LocalFileTest = quarn::testing::DownloaderTest;

TEST_F(LocalFileTest, ADirectoryOrADanglingLinkAtTheLocalPathIsReplacedByTheDownload) {
  fs::create_directory(directory.path() / "dir.bin");
  fs::create_symlink(directory.path() / "nowhere", directory.path() / "link.bin");
  for (const std::string name : {"dir.bin", "link.bin"}) {
    EXPECT_FALSE(downloader->isDownloadedFile(url("/files/" + name))) << name;
    EXPECT_EQ(runUntilComplete(downloader->downloadFile(url("/files/" + name))), local(name));
    EXPECT_EQ(hits("/files/" + name), 1) << name;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(directory.path() / name))) << name;
    EXPECT_EQ(contents(directory.path() / name), "file /files/" + name);
  }
  // A link to a file is that file.
  fs::create_symlink(directory.path() / "dir.bin", directory.path() / "alias.bin");
  EXPECT_EQ(runUntilComplete(downloader->downloadFile(url("/files/alias.bin"))),
            local("alias.bin"));
  EXPECT_EQ(hits("/files/alias.bin"), 0);
}

TEST_F(LocalFileTest, NamesTheFileSystemCannotTakeAreRefusedBeforeAnyRequest) {
  const std::string longest(255, 'n');
  EXPECT_EQ(downloader->urlForDownloadedFile(url("/files/x"), longest), local(longest));
  auto tooLong = errorOfType<ResourceDownloaderError>(
      [&] { runUntilComplete(downloader->downloadFile(url("/files/x"), std::string(256, 'n'))); });
  ASSERT_TRUE(tooLong);
  EXPECT_EQ(tooLong->kind(), ResourceDownloaderError::Kind::invalidFileName);

  auto nul = errorOfType<ResourceDownloaderError>([&] {
    runUntilComplete(
        downloader->downloadFile(url("/files/y"), std::nullopt, std::string("posters\0x", 9)));
  });
  ASSERT_TRUE(nul);
  EXPECT_EQ(nul->kind(), ResourceDownloaderError::Kind::invalidFileName);
  EXPECT_EQ(hits("/files/x"), 0);
  EXPECT_EQ(hits("/files/y"), 0);
  EXPECT_TRUE(directory.files().empty());
}

TEST_F(LocalFileTest, TheCallersProgressCompletesForFilesOnDiskAndURLsListedTwice) {
  runUntilComplete(downloader->downloadFile(url("/files/kept.bin")));
  auto overall = platform::Progress::make(3);
  auto all = runUntilComplete(performAsCurrent(
      overall, downloader->downloadFiles(
                   {url("/files/kept.bin"), url("/files/twice.bin"), url("/files/twice.bin")})));
  EXPECT_EQ(all.size(), 3u);
  EXPECT_EQ(hits("/files/twice.bin"), 1);
  EXPECT_DOUBLE_EQ(overall->fractionCompleted(), 1.0);
}

TEST_F(LocalFileTest, ASizeProbeAnsweredWithAnErrorStartsNoServiceDownload) {
  quarn::testing::TemporaryDirectory scratch;
  auto service = std::make_shared<quarn::testing::TestBackgroundDownloadService>(scratch.path());
  downloader->setBackgroundDownloadService(service);
  downloader->setUseBackgroundAssets(true);
  downloader->setApplicationGroupIdentifier("group.example");
  auto call = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(url("/missing")));
  runUntil([&] { return call.isFinished() || !service->started().empty(); });
  ASSERT_TRUE(service->started().empty());
  auto error = errorOfType<http::RequestError>([&] { runUntilComplete(call.value()); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->kind(), http::RequestError::Kind::responseValidationFailed);
  EXPECT_TRUE(downloader->taskMap().empty());
}

}  // namespace
}  // namespace quarn
