// Downloads against the loopback server: the destination is chosen once the
// response is in, its options apply, and a failed, refused or cancelled
// download leaves nothing at the destination and no temporary file behind.
#include "quarnkit/http/download_request.h"

#include <gtest/gtest.h>

#include <fstream>

#include "quarnkit/http/session.h"
#include "quarnkit/http/testing/http_fixtures.h"
#include "quarnkit/platform/runtime/task.h"
#include "quarnkit/testing/loopback_server.h"

namespace quarn::http {
namespace {

using quarn::testing::LoopbackServer;
using quarn::testing::Received;
using quarn::testing::runUntil;
using quarn::testing::TemporaryDirectory;
using DownloadReceived = Received<DownloadResponse<URL>>;
namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class DownloadRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& r = server.routes();
    r.Get("/file.bin", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(5000, 'f'), "application/octet-stream");
    });
    r.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("not here", "text/plain");
    });
    r.Get("/partial", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(100000, "application/octet-stream",
                               [this](size_t offset, size_t, httplib::DataSink& sink) {
                                 if (offset > 0) {
                                   server.holdUntilStopped();
                                   return false;
                                 }
                                 sink.write(std::string(1000, 'p').data(), 1000);
                                 return true;
                               });
    });
    server.start();
    configuration.temporaryDirectory = temporary.path();
  }

  /// A destination under `destinations` with the given options.
  DownloadRequest::Destination to(const std::string& name, DownloadRequest::Options options = {}) {
    return [path = destinations.path() / name, options](const URL&, const HTTPURLResponse&) {
      return DownloadRequest::DestinationResult{URL::fileURL(path), options};
    };
  }

  LoopbackServer server;
  TemporaryDirectory temporary, destinations;
  SessionConfiguration configuration;
};

TEST_F(DownloadRequestTest, TheFileGoesWhereTheDestinationSaysWithItsOptions) {
  Session session(configuration);
  // Missing directories are made on request; an existing file is replaced
  // only with removePreviousFile.
  std::ofstream(destinations.path() / "old.bin") << "old";
  std::vector<std::pair<std::string, DownloadRequest::Options>> cases = {
      {"a/b/new.bin", {.createIntermediateDirectories = true}},
      {"old.bin", {.removePreviousFile = true}},
  };
  for (const auto& [name, options] : cases) {
    SCOPED_TRACE(name);
    auto download = session.download(server.url("/file.bin"), to(name, options));
    DownloadReceived received;
    download->response(received.handler());
    const auto& r = received.awaitOne();
    ASSERT_TRUE(r.value()) << r.error()->description();
    EXPECT_EQ(*r.value(), URL::fileURL(destinations.path() / name));
    EXPECT_EQ(contents(destinations.path() / name), std::string(5000, 'f'));
    EXPECT_EQ(download->fileURL(), *r.value());
  }
  EXPECT_TRUE(temporary.files().empty());
}

TEST_F(DownloadRequestTest, AwaitingYieldsTheFileURL) {
  Session session(configuration);
  auto download = session.download(server.url("/file.bin"), to("x.bin"));
  const URL file = runUntilComplete(download->serializingDownloadedFileURL(true));
  EXPECT_EQ(file, URL::fileURL(destinations.path() / "x.bin"));
  // Without a destination the file stays where it was written, for the caller.
  auto kept = session.download(server.url("/file.bin"));
  const URL temporaryFile = runUntilComplete(kept->serializingDownloadedFileURL());
  EXPECT_EQ(contents(temporaryFile.filePath()), std::string(5000, 'f'));
  EXPECT_EQ(temporary.files().size(), 1u);
}

TEST_F(DownloadRequestTest, AFailedRefusedOrCancelledDownloadLeavesNoFile) {
  Session session(configuration);
  std::ofstream(destinations.path() / "taken.bin") << "mine";
  auto refused = session.download(server.url("/missing"), to("missing.bin"));
  refused->validate();
  auto taken = session.download(server.url("/file.bin"), to("taken.bin"));
  auto noDirectory = session.download(server.url("/file.bin"), to("no/such/dir.bin"));
  auto cancelled = session.download(server.url("/partial"), to("partial.bin"));
  std::vector<DownloadReceived> received(4);
  refused->response(received[0].handler());
  taken->response(received[1].handler());
  noDirectory->response(received[2].handler());
  cancelled->downloadProgress([&](const TransferProgress& p) {
    if (p.completedUnitCount > 0) cancelled->cancel();
  });
  cancelled->response(received[3].handler());
  runUntil([&] {
    return std::all_of(received.begin(), received.end(),
                       [](const DownloadReceived& r) { return !r.responses.empty(); });
  });
  EXPECT_EQ(received[0].responses[0].error()->kind(), RequestError::Kind::responseValidationFailed);
  EXPECT_EQ(received[1].responses[0].error()->kind(), RequestError::Kind::downloadedFileMoveFailed);
  EXPECT_EQ(received[2].responses[0].error()->kind(), RequestError::Kind::downloadedFileMoveFailed);
  EXPECT_TRUE(received[3].responses[0].error()->isExplicitlyCancelled());
  EXPECT_EQ(destinations.files(), std::vector<std::string>{"taken.bin"});
  EXPECT_EQ(contents(destinations.path() / "taken.bin"), "mine");
  EXPECT_TRUE(temporary.files().empty());
}

TEST_F(DownloadRequestTest, CancellingTheAwaitingTaskCancelsTheDownload) {
  Session session(configuration);
  auto download = session.download(server.url("/partial"), to("partial.bin"));
  auto task = Task<URL>::spawn(mainExecutor(), download->serializingDownloadedFileURL(true));
  runUntil([&] { return download->downloadProgress().completedUnitCount > 0; });
  task.cancel();
  // The awaiting task ends too: its continuation is resumed, not dropped.
  runUntil([&] { return download->error().has_value() && task.isFinished(); });
  EXPECT_TRUE(download->error()->isExplicitlyCancelled());
  EXPECT_TRUE(destinations.files().empty());
  EXPECT_TRUE(temporary.files().empty());
}

}  // namespace
}  // namespace quarn::http
