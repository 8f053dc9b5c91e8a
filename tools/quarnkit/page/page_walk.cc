// The walk itself, apart from its rendering (page.cc).
#include <fmt/format.h>

#include "quarnkit/paging/decodable_page_fetcher.h"
#include "quarnkit/paging/ids_pagination.h"
#include "quarnkit/paging/key_pagination.h"
#include "quarnkit/paging/page_request.h"
#include "quarnkit/paging/paginated_data_source.h"
#include "tools/quarnkit/common/http_options.h"
#include "tools/quarnkit/page/page.h"

namespace quarn::tool {

namespace {

using Fetcher = AlamofireDecodablePageFetcher<Value>;
using Source = PaginatedDataSource<Fetcher>;

std::shared_ptr<Pagination> makeScheme(const PageOptions& o,
                                       const std::function<std::int64_t()>& lastId) {
  try {
    if (o.scheme == "page") {
      return std::make_shared<PerPagePagination>(o.perPage, 1,
                                                 PerPagePagination::Keys{o.sizeKey, o.pageKey});
    }
    if (o.scheme == "offset") return std::make_shared<OffsetLimitPagination>(o.perPage, 0);
    if (o.scheme == "pk") return PrimaryKeyPagination::make(o.perPage, 0, lastId);
    if (o.scheme == "from-id") return FromIDPagination::make(o.perPage, 0, lastId);
    if (o.scheme == "ids") {
      if (o.ids.empty())
        throw InputError("--ids", "", "the ids scheme needs the ids to page through");
      return std::make_shared<IDsPagination<std::string>>(
          o.ids, o.perPage, 1, IDsPagination<std::string>::Keys{o.idsKey, o.sizeKey, o.pageKey});
    }
  } catch (const std::invalid_argument& e) {
    throw InputError("--per-page", "", e.what());
  }
  throw InputError("--scheme", "", "unknown scheme \"" + o.scheme + "\"");
}

}  // namespace

Async<Walk> walkAsync(PageOptions options) {
  http::SessionConfiguration configuration = toolSessionConfiguration(options.maxTime);
  configuration.headers = options.headers;
  http::Session session(configuration);
  const URL base = *URL::parse(options.url);
  std::string requested;
  std::optional<http::HTTPURLResponse> response;
  auto fetcher = Fetcher::make(
      JSONDecoder(),
      [&](const Pagination* p) {
        const URL url = p != nullptr ? urlWithParameters(base, p->parameters()) : base;
        requested = url.absoluteString();
        return session.request(url);
      },
      [&](http::DataResponse<std::vector<Value>> r) {
        response = r.response;
        return r;
      });
  fetcher->responseKeyPath = options.keyPath;
  std::shared_ptr<Source> source;
  // The key schemes continue from the last item's integer "id".
  std::function<std::int64_t()> lastId = [&source]() -> std::int64_t {
    if (!source || source->items().empty()) return 0;
    const Value* id = source->items().back().find("id");
    return id != nullptr ? id->asInteger().value_or(0) : 0;
  };
  source = Source::make(fetcher, makeScheme(options, lastId));

  Walk out;
  const std::int64_t limit = options.all ? options.maxPages : options.pages;
  while (true) {
    const std::shared_ptr<Pagination> scheme = source->pagination();
    const std::size_t before = scheme->isFirstPage() ? 0 : source->items().size();
    const Value::Object asked = scheme->parameters();
    response.reset();
    WalkedPage page;
    page.items = co_await source->fetchNextPage();
    page.request = requested;
    if (response) {
      page.status = response->statusCode;
      page.info = ResponsePaginationInfo(*response);
      for (const auto& [key, name] : ResponsePaginationInfo::defaultKeys()) {
        page.headers.emplace_back(name, response->value(name));
      }
    }
    const std::size_t added = source->items().size() - before;
    page.duplicatesDropped = page.items.size() - added;
    page.next = source->pagination()->parameters();
    page.stops = source->pagination()->shouldHidePaginationControl();
    out.duplicatesDropped += page.duplicatesDropped;
    const bool repeats = !page.stops && page.next == asked;
    out.pages.push_back(std::move(page));
    if (out.pages.back().stops) {
      out.end = "the scheme stops: no further page";
    } else if (repeats) {
      out.end = "the next request would repeat this one";
    } else if (source->items().size() >= options.maxItems) {
      out.end = fmt::format("stopped at {} items held", source->items().size());
    } else if (static_cast<std::int64_t>(out.pages.size()) >= limit) {
      out.end = options.all ? fmt::format("stopped after {} pages", limit)
                            : fmt::format("{} {} asked for; the scheme goes on", limit,
                                          limit == 1 ? "page" : "pages");
    } else {
      continue;
    }
    break;
  }
  out.merged = source->items().size();
  co_return out;
}

}  // namespace quarn::tool
