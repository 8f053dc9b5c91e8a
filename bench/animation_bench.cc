// Timing functions and interpolation against hand-written floors, measured in
// the same run in processor time (counter "ratio" = library / hand-written):
// - the spring and each cubic easing evaluated 10,000,000 times against the
//   same closed form written inline with its constants worked out beforehand
//   (target at most 1.5); "ratio_shared" is the spring called through the
//   TimingFunction handle an interpolator holds;
// - 100,000 frames of a 16-component value (a 3-D transform) interpolated
//   through 10 key values with easeInOut against a loop over flat arrays
//   (target at most 2).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

#include "bench/bench_util.h"
#include "quarnkit/animation/basic_interpolation.h"
#include "quarnkit/animation/interpolator.h"
#include "quarnkit/animation/spring_interpolation.h"

namespace quarn {
namespace {

constexpr std::size_t kEvaluations = 10'000'000;
constexpr double kStep = 1.0 / kEvaluations;

// Sums f(t) over t in [0, 1) in kEvaluations steps.
template <class F>
double sweep(const F& f) {
  double sum = 0;
  for (std::size_t i = 0; i < kEvaluations; ++i) sum += f(static_cast<double>(i) * kStep);
  return sum;
}

template <class Subject, class Floor>
void againstFloor(benchmark::State& state, const Subject& subject, const Floor& floor) {
  if (std::abs(sweep(subject) - sweep(floor)) > 1e-6 * kEvaluations) {
    state.SkipWithError("the function and its closed form disagree");
    return;
  }
  bench::CPUPhaseTimer library, handWritten;
  double sink = 0;
  for (auto _ : state) {
    library.time([&] { sink += sweep(subject); });
    handWritten.time([&] { sink += sweep(floor); });
  }
  benchmark::DoNotOptimize(sink);
  bench::reportRatio(state, library, handWritten, "library_ms", "closed_form_ms");
}

void BM_Spring(benchmark::State& state) {
  const SpringInterpolation spring;  // damping 10, mass 1, stiffness 100: under-damped
  const double beta = 5;
  const double omega = std::sqrt(75.0);
  const double c = -beta / omega;
  againstFloor(state, spring, [=](double t) {
    return std::exp(-beta * t) * (-std::cos(omega * t) + std::sin(omega * t) * c) + 1;
  });
  // The same spring shared through the handle the interpolator calls.
  const TimingFunction shared = std::make_shared<SpringInterpolation>();
  bench::CPUPhaseTimer viaHandle, direct;
  double sink = 0;
  viaHandle.time([&] { sink += sweep(shared); });
  direct.time([&] { sink += sweep(spring); });
  benchmark::DoNotOptimize(sink);
  state.counters["ratio_shared"] = viaHandle.seconds() / direct.seconds();
}
BENCHMARK(BM_Spring)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_EaseIn(benchmark::State& state) {
  againstFloor(state, BasicInterpolation::easeIn, [](double t) { return t * t * t; });
}
BENCHMARK(BM_EaseIn)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_EaseOut(benchmark::State& state) {
  againstFloor(state, BasicInterpolation::easeOut, [](double t) {
    const double u = t - 1;
    return u * u * u + 1;
  });
}
BENCHMARK(BM_EaseOut)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_EaseInOut(benchmark::State& state) {
  againstFloor(state, BasicInterpolation::easeInOut, [](double t) {
    if (t < 0.5) return 4 * t * t * t;
    const double u = 2 * t - 2;
    return 0.5 * u * u * u + 1;
  });
}
BENCHMARK(BM_EaseInOut)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_Linear(benchmark::State& state) {
  againstFloor(state, BasicInterpolation::linear, [](double t) { return t; });
}
BENCHMARK(BM_Linear)->Unit(benchmark::kMillisecond)->Iterations(10);

constexpr std::size_t kFrames = 100'000;
constexpr std::size_t kKeys = 10;
constexpr std::size_t kWidth = 16;

std::vector<platform::Transform3D> keyTransforms() {
  std::vector<platform::Transform3D> keys;
  for (std::size_t k = 0; k < kKeys; ++k) {
    const double a = 0.1 * static_cast<double>(k);
    keys.push_back({std::cos(a), std::sin(a), 0, 0, -std::sin(a), std::cos(a), 0, 0, 0, 0, 1, 0,
                    10 * a, -5 * a, a, 1});
  }
  return keys;
}

double trace(const platform::Transform3D& m) { return m.m11 + m.m22 + m.m33 + m.m41 + m.m44; }

void BM_Interpolate16Components(benchmark::State& state) {
  const auto keys = keyTransforms();
  Interpolator<platform::Transform3D> interpolator(keys, BasicInterpolation::easeInOut);
  // The floor: key values and differences in flat arrays, the easing inline.
  std::array<double, kKeys * kWidth> values{};
  std::array<double, (kKeys - 1) * kWidth> diffs{};
  for (std::size_t k = 0; k < kKeys; ++k) {
    const auto v = interpolator.value(k);
    std::copy(v.begin(), v.end(), values.begin() + static_cast<std::ptrdiff_t>(k * kWidth));
  }
  for (std::size_t i = 0; i + 1 < kKeys; ++i) {
    for (std::size_t c = 0; c < kWidth; ++c) {
      diffs[i * kWidth + c] = values[(i + 1) * kWidth + c] - values[i * kWidth + c];
    }
  }
  auto handWritten = [&](double p) {
    const double w = 2 * p - 2;
    const double e = p < 0.5 ? 4 * p * p * p : 0.5 * w * w * w + 1;
    const double x = e * (kKeys - 1);
    const auto i = static_cast<std::size_t>(std::clamp(std::ceil(x) - 1, 0.0, kKeys - 2.0));
    const double u = x - static_cast<double>(i);
    std::array<double, kWidth> out;
    for (std::size_t c = 0; c < kWidth; ++c)
      out[c] = values[i * kWidth + c] + u * diffs[i * kWidth + c];
    return platform::Transform3D{out[0],  out[1],  out[2],  out[3], out[4],  out[5],
                                 out[6],  out[7],  out[8],  out[9], out[10], out[11],
                                 out[12], out[13], out[14], out[15]};
  };
  auto frames = [&](const auto& interpolate) {
    double sum = 0;
    for (std::size_t f = 0; f < kFrames; ++f) {
      sum += trace(interpolate(static_cast<double>(f) / (kFrames - 1)));
    }
    return sum;
  };
  auto library = [&](double p) { return interpolator.interpolateValue(p); };
  if (std::abs(frames(library) - frames(handWritten)) > 1e-6 * kFrames) {
    state.SkipWithError("the interpolator and the hand-written loop disagree");
    return;
  }
  bench::CPUPhaseTimer subject, floor;
  double sink = 0;
  for (auto _ : state) {
    subject.time([&] { sink += frames(library); });
    floor.time([&] { sink += frames(handWritten); });
  }
  benchmark::DoNotOptimize(sink);
  bench::reportRatio(state, subject, floor, "library_ms", "hand_written_ms");
}
BENCHMARK(BM_Interpolate16Components)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quarn

BENCHMARK_MAIN();
