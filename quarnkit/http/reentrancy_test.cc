// What the host may do inside the HTTP client's callbacks (response
// handlers, progress handlers, the interceptor, event monitors): drop the
// request or the session, call back into them, or throw.
#include "quarnkit/testing/reentrancy.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "quarnkit/core/log.h"
#include "quarnkit/http/data_request.h"
#include "quarnkit/http/session.h"
#include "quarnkit/http/testing/http_fixtures.h"
#include "quarnkit/testing/loopback_server.h"

namespace quarn::http {
namespace {

using quarn::testing::HostAction;
using quarn::testing::LoopbackServer;
using quarn::testing::runUntil;
using Data = DataResponse<std::string>;

// A server with a small and a chunked body.
struct Server {
  LoopbackServer server;
  Server() {
    server.routes().Get("/ok", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("hello", "text/plain");
    });
    server.routes().Get("/chunked", [](const httplib::Request&, httplib::Response& res) {
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
    server.start();
  }
  [[nodiscard]] std::string url(std::string_view path) const { return server.url(path); }
};

bool hello(const Data& r) { return r.value() != nullptr && *r.value() == "hello"; }
bool failedWith(const Data& r, RequestError::Kind kind) {
  return r.error() != nullptr && r.error()->kind() == kind;
}
// The chunked body, all of it.
void expectWhole(const std::optional<Data>& r) {
  ASSERT_TRUE(r && r->value());
  EXPECT_EQ(r->value()->size(), 3000U);
}

// Requests `path` on `session` and waits for its one response.
Data fetch(Session& session, const Server& s, std::string_view path = "/ok") {
  quarn::testing::Received<Data> received;
  session.request(s.url(path))->responseData(received.handler());
  received.awaitOne();
  return std::move(received.responses.front());
}

// Runs the main context until `done`, letting what a handler throws through
// (it leaves the run); the count of those goes to `thrown`.
void runCatching(const std::function<bool()>& done, int& thrown) {
  for (int i = 0; i < 100 && !done(); ++i) {
    try {
      runMainContextUntil(done, std::chrono::seconds(10));
    } catch (const std::runtime_error&) {
      ++thrown;
    }
  }
  ASSERT_TRUE(done());
}

// An event monitor doing what it is given when a request finishes or resumes.
class Monitor final : public EventMonitor {
 public:
  std::function<void(const std::shared_ptr<Request>&)> onResume, onFinish;
  int finished = 0;
  void requestDidResumeTask(const std::shared_ptr<Request>& r, const SessionTask&) override {
    if (onResume) onResume(r);
  }
  void requestDidFinish(const std::shared_ptr<Request>& r) override {
    ++finished;
    if (onFinish) onFinish(r);
  }
};

// An interceptor running a function of the test's.
class Interceptor final : public RequestInterceptor {
 public:
  explicit Interceptor(std::function<void()> during) : during_(std::move(during)) {}
  URLRequest adapt(URLRequest request) const override {
    ++calls;
    during_();
    return request;
  }
  mutable int calls = 0;

 private:
  std::function<void()> during_;
};

TEST(HTTPReentrancyTest, EveryCallbackAndAction) {
  quarn::testing::runReentrancyTable({
      // --- response handlers ------------------------------------------------
      {"response handler", HostAction::release,
       "the handler drops the request and the session: it runs once, with the response",
       [] {
         Server s;
         auto session = std::make_unique<Session>();
         auto request = session->request(s.url("/ok"));
         std::optional<Data> got;
         request->responseData([&](Data r) {
           got = std::move(r);
           request.reset();
           session.reset();
         });
         runUntil([&] { return got.has_value(); });
         drainMainContext();
         EXPECT_TRUE(hello(*got));
         EXPECT_FALSE(request);
       }},
      {"response handler", HostAction::reenter,
       "the handler adds a handler to its request (it runs with the same response) and makes "
       "another request on the session (it completes)",
       [] {
         Server s;
         Session session;
         auto request = session.request(s.url("/ok"));
         std::optional<Data> again, other;
         request->responseData([&](Data) {
           request->responseData([&](Data r) { again = std::move(r); });
           request->cancel();  // finished already: nothing changes
           session.request(s.url("/ok"))->responseData([&](Data r) { other = std::move(r); });
         });
         runUntil([&] { return again && other; });
         EXPECT_TRUE(hello(*again));
         EXPECT_TRUE(hello(*other));
       }},
      {"response handler", HostAction::raise,
       "the exception leaves the main context's run; the request's other handlers still run and "
       "the session keeps working",
       [] {
         Server s;
         Session session;
         auto request = session.request(s.url("/ok"));
         bool second = false;
         request->responseData([](Data) { throw std::runtime_error("handler failed"); });
         request->responseData([&](Data r) { second = hello(r); });
         int thrown = 0;
         runCatching([&] { return second; }, thrown);
         EXPECT_EQ(thrown, 1);
         EXPECT_TRUE(hello(fetch(session, s)));
       }},

      // --- progress handlers -------------------------------------------------
      {"progress handler", HostAction::release,
       "the handler drops the host's request: the transfer goes on and its response arrives",
       [] {
         Server s;
         Session session;
         auto request = session.request(s.url("/chunked"));
         std::optional<Data> got;
         int progress = 0;
         request->downloadProgress([&](const TransferProgress&) {
           ++progress;
           request.reset();
         });
         request->responseData([&](Data r) { got = std::move(r); });
         runUntil([&] { return got.has_value(); });
         EXPECT_GE(progress, 1);
         expectWhole(got);
       }},
      {"progress handler", HostAction::reenter,
       "the handler cancels its request: the response handler runs once, with "
       "explicitlyCancelled",
       [] {
         Server s;
         Session session;
         auto request = session.request(s.url("/chunked"));
         quarn::testing::Received<Data> received;
         request->downloadProgress([&](const TransferProgress&) { request->cancel(); });
         request->responseData(received.handler());
         EXPECT_TRUE(failedWith(received.awaitOne(), RequestError::Kind::explicitlyCancelled));
       }},
      {"progress handler", HostAction::raise,
       "the exception leaves the main context's run; the transfer goes on and the response "
       "arrives",
       [] {
         Server s;
         Session session;
         auto request = session.request(s.url("/chunked"));
         std::optional<Data> got;
         request->downloadProgress(
             [](const TransferProgress&) { throw std::runtime_error("progress failed"); });
         request->responseData([&](Data r) { got = std::move(r); });
         int thrown = 0;
         runCatching([&] { return got.has_value(); }, thrown);
         EXPECT_GE(thrown, 1);
         expectWhole(got);
       }},

      // --- the interceptor -----------------------------------------------------
      {"request interceptor", HostAction::release,
       "the interceptor drops the session: the request ends with sessionDeinitialized",
       [] {
         Server s;
         std::unique_ptr<Session> session;
         auto interceptor = std::make_shared<Interceptor>([&] { session.reset(); });
         session = std::make_unique<Session>(SessionConfiguration{}, interceptor);
         EXPECT_TRUE(failedWith(fetch(*session, s), RequestError::Kind::sessionDeinitialized));
       }},
      {"request interceptor", HostAction::reenter,
       "the interceptor makes another request on the session: both complete, each adapted once",
       [] {
         Server s;
         Session* current = nullptr;
         std::optional<Data> inner;
         std::string url;
         auto interceptor = std::make_shared<Interceptor>([&] {
           if (inner || url.empty()) return;
           const std::string once = std::exchange(url, "");
           current->request(once)->responseData([&](Data r) { inner = std::move(r); });
         });
         Session session(SessionConfiguration{}, interceptor);
         current = &session;
         url = s.url("/ok");
         std::optional<Data> outer;
         session.request(s.url("/ok"))->responseData([&](Data r) { outer = std::move(r); });
         runUntil([&] { return outer && inner; });
         EXPECT_TRUE(hello(*outer));
         EXPECT_TRUE(hello(*inner));
         EXPECT_EQ(interceptor->calls, 2);
       }},
      {"request interceptor", HostAction::raise,
       "the request fails with requestAdaptationFailed; the next request is adapted and sent",
       [] {
         Server s;
         bool fail = true;
         auto interceptor = std::make_shared<Interceptor>([&] {
           if (fail) throw std::runtime_error("no token");
         });
         Session session(SessionConfiguration{}, interceptor);
         EXPECT_TRUE(failedWith(fetch(session, s), RequestError::Kind::requestAdaptationFailed));
         fail = false;
         EXPECT_TRUE(hello(fetch(session, s)));
       }},

      // --- event monitors ---------------------------------------------------------
      {"event monitor", HostAction::release,
       "a monitor drops the session when a request finishes: the request's handler runs once "
       "with its response",
       [] {
         Server s;
         auto monitor = std::make_shared<Monitor>();
         auto session = std::make_unique<Session>(
             SessionConfiguration{}, nullptr, std::vector<std::shared_ptr<EventMonitor>>{monitor});
         monitor->onFinish = [&](const std::shared_ptr<Request>&) { session.reset(); };
         EXPECT_TRUE(hello(fetch(*session, s)));
         EXPECT_FALSE(session);
       }},
      {"event monitor", HostAction::reenter,
       "a monitor cancels the request it is told of and makes another: the first ends "
       "explicitlyCancelled, the second completes",
       [] {
         Server s;
         auto monitor = std::make_shared<Monitor>();
         Session session(SessionConfiguration{}, nullptr,
                         std::vector<std::shared_ptr<EventMonitor>>{monitor});
         std::optional<Data> second;
         monitor->onResume = [&](const std::shared_ptr<Request>& r) {
           if (second || monitor->finished > 0) return;
           r->cancel();
           session.request(s.url("/ok"))->responseData([&](Data d) { second = std::move(d); });
           monitor->onResume = nullptr;
         };
         EXPECT_TRUE(failedWith(fetch(session, s), RequestError::Kind::explicitlyCancelled));
         runUntil([&] { return second.has_value(); });
         EXPECT_TRUE(hello(*second));
       }},
      {"event monitor", HostAction::raise,
       "the exception is logged (error); the other monitors are told and the request's handler "
       "runs with its response",
       [] {
         Server s;
         quarn::testing::LogCapture log;
         auto throwing = std::make_shared<Monitor>();
         throwing->onResume = [](const std::shared_ptr<Request>&) {
           throw std::runtime_error("monitor failed");
         };
         throwing->onFinish = throwing->onResume;
         auto counting = std::make_shared<Monitor>();
         Session session(SessionConfiguration{}, nullptr,
                         std::vector<std::shared_ptr<EventMonitor>>{throwing, counting});
         EXPECT_TRUE(hello(fetch(session, s)));
         EXPECT_EQ(counting->finished, 1);
         EXPECT_EQ(log.count("monitor failed"), 2U);
       }},
  });
}

}  // namespace
}  // namespace quarn::http
