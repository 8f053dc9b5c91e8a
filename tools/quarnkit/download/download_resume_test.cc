// quarnkit download interrupted and run again against a loopback server that
// honours Range and counts the body bytes it sends; local paths printed as
// one printable line; --clear of what is not a directory; the
// progress figures once a download has failed.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <fstream>
#include <mutex>

#include "quarnkit/testing/loopback_server.h"
#include "tools/quarnkit/common/input_error.h"
#include "tools/quarnkit/common/tool_test_support.h"
#include "tools/quarnkit/download/download.h"

namespace quarn::tool {
namespace {

using quarn::testing::LoopbackServer;
using quarn::tool::testing::contentsOf;
using quarn::tool::testing::ScratchDirectory;

constexpr std::size_t kSize = 512 * 1024;

std::string body() {
  std::string out(kSize, '\0');
  for (std::size_t i = 0; i < kSize; ++i) out[i] = static_cast<char>(i * 7 + 3);
  return out;
}

class DownloadResumeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // "/movie.bin": its first response stops half-way until the server stops.
    server.routes().Get("/movie.bin", [this](const httplib::Request& req, httplib::Response& res) {
      {
        const std::lock_guard lock(mutex);
        ranges.push_back(req.get_header_value("Range"));
      }
      res.set_header("ETag", "\"m1\"");
      res.status = req.has_header("Range") ? 206 : 200;
      const bool stall = std::exchange(firstResponse, false);
      res.set_content_provider(
          kSize, "application/octet-stream",
          [this, stall](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            if (stall && offset >= kSize / 2) {
              halfSent = true;
              server.holdUntilStopped();
              return false;
            }
            const std::size_t n = std::min<std::size_t>(length, 32 * 1024);
            sink.write(content.data() + offset, n);
            const std::lock_guard lock(mutex);
            bytesSent += n;
            return true;
          });
    });
    server.routes().Get(R"(/odd/[\s\S]+)", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("odd", "application/octet-stream");
    });
    server.routes().Get("/gone.bin",
                        [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
    server.start();
  }

  DownloadOptions options(const std::vector<std::string>& paths) {
    DownloadOptions o;
    for (const auto& p : paths) o.urls.push_back(server.url(p));
    o.to = directory.path().string();
    o.quiet = true;
    return o;
  }

  const std::string content = body();
  LoopbackServer server{8};
  ScratchDirectory directory;
  std::mutex mutex;
  std::vector<std::string> ranges;
  std::size_t bytesSent = 0;
  bool firstResponse = true;
  std::atomic<bool> halfSent = false;
};

TEST_F(DownloadResumeTest, ARunAfterCtrlCContinuesTheInterruptedFile) {
  const auto previous = std::signal(SIGINT, SIG_IGN);
  DownloadListener listener;
  listener.interval = 0.01;
  bool raised = false;
  listener.progress = [&](const TransferFigures& f) {
    if (halfSent && f.bytesDone >= static_cast<std::int64_t>(kSize / 2) && !raised) {
      raised = std::raise(SIGINT) == 0;
    }
  };
  EXPECT_THROW(downloadAll(options({"/movie.bin"}), listener), InputError);
  std::signal(SIGINT, previous);
  EXPECT_FALSE(std::filesystem::exists(directory.path() / "movie.bin"));

  std::vector<TransferFigures> figures;
  listener.progress = [&](const TransferFigures& f) { figures.push_back(f); };
  const auto outcomes = downloadAll(options({"/movie.bin"}), listener);
  ASSERT_TRUE(outcomes.at(0).path) << outcomes[0].error;
  EXPECT_TRUE(contentsOf(*outcomes[0].path) == content);
  const std::lock_guard lock(mutex);
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges[1], "bytes=" + std::to_string(kSize / 2) + "-");
  EXPECT_EQ(bytesSent, kSize);
  ASSERT_FALSE(figures.empty());
  EXPECT_EQ(figures.back().bytesDone, static_cast<std::int64_t>(kSize));
  EXPECT_EQ(figures.back().bytesTotal, static_cast<std::int64_t>(kSize));
}

TEST_F(DownloadResumeTest, PrintedPathsStayOnePrintableLine) {
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  const int status = runDownload(options({"/odd/a%0Ab%1B%5B2J.bin"}));
  const std::string err = ::testing::internal::GetCapturedStderr();
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(status, 0) << err;
  EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
  EXPECT_EQ(out.find('\x1b'), std::string::npos) << out;
  EXPECT_EQ(out.rfind(directory.path().string() + "/a", 0), 0u) << out;
}

// --clear removes a directory; whatever else --to names is left as it was.
TEST_F(DownloadResumeTest, ClearingWhatIsNotADirectoryFails) {
  const std::string file = directory.write("notes.txt", "mine");
  const std::filesystem::path dangling = directory.path() / "dangling";
  std::filesystem::create_symlink(directory.path() / "gone", dangling);
  const std::pair<std::string, std::string> cases[] = {
      {(directory.path() / "never-made").string(), "does not exist; nothing removed"},
      {file, "not a directory; nothing removed"},
      {dangling.string(), "not a directory; nothing removed"},
  };
  for (const auto& [to, reason] : cases) {
    try {
      const std::string said = clearDownloadCache(to);
      ADD_FAILURE() << said;
    } catch (const InputError& e) {
      EXPECT_EQ(e.reason(), reason) << to;
    }
  }
  EXPECT_TRUE(std::filesystem::exists(file));
  EXPECT_TRUE(std::filesystem::is_symlink(dangling));
}

TEST_F(DownloadResumeTest, AfterAFailureTheFiguresTellNoTotal) {
  std::vector<TransferFigures> figures;
  DownloadListener listener;
  listener.progress = [&](const TransferFigures& f) { figures.push_back(f); };
  const auto outcomes = downloadAll(options({"/gone.bin"}), listener);
  EXPECT_FALSE(outcomes.at(0).path);
  ASSERT_FALSE(figures.empty());
  EXPECT_FALSE(figures.back().bytesTotal);
  EXPECT_EQ(progressLine(figures.back()).find("left"), std::string::npos)
      << progressLine(figures.back());
}

}  // namespace
}  // namespace quarn::tool
