// Text templates and the element filter against their floors, measured in
// the same run:
// - single-pass templating of a 200-character text with 3 placeholders
//   against a hand-written find-and-replace over the same map (counter
//   "ratio", target at most 3);
// - filtering 10,000 items whose predicates come from 20 texts, through the
//   element filter (facts from the environment, the parse cache, predicate
//   variables from each item's vars, the checks and the copy of what passes),
//   against 10,000 evaluations of already parsed predicates with ready
//   variables (counter "ratio", target at most 3). The language's own
//   benchmark covers the evaluator; this one covers the filter around it.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/predicate_texts.h"
#include "quarnkit/composite_list/model/element_filter.h"
#include "quarnkit/composite_list/model/section_item.h"
#include "quarnkit/composite_list/model/text_template.h"
#include "quarnkit/platform/services.h"
#include "quarnkit/predicate/predicate.h"

namespace quarn {
namespace {

// Template values shaped like the fetcher's: the environment's facts and an
// item's vars, about twenty entries.
ValueDictionary templateValues() {
  return ValueDictionary{
      {"os", "iOS"},          {"date", Date(1706695200)},
      {"is_pad", false},      {"preferred_languages", Value::Array{"en-US", "de-DE"}},
      {"app.version", "2.1"}, {"app.build", 42},
      {"date.year", 2024},    {"date.month", 1},
      {"date.day", 31},       {"date.weekday", 4},
      {"date.hour", 10},      {"date.minute", 0},
      {"date.second", 0},     {"is_premium", false},
      {"user_name", "Ann"},   {"country", "Germany"},
      {"count", 12},          {"plan", "Family"},
  };
}

// 200 characters, three placeholders.
const std::string kText =
    "Welcome back, ${user_name}! Your ${plan} plan includes everything you need to keep "
    "learning every day, wherever you are. There are ${count} new lessons waiting for you "
    "this week, so let us begin.";

// The floor: every "${key}" replaced by the map's value for the key, by hand.
std::string findAndReplace(const std::string& text, const ValueDictionary& values) {
  std::string out;
  out.reserve(text.size() + 32);
  std::size_t at = 0;
  for (;;) {
    const std::size_t open = text.find("${", at);
    const std::size_t close = open == std::string::npos ? open : text.find('}', open + 2);
    if (close == std::string::npos) break;
    out.append(text, at, open - at);
    if (const Value* v = values.find(std::string_view(text).substr(open + 2, close - open - 2))) {
      if (const std::string* s = v->ifString()) {
        out += *s;
      } else {
        out += v->description();
      }
    }
    at = close + 1;
  }
  out.append(text, at);
  return out;
}

void BM_SinglePassVersusFindAndReplace(benchmark::State& state) {
  const ValueDictionary values = templateValues();
  if (templateString(kText, values) != findAndReplace(kText, values)) {
    state.SkipWithError("the two disagree");
    return;
  }
  constexpr int kBatch = 1000;
  bench::PhaseTimer subject, floor;
  for (auto _ : state) {
    subject.time([&] {
      for (int i = 0; i < kBatch; ++i) benchmark::DoNotOptimize(templateString(kText, values));
    });
    floor.time([&] {
      for (int i = 0; i < kBatch; ++i) benchmark::DoNotOptimize(findAndReplace(kText, values));
    });
  }
  bench::reportRatio(state, subject, floor, "template_ms_per_1000", "find_replace_ms_per_1000");
}
BENCHMARK(BM_SinglePassVersusFindAndReplace);

class Environment final : public CompositeListEnvironment {
 public:
  [[nodiscard]] ValueDictionary environmentValues() const override {
    return {
        {"country", "DE"}, {"score", 7.5}, {"user", {{"profile", {{"age", 30}, {"level", 3}}}}}};
  }
};

void BM_FilterVersusSingleEvaluations(benchmark::State& state) {
  platform::ScopedService<platform::BundleInfo> bundle(
      std::make_shared<platform::BundleInfo>(platform::BundleInfo{"app", "2.1", "42"}));
  const Environment environment;
  const ValueDictionary facts = environment.resolvedValues();
  const auto texts = ::bench::twentyPredicateTexts();
  std::vector<Predicate> parsed;
  for (const auto& t : texts) parsed.push_back(Predicate::parse(t));

  std::vector<AnyCompositeListItem> items;
  std::vector<ValueDictionary> vars;
  for (std::size_t i = 0; i < 10000; ++i) {
    const Value v{{"country", i % 2 ? "DE" : "FR"}, {"min", static_cast<int>(i % 50)}};
    auto record = std::make_shared<CompositeListSectionItem<std::vector<CompositeListRow>>>(
        "item" + std::to_string(i), CompositeListItemType::rows, std::optional<std::int64_t>());
    record->setPredicate(texts[i % texts.size()]);
    record->setVars(v);
    items.emplace_back(record);
    vars.push_back(*v.ifObject());
  }
  const EvaluationContext context{Date(1706695200), {}};
  std::size_t kept = 0;
  bench::PhaseTimer subject, floor;
  for (auto _ : state) {
    subject.time([&] { kept += filter(items, std::nullopt, &environment).size(); });
    floor.time([&] {
      for (std::size_t i = 0; i < items.size(); ++i) {
        kept += parsed[i % parsed.size()].evaluate(facts, vars[i], context);
      }
    });
  }
  benchmark::DoNotOptimize(kept);
  bench::reportRatio(state, subject, floor, "filter_ms", "evaluations_ms");
}
BENCHMARK(BM_FilterVersusSingleEvaluations)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quarn

BENCHMARK_MAIN();
