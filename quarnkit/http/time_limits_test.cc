// A session's time limits against a real server on 127.0.0.1, with limits
// of a few hundred milliseconds: the idle limit ends a transfer when no byte
// has moved for that long, in either direction and in every phase, and no
// sooner (a slow trickle is not idle); the whole-transfer limit ends even a
// transfer that keeps trickling.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "quarnkit/http/session.h"
#include "quarnkit/http/testing/http_fixtures.h"
#include "quarnkit/testing/loopback_server.h"

namespace quarn::http {
namespace {

using quarn::testing::LoopbackServer;
using quarn::testing::Received;
using quarn::testing::runUntil;
using DataReceived = Received<DataResponse<std::string>>;
using Seconds = std::chrono::duration<double>;

class TimeLimitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& r = server.routes();
    // Never answers (for a POST: after reading the whole body).
    const auto silent = [this](const httplib::Request&, httplib::Response& res) {
      server.holdUntilStopped();
      res.set_content("late", "text/plain");
    };
    r.Get("/silent", silent);
    r.Post("/silent", silent);
    // The status and header fields, then nothing.
    r.Get("/stalled-body", [this](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("application/octet-stream",
                                       [this](size_t, httplib::DataSink&) {
                                         server.holdUntilStopped();
                                         return false;
                                       });
    });
    // One byte every 150 ms, eight in all.
    r.Get("/trickle", [this](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("application/octet-stream",
                                       [this](size_t offset, httplib::DataSink& sink) {
                                         if (offset >= 8) {
                                           sink.done();
                                           return true;
                                         }
                                         if (!server.hold(std::chrono::milliseconds(150))) {
                                           return false;
                                         }
                                         return sink.write("t", 1);
                                       });
    });
    server.start();
  }

  // Runs `request` to its end; the time it took.
  static Seconds timed(const std::shared_ptr<DataRequest>& request, DataReceived& received) {
    const auto start = std::chrono::steady_clock::now();
    request->responseData(received.handler());
    runUntil([&] { return !received.responses.empty(); });
    return std::chrono::steady_clock::now() - start;
  }

  LoopbackServer server;
};

TEST_F(TimeLimitsTest, ASilentServerFailsAtTheIdleLimitWhateverWasSentBefore) {
  SessionConfiguration configuration;
  configuration.timeoutIntervalForRequest = 0.3;
  Session session(configuration);
  URLRequest post(*URL::parse(server.url("/silent")), HTTPMethod::post,
                  {{"Content-Type", "application/octet-stream"}});
  // An uploaded body is bytes moved, but only while it moves.
  post.body = std::string(256 * 1024, 'u');
  struct Case {
    std::string name;
    std::shared_ptr<DataRequest> request;
  };
  const std::vector<Case> cases = {
      {"no answer at all", session.request(server.url("/silent"))},
      {"header fields, then nothing", session.request(server.url("/stalled-body"))},
      {"a body sent, then no answer", session.request(post)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DataReceived received;
    const Seconds took = timed(c.request, received);
    const RequestError* e = received.responses[0].error();
    ASSERT_TRUE(e);
    ASSERT_TRUE(e->transportError());
    EXPECT_EQ(e->transportError()->code, TransportError::Code::timedOut);
    EXPECT_EQ(e->reason(), "the server did not answer in time (no data for 0.3 s)");
    // At the limit: not a second-long average taken later.
    EXPECT_GE(took.count(), 0.29);
    EXPECT_LT(took.count(), 0.9);
  }
}

TEST_F(TimeLimitsTest, ATrickleLongerThanTheIdleLimitIsNotIdleButTheWholeTransferLimitEndsIt) {
  SessionConfiguration configuration;
  configuration.timeoutIntervalForRequest = 0.4;
  Session patient(configuration);
  DataReceived trickled;
  const Seconds took = timed(patient.request(server.url("/trickle")), trickled);
  ASSERT_TRUE(trickled.responses[0].value()) << trickled.responses[0].error()->description();
  EXPECT_EQ(*trickled.responses[0].value(), "tttttttt");
  EXPECT_GT(took.count(), 0.8);

  // A request's own idle limit wins over the session's.
  URLRequest strict(*URL::parse(server.url("/trickle")));
  strict.timeoutInterval = 0.1;
  DataReceived refused;
  timed(patient.request(strict), refused);
  ASSERT_TRUE(refused.responses[0].error());
  EXPECT_EQ(refused.responses[0].error()->reason(),
            "the server did not answer in time (no data for 0.1 s)");

  configuration.timeoutIntervalForResource = 0.5;
  Session bounded(configuration);
  DataReceived cut;
  const Seconds bound = timed(bounded.request(server.url("/trickle")), cut);
  const RequestError* e = cut.responses[0].error();
  ASSERT_TRUE(e);
  EXPECT_EQ(e->transportError()->code, TransportError::Code::timedOut);
  EXPECT_EQ(e->description(), server.url("/trickle") +
                                  ": the server did not answer in time (more than 0.5 s in all)");
  EXPECT_GE(bound.count(), 0.49);
  EXPECT_LT(bound.count(), 0.8);
}

TEST_F(TimeLimitsTest, TheWholeTransferLimitCountsTheWaitForAConnection) {
  // One connection: the first request holds it, the others wait (in libcurl
  // or in the session) and run out of time there.
  SessionConfiguration configuration;
  configuration.httpMaximumConnectionsPerHost = 1;
  configuration.timeoutIntervalForResource = 0.4;
  Session session(configuration);
  std::vector<DataReceived> received(4);
  const auto start = std::chrono::steady_clock::now();
  for (auto& r : received) session.request(server.url("/silent"))->responseData(r.handler());
  runUntil([&] {
    return std::all_of(received.begin(), received.end(),
                       [](const DataReceived& r) { return !r.responses.empty(); });
  });
  // Had the wait not counted, the four would end one after another, after
  // 1.6 s. Which of them reached the server depends on when the first one's
  // connection was freed, so that is not checked.
  const Seconds took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took.count(), 0.9);
  for (const DataReceived& r : received) {
    ASSERT_TRUE(r.responses[0].error());
    EXPECT_EQ(r.responses[0].error()->reason(),
              "the server did not answer in time (more than 0.4 s in all)");
  }
}

TEST_F(TimeLimitsTest, ASuspendedRequestIsNotIdleAndContinuesWhereItStopped) {
  SessionConfiguration configuration;
  configuration.timeoutIntervalForRequest = 0.3;
  Session session(configuration);
  auto request = session.request(server.url("/trickle"));
  DataReceived received;
  request->responseData(received.handler());
  std::size_t progressed = 0;
  request->downloadProgress([&](const TransferProgress& p) {
    progressed = static_cast<std::size_t>(p.completedUnitCount);
  });
  runUntil([&] { return progressed >= 2; });
  request->suspend();
  // Twice the idle limit without a byte, on purpose.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(700);
  runUntil([&] { return std::chrono::steady_clock::now() >= until; });
  EXPECT_TRUE(received.responses.empty());
  request->resume();
  const auto& r = received.awaitOne();
  ASSERT_TRUE(r.value()) << r.error()->description();
  EXPECT_EQ(*r.value(), "tttttttt");
}

}  // namespace
}  // namespace quarn::http
