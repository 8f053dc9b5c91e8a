// Decoding composite-list documents against Boost.JSON's parse of the same
// bytes, measured in the same run: a 10,000-item template through the
// registry, and a 10,000-entity result through the class map. Both subjects
// include their own parse.
#include <benchmark/benchmark.h>

#include <boost/json.hpp>

#include "bench/bench_util.h"
#include "bench/composite_list_generator.h"
#include "quarnkit/composite_list/model/result.h"

namespace {

void BM_TemplateDecodeVsParse(benchmark::State& state) {
  const std::string json = quarn::bench::makeTemplate(10000);
  const auto registry = quarn::bench::makeRegistry();
  quarn::bench::PhaseTimer parse, decode;
  std::size_t count = 0;
  for (auto _ : state) {
    parse.time([&] {
      boost::json::monotonic_resource memory;
      auto v = boost::json::parse(json, &memory);
      benchmark::DoNotOptimize(v);
    });
    std::vector<quarn::AnyCompositeListItem> items;
    decode.time([&] { items = quarn::decodeCompositeListTemplate(json, registry); });
    count = items.size();
  }
  quarn::bench::reportRatio(state, decode, parse, "decode_ms", "parse_ms");
  state.counters["items"] = static_cast<double>(count);
  state.counters["bytes"] = static_cast<double>(json.size());
}
BENCHMARK(BM_TemplateDecodeVsParse)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_ResultDecodeVsParse(benchmark::State& state) {
  const std::string json = quarn::bench::makeResult(10000);
  const auto classMap = *quarn::bench::makeRegistry()->entityClassMap();
  quarn::bench::PhaseTimer parse, decode;
  for (auto _ : state) {
    parse.time([&] {
      boost::json::monotonic_resource memory;
      auto v = boost::json::parse(json, &memory);
      benchmark::DoNotOptimize(v);
    });
    quarn::CompositeListResult result;
    decode.time([&] { result = quarn::decodeCompositeListResult(json, classMap); });
    benchmark::DoNotOptimize(result);
  }
  quarn::bench::reportRatio(state, decode, parse, "decode_ms", "parse_ms");
  state.counters["bytes"] = static_cast<double>(json.size());
}
BENCHMARK(BM_ResultDecodeVsParse)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
