// preview --server against a loopback server: the combined request is
// POSTed as JSON with the headers given and the answer decoded as a results
// file would be; a failed request or a malformed answer is one line naming
// the URL.
#include "tools/quarnkit/host/results_server.h"

#include <gtest/gtest.h>

#include <mutex>

#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/testing/loopback_server.h"
#include "tools/quarnkit/common/failure.h"
#include "tools/quarnkit/common/tool_test_support.h"
#include "tools/quarnkit/preview/preview.h"
#include "tools/quarnkit/preview/preview_command.h"

namespace quarn::tool {
namespace {

using quarn::testing::LoopbackServer;
using testing::ScratchDirectory;

/// What the server received, and what it answers.
struct Received {
  std::mutex mutex;
  std::string body, contentType, authorization;
  int status = 200;
  std::string answer;
};

class ResultsServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.routes().Post("/composite", [this](const httplib::Request& req, httplib::Response& res) {
      const std::lock_guard lock(received.mutex);
      received.body = req.body;
      received.contentType = req.get_header_value("Content-Type");
      received.authorization = req.get_header_value("Authorization");
      res.status = received.status;
      res.set_content(received.answer, "application/json");
    });
    server.start();
    options.templateFile = dir.write("t.json", R"([
      {"uniqueId": "a", "type": "card"}, {"uniqueId": "b", "type": "card"}])");
    // Next to the template, but the server answers instead.
    dir.write("results.json", R"([{"key": "a", "result": {"class": "FromFile"}}])");
    options.now = testing::kNow;
    options.server = ResultsServerOptions{server.url("/composite"), {}, std::nullopt};
    options.server->headers.add("Authorization", "Bearer abc");
    options = withSiblingFiles(options);
  }

  Preview preview() {
    HostPlatform platform(options.device, options.now);
    HostSession session(options);
    return runUntilComplete(makePreview(session));
  }

  void respond(int status, std::string answer) {
    const std::lock_guard lock(received.mutex);
    received.status = status;
    received.answer = std::move(answer);
  }

  std::string failure() {
    try {
      preview();
    } catch (...) {
      return describeFailure(options.templateFile);
    }
    return "no error";
  }

  ScratchDirectory dir;
  // What the handler reads and writes outlives the server.
  Received received;
  LoopbackServer server{4};
  HostOptions options;
};

TEST_F(ResultsServerTest, TheRequestIsPostedAndTheAnswerDecoded) {
  respond(200, R"([{"key": "b", "result": {"class": "Promo", "id": 7}}])");
  const Preview p = preview();
  EXPECT_FALSE(options.resultsFile);
  // Not the results file: "a" has no result and makes no section.
  ASSERT_EQ(p.sections.size(), 1u);
  EXPECT_EQ(p.sections[0].uniqueId, "b");
  EXPECT_EQ(p.sections[0].rows, (std::vector<Value>{Value{{"class", "Promo"}, {"id", 7}}}));
  const std::lock_guard lock(received.mutex);
  ASSERT_TRUE(p.request);
  EXPECT_EQ(parseJSON(received.body), *p.request);
  EXPECT_EQ(received.contentType, "application/json");
  EXPECT_EQ(received.authorization, "Bearer abc");
}

TEST_F(ResultsServerTest, TheHeadersGoToTheServerNamedAndNotWhereItRedirects) {
  LoopbackServer elsewhere(4);
  std::string seenElsewhere = "(not asked)";
  elsewhere.routes().Post("/composite", [&](const httplib::Request& req, httplib::Response& res) {
    seenElsewhere = req.get_header_value("Authorization") + "|" +
                    req.get_header_value("X-Api-Key") + "|" + req.body.substr(0, 1);
    res.set_content("[]", "application/json");
  });
  elsewhere.start();
  LoopbackServer redirecting(4);
  redirecting.routes().Post("/composite", [&](const httplib::Request&, httplib::Response& res) {
    res.status = 307;
    res.set_header("Location", elsewhere.url("/composite"));
  });
  redirecting.start();
  options.server->url = redirecting.url("/composite");
  options.server->headers.add("X-Api-Key", "k");
  preview();
  elsewhere.stop();
  // The body follows the redirect; the credentials do not.
  EXPECT_EQ(seenElsewhere, "||[");
}

TEST_F(ResultsServerTest, FailuresAreOneLineNamingTheURL) {
  const std::string url = server.url("/composite");
  respond(500, "[]");
  EXPECT_EQ(failure(), url + ": the server answered with status 500");
  respond(200, R"({"key": "b"})");
  EXPECT_EQ(failure(), url + ": expected a JSON array of results, found object");
  respond(200, R"([{"key": "b", "result": {"class": "Promo"}}, {"key": 3}])");
  EXPECT_EQ(failure().rfind(url + ": [1]", 0), 0u) << failure();
  respond(200, "[{");
  EXPECT_EQ(failure().rfind(url + ": ", 0), 0u);
  server.stop();
  EXPECT_EQ(failure().rfind(url + ": could not connect to the server", 0), 0u) << failure();
}

}  // namespace
}  // namespace quarn::tool
