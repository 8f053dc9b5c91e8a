// JSONDecoder against Boost.JSON's parse of the same bytes: 10,000 records of
// a realistic shape decoded into structs from the parsed document. Reported:
// "ratio" = decode time / parse time, both measured in each iteration, and
// "cpu_ratio", the same in the thread's CPU time (steadier than wall time on
// a shared machine, where a phase may wait for a core).
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <boost/json.hpp>

#include "bench/bench_util.h"
#include "quarnkit/coding/json_decoder.h"

namespace {

struct Author {
  std::string name;
  std::int64_t followers = 0;
  static Author decode(quarn::Decoder& d) {
    auto c = d.container();
    return {c->decode<std::string>("name"), c->decode<std::int64_t>("followers")};
  }
};

struct Article {
  std::int64_t id = 0;
  std::string title;
  std::string summary;
  double rating = 0;
  bool featured = false;
  std::optional<std::string> imageUrl;
  std::optional<std::int64_t> readMinutes;
  Author author;
  std::vector<std::string> tags;
  static Article decode(quarn::Decoder& d) {
    auto c = d.container();
    Article a;
    a.id = c->decode<std::int64_t>("id");
    a.title = c->decode<std::string>("title");
    a.summary = c->decode<std::string>("summary");
    a.rating = c->decode<double>("rating");
    a.featured = c->decode<bool>("featured");
    a.imageUrl = c->decodeIfPresent<std::string>("imageUrl");
    a.readMinutes = c->decodeIfPresent<std::int64_t>("readMinutes");
    a.author = c->decode<Author>("author");
    a.tags = c->decode<std::vector<std::string>>("tags");
    return a;
  }
};

std::string makeArticles(int n) {
  std::string out = "[";
  for (int i = 0; i < n; ++i) {
    if (i) out += ',';
    out += fmt::format(
        R"({{"id":{},"title":"Article number {} about things","summary":"A short summary of article {} that runs for a line or two of text.","rating":{},"featured":{},{}"readMinutes":{},"author":{{"name":"Author {}","followers":{}}},"tags":["news","tag{}","long-read"]}})",
        i, i, i, 3.5 + (i % 10) / 10.0, i % 3 == 0 ? "true" : "false",
        i % 2 ? fmt::format(R"("imageUrl":"https://cdn.example.com/img/{}.jpg",)", i) : "", i % 17,
        i % 100, i * 7, i % 9);
  }
  return out + "]";
}

void BM_DecodeVsParse(benchmark::State& state) {
  const std::string json = makeArticles(10000);
  quarn::bench::PhaseTimer parse, decode;
  quarn::bench::CPUPhaseTimer parseCPU, decodeCPU;
  const quarn::JSONDecoder decoder;
  for (auto _ : state) {
    boost::json::monotonic_resource memory;
    boost::json::value document;
    parse.time([&] { parseCPU.time([&] { document = boost::json::parse(json, &memory); }); });
    std::vector<Article> articles;
    decode.time([&] {
      decodeCPU.time([&] { articles = decoder.decode<std::vector<Article>>(document); });
    });
    benchmark::DoNotOptimize(articles);
  }
  quarn::bench::reportRatio(state, decode, parse, "decode_ms", "parse_ms");
  state.counters["cpu_ratio"] = decodeCPU.seconds() / parseCPU.seconds();
  state.SetBytesProcessed(static_cast<std::int64_t>(json.size()) * state.iterations());
}
BENCHMARK(BM_DecodeVsParse)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
