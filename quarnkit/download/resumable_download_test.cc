// Downloads staged beside their destination and continued after an
// interruption, against a loopback server that counts the body bytes it
// sends: Range with If-Range honoured or ignored, a validator that changes,
// a connection closed part-way, a redirect before the body, a length that
// does not match the body, a full destination.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "quarnkit/download/resource_downloader.h"
#include "quarnkit/download/resource_downloader_error.h"
#include "quarnkit/download/testing/downloader_fixture.h"
#include "quarnkit/http/request_error.h"
#include "quarnkit/platform/detail/file_calls.h"
#include "quarnkit/platform/progress.h"
#include "quarnkit/platform/runtime/task.h"
#include "quarnkit/testing/support.h"

namespace quarn {
namespace {

using quarn::testing::DownloaderTest;
using quarn::testing::errorOfType;
using quarn::testing::runUntil;
namespace fs = std::filesystem;

constexpr std::size_t kSize = 256 * 1024;

std::string bodyOf(int version) {
  std::string body(kSize, '\0');
  for (std::size_t i = 0; i < kSize; ++i) body[i] = static_cast<char>((i * 31 + version) & 0xFF);
  return body;
}

class ResumableDownloadTest : public DownloaderTest {
 protected:
  void SetUp() override {
    auto& r = server.routes();
    // "/media/NAME": bodyOf(version), answering Range as the switches say.
    r.Get(R"(/media/.+)", [this](const httplib::Request& req, httplib::Response& res) {
      const std::lock_guard lock(mutex);
      ranges.push_back(req.get_header_value("Range"));
      ifRanges.push_back(req.get_header_value("If-Range"));
      if (validator == Validator::etag) res.set_header("ETag", etag());
      if (validator == Validator::lastModified) {
        res.set_header("Last-Modified",
                       "Tue, 0" + std::to_string(version) + " Dec 2026 00:00:00 GMT");
      }
      const bool sameVersion =
          !req.has_header("If-Range") || req.get_header_value("If-Range") == etag() ||
          req.get_header_value("If-Range").find(" 0" + std::to_string(version) + " ") !=
              std::string::npos;
      res.status = honourRange && req.has_header("Range") && sameVersion ? 206 : 200;
      // The server library answers Range by itself: a server ignoring it
      // must not see it.
      if (res.status == 200) const_cast<httplib::Request&>(req).ranges.clear();
      const std::string body = bodyOf(version);
      const std::size_t cut = std::exchange(cutAfter, 0);
      const std::size_t stall = std::exchange(stallAfter, 0);
      res.set_content_provider(
          kSize, "application/octet-stream",
          [this, body, cut, stall, sent = std::size_t{0}](std::size_t offset, std::size_t length,
                                                          httplib::DataSink& sink) mutable {
            std::size_t n = std::min<std::size_t>(length, 16 * 1024);
            if (cut != 0) {
              if (sent >= cut) return false;  // closes the connection
              n = std::min(n, cut - sent);
            }
            if (stall != 0 && sent >= stall) {
              server.holdUntilStopped();
              return false;
            }
            sink.write(body.data() + offset, n);
            sent += n;
            const std::lock_guard counted(mutex);
            bytesSent += n;
            return true;
          });
    });
    r.Get(R"(/moved/(.+))", [](const httplib::Request& req, httplib::Response& res) {
      res.set_redirect("/media/" + req.matches[1].str(), 302);
    });
    // Says the 100 bytes sent are the start of 1000.
    r.Get("/lying-range", [](const httplib::Request&, httplib::Response& res) {
      res.status = 206;
      res.set_header("Content-Range", "bytes 0-99/1000");
      res.set_content(std::string(100, 'l'), "application/octet-stream");
    });
    DownloaderTest::SetUp();
  }

  std::string etag() const { return "\"v" + std::to_string(version) + "\""; }

  std::vector<std::string> partialFiles() const {
    std::vector<std::string> out;
    for (const auto& name : directory.files()) {
      if (name.starts_with(".quarnkit-partial-")) out.push_back(name);
    }
    return out;
  }

  /// Downloads `path` with the connection closed after `cut` body bytes;
  /// expects the failure.
  void interrupt(const std::string& path, std::size_t cut) {
    {
      const std::lock_guard lock(mutex);
      cutAfter = cut;
    }
    EXPECT_TRUE(errorOfType<http::RequestError>(
        [&] { runUntilComplete(downloader->downloadFile(url(path))); }));
    EXPECT_FALSE(downloader->isDownloadedFile(url(path)));
  }

  std::size_t sent() {
    const std::lock_guard lock(mutex);
    return bytesSent;
  }

  enum class Validator { etag, lastModified, none };
  std::mutex mutex;
  int version = 1;
  Validator validator = Validator::etag;
  bool honourRange = true;
  std::size_t cutAfter = 0;    // the next response closes after so many bytes
  std::size_t stallAfter = 0;  // the next response stops after so many bytes
  std::size_t bytesSent = 0;
  std::vector<std::string> ranges;
  std::vector<std::string> ifRanges;
};

TEST_F(ResumableDownloadTest, ACutDownloadContinuesWhereItStopped) {
  interrupt("/media/a.bin", 100000);
  EXPECT_EQ(partialFiles().size(), 2u);  // the bytes and their validator

  // Through a redirect before the body, as well.
  std::shared_ptr<platform::Progress> progress;
  auto call = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(url("/media/a.bin")));
  runUntil([&] {
    auto task = downloader->downloadTask(url("/media/a.bin"));
    if (task) progress = task->progress();
    return progress != nullptr;
  });
  EXPECT_EQ(runUntilComplete(call.value()), local("a.bin"));
  EXPECT_TRUE(contents(local("a.bin").filePath()) == bodyOf(1));
  {
    const std::lock_guard lock(mutex);
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[1], "bytes=100000-");
    EXPECT_EQ(ifRanges[1], "\"v1\"");
  }
  EXPECT_EQ(sent(), kSize);
  // The bytes kept count as done: the progress covers the whole file.
  EXPECT_EQ(progress->totalUnitCount(), static_cast<std::int64_t>(kSize));
  EXPECT_EQ(progress->completedUnitCount(), static_cast<std::int64_t>(kSize));
  EXPECT_TRUE(partialFiles().empty());
}

TEST_F(ResumableDownloadTest, ARedirectBeforeTheBodyKeepsTheRange) {
  validator = Validator::lastModified;
  interrupt("/moved/b.bin", 50000);
  EXPECT_EQ(runUntilComplete(downloader->downloadFile(url("/moved/b.bin"))), local("b.bin"));
  EXPECT_TRUE(contents(local("b.bin").filePath()) == bodyOf(1));
  EXPECT_EQ(sent(), kSize);
  const std::lock_guard lock(mutex);
  EXPECT_EQ(ranges.back(), "bytes=50000-");
  EXPECT_EQ(ifRanges.back(), "Tue, 01 Dec 2026 00:00:00 GMT");
}

TEST_F(ResumableDownloadTest, AWholeBodyOrAChangedValidatorStartsOver) {
  // A server ignoring Range sends everything again: it replaces the bytes kept.
  honourRange = false;
  interrupt("/media/c.bin", 70000);
  EXPECT_EQ(runUntilComplete(downloader->downloadFile(url("/media/c.bin"))), local("c.bin"));
  EXPECT_TRUE(contents(local("c.bin").filePath()) == bodyOf(1));
  EXPECT_EQ(sent(), 70000 + kSize);

  // The file changed on the server: If-Range gets the new one whole.
  honourRange = true;
  interrupt("/media/d.bin", 70000);
  version = 2;
  EXPECT_EQ(runUntilComplete(downloader->downloadFile(url("/media/d.bin"))), local("d.bin"));
  EXPECT_TRUE(contents(local("d.bin").filePath()) == bodyOf(2));
  const std::lock_guard lock(mutex);
  EXPECT_EQ(ifRanges.back(), "\"v1\"");
}

TEST_F(ResumableDownloadTest, BytesWithoutAValidatorAreNotKept) {
  validator = Validator::none;
  interrupt("/media/e.bin", 70000);
  drainMainContext();
  EXPECT_TRUE(directory.files().empty());
  EXPECT_EQ(runUntilComplete(downloader->downloadFile(url("/media/e.bin"))), local("e.bin"));
  EXPECT_TRUE(contents(local("e.bin").filePath()) == bodyOf(1));
  const std::lock_guard lock(mutex);
  EXPECT_EQ(ranges.back(), "");
}

TEST_F(ResumableDownloadTest, ACancelledDownloadKeepsItsBytesForTheNextCall) {
  {
    const std::lock_guard lock(mutex);
    stallAfter = 60000;
  }
  auto call = Task<URL>::spawn(mainExecutor(), downloader->downloadFile(url("/media/f.bin")));
  runUntil([&] {
    auto task = downloader->downloadTask(url("/media/f.bin"));
    return task && task->progress()->completedUnitCount() > 0;
  });
  call.cancel();
  runUntil([&] { return downloader->taskMap().empty(); });
  drainMainContext();
  EXPECT_FALSE(downloader->isDownloadedFile(url("/media/f.bin")));
  EXPECT_EQ(runUntilComplete(downloader->downloadFile(url("/media/f.bin"))), local("f.bin"));
  EXPECT_TRUE(contents(local("f.bin").filePath()) == bodyOf(1));
  const std::lock_guard lock(mutex);
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_TRUE(ranges[1].starts_with("bytes=")) << ranges[1];
}

TEST_F(ResumableDownloadTest, ABodyShorterThanItsStatedLengthIsNotPlaced) {
  auto error = errorOfType<http::RequestError>(
      [&] { runUntilComplete(downloader->downloadFile(url("/lying-range"))); });
  ASSERT_TRUE(error);
  EXPECT_NE(error->description().find("the body was cut short"), std::string::npos)
      << error->description();
  EXPECT_FALSE(downloader->isDownloadedFile(url("/lying-range")));
}

TEST_F(ResumableDownloadTest, TheBodyIsStagedBesideTheDestinationWithTheUmasksMode) {
  // A temporary directory that cannot be used does not matter.
  http::SessionConfiguration configuration = http::SessionConfiguration::standard();
  configuration.temporaryDirectory = directory.path() / "no-such-directory";
  auto staged = ResourceDownloader::make(std::make_shared<http::Session>(configuration),
                                         URL::fileURL(directory.path()));
  const mode_t previous = ::umask(022);
  const URL file = runUntilComplete(staged->downloadFile(url("/media/g.bin")));
  ::umask(previous);
  EXPECT_TRUE(contents(file.filePath()) == bodyOf(1));
  EXPECT_EQ(fs::status(file.filePath()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);

  // A full destination says so, and places nothing.
  platform::detail::FileCallFailure full(platform::detail::FileCall::write, 1, ENOSPC);
  auto error = errorOfType<http::RequestError>(
      [&] { runUntilComplete(staged->downloadFile(url("/media/h.bin"))); });
  ASSERT_TRUE(error);
  EXPECT_TRUE(full.fired());
  EXPECT_NE(error->description().find("No space left on device"), std::string::npos)
      << error->description();
  EXPECT_FALSE(staged->isDownloadedFile(url("/media/h.bin")));
}

TEST_F(ResumableDownloadTest, NoLocalNameTakesThePartialFilesPrefix) {
  EXPECT_THROW((void)downloader->urlForDownloadedFile(url("/media/x"), ".quarnkit-partial-1"),
               ResourceDownloaderError);
}

}  // namespace
}  // namespace quarn
