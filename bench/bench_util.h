// Helpers shared by the benchmark suites: timing two phases of one iteration
// so a suite can report the ratio of a subject to its floor measured in the
// same run.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>

namespace quarn::bench {

/// Accumulates the time of a phase across iterations.
class PhaseTimer {
 public:
  template <class F>
  void time(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    total_ += std::chrono::steady_clock::now() - start;
  }
  [[nodiscard]] double seconds() const { return std::chrono::duration<double>(total_).count(); }

 private:
  std::chrono::steady_clock::duration total_{};
};

/// Reports subject/floor as the "ratio" counter, plus both per-iteration
/// times in milliseconds.
inline void reportRatio(benchmark::State& state, const PhaseTimer& subject, const PhaseTimer& floor,
                        const char* subjectName = "subject_ms",
                        const char* floorName = "floor_ms") {
  const auto n = static_cast<double>(state.iterations());
  state.counters[subjectName] = subject.seconds() * 1000 / n;
  state.counters[floorName] = floor.seconds() * 1000 / n;
  state.counters["ratio"] = subject.seconds() / floor.seconds();
}

}  // namespace quarn::bench
