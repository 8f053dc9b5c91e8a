// Redirects against two real servers on 127.0.0.1 (two ports: two
// origins): the header fields a caller set reach only the origin they were
// meant for, a redirect's own body never counts as the response's (nor as
// its progress), and the method after a redirect is what HTTP clients
// agree on.
#include <gtest/gtest.h>

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
using quarn::testing::TemporaryDirectory;
using DataReceived = Received<DataResponse<std::string>>;

// Answers with the method, the body and the fields the tests set.
void echo(const httplib::Request& req, httplib::Response& res) {
  std::string seen = req.method + " " + req.body;
  for (const char* name : {"X-Api-Key", "X-Session", "Authorization", "Content-Type"}) {
    seen += std::string("|") + name + "=" + req.get_header_value(name);
  }
  res.set_content(seen, "text/plain");
}

class RedirectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (LoopbackServer* s : {&origin, &other}) {
      s->routes().Get("/echo", echo);
      s->routes().Post("/echo", echo);
    }
    // /redirect/CODE?to=URL answers CODE with Location URL and a body of
    // its own, as most servers do.
    const auto redirect = [](const httplib::Request& req, httplib::Response& res) {
      res.status = std::stoi(req.matches[1]);
      res.set_header("Location", req.get_param_value("to"));
      res.set_content(std::string(150, 'r'), "text/html");
    };
    origin.routes().Get(R"(/redirect/(\d+))", redirect);
    origin.routes().Post(R"(/redirect/(\d+))", redirect);
    other.routes().Get("/bounce", [this](const httplib::Request&, httplib::Response& res) {
      res.set_redirect(origin.url("/echo"));
    });
    origin.routes().Get("/payload", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(5000, 'p'), "application/octet-stream");
    });
    origin.routes().Get("/loop", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("/loop");
    });
    origin.start();
    other.start();
  }

  std::string redirectTo(int code, const std::string& target) const {
    return origin.url("/redirect/" + std::to_string(code) + "?to=" + target);
  }

  std::string fetch(Session& session, URLRequest request) {
    DataReceived received;
    session.request(std::move(request))->responseData(received.handler());
    const auto& r = received.awaitOne();
    if (!r.value()) return "error: " + r.error()->description();
    return r.response->url.absoluteString() + " " + *r.value();
  }

  LoopbackServer origin;
  LoopbackServer other;
};

TEST_F(RedirectTest, TheCallersHeaderFieldsStayWithTheOriginTheyWereMeantFor) {
  SessionConfiguration configuration;
  configuration.headers = {{"X-Session", "s"}};
  const auto request = [&](const std::string& url) {
    return URLRequest(*URL::parse(url), HTTPMethod::get,
                      {{"X-Api-Key", "k"}, {"Authorization", "Bearer t"}});
  };
  Session session(configuration);
  // The same origin (a relative Location): everything goes along.
  EXPECT_EQ(
      fetch(session, request(redirectTo(302, "/echo"))),
      origin.url("/echo") + " GET |X-Api-Key=k|X-Session=s|Authorization=Bearer t|Content-Type=");
  // Another port is another origin: nothing the caller set goes there.
  EXPECT_EQ(fetch(session, request(redirectTo(302, other.url("/echo")))),
            other.url("/echo") + " GET |X-Api-Key=|X-Session=|Authorization=|Content-Type=");
  // Back to the first origin after a detour elsewhere: what was dropped
  // stays dropped.
  EXPECT_EQ(fetch(session, request(redirectTo(307, other.url("/bounce")))),
            origin.url("/echo") + " GET |X-Api-Key=|X-Session=|Authorization=|Content-Type=");
}

TEST_F(RedirectTest, WithTheRestrictionOffOnlyTheCredentialsStayBehind) {
  SessionConfiguration configuration;
  configuration.headers = {{"X-Session", "s"}};
  configuration.restrictsHeadersToOrigin = false;
  Session session(configuration);
  EXPECT_EQ(
      fetch(session, URLRequest(*URL::parse(redirectTo(302, other.url("/echo"))), HTTPMethod::get,
                                {{"X-Api-Key", "k"}, {"Authorization", "Bearer t"}})),
      other.url("/echo") + " GET |X-Api-Key=k|X-Session=s|Authorization=|Content-Type=");
}

TEST_F(RedirectTest, TheMethodAfterARedirectAndTheLimitOnRedirects) {
  Session session;
  const auto post = [&](int code) {
    URLRequest r(*URL::parse(redirectTo(code, "/echo")), HTTPMethod::post,
                 {{"Content-Type", "application/json"}});
    r.body = R"({"a": 1})";
    return r;
  };
  const std::string echoed = origin.url("/echo");
  // 301, 302 and 303 go on as a GET without the body; 307 and 308 repeat
  // the request as it was.
  for (int code : {301, 302, 303}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(fetch(session, post(code)),
              echoed + " GET |X-Api-Key=|X-Session=|Authorization=|Content-Type=");
  }
  for (int code : {307, 308}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(
        fetch(session, post(code)),
        echoed +
            R"( POST {"a": 1}|X-Api-Key=|X-Session=|Authorization=|Content-Type=application/json)");
  }
  // HEAD stays HEAD (the answer has no body either way).
  EXPECT_EQ(fetch(session, URLRequest(*URL::parse(redirectTo(303, "/payload")), HTTPMethod::head)),
            origin.url("/payload") + " ");
  // Only to http and https.
  const std::string toFTP = redirectTo(302, "ftp://127.0.0.1/file");
  EXPECT_EQ(fetch(session, URLRequest(*URL::parse(toFTP))),
            "error: " + toFTP +
                ": the URL is not an HTTP or HTTPS URL the client can fetch (a redirect to "
                "ftp://127.0.0.1/file)");
  EXPECT_EQ(fetch(session, URLRequest(*URL::parse(origin.url("/loop")))),
            "error: " + origin.url("/loop") + ": too many redirects (more than 16)");
}

TEST_F(RedirectTest, ProgressAndTheBodyComeFromTheFinalResponseOnly) {
  Session session;
  const std::string url = redirectTo(302, "/payload");
  struct Seen {
    std::vector<TransferProgress> progress;
  };
  // A data request and a download see the same.
  Seen data, download;
  auto dataRequest = session.request(url);
  dataRequest->downloadProgress([&](const TransferProgress& p) { data.progress.push_back(p); });
  DataReceived received;
  dataRequest->responseData(received.handler());

  TemporaryDirectory directory;
  auto downloadRequest = session.download(
      url, [&](const URL&, const HTTPURLResponse&) -> DownloadRequest::DestinationResult {
        return {URL::fileURL(directory.path() / "payload"), {}};
      });
  downloadRequest->downloadProgress(
      [&](const TransferProgress& p) { download.progress.push_back(p); });
  Received<DownloadResponse<URL>> downloaded;
  downloadRequest->response(downloaded.handler());
  runUntil([&] { return !received.responses.empty() && !downloaded.responses.empty(); });
  drainMainContext();

  ASSERT_TRUE(received.responses[0].value()) << received.responses[0].error()->description();
  EXPECT_EQ(*received.responses[0].value(), std::string(5000, 'p'));
  ASSERT_TRUE(downloaded.responses[0].value());
  EXPECT_EQ(std::filesystem::file_size(directory.path() / "payload"), 5000u);
  for (const Seen* seen : {&data, &download}) {
    ASSERT_FALSE(seen->progress.empty());
    for (const TransferProgress& p : seen->progress) {
      // Never the redirect's 150 bytes, never complete before the payload.
      EXPECT_NE(p.totalUnitCount, 150);
      if (p.fractionCompleted() >= 1.0) {
        EXPECT_EQ(p.completedUnitCount, 5000);
      }
    }
    EXPECT_EQ(seen->progress.back(), (TransferProgress{5000, 5000}));
  }
}

}  // namespace
}  // namespace quarn::http
