// The client against a real server on 127.0.0.1: what a response carries,
// how the session's settings reach the wire (and nothing of one request
// reaches the next), and every failure reaching the handler once as an
// error naming the URL and the reason.
#include "quarnkit/http/session.h"

#include <gtest/gtest.h>

#include <thread>

#include "quarnkit/http/testing/http_fixtures.h"
#include "quarnkit/testing/loopback_server.h"

namespace quarn::http {
namespace {

using quarn::testing::LoopbackServer;
using quarn::testing::NotificationLog;
using quarn::testing::Received;
using quarn::testing::runUntil;
using DataReceived = Received<DataResponse<std::string>>;

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& r = server.routes();
    r.Get("/json", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("X-Pagination-Total-Count", "42");
      res.set_content(R"([{"id": 1}])", "application/json");
    });
    const auto echo = [](const httplib::Request& req, httplib::Response& res) {
      std::string seen = req.method + " " + req.body;
      for (const char* name : {"Content-Type", "Authorization", "X-Default", "X-Adapted"}) {
        seen += std::string("|") + name + "=" + req.get_header_value(name);
      }
      res.set_content(seen, "text/plain");
    };
    r.Post("/echo", echo);
    r.Get("/echo", echo);
    r.Get("/sized", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("hello world", "application/octet-stream");
    });
    r.Get("/chunked", [](const httplib::Request&, httplib::Response& res) {
      // (Bodies of this type go uncompressed: progress counts bytes on the wire.)
      res.set_chunked_content_provider("application/octet-stream",
                                       [](size_t offset, httplib::DataSink& sink) {
                                         if (offset >= 3000) {
                                           sink.done();
                                         } else {
                                           sink.write(std::string(1000, 'x').data(), 1000);
                                         }
                                         return true;
                                       });
    });
    r.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content(R"({"error": "no such page"})", "application/json");
    });
    r.Get("/empty", [](const httplib::Request&, httplib::Response& res) { res.status = 204; });
    r.Get("/reset", [](const httplib::Request&, httplib::Response& res) {
      // Promises 1,000 bytes, sends 10 and closes the connection.
      res.set_content_provider(1000, "text/plain", [](size_t, size_t, httplib::DataSink& sink) {
        sink.write("0123456789", 10);
        return false;
      });
    });
    r.Get("/hang", [this](const httplib::Request&, httplib::Response& res) {
      server.holdUntilStopped();
      res.set_content("late", "text/plain");
    });
    r.Get("/big", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(100, 'b'), "text/plain");
    });
    r.Get("/tags", [](const httplib::Request& req, httplib::Response& res) {
      std::string seen;
      for (std::size_t i = 0; i < req.get_header_value_count("X-Tag"); ++i) {
        seen += (i == 0 ? "" : ",") + req.get_header_value("X-Tag", i);
      }
      res.set_content(seen + "|" + req.get_header_value("X-Other"), "text/plain");
    });
    // One field of 200 KiB; 400 fields of 1 KiB; 250 fields of 1 KiB.
    r.Get("/long-header", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("X-Long", std::string(200 * 1024, 'h'));
      res.set_content("ok", "text/plain");
    });
    const auto fields = [](int count) {
      return [count](const httplib::Request&, httplib::Response& res) {
        for (int i = 0; i < count; ++i) {
          res.set_header("X-Field-" + std::to_string(i), std::string(1024, 'f'));
        }
        res.set_content("ok", "text/plain");
      };
    };
    r.Get("/many-headers", fields(400));
    r.Get("/large-headers", fields(250));
    server.start();
  }

  LoopbackServer server;
};

TEST_F(SessionTest, AResponseCarriesStatusHeadersBodyAndATaskThatCompleted) {
  Session session;
  NotificationLog notifications;
  auto request = session.request(server.url("/json"));
  DataReceived received;
  request->responseData(received.handler());
  const auto& r = received.awaitOne();
  ASSERT_TRUE(r.value());
  EXPECT_EQ(*r.value(), R"([{"id": 1}])");
  ASSERT_TRUE(r.response);
  EXPECT_EQ(r.response->statusCode, 200);
  EXPECT_EQ(r.response->url.absoluteString(), server.url("/json"));
  // Header names are looked up ignoring letter case.
  EXPECT_EQ(r.response->value("x-pagination-total-count"), "42");
  EXPECT_EQ(r.response->value("X-PAGINATION-TOTAL-COUNT"), "42");
  EXPECT_EQ(r.response->value("X-Missing"), std::nullopt);
  EXPECT_EQ(request->state(), Request::State::finished);
  ASSERT_TRUE(request->task());
  EXPECT_EQ(request->task()->state(), SessionTask::State::completed);
  EXPECT_EQ(notifications.of(request.get()),
            (std::vector<std::string>{"didResumeTask", "didCompleteTask"}));
}

class Adapter final : public RequestInterceptor {
 public:
  URLRequest adapt(URLRequest request) const override {
    request.headers.update("X-Adapted", "yes");
    return request;
  }
};

class FailingAdapter final : public RequestInterceptor {
 public:
  URLRequest adapt(URLRequest) const override { throw std::runtime_error("no token"); }
};

TEST_F(SessionTest, TheSessionsHeadersAndInterceptorReachTheServerAndTheRequestsOwnHeadersWin) {
  SessionConfiguration configuration;
  configuration.headers = {{"X-Default", "session"}, {"Authorization", "session"}};
  Session session(configuration, std::make_shared<Adapter>());
  URLRequest post(*URL::parse(server.url("/echo")), HTTPMethod::post,
                  {{"Content-Type", "application/json"}, {"authorization", "mine"}});
  post.body = R"({"page": 1})";
  auto request = session.request(post);
  DataReceived received;
  request->responseData(received.handler());
  const auto& r = received.awaitOne();
  ASSERT_TRUE(r.value()) << r.error()->description();
  EXPECT_EQ(
      *r.value(),
      R"(POST {"page": 1}|Content-Type=application/json|Authorization=mine|X-Default=session|X-Adapted=yes)");
  // The request as sent.
  EXPECT_EQ(request->request().headers.value("X-Adapted"), "yes");

  Session failing({}, std::make_shared<FailingAdapter>());
  DataReceived refused;
  failing.request(server.url("/json"))->responseData(refused.handler());
  const auto& e = refused.awaitOne();
  ASSERT_TRUE(e.error());
  EXPECT_EQ(e.error()->kind(), RequestError::Kind::requestAdaptationFailed);
  EXPECT_EQ(e.error()->description(),
            server.url("/json") + ": the request interceptor failed: no token");
}

TEST_F(SessionTest, ARequestCarriesNothingOfTheRequestsBeforeIt) {
  // One after the other, so that each may go out on what the one before
  // used.
  Session session;
  const auto run = [&](URLRequest request) {
    DataReceived received;
    session.request(std::move(request))->responseData(received.handler());
    const auto r = received.awaitOne();
    EXPECT_TRUE(r.value()) << r.error()->description();
    return r.value() ? *r.value() : "";
  };
  URLRequest post(*URL::parse(server.url("/echo")), HTTPMethod::post,
                  {{"Content-Type", "application/json"}, {"Authorization", "mine"}});
  post.body = R"({"page": 1})";
  EXPECT_EQ(
      run(post),
      R"(POST {"page": 1}|Content-Type=application/json|Authorization=mine|X-Default=|X-Adapted=)");
  EXPECT_EQ(run(URLRequest(*URL::parse(server.url("/echo")))),
            "GET |Content-Type=|Authorization=|X-Default=|X-Adapted=");
  EXPECT_EQ(run(URLRequest(*URL::parse(server.url("/sized")), HTTPMethod::head)), "");
  EXPECT_EQ(run(URLRequest(*URL::parse(server.url("/sized")))), "hello world");
}

TEST_F(SessionTest, HeadReadsTheHeadersWithAndWithoutContentLength) {
  Session session;
  DataReceived sized, chunked;
  session.request(server.url("/sized"), HTTPMethod::head)->responseData(sized.handler());
  session.request(server.url("/chunked"), HTTPMethod::head)->responseData(chunked.handler());
  runUntil([&] { return !sized.responses.empty() && !chunked.responses.empty(); });
  // An empty body is a complete answer to HEAD.
  ASSERT_TRUE(sized.responses[0].value()) << sized.responses[0].error()->description();
  EXPECT_EQ(*sized.responses[0].value(), "");
  EXPECT_EQ(sized.responses[0].response->value("Content-Length"), "11");
  EXPECT_EQ(sized.responses[0].response->expectedContentLength(), 11);
  ASSERT_TRUE(chunked.responses[0].value());
  EXPECT_EQ(chunked.responses[0].response->value("Content-Length"), std::nullopt);
  EXPECT_EQ(chunked.responses[0].response->expectedContentLength(), -1);
}

TEST_F(SessionTest, ProgressOfAChunkedBodyHasNoTotal) {
  Session session;
  auto request = session.request(server.url("/chunked"));
  std::vector<TransferProgress> seen;
  request->downloadProgress([&](const TransferProgress& p) { seen.push_back(p); });
  DataReceived received;
  request->responseData(received.handler());
  const auto& r = received.awaitOne();
  ASSERT_TRUE(r.value());
  EXPECT_EQ(r.value()->size(), 3000u);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), (TransferProgress{3000, -1}));
  EXPECT_EQ(seen.back().fractionCompleted(), 0.0);
  for (std::size_t i = 1; i < seen.size(); ++i) {
    EXPECT_LE(seen[i - 1].completedUnitCount, seen[i].completedUnitCount);
  }
}

TEST_F(SessionTest, ValidationRefusesStatusesOutsideTheRangeAndEmptyBodiesFollowTheDefaultRules) {
  Session session;
  DataReceived validated, plain, empty;
  auto refused = session.request(server.url("/missing"));
  refused->validate();
  refused->responseData(validated.handler());
  session.request(server.url("/missing"))->responseData(plain.handler());
  session.request(server.url("/empty"))->responseData(empty.handler());
  runUntil([&] {
    return !validated.responses.empty() && !plain.responses.empty() && !empty.responses.empty();
  });
  const RequestError* e = validated.responses[0].error();
  ASSERT_TRUE(e);
  EXPECT_EQ(e->kind(), RequestError::Kind::responseValidationFailed);
  EXPECT_EQ(e->responseCode(), 404);
  EXPECT_EQ(e->description(), server.url("/missing") + ": the server answered with status 404");
  // The response and body are still there to read.
  EXPECT_EQ(validated.responses[0].response->statusCode, 404);
  // Without validation a 404 is a response like any other.
  ASSERT_TRUE(plain.responses[0].value());
  EXPECT_EQ(*plain.responses[0].value(), R"({"error": "no such page"})");
  // 204 carries no body, and that is complete.
  ASSERT_TRUE(empty.responses[0].value());
  EXPECT_EQ(*empty.responses[0].value(), "");
}

struct FailureCase {
  std::string name;
  std::string path;  // "" for a refused connection
  RequestError::Kind kind;
  std::optional<TransportError::Code> code;
  std::string reason;  // the start of the reason
};

TEST_F(SessionTest, EveryFailureReachesTheHandlerOnceWithTheURLAndTheReason) {
  LoopbackServer closed;
  closed.start();
  const std::string refusedURL = closed.url("/json");
  closed.stop();

  SessionConfiguration configuration;
  configuration.maximumResponseSize = 10;
  configuration.timeoutIntervalForRequest = 1;
  Session session(configuration);
  const std::vector<FailureCase> cases = {
      {"refused", refusedURL, RequestError::Kind::sessionTaskFailed,
       TransportError::Code::cannotConnectToHost, "could not connect to the server ("},
      {"reset mid-body", server.url("/reset"), RequestError::Kind::sessionTaskFailed,
       TransportError::Code::networkConnectionLost,
       "the connection was lost before the response was complete ("},
      {"never answers", server.url("/hang"), RequestError::Kind::sessionTaskFailed,
       TransportError::Code::timedOut, "the server did not answer in time ("},
      {"too large", server.url("/big"), RequestError::Kind::sessionTaskFailed,
       TransportError::Code::dataLengthExceedsMaximum,
       "the response is larger than allowed (more than 10 bytes)"},
      {"not a URL", "no such thing", RequestError::Kind::invalidURL, std::nullopt,
       "not a valid URL: \"no such thing\""},
      {"not HTTP", "file:///etc/passwd", RequestError::Kind::sessionTaskFailed,
       TransportError::Code::unsupportedURL, "the URL is not an HTTP or HTTPS URL"},
  };
  std::vector<DataReceived> received(cases.size());
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    session.request(cases[i].path)->responseData(received[i].handler());
  }
  runUntil([&] {
    return std::all_of(received.begin(), received.end(),
                       [](const DataReceived& r) { return !r.responses.empty(); });
  });
  drainMainContext();
  // The idle limit ended the hanging request, not a limit far away.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    ASSERT_EQ(received[i].responses.size(), 1u);
    const RequestError* e = received[i].responses[0].error();
    ASSERT_TRUE(e);
    EXPECT_EQ(e->kind(), cases[i].kind);
    if (cases[i].code) {
      ASSERT_TRUE(e->transportError());
      EXPECT_EQ(e->transportError()->code, *cases[i].code);
    }
    EXPECT_EQ(e->url(), cases[i].kind == RequestError::Kind::invalidURL ? "" : cases[i].path);
    EXPECT_EQ(e->reason().substr(0, cases[i].reason.size()), cases[i].reason) << e->reason();
  }
}

TEST_F(SessionTest, SessionFieldsOfOneNameAllGoUnlessTheRequestSetsTheName) {
  SessionConfiguration configuration;
  configuration.headers = {{"X-Tag", "a"}, {"X-Other", "o"}, {"X-Tag", "b"}};
  Session session(configuration);
  DataReceived both, replaced;
  session.request(server.url("/tags"))->responseData(both.handler());
  session.request(server.url("/tags"), HTTPMethod::get, {{"x-tag", "mine"}})
      ->responseData(replaced.handler());
  runUntil([&] { return !both.responses.empty() && !replaced.responses.empty(); });
  // Sent as separate fields, in order.
  ASSERT_TRUE(both.responses[0].value() && replaced.responses[0].value());
  EXPECT_EQ(*both.responses[0].value(), "a,b|o");
  EXPECT_EQ(*replaced.responses[0].value(), "mine|o");
}

TEST_F(SessionTest, HeaderFieldsPastTheLimitAreReportedAsSuch) {
  Session session;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/long-header", "a field of more than 100 KiB"},
      {"/many-headers", "more than 300 KiB in all"}};
  for (const auto& [path, detail] : cases) {
    SCOPED_TRACE(path);
    DataReceived received;
    session.request(server.url(path))->responseData(received.handler());
    const RequestError* e = received.awaitOne().error();
    ASSERT_TRUE(e);
    ASSERT_TRUE(e->transportError());
    EXPECT_EQ(e->transportError()->code, TransportError::Code::responseHeadersTooLarge);
    EXPECT_EQ(e->description(),
              server.url(path) + ": the response headers are too large (" + detail + ")");
  }
  // Just under the limit is fine.
  DataReceived fits;
  session.request(server.url("/large-headers"))->responseData(fits.handler());
  ASSERT_TRUE(fits.awaitOne().value()) << fits.responses[0].error()->description();
}

TEST_F(SessionTest, AwaitingADataResponseGivesTheSameRecord) {
  Session session;
  auto request = session.request(server.url("/json"));
  const DataResponse<std::string> r = runUntilComplete(request->serializingData());
  ASSERT_TRUE(r.value());
  EXPECT_EQ(*r.value(), R"([{"id": 1}])");
  EXPECT_EQ(request->data(), R"([{"id": 1}])");
}

TEST_F(SessionTest, ReleasingTheSessionEndsItsRequestsOnce) {
  DataReceived received;
  std::shared_ptr<DataRequest> request;
  {
    Session session;
    request = session.request(server.url("/hang"));
    request->responseData(received.handler());
    runUntil([&] { return server.requestCount() == 1; });
  }
  const auto& r = received.awaitOne();
  ASSERT_TRUE(r.error());
  EXPECT_EQ(r.error()->kind(), RequestError::Kind::sessionDeinitialized);
  // A request of a released session that resumes only now fails the same way.
  DataReceived late;
  std::shared_ptr<DataRequest> orphan;
  {
    SessionConfiguration configuration;
    configuration.startRequestsImmediately = false;
    Session session(configuration);
    orphan = session.request(server.url("/json"));
    orphan->responseData(late.handler());
  }
  orphan->resume();
  EXPECT_EQ(late.awaitOne().error()->kind(), RequestError::Kind::sessionDeinitialized);
}

}  // namespace
}  // namespace quarn::http
