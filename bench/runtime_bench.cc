// Hopping to the main context and back, and spawning and awaiting a Task,
// each against the bare Asio equivalent measured in the same run. The
// "ratio" counter is library time over bare time (see compare()); the target
// is at most 1.5 for both.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <chrono>
#include <numeric>
#include <vector>

#include "quarnkit/platform/runtime/task.h"

namespace asio = boost::asio;
using namespace quarn;

namespace {

constexpr int kBatch = 200;

Async<int> one() { co_return 1; }

// From a coroutine on the concurrent executor: kBatch hops to the main
// context and back.
Async<int> hopsWithRunOn() {
  int sum = 0;
  for (int i = 0; i < kBatch; ++i) sum += co_await runOn(mainExecutor(), one());
  co_return sum;
}
Async<int> hopsWithCoSpawn() {
  int sum = 0;
  for (int i = 0; i < kBatch; ++i)
    sum += co_await asio::co_spawn(mainExecutor(), one(), asio::use_awaitable);
  co_return sum;
}

// On the main context: kBatch spawns of a child, each awaited.
Async<int> spawnsWithTask() {
  int sum = 0;
  for (int i = 0; i < kBatch; ++i) sum += co_await Task<int>::spawn(mainExecutor(), one()).value();
  co_return sum;
}
Async<int> spawnsWithCoSpawn() {
  int sum = 0;
  for (int i = 0; i < kBatch; ++i)
    sum += co_await asio::co_spawn(mainExecutor(), one(), asio::use_awaitable);
  co_return sum;
}

// Runs `work` started from the concurrent executor while this thread runs the
// main context.
template <class Make>
double timeFromPool(Make make) {
  auto start = std::chrono::steady_clock::now();
  benchmark::DoNotOptimize(runUntilComplete(runOn(concurrentExecutor(), make())));
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
template <class Make>
double timeOnMain(Make make) {
  auto start = std::chrono::steady_clock::now();
  benchmark::DoNotOptimize(runUntilComplete(make()));
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Each iteration times one batch of ours and one of bare, back to back. The
// headline "ratio" is the median of the iterations' ratios, so an iteration
// in which the scheduler preempted one side (the machine is shared) does not
// skew it; "ratio_of_totals" is total ours over total bare for comparison.
// ours_ns and bare_ns are the median times per operation.
template <class Time, class Ours, class Bare>
void compare(benchmark::State& state, Time time, Ours ours, Bare bare) {
  std::vector<double> oursTimes, bareTimes, ratios;
  for (auto _ : state) {
    const double o = time(ours);
    const double b = time(bare);
    oursTimes.push_back(o);
    bareTimes.push_back(b);
    ratios.push_back(o / b);
  }
  auto median = [](std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
  };
  auto total = [](const std::vector<double>& v) {
    return std::accumulate(v.begin(), v.end(), 0.0);
  };
  state.counters["ours_ns"] = median(oursTimes) * 1e9 / kBatch;
  state.counters["bare_ns"] = median(bareTimes) * 1e9 / kBatch;
  state.counters["ratio"] = median(ratios);
  state.counters["ratio_of_totals"] = total(oursTimes) / total(bareTimes);
}

void BM_HopToMainAndBack(benchmark::State& state) {
  compare(
      state, [](auto m) { return timeFromPool(m); }, hopsWithRunOn, hopsWithCoSpawn);
}
BENCHMARK(BM_HopToMainAndBack)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_SpawnAndAwaitTask(benchmark::State& state) {
  compare(
      state, [](auto m) { return timeOnMain(m); }, spawnsWithTask, spawnsWithCoSpawn);
}
BENCHMARK(BM_SpawnAndAwaitTask)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
