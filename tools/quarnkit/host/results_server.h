// ResultsServer: answers the combined request of a preview from a server
// instead of a results file: the request body (the JSON array of request
// items) is POSTed to the URL and the answer read as a results file would
// be. A server error or a malformed answer is one line naming the URL.
//
//   quarnkit preview t.json --server https://api.example.com/composite
//     --header "Authorization: Bearer abc"
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "quarnkit/composite_list/model/result.h"
#include "quarnkit/core/value.h"
#include "quarnkit/http/http_headers.h"
#include "quarnkit/platform/runtime/async.h"

namespace quarn::http {
class Session;
}

namespace quarn::tool {

class HostRegistry;

struct ResultsServerOptions {
  std::string url;
  /// Sent with the request (authorisation, for one), to the origin of
  /// `url` only.
  http::HTTPHeaders headers;
  /// Seconds the request may take in all; none: no limit.
  std::optional<double> maxTime;
};

class ResultsServer {
 public:
  ResultsServer(ResultsServerOptions options, std::shared_ptr<HostRegistry> host);
  ~ResultsServer();
  ResultsServer(const ResultsServer&) = delete;
  ResultsServer& operator=(const ResultsServer&) = delete;

  /// POSTs `requestBody` and decodes the answer; InputError naming the URL
  /// (and the JSON path in the answer) on failure.
  Async<CompositeListResult> answer(Value requestBody);

 private:
  ResultsServerOptions options_;
  std::shared_ptr<HostRegistry> host_;
  std::unique_ptr<http::Session> session_;
};

}  // namespace quarn::tool
