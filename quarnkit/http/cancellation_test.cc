// Cancelling a request in every state ends it exactly once: before it
// starts, while the server holds it, while suspended, from inside its own
// progress handler, from another request's handler, from another thread,
// twice, after it finished, through the session, and through an awaiting
// coroutine. Suspending and resuming are announced in order; the per-host
// connection limit holds at the server, requests waiting for a connection
// go in order, and those of another host do not wait behind them; one
// suspended while it waits stays suspended.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <mutex>
#include <thread>

#include "quarnkit/http/session.h"
#include "quarnkit/http/testing/http_fixtures.h"
#include "quarnkit/platform/runtime/task.h"
#include "quarnkit/testing/loopback_server.h"

namespace quarn::http {
namespace {

using quarn::testing::LoopbackServer;
using quarn::testing::NotificationLog;
using quarn::testing::Received;
using quarn::testing::runUntil;
using DataReceived = Received<DataResponse<std::string>>;

class CancellationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& r = server.routes();
    r.Get("/hang", [this](const httplib::Request&, httplib::Response& res) {
      server.holdUntilStopped();
      res.set_content("late", "text/plain");
    });
    r.Get("/quick", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("quick", "text/plain");
    });
    r.Get("/trickle", [this](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider(
          "application/octet-stream", [this](size_t offset, httplib::DataSink& sink) {
            if (offset >= 20 || !server.hold(std::chrono::milliseconds(offset == 0 ? 0 : 100))) {
              sink.done();
              return true;
            }
            sink.write("abcd", 4);
            return true;
          });
    });
    r.Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
      server.hold(std::chrono::milliseconds(150));
      res.set_content("slow", "text/plain");
    });
    server.start();
  }

  static void expectCancelledOnce(DataReceived& received) {
    const auto& r = received.awaitOne();
    ASSERT_TRUE(r.error());
    EXPECT_TRUE(r.error()->isExplicitlyCancelled()) << r.error()->description();
  }

  LoopbackServer server;
  Session session;
};

TEST_F(CancellationTest, BeforeItStartsTheRequestNeverReachesTheServer) {
  SessionConfiguration configuration;
  configuration.startRequestsImmediately = false;
  Session lazy(configuration);
  NotificationLog notifications;
  auto request = lazy.request(server.url("/quick"));
  DataReceived received;
  request->responseData(received.handler());
  request->cancel();
  request->resume();  // too late: nothing starts
  expectCancelledOnce(received);
  EXPECT_EQ(request->state(), Request::State::cancelled);
  EXPECT_EQ(request->task(), nullptr);
  EXPECT_EQ(server.requestCount(), 0u);
  EXPECT_TRUE(notifications.of(request.get()).empty());
}

TEST_F(CancellationTest, WhileTheServerHoldsItTheTaskCompletesOnce) {
  NotificationLog notifications;
  auto request = session.request(server.url("/hang"));
  DataReceived received;
  request->responseData(received.handler());
  runUntil([&] { return server.requestCount() == 1; });
  request->cancel();
  request->cancel();
  expectCancelledOnce(received);
  EXPECT_EQ(request->task()->state(), SessionTask::State::completed);
  EXPECT_EQ(notifications.of(request.get()),
            (std::vector<std::string>{"didResumeTask", "didCompleteTask"}));
}

TEST_F(CancellationTest, WhileSuspended) {
  NotificationLog notifications;
  auto request = session.request(server.url("/hang"));
  DataReceived received;
  request->responseData(received.handler());
  runUntil([&] { return server.requestCount() == 1; });
  request->suspend();
  runUntil([&] { return request->task()->state() == SessionTask::State::suspended; });
  request->cancel();
  expectCancelledOnce(received);
  EXPECT_EQ(notifications.of(request.get()),
            (std::vector<std::string>{"didResumeTask", "didSuspendTask", "didCompleteTask"}));
}

TEST_F(CancellationTest, FromInsideItsOwnProgressHandler) {
  auto request = session.request(server.url("/trickle"));
  int progressCalls = 0;
  request->downloadProgress([&](const TransferProgress& p) {
    ++progressCalls;
    if (p.completedUnitCount > 0) request->cancel();
  });
  DataReceived received;
  request->responseData(received.handler());
  expectCancelledOnce(received);
  EXPECT_GT(progressCalls, 0);
}

TEST_F(CancellationTest, FromAnotherRequestsHandlerAndFromAnotherThread) {
  auto held = session.request(server.url("/hang"));
  auto other = session.request(server.url("/hang"));
  DataReceived heldReceived, otherReceived, quickReceived;
  held->responseData(heldReceived.handler());
  other->responseData(otherReceived.handler());
  session.request(server.url("/quick"))->responseData([&](DataResponse<std::string> r) {
    held->cancel();
    quickReceived.responses.push_back(std::move(r));
  });
  runUntil([&] { return server.requestCount() == 3; });
  std::thread([&] { other->cancel(); }).join();
  runUntil([&] { return !heldReceived.responses.empty() && !otherReceived.responses.empty(); });
  expectCancelledOnce(heldReceived);
  expectCancelledOnce(otherReceived);
  ASSERT_TRUE(quickReceived.responses.at(0).value());
}

TEST_F(CancellationTest, AfterItFinishedNothingChanges) {
  auto request = session.request(server.url("/quick"));
  DataReceived received;
  request->responseData(received.handler());
  received.awaitOne();
  request->cancel();
  // A handler added after the end gets the same outcome.
  DataReceived late;
  request->responseData(late.handler());
  ASSERT_TRUE(late.awaitOne().value());
  EXPECT_EQ(*late.responses[0].value(), "quick");
  EXPECT_EQ(request->state(), Request::State::finished);
}

TEST_F(CancellationTest, CancellingAllRequestsReachesTheRunningOnesAfterManyEnded) {
  std::vector<DataReceived> ended(40);
  for (auto& r : ended) session.request(server.url("/quick"))->responseData(r.handler());
  runUntil([&] {
    return std::all_of(ended.begin(), ended.end(),
                       [](const DataReceived& r) { return !r.responses.empty(); });
  });
  drainMainContext();
  std::vector<DataReceived> hanging(3);
  for (auto& r : hanging) session.request(server.url("/hang"))->responseData(r.handler());
  runUntil([&] { return server.requestCount() == ended.size() + hanging.size(); });
  session.cancelAllRequests();
  for (auto& r : hanging) expectCancelledOnce(r);
}

TEST_F(CancellationTest, CancellingTheAwaitingTaskCancelsTheRequest) {
  auto request = session.request(server.url("/hang"));
  auto task =
      Task<DataResponse<std::string>>::spawn(mainExecutor(), request->serializingData(true));
  runUntil([&] { return server.requestCount() == 1; });
  task.cancel();
  runUntil([&] { return request->state() == Request::State::cancelled && request->error(); });
  EXPECT_TRUE(request->error()->isExplicitlyCancelled());
  // Without automatic cancellation the request goes on.
  auto kept = session.request(server.url("/slow"));
  auto keptTask = Task<DataResponse<std::string>>::spawn(mainExecutor(), kept->serializingData());
  runUntil([&] { return server.requestCount() == 2; });
  keptTask.cancel();
  runUntil([&] { return kept->isFinished(); });
  EXPECT_EQ(kept->data(), "slow");
}

TEST_F(CancellationTest, SuspendedBodyArrivesAfterResume) {
  NotificationLog notifications;
  auto request = session.request(server.url("/slow"));
  DataReceived received;
  request->responseData(received.handler());
  runUntil([&] { return server.requestCount() == 1; });
  request->suspend();
  runUntil([&] { return request->task()->state() == SessionTask::State::suspended; });
  request->resume();
  const auto& r = received.awaitOne();
  ASSERT_TRUE(r.value());
  EXPECT_EQ(*r.value(), "slow");
  EXPECT_EQ(notifications.of(request.get()),
            (std::vector<std::string>{"didResumeTask", "didSuspendTask", "didResumeTask",
                                      "didCompleteTask"}));
}

TEST(ConnectionLimitTest, AtMostTenConnectionsReachOneHost) {
  LoopbackServer server(40);
  server.routes().Get("/slow", [&](const httplib::Request&, httplib::Response& res) {
    server.hold(std::chrono::milliseconds(200));
    res.set_content("{}", "application/json");
  });
  server.start();
  Session session(SessionConfiguration::standard());
  std::vector<DataReceived> received(30);
  for (auto& r : received) session.request(server.url("/slow"))->responseData(r.handler());
  runUntil([&] {
    return std::all_of(received.begin(), received.end(),
                       [](const DataReceived& r) { return !r.responses.empty(); });
  });
  for (const auto& r : received) EXPECT_TRUE(r.responses.at(0).value());
  EXPECT_EQ(server.maxConcurrentRequests(), 10u);
  EXPECT_LE(server.distinctConnections(), 10u);
}

// With one connection per host, requests wait their turn in the order they
// were made, while a request to another host goes at once; one cancelled
// while it waits never reaches the server, one suspended while it waits lets
// the others go first, and the rest still go.
class ConnectionQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    busy.routes().Get(R"(/slow/(\d+))",
                      [this](const httplib::Request& req, httplib::Response& res) {
                        {
                          const std::lock_guard lock(mutex);
                          arrived.push_back(std::stoi(req.matches[1]));
                        }
                        busy.hold(std::chrono::milliseconds(100));
                        res.set_content("slow", "text/plain");
                      });
    busy.start();
    other.routes().Get("/quick", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("quick", "text/plain");
    });
    other.start();
    SessionConfiguration configuration;
    configuration.httpMaximumConnectionsPerHost = 1;
    session = std::make_unique<Session>(configuration);
  }

  // Makes `count` more requests to /slow/N, N counting on from the last.
  void makeSlow(std::size_t count) {
    received.resize(received.size() + count);
    for (std::size_t i = requests.size(); i < received.size(); ++i) {
      requests.push_back(session->request(busy.url("/slow/" + std::to_string(i))));
      requests.back()->responseData(received[i].handler());
    }
  }
  void awaitAll(const std::vector<std::size_t>& which) {
    runUntil([&] {
      return std::all_of(which.begin(), which.end(),
                         [&](std::size_t i) { return !received[i].responses.empty(); });
    });
  }
  std::vector<int> arrivals() {
    const std::lock_guard lock(mutex);
    return arrived;
  }

  LoopbackServer busy;
  LoopbackServer other;
  std::unique_ptr<Session> session;
  std::vector<std::shared_ptr<DataRequest>> requests;
  std::deque<DataReceived> received;  // grows at the end: handlers keep their element
  std::mutex mutex;
  std::vector<int> arrived;
};

TEST_F(ConnectionQueueTest, WaitingRequestsGoInOrderAndAnotherHostDoesNotWait) {
  makeSlow(6);
  std::size_t finishedBeforeOtherHost = 0;
  DataReceived quick;
  session->request(other.url("/quick"))->responseData([&](DataResponse<std::string> r) {
    for (const auto& each : received) finishedBeforeOtherHost += each.responses.size();
    quick.handler()(std::move(r));
  });
  awaitAll({0, 1, 2, 3, 4, 5});
  ASSERT_EQ(quick.responses.size(), 1u);
  EXPECT_TRUE(quick.responses[0].value());
  EXPECT_LT(finishedBeforeOtherHost, 3u);
  EXPECT_EQ(arrivals(), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(busy.maxConcurrentRequests(), 1u);
}

TEST_F(ConnectionQueueTest, ARequestCancelledWhileWaitingNeverReachesTheServer) {
  makeSlow(5);
  runUntil([&] { return busy.requestCount() >= 1; });
  requests[3]->cancel();
  awaitAll({0, 1, 2, 3, 4});
  for (std::size_t i = 0; i < received.size(); ++i) {
    ASSERT_EQ(received[i].responses.size(), 1u);
    if (i == 3) {
      ASSERT_TRUE(received[i].responses[0].error());
      EXPECT_TRUE(received[i].responses[0].error()->isExplicitlyCancelled());
    } else {
      EXPECT_TRUE(received[i].responses[0].value()) << i;
    }
  }
  EXPECT_EQ(arrivals(), (std::vector<int>{0, 1, 2, 4}));
}

TEST_F(ConnectionQueueTest, ARequestSuspendedWhileWaitingStaysSuspendedAndOthersGoFirst) {
  // With one connection: 0 runs, 1 waits for the connection inside the
  // transfer machinery, 2 waits behind it; 1 and 2 are suspended, so 3,
  // made later, goes before them.
  makeSlow(3);
  runUntil([&] { return busy.requestCount() >= 1; });
  requests[1]->suspend();
  requests[2]->suspend();
  makeSlow(1);
  awaitAll({0, 3});
  runMainContextUntil([] { return false; }, std::chrono::milliseconds(150));
  EXPECT_TRUE(received[1].responses.empty());
  EXPECT_TRUE(received[2].responses.empty());
  EXPECT_EQ(requests[1]->state(), Request::State::suspended);
  EXPECT_EQ(arrivals(), (std::vector<int>{0, 3}));
  requests[2]->resume();
  requests[1]->resume();
  awaitAll({1, 2});
  for (const auto& r : received) {
    ASSERT_EQ(r.responses.size(), 1u);
    EXPECT_TRUE(r.responses[0].value());
  }
  EXPECT_EQ(arrivals(), (std::vector<int>{0, 3, 2, 1}));
}

TEST_F(ConnectionQueueTest, ARequestSuspendedAndResumedWhileWaitingKeepsItsTurnAndGoesOnce) {
  makeSlow(4);
  runUntil([&] { return busy.requestCount() >= 1; });
  requests[3]->suspend();
  drainMainContext();
  requests[3]->resume();
  drainMainContext();
  awaitAll({0, 1, 2, 3});
  drainMainContext();
  for (const auto& r : received) {
    ASSERT_EQ(r.responses.size(), 1u);
    EXPECT_TRUE(r.responses[0].value());
  }
  EXPECT_EQ(arrivals(), (std::vector<int>{0, 1, 2, 3}));
}

}  // namespace
}  // namespace quarn::http
