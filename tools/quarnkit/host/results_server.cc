#include "tools/quarnkit/host/results_server.h"

#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/http/session.h"
#include "tools/quarnkit/common/http_options.h"
#include "tools/quarnkit/common/log_lines.h"
#include "tools/quarnkit/host/session.h"

namespace quarn::tool {

ResultsServer::ResultsServer(ResultsServerOptions options, std::shared_ptr<HostRegistry> host)
    : options_(std::move(options)),
      host_(std::move(host)),
      session_(std::make_unique<http::Session>(toolSessionConfiguration(options_.maxTime))) {}

ResultsServer::~ResultsServer() = default;

Async<CompositeListResult> ResultsServer::answer(Value requestBody) {
  if (const std::string why = checkHTTPURL(options_.url); !why.empty()) {
    throw InputError(options_.url, "", why);
  }
  http::URLRequest post(*URL::parse(options_.url), http::HTTPMethod::post, options_.headers);
  post.headers.update("Content-Type", "application/json");
  if (!post.headers.contains("Accept")) post.headers.add("Accept", "application/json");
  post.body = serializeJSON(requestBody);
  const std::shared_ptr<http::DataRequest> request = session_->request(std::move(post));
  request->validate();
  const http::DataResponse<std::string> response = co_await request->serializingData(true);
  if (const http::RequestError* error = response.error()) throw requestFailure(*error);
  co_return readResults(options_.url, *response.value(), *host_);
}

}  // namespace quarn::tool
