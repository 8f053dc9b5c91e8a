// Hopping to the main context and back, and spawning and awaiting a Task,
// each against the bare Asio equivalent measured in the same run. The
// "ratio" counter is library time over bare time.
#include <benchmark/benchmark.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <chrono>

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

template <class Time, class Ours, class Bare>
void compare(benchmark::State& state, Time time, Ours ours, Bare bare) {
  double oursTotal = 0, bareTotal = 0;
  for (auto _ : state) {
    // Alternate so drift on a shared machine hits both alike.
    oursTotal += time(ours);
    bareTotal += time(bare);
  }
  state.counters["ours_ns"] = oursTotal * 1e9 / (kBatch * static_cast<double>(state.iterations()));
  state.counters["bare_ns"] = bareTotal * 1e9 / (kBatch * static_cast<double>(state.iterations()));
  state.counters["ratio"] = oursTotal / bareTotal;
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
