// Helpers shared by the benchmark suites: timing two phases of one iteration
// so a suite can report the ratio of a subject to its floor measured in the
// same run.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>

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

/// Accumulates the processor time the calling thread spends in a phase. On a
/// machine shared with other work, wall time also counts the time a thread
/// waits for a core, which makes the ratio of two phases noise.
class CPUPhaseTimer {
 public:
  template <class F>
  void time(F&& f) {
    const double start = now();
    f();
    total_ += now() - start;
  }
  [[nodiscard]] double seconds() const { return total_; }

 private:
  static double now() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
  }
  double total_ = 0;
};

/// Reports subject/floor as the "ratio" counter, plus both per-iteration
/// times in milliseconds.
template <class Timer>
void reportRatio(benchmark::State& state, const Timer& subject, const Timer& floor,
                 const char* subjectName = "subject_ms", const char* floorName = "floor_ms") {
  const auto n = static_cast<double>(state.iterations());
  state.counters[subjectName] = subject.seconds() * 1000 / n;
  state.counters[floorName] = floor.seconds() * 1000 / n;
  state.counters["ratio"] = subject.seconds() / floor.seconds();
}

}  // namespace quarn::bench
