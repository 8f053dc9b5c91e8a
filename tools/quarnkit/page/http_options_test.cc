// The networked commands' shared options against loopback servers: a
// --max-time bound ends a walk over an endpoint that trickles for ever, and
// --header reaches the endpoint asked for but never another origin it
// redirects to.
#include "tools/quarnkit/common/http_options.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

#include "quarnkit/testing/loopback_server.h"
#include "tools/quarnkit/page/page.h"

namespace quarn::tool {
namespace {

using quarn::testing::LoopbackServer;

TEST(HTTPOptionsTest, MaxTimeIsAPositiveNumberOfSeconds) {
  EXPECT_EQ(parseSecondsOption("2"), 2.0);
  EXPECT_EQ(parseSecondsOption("0.25"), 0.25);
  for (const char* refused : {"", "0", "0.0", "-1", "1e3", "inf", "nan", "2s", "1000001", "."}) {
    EXPECT_EQ(parseSecondsOption(refused), std::nullopt) << refused;
  }
}

class NetworkOptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Two bytes a second, for ever (until the server stops).
    endpoint.routes().Get("/drip", [this](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("application/json",
                                       [this](size_t offset, httplib::DataSink& sink) {
                                         if (!endpoint.hold(std::chrono::milliseconds(500))) {
                                           return false;
                                         }
                                         return sink.write(offset == 0 ? "[ " : "  ", 2);
                                       });
    });
    elsewhere.routes().Get("/items", [this](const httplib::Request& req, httplib::Response& res) {
      const std::lock_guard lock(mutex);
      keySeenElsewhere = req.get_header_value("X-Api-Key");
      res.set_content("[]", "application/json");
    });
    elsewhere.start();
    endpoint.routes().Get("/items", [this](const httplib::Request& req, httplib::Response& res) {
      {
        const std::lock_guard lock(mutex);
        keySeen = req.get_header_value("X-Api-Key");
      }
      res.set_redirect(elsewhere.url("/items"));
    });
    endpoint.start();
  }

  static std::string failureOf(const PageOptions& options) {
    try {
      walkPages(options);
    } catch (const InputError& e) {
      return e.what();
    }
    return "no error";
  }

  LoopbackServer endpoint{4};
  LoopbackServer elsewhere{4};
  std::mutex mutex;
  std::string keySeen, keySeenElsewhere = "(not asked)";
};

TEST_F(NetworkOptionsTest, MaxTimeEndsAWalkOverAnEndpointThatNeverFinishes) {
  PageOptions options;
  options.url = endpoint.url("/drip");
  options.all = true;
  options.maxTime = 0.6;
  const auto start = std::chrono::steady_clock::now();
  const std::string failure = failureOf(options);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  EXPECT_NE(failure.find(endpoint.url("/drip?page=1&per-page=20") +
                         ": the server did not answer in time (more than 0.6 s in all)"),
            std::string::npos)
      << failure;
  EXPECT_EQ(failure.find('\n'), std::string::npos);
  EXPECT_LT(took.count(), 1.5);
}

TEST_F(NetworkOptionsTest, HeadersGoToTheEndpointAskedForAndNotWhereItRedirects) {
  PageOptions options;
  options.url = endpoint.url("/items");
  options.headers.add("X-Api-Key", "secret");
  const Walk walk = walkPages(options);
  ASSERT_EQ(walk.pages.size(), 1u);
  const std::lock_guard lock(mutex);
  EXPECT_EQ(keySeen, "secret");
  EXPECT_EQ(keySeenElsewhere, "");
}

}  // namespace
}  // namespace quarn::tool
