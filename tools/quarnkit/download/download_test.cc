// quarnkit download against a loopback server: a first run fetches, a second
// finds the files and makes no request; a failing URL is named while the
// others go on; --jobs bounds the downloads at once; --name, the progress
// figures, and the cache's usage and clearing.
#include "tools/quarnkit/download/download.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "quarnkit/testing/loopback_server.h"
#include "tools/quarnkit/common/input_error.h"
#include "tools/quarnkit/common/output.h"
#include "tools/quarnkit/common/tool_test_support.h"

namespace quarn::tool {
namespace {

using quarn::testing::LoopbackServer;
using quarn::tool::testing::contentsOf;
using quarn::tool::testing::ScratchDirectory;

// Partial downloads left in `directory` (hidden, beside the files).
std::size_t partialFiles(const std::filesystem::path& directory) {
  std::size_t count = 0;
  for (const auto& e : std::filesystem::directory_iterator(directory)) {
    count += e.path().filename().string().starts_with(".quarnkit-partial-") ? 1 : 0;
  }
  return count;
}

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& r = server.routes();
    r.Get(R"(/files/(\w+)\.bin)", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content(std::string(1000, req.matches[1].str()[0]), "application/octet-stream");
    });
    r.Get("/slow/(\\d+)", [this](const httplib::Request& req, httplib::Response& res) {
      server.hold(std::chrono::milliseconds(30));
      res.set_content(req.matches[1].str(), "application/octet-stream");
    });
    r.Get("/missing.bin", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("no such file", "text/plain");
    });
    // Sends a tenth of its body, then nothing until the server stops.
    r.Get("/stalls", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(1000, "application/octet-stream",
                               [this](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                 if (offset > 0) {
                                   server.holdUntilStopped();
                                   return false;
                                 }
                                 sink.write(std::string(100, 's').data(), 100);
                                 partSent = true;
                                 return true;
                               });
    });
    server.start();
    // Downloads are written to temporary files here until they are complete.
    if (const char* set = std::getenv("TMPDIR")) savedTemporary = set;
    ::setenv("TMPDIR", temporary.path().c_str(), 1);
  }

  void TearDown() override {
    savedTemporary ? ::setenv("TMPDIR", savedTemporary->c_str(), 1) : ::unsetenv("TMPDIR");
  }

  DownloadOptions options(const std::vector<std::string>& paths) {
    DownloadOptions o;
    for (const auto& p : paths) o.urls.push_back(server.url(p));
    o.to = directory.path().string();
    o.quiet = true;
    return o;
  }

  LoopbackServer server{8};
  ScratchDirectory directory;
  ScratchDirectory temporary;
  std::optional<std::string> savedTemporary;
  std::atomic<bool> partSent = false;
};

TEST_F(DownloadTest, AFirstRunDownloadsAndASecondFindsTheFilesWithoutARequest) {
  const auto first = downloadAll(options({"/files/a.bin", "/files/b.bin"}));
  ASSERT_EQ(first.size(), 2u);
  for (const auto& outcome : first) {
    ASSERT_TRUE(outcome.path) << outcome.error;
    EXPECT_FALSE(outcome.alreadyThere);
    EXPECT_EQ(outcome.path->parent_path(), directory.path());
  }
  EXPECT_EQ(contentsOf(directory.path() / "a.bin"), std::string(1000, 'a'));
  EXPECT_EQ(contentsOf(directory.path() / "b.bin"), std::string(1000, 'b'));
  EXPECT_EQ(server.requestCount(), 2u);

  const auto second = downloadAll(options({"/files/a.bin", "/files/b.bin"}));
  ASSERT_EQ(second.size(), 2u);
  EXPECT_TRUE(second[0].alreadyThere && second[1].alreadyThere);
  EXPECT_EQ(server.requestCount(), 2u);
}

TEST_F(DownloadTest, AFailingURLIsNamedTheOthersGoOnAndTheRunFails) {
  const DownloadOptions o = options({"/missing.bin", "/files/c.bin"});
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  const int status = runDownload(o);
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out, (directory.path() / "c.bin").string() + "\n");
  EXPECT_EQ(err.rfind("quarnkit: " + server.url("/missing.bin") + ": ", 0), 0u) << err;
  EXPECT_NE(err.find("404"), std::string::npos) << err;
  EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line";
  EXPECT_FALSE(std::filesystem::exists(directory.path() / "missing.bin"));
}

TEST_F(DownloadTest, JobsBoundTheDownloadsAtOnceAndProgressEndsAtTheTotal) {
  DownloadOptions o = options({"/slow/1", "/slow/22", "/slow/333", "/slow/4444", "/slow/55555"});
  o.jobs = 2;
  std::vector<TransferFigures> figures;
  DownloadListener listener;
  listener.progress = [&](const TransferFigures& f) { figures.push_back(f); };
  std::vector<std::string> ended;
  listener.finished = [&](const DownloadOutcome& outcome) { ended.push_back(outcome.url); };
  const auto outcomes = downloadAll(o, listener);
  EXPECT_EQ(ended.size(), 5u);
  for (const auto& outcome : outcomes) EXPECT_TRUE(outcome.path) << outcome.error;
  EXPECT_LE(server.maxConcurrentRequests(), 2u);
  ASSERT_FALSE(figures.empty());
  EXPECT_EQ(figures.back().bytesDone, 15);
  EXPECT_EQ(figures.back().bytesTotal, 15);
}

TEST_F(DownloadTest, URLsOfOneRunThatShareALocalFileFailAfterTheFirstOne) {
  // A query string does not reach the file name: both would be a.bin, and
  // the second would get the first one's file (or replace it) as a success.
  DownloadOptions o = options({"/files/a.bin", "/files/a.bin?v=2", "/files/a.bin"});
  o.jobs = 1;
  const auto outcomes = downloadAll(o);
  ASSERT_EQ(outcomes.size(), 3u);
  EXPECT_EQ(outcomes[0].path, directory.path() / "a.bin") << outcomes[0].error;
  EXPECT_FALSE(outcomes[1].path);
  EXPECT_EQ(outcomes[1].error, server.url("/files/a.bin?v=2") + ": the local file " +
                                   (directory.path() / "a.bin").string() + " is also that of " +
                                   server.url("/files/a.bin"));
  EXPECT_EQ(outcomes[2].path, directory.path() / "a.bin") << "the same URL again is no clash";
  EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(DownloadTest, AFailingListenerStopsTheRunAndLeavesNoPartialDownloadBehind) {
  // Standard output full: the run ends with that error, starts nothing more,
  // and the download under way is cancelled rather than left to the exit.
  server.routes().Get("/after-the-part", [&](const httplib::Request&, httplib::Response& res) {
    while (!partSent) server.hold(std::chrono::milliseconds(5));
    server.hold(std::chrono::milliseconds(50));
    res.set_content("x", "text/plain");
  });
  DownloadOptions o = options({"/after-the-part", "/stalls", "/files/e.bin"});
  o.jobs = 2;
  DownloadListener listener;
  listener.finished = [](const DownloadOutcome&) { throw OutputError("standard output", ENOSPC); };
  listener.progress = [](const TransferFigures&) {};
  EXPECT_THROW(downloadAll(o, listener), OutputError);
  // The stalled body came without a validator: nothing to continue.
  EXPECT_EQ(partialFiles(directory.path()), 0u) << "a partial download is left";
  EXPECT_FALSE(std::filesystem::exists(directory.path() / "e.bin"));
}

TEST_F(DownloadTest, AnInterruptedRunCancelsItsDownloadsAndSaysSo) {
  // Without the run's own handling the signal would be ignored here, and the
  // run would wait for the stalled body.
  const auto previous = std::signal(SIGINT, SIG_IGN);
  DownloadListener listener;
  listener.interval = 0.01;
  bool raised = false;
  listener.progress = [&](const TransferFigures&) {
    if (partSent && !raised) raised = std::raise(SIGINT) == 0;
  };
  try {
    downloadAll(options({"/stalls"}), listener);
    ADD_FAILURE() << "the run ended as if nothing happened";
  } catch (const InputError& e) {
    EXPECT_STREQ(e.what(), "download: interrupted");
  }
  std::signal(SIGINT, previous);
  EXPECT_EQ(partialFiles(directory.path()), 0u) << "a partial download is left";
}

TEST_F(DownloadTest, ClearRefusesTheDirectoryThatHoldsTheCurrentOne) {
  // "--to ." downloads here; clearing it would remove the user's own files
  // and the directory they work in.
  const std::string kept = directory.write("work/notes.txt", "mine");
  const auto working = std::filesystem::current_path();
  std::filesystem::current_path(directory.path() / "work");
  for (const std::string& to :
       std::vector<std::string>{".", "..", (directory.path() / "work").string() + "/"}) {
    try {
      clearDownloadCache(to);
      ADD_FAILURE() << "removed " << to;
    } catch (const InputError& e) {
      EXPECT_EQ(e.reason(), "holds the current directory; not removed") << to;
    }
  }
  std::filesystem::current_path(working);
  EXPECT_TRUE(std::filesystem::exists(kept));
}

TEST_F(DownloadTest, NameGivesTheLocalFileAndUsageAndClearSeeTheDirectory) {
  DownloadOptions o = options({"/files/d.bin"});
  o.name = "renamed.dat";
  const auto outcomes = downloadAll(o);
  ASSERT_TRUE(outcomes.at(0).path) << outcomes.at(0).error;
  EXPECT_EQ(*outcomes[0].path, directory.path() / "renamed.dat");

  const std::string dir = directory.path().string();
  EXPECT_EQ(downloadCacheUsage(dir), "1000 B (1000 bytes) in " + dir + "\n");
  EXPECT_EQ(clearDownloadCache(dir), "removed " + dir + "\n");
  EXPECT_FALSE(std::filesystem::exists(directory.path()));
  EXPECT_EQ(downloadCacheUsage(dir), "0 B (0 bytes) in " + dir + "\n");

  o.name = "../escape.dat";  // never outside the directory
  const auto refused = downloadAll(o);
  EXPECT_FALSE(refused.at(0).path);
  EXPECT_FALSE(std::filesystem::exists(directory.path().parent_path() / "escape.dat"));
}

}  // namespace
}  // namespace quarn::tool
