// Paged HTTP data, each against a floor measured in the same run:
//
// - BM_GetsVsCurlMulti: 2,000 small JSON GETs to a loopback server over at
//   most 10 connections, through the library's client (a session, data
//   requests with their serializer and validation, delivery on the main
//   context) against libcurl's multi interface driven directly with the same
//   requests (compressed answers accepted, as the client does; the server
//   compresses them). "ratio" is client time over libcurl time in wall time
//   (the transfers wait on the server); the target is at most 1.3.
//   "cpu_ratio" is the same for the processor time of the calling thread
//   alone, the client's own cost without the server's. (libcurl walks its
//   list of transfers waiting for a connection at every removal; the client
//   keeps most of its waiting transfers out of that list, the floor cannot.)
// - BM_KeyPathDecodeVsParse: a 5,000-item page at "data.items" decoded into
//   records through DataKeyPathSerializer against Boost.JSON's parse of the
//   same body. "ratio" is the processor time of the decoding over that of
//   the parse; the target is at most 1.5.
// - BM_LongWalkPerItem: a paginated data source merging 8,000 pages of 20
//   generic JSON items (the duplicate filter on, as page --all walks)
//   against a walk of 1,000 such pages. "ratio" is the processor time per
//   item of the long walk over that of the short one: about 1 when merging
//   costs the page, about 8 when it costs the items held.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <fmt/format.h>

#include <boost/json.hpp>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "quarnkit/http/session.h"
#include "quarnkit/paging/data_key_path_serializer.h"
#include "quarnkit/paging/paginated_data_source.h"
#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/testing/loopback_server.h"

using namespace quarn;

namespace {

constexpr int kRequests = 2000;
constexpr long kConnections = 10;

// The loopback server of every GET benchmark: a small JSON object per item.
class ItemServer {
 public:
  ItemServer() : server_(kConnections + 6) {
    server_.routes().Get(
        R"(/items/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
          const std::string id = req.matches[1];
          res.set_content(R"({"id": )" + id + R"(, "name": "item )" + id + R"(", "price": 4.99})",
                          "application/json");
        });
    server_.start();
  }
  [[nodiscard]] std::string url(int i) const { return server_.url("/items/" + std::to_string(i)); }

 private:
  quarn::testing::LoopbackServer server_;
};

// The client: every request validated and its body delivered on the main
// context.
void clientGets(const ItemServer& server) {
  http::SessionConfiguration configuration = http::SessionConfiguration::standard();
  configuration.httpMaximumConnectionsPerHost = kConnections;
  http::Session session(configuration);
  std::vector<std::shared_ptr<http::DataRequest>> requests;
  requests.reserve(kRequests);
  int done = 0;
  std::size_t bytes = 0;
  for (int i = 0; i < kRequests; ++i) {
    auto request = session.request(server.url(i));
    request->validate();
    request->responseData([&](http::DataResponse<std::string> r) {
      if (r.error() != nullptr) throw std::runtime_error(r.error()->reason());
      bytes += r.value()->size();
      ++done;
    });
    requests.push_back(std::move(request));
  }
  if (!runMainContextUntil([&] { return done == kRequests; }, std::chrono::seconds(60))) {
    throw std::runtime_error("the client's GETs did not finish");
  }
  benchmark::DoNotOptimize(bytes);
}

// The floor: the same GETs on one multi handle with the same connection
// limit, bodies and headers collected, driven by curl_multi_poll.
struct Transfer {
  std::string body;
  std::string headers;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* into) {
  static_cast<std::string*>(into)->append(data, size * count);
  return size * count;
}

void curlGets(const ItemServer& server) {
  CURLM* multi = curl_multi_init();
  curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, kConnections);
  std::vector<Transfer> transfers(kRequests);
  for (int i = 0; i < kRequests; ++i) {
    CURL* easy = curl_easy_init();
    const std::string url = server.url(i);
    Transfer& t = transfers[static_cast<std::size_t>(i)];
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // The same request as the client's: compressed answers accepted.
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "QuarnKit");
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t.body);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &collect);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t.headers);
    curl_multi_add_handle(multi, easy);
  }
  int running = 1;
  int done = 0;
  while (done < kRequests) {
    curl_multi_perform(multi, &running);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg != CURLMSG_DONE) continue;
      long status = 0;
      curl_easy_getinfo(message->easy_handle, CURLINFO_RESPONSE_CODE, &status);
      if (message->data.result != CURLE_OK || status != 200) {
        throw std::runtime_error("a GET of the floor failed");
      }
      CURL* easy = message->easy_handle;
      curl_multi_remove_handle(multi, easy);
      curl_easy_cleanup(easy);
      ++done;
    }
    if (done < kRequests) curl_multi_poll(multi, nullptr, 0, 100, nullptr);
  }
  curl_multi_cleanup(multi);
  benchmark::DoNotOptimize(transfers.data());
}

void BM_GetsVsCurlMulti(benchmark::State& state) {
  const ItemServer server;
  clientGets(server);  // warm-up of both
  curlGets(server);
  bench::PhaseTimer client;
  bench::PhaseTimer floor;
  bench::CPUPhaseTimer clientCPU;
  bench::CPUPhaseTimer floorCPU;
  for (auto _ : state) {
    floor.time([&] { floorCPU.time([&] { curlGets(server); }); });
    client.time([&] { clientCPU.time([&] { clientGets(server); }); });
  }
  bench::reportRatio(state, client, floor, "client_ms", "curl_ms");
  state.counters["cpu_ratio"] = clientCPU.seconds() / floorCPU.seconds();
}
BENCHMARK(BM_GetsVsCurlMulti)->Unit(benchmark::kMillisecond)->Iterations(10);

struct Item {
  std::int64_t id = 0;
  std::string name;
  double price = 0;
  bool available = false;
  std::optional<std::string> imageUrl;
  std::vector<std::string> tags;
  static Item decode(Decoder& d) {
    auto c = d.container();
    Item item;
    item.id = c->decode<std::int64_t>("id");
    item.name = c->decode<std::string>("name");
    item.price = c->decode<double>("price");
    item.available = c->decode<bool>("available");
    item.imageUrl = c->decodeIfPresent<std::string>("imageUrl");
    item.tags = c->decode<std::vector<std::string>>("tags");
    return item;
  }
};

std::string pageBody(int n) {
  std::string items;
  for (int i = 0; i < n; ++i) {
    items += fmt::format(
        R"({}{{"id":{},"name":"Item number {}","price":{},"available":{},{}"tags":["new","t{}"]}})",
        i ? "," : "", i, i, 1.25 + i % 50, i % 3 ? "true" : "false",
        i % 2 ? fmt::format(R"("imageUrl":"https://cdn.example.com/items/{}.jpg",)", i) : "",
        i % 7);
  }
  return fmt::format(R"({{"meta":{{"page":1,"per_page":{}}},"data":{{"items":[{}]}}}})", n, items);
}

void BM_KeyPathDecodeVsParse(benchmark::State& state) {
  const std::optional<std::string> body = pageBody(5000);
  const DataKeyPathSerializer<std::vector<Item>> serializer("data.items", JSONDecoder());
  http::HTTPURLResponse response;
  response.statusCode = 200;
  bench::CPUPhaseTimer decode;
  bench::CPUPhaseTimer parse;
  for (auto _ : state) {
    parse.time([&] { benchmark::DoNotOptimize(boost::json::parse(*body)); });
    decode.time(
        [&] { benchmark::DoNotOptimize(serializer.serialize(nullptr, &response, body, nullptr)); });
  }
  bench::reportRatio(state, decode, parse, "decode_ms", "parse_ms");
}
BENCHMARK(BM_KeyPathDecodeVsParse)->Unit(benchmark::kMillisecond)->MinTime(2);

// Pages of generic items, each delivered on the main context.
struct GeneratedPages {
  using ResultType = Value;
  std::int64_t next = 0;
  bool fetch(const Pagination*, PageCompletion<Value> completion) {
    std::vector<Value> page;
    for (int i = 0; i < 20; ++i) page.push_back(Value{{"id", next++}, {"name", "item"}});
    postToMain([page = std::move(page), completion = std::move(completion)]() mutable {
      completion(std::move(page), nullptr, std::nullopt);
    });
    return true;
  }
  void cancel() {}
};

void walkGenerated(int pages) {
  auto source = PaginatedDataSource<GeneratedPages>::make(
      std::make_shared<GeneratedPages>(), std::make_shared<OffsetLimitPagination>(20, 0));
  for (int i = 0; i < pages; ++i) {
    bool done = false;
    source->fetchNextPage([&done](auto, auto) { done = true; });
    runMainContextUntil([&done] { return done; }, std::chrono::seconds(60));
  }
  if (source->items().size() != static_cast<std::size_t>(pages) * 20) {
    throw std::runtime_error("the walk lost items");
  }
}

void BM_LongWalkPerItem(benchmark::State& state) {
  constexpr int kShort = 1000;
  constexpr int kLong = 8000;
  bench::CPUPhaseTimer shortWalk;
  bench::CPUPhaseTimer longWalk;
  for (auto _ : state) {
    shortWalk.time([] { walkGenerated(kShort); });
    longWalk.time([] { walkGenerated(kLong); });
  }
  state.counters["short_us_per_item"] =
      shortWalk.seconds() * 1e6 / (kShort * 20.0) / static_cast<double>(state.iterations());
  state.counters["long_us_per_item"] =
      longWalk.seconds() * 1e6 / (kLong * 20.0) / static_cast<double>(state.iterations());
  state.counters["ratio"] = (longWalk.seconds() / kLong) / (shortWalk.seconds() / kShort);
}
BENCHMARK(BM_LongWalkPerItem)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
