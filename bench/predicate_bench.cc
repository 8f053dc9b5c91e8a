// Predicate evaluation against its floors, measured in the same run:
// - a parsed typical predicate against the same comparisons written in C++
//   over the same facts (counter "ratio", target at most 5);
// - filtering 10,000 elements whose predicates come from 20 texts, through
//   the parse cache, against 10,000 evaluations of already parsed predicates
//   (counter "ratio", target at most 3).
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "bench/predicate_texts.h"
#include "quarnkit/predicate/parse_cache.h"
#include "quarnkit/predicate/predicate.h"

namespace quarn {
namespace {

using Clock = std::chrono::steady_clock;

// A map of facts shaped like the environment's: about twenty entries, the
// ones the predicate reads towards the end.
ValueDictionary facts() {
  return ValueDictionary{
      {"os", "iOS"},         {"date", Date(1706695200)},
      {"locale", "en_US"},   {"preferred_languages", Value::Array{"en-US", "de-DE"}},
      {"is_pad", false},     {"app.version", "2.1"},
      {"app.build", 42},     {"date.year", 2024},
      {"date.month", 1},     {"date.day", 31},
      {"date.weekday", 4},   {"date.hour", 10},
      {"date.minute", 0},    {"date.second", 0},
      {"is_premium", false}, {"country", "DE"},
      {"score", 7.5},        {"user", {{"name", "Ann"}, {"profile", {{"age", 30}, {"level", 3}}}}},
  };
}

constexpr const char* kTypical = "user.profile.age >= 18 AND country == $country OR score > 5.5";

// The same three comparisons, written by hand over the same Value map.
bool handWritten(const ValueDictionary& f, const ValueDictionary& vars) {
  bool adult = false;
  if (const Value* user = f.find("user")) {
    if (const Value* profile = user->find("profile")) {
      if (const Value* age = profile->find("age")) adult = age->asDouble().value_or(0) >= 18;
    }
  }
  const Value* country = f.find("country");
  const Value* wanted = vars.find("country");
  const bool sameCountry = country && wanted && *country == *wanted;
  const Value* score = f.find("score");
  return (adult && sameCountry) || (score && score->asDouble().value_or(0) > 5.5);
}

double nanosSince(Clock::time_point start, std::size_t n) {
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count() /
         static_cast<double>(n);
}

void BM_TypicalPredicateVersusHandWritten(benchmark::State& state) {
  const ValueDictionary f = facts();
  const ValueDictionary vars{{"country", "FR"}};  // the AND fails, so all three run
  const Predicate predicate = Predicate::parse(kTypical);
  const EvaluationContext context;
  constexpr std::size_t kBatch = 1000;
  double subject = 0, floor = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    for (std::size_t i = 0; i < kBatch; ++i) {
      benchmark::DoNotOptimize(predicate.evaluate(f, vars, context));
    }
    subject += nanosSince(start, kBatch);
    start = Clock::now();
    for (std::size_t i = 0; i < kBatch; ++i) benchmark::DoNotOptimize(handWritten(f, vars));
    floor += nanosSince(start, kBatch);
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["predicate_ns"] = subject / n;
  state.counters["hand_written_ns"] = floor / n;
  state.counters["ratio"] = subject / floor;
}
BENCHMARK(BM_TypicalPredicateVersusHandWritten);

struct Element {
  std::string predicate;
  ValueDictionary vars;
};

void BM_FilterThroughCacheVersusParsedEvaluations(benchmark::State& state) {
  const ValueDictionary f = facts();
  const auto texts = ::bench::twentyPredicateTexts();
  std::vector<Predicate> parsed;
  for (const auto& t : texts) parsed.push_back(Predicate::parse(t));
  std::vector<Element> elements;
  for (std::size_t i = 0; i < 10000; ++i) {
    elements.push_back(Element{
        texts[i % texts.size()],
        ValueDictionary{{"country", i % 2 ? "DE" : "FR"}, {"min", static_cast<int>(i % 50)}}});
  }
  const EvaluationContext context;
  PredicateCache cache;
  double subject = 0, floor = 0;
  std::size_t kept = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    for (const auto& e : elements) kept += cache.get(e.predicate).evaluate(f, e.vars, context);
    subject += nanosSince(start, 1);
    start = Clock::now();
    for (std::size_t i = 0; i < elements.size(); ++i) {
      kept += parsed[i % parsed.size()].evaluate(f, elements[i].vars, context);
    }
    floor += nanosSince(start, 1);
  }
  benchmark::DoNotOptimize(kept);
  const auto n = static_cast<double>(state.iterations());
  state.counters["filter_us"] = subject / n / 1000;
  state.counters["evaluations_us"] = floor / n / 1000;
  state.counters["ratio"] = subject / floor;
}
BENCHMARK(BM_FilterThroughCacheVersusParsedEvaluations)->Unit(benchmark::kMicrosecond);

// For scale: what a cache hit saves.
void BM_ParseTypicalPredicate(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Predicate::parse(kTypical));
}
BENCHMARK(BM_ParseTypicalPredicate);

}  // namespace
}  // namespace quarn

BENCHMARK_MAIN();
