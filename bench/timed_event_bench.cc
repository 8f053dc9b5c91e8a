// Timed events against their floor, measured in the same run: n calls of
// execute with a predicate over the recorded times (the predicate holds and
// the work runs, so every call records), in a store that also holds an app's
// launches. The floor is what any history kept in the store costs per call:
// one read and one write of the store's JSON value (the launches), parsed and
// written back as a host keeping its own history would (counter "ratio": one
// call over the floor). The cost of a call must not grow with the calls made
// before it: "ratio" and "call_us" stay the same for 1,000, 2,000 and 4,000
// calls.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/concurrency/timed_event_manager.h"
#include "quarnkit/platform/key_value_store.h"

namespace quarn {
namespace {

using Clock = std::chrono::steady_clock;

double nanosSince(Clock::time_point start, std::int64_t n) {
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count() /
         static_cast<double>(n);
}

void BM_ExecuteWhereVersusStoreReadWrite(benchmark::State& state) {
  const std::int64_t calls = state.range(0);
  double subject = 0, floor = 0;
  std::int64_t ran = 0;
  for (auto _ : state) {
    auto store = std::make_shared<platform::InMemoryKeyValueStore>();
    auto manager = TimedEventManager::make(store, "default");
    for (int i = 0; i < 10; ++i) manager->registerEvent(EventIdentifier::appLaunch, 10);
    // The floor first, over the store as the launches left it.
    auto start = Clock::now();
    for (std::int64_t i = 0; i < calls; ++i) {
      const auto value = store->data("timedEvents");
      const Value json =
          parseJSON(std::string_view(reinterpret_cast<const char*>(value->data()), value->size()));
      const std::string text = serializeJSON(json);
      store->set("timedEvents", platform::KeyValueStore::Data(text.begin(), text.end()));
    }
    floor += nanosSince(start, calls);
    start = Clock::now();
    for (std::int64_t i = 0; i < calls; ++i) {
      const auto result = manager->execute(
          "tip", [](const TimedEventManager::Times& times) { return times.size() < (1U << 30); },
          [] { return true; });
      ran += result == ExecuteResult::executed();
    }
    subject += nanosSince(start, calls);
  }
  if (ran != calls * static_cast<std::int64_t>(state.iterations())) {
    state.SkipWithError("a call did not run its work");
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["call_us"] = subject / n / 1000;
  state.counters["read_write_us"] = floor / n / 1000;
  state.counters["ratio"] = subject / floor;
}
BENCHMARK(BM_ExecuteWhereVersusStoreReadWrite)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quarn

BENCHMARK_MAIN();
