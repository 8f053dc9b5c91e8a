// The articles list: the app's page fetcher over its own client, for the
// library's paginated data source.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "network.h"
#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/paging/page_fetchable.h"
#include "quarnkit/platform/runtime/async.h"

namespace host {

struct Article {
  std::int64_t id = 0;
  std::string title;
  friend bool operator==(const Article&, const Article&) = default;
};

class ArticleFetcher {
 public:
  using ResultType = Article;
  explicit ArticleFetcher(std::shared_ptr<const Api> api) : api_(std::move(api)) {}
  ~ArticleFetcher() { join(); }

  // The request runs on a thread of its own; the completion on the main
  // context, as the data source expects.
  bool fetch(const quarn::Pagination* pagination, quarn::PageCompletion<Article> completion) {
    std::string query;
    for (const auto& [key, value] : pagination->parameters()) {
      query += (query.empty() ? "?" : "&") + key + "=" + value.description();
    }
    join();
    worker_ = std::thread(
        [api = api_, path = "/articles" + query, completion = std::move(completion)]() mutable {
          std::optional<std::vector<Article>> items;
          std::exception_ptr error;
          std::optional<quarn::ResponsePaginationInfo> info;
          try {
            const Response response = api->get(path);
            items.emplace();
            const quarn::Value page = quarn::parseJSON(response.body);
            for (const quarn::Value& entry : *page.ifArray()) {
              items->push_back({*entry.find("id")->asInteger(), *entry.find("title")->ifString()});
            }
            info.emplace([&](std::string_view name) { return response.header(name); });
          } catch (...) {
            error = std::current_exception();
          }
          quarn::postToMain([completion = std::move(completion), items = std::move(items), error,
                             info]() mutable { completion(std::move(items), error, info); });
        });
    return true;
  }
  // Pages are small: a request under way is let finish.
  void cancel() {}

 private:
  void join() {
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
  }
  std::shared_ptr<const Api> api_;
  std::thread worker_;
};

}  // namespace host
