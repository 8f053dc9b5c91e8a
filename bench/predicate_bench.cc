// Predicate evaluation against its floors, measured in the same run:
// - four shapes of predicate, each parsed once and evaluated against the
//   same comparisons written by hand in C++ over the same facts (counter
//   "ratio", target at most 5; at most 3 for the first): a device fact and a
//   dotted fact; a typical mix of comparisons; four string
//   operators with [c] and [cd] options (the floor folds with ICU by hand); an
//   aggregate over a list of objects with membership in a list of tags. The
//   counter "allocations" is the heap allocations of one evaluation (target 0);
// - filtering 10,000 elements whose predicates come from 20 texts, through
//   the parse cache, against 10,000 evaluations of already parsed predicates
//   (counter "ratio", target at most 3).
#include <benchmark/benchmark.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <chrono>
#include <string>
#include <vector>

#include "bench/allocation_counter.h"
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

double nanosSince(Clock::time_point start, std::size_t n) {
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count() /
         static_cast<double>(n);
}

// Evaluates `text` and `floor` alternately in batches and reports both times
// and their ratio. Both must give the same answer.
template <class Floor>
void againstFloor(benchmark::State& state, const char* text, const ValueDictionary& f,
                  const ValueDictionary& vars, Floor floor) {
  const Predicate predicate = Predicate::parse(text);
  const EvaluationContext context;
  if (predicate.evaluate(f, vars, context) != floor(f, vars)) {
    state.SkipWithError("the predicate and its floor disagree");
    return;
  }
  constexpr std::size_t kBatch = 1000;
  const std::uint64_t before = bench::allocationCount();
  for (std::size_t i = 0; i < kBatch; ++i)
    benchmark::DoNotOptimize(predicate.evaluate(f, vars, context));
  state.counters["allocations"] =
      static_cast<double>(bench::allocationCount() - before) / static_cast<double>(kBatch);
  double subject = 0, handWritten = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    for (std::size_t i = 0; i < kBatch; ++i) {
      benchmark::DoNotOptimize(predicate.evaluate(f, vars, context));
    }
    subject += nanosSince(start, kBatch);
    start = Clock::now();
    for (std::size_t i = 0; i < kBatch; ++i) benchmark::DoNotOptimize(floor(f, vars));
    handWritten += nanosSince(start, kBatch);
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["predicate_ns"] = subject / n;
  state.counters["hand_written_ns"] = handWritten / n;
  state.counters["ratio"] = subject / handWritten;
}

constexpr const char* kPadAndBuild = "is_pad == YES AND app.build > 40";

// A device fact and a dotted fact, looked up by hand in the same map.
bool padAndBuildByHand(const ValueDictionary& f, const ValueDictionary&) {
  const Value* pad = f.find("is_pad");
  const Value* build = f.find("app.build");
  return pad && pad->asBool().value_or(false) && build && build->asInteger().value_or(0) > 40;
}

void BM_PadAndBuildPredicateVersusHandWritten(benchmark::State& state) {
  // On a tablet, so both comparisons run.
  ValueDictionary f = facts();
  f.set("is_pad", true);
  againstFloor(state, kPadAndBuild, f, {}, padAndBuildByHand);
}
BENCHMARK(BM_PadAndBuildPredicateVersusHandWritten);

constexpr const char* kTypical = "user.profile.age >= 18 AND country == $country OR score > 5.5";

// The same three comparisons, written by hand over the same Value map.
bool typicalByHand(const ValueDictionary& f, const ValueDictionary& vars) {
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

void BM_TypicalPredicateVersusHandWritten(benchmark::State& state) {
  // The AND fails, so all three comparisons run.
  againstFloor(state, kTypical, facts(), ValueDictionary{{"country", "FR"}}, typicalByHand);
}
BENCHMARK(BM_TypicalPredicateVersusHandWritten);

// Four string operators with options; every one holds, so all four run.
constexpr const char* kStrings =
    "name BEGINSWITH[c] 'CAF\u00c9' AND brand ENDSWITH[cd] 'STLE' AND "
    "description CONTAINS[cd] 'creme' AND name LIKE[c] '*lait'";

ValueDictionary productFacts() {
  ValueDictionary f = facts();
  f.set("name", "Caf\u00e9 au Lait");
  f.set("brand", "Nestl\u00e9");
  f.set("description", "Une cr\u00e8me onctueuse au go\u00fbt de caf\u00e9 torr\u00e9fi\u00e9");
  return f;
}

// What a careful hand would write: fold each text with ICU into buffers kept
// between calls (marks removed for [d], case folded for [c]) and compare
// with constants folded once.
std::string_view foldByHand(const Value* v, bool diacritics, std::string& out) {
  thread_local std::u16string text, work;
  const std::string* s = v ? v->ifString() : nullptr;
  if (s == nullptr) return {};
  UErrorCode status = U_ZERO_ERROR;
  // UTF-16 takes at most as many units as UTF-8 takes bytes; NFD and case
  // folding at most triple a text.
  text.resize(s->size() * 3 + 1);
  work.resize(s->size() * 9 + 1);
  int32_t length = 0;
  u_strFromUTF8(text.data(), static_cast<int32_t>(text.size()), &length, s->data(),
                static_cast<int32_t>(s->size()), &status);
  if (diacritics) {
    static const UNormalizer2* nfd = unorm2_getNFDInstance(&status);
    const int32_t n = unorm2_normalize(nfd, text.data(), length, work.data(),
                                       static_cast<int32_t>(work.size()), &status);
    length = 0;
    for (int32_t i = 0; i < n;) {
      UChar32 c = 0;
      U16_NEXT(work.data(), i, n, c);
      if (u_charType(c) != U_NON_SPACING_MARK) U16_APPEND_UNSAFE(text.data(), length, c);
    }
  }
  const int32_t folded = u_strFoldCase(work.data(), static_cast<int32_t>(work.size()), text.data(),
                                       length, U_FOLD_CASE_DEFAULT, &status);
  out.resize(static_cast<std::size_t>(folded) * 3);
  int32_t bytes = 0;
  u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &bytes, work.data(), folded, &status);
  out.resize(static_cast<std::size_t>(bytes));
  return out;
}

bool stringsByHand(const ValueDictionary& f, const ValueDictionary&) {
  static const std::string cafe = "caf\u00e9";
  thread_local std::string folded;
  return foldByHand(f.find("name"), false, folded).starts_with(cafe) &&
         foldByHand(f.find("brand"), true, folded).ends_with("stle") &&
         foldByHand(f.find("description"), true, folded).find("creme") != std::string::npos &&
         foldByHand(f.find("name"), false, folded).ends_with("lait");
}

void BM_StringOperatorsVersusHandWritten(benchmark::State& state) {
  againstFloor(state, kStrings, productFacts(), {}, stringsByHand);
}
BENCHMARK(BM_StringOperatorsVersusHandWritten);

// An aggregate over a list of objects (only the last element matches) and
// membership in a list of tags (the last one).
constexpr const char* kCollections =
    "ANY items.price > 20 AND 'sale' IN tags AND items.@count >= 3";

ValueDictionary basketFacts() {
  ValueDictionary f = facts();
  Value::Array items;
  for (int i = 0; i < 10; ++i) {
    items.push_back(Value{
        {"name", "item " + std::to_string(i)}, {"price", i == 9 ? 25.0 : 2.5 * i}, {"stock", i}});
  }
  f.set("items", std::move(items));
  f.set("tags", Value::Array{"new", "summer", "kids", "outdoor", "sale"});
  return f;
}

bool collectionsByHand(const ValueDictionary& f, const ValueDictionary&) {
  const Value* items = f.find("items");
  const Value::Array* list = items ? items->ifArray() : nullptr;
  if (list == nullptr) return false;
  bool expensive = false;
  for (const Value& item : *list) {
    const Value* price = item.find("price");
    if (price && price->asDouble().value_or(0) > 20) {
      expensive = true;
      break;
    }
  }
  if (!expensive) return false;
  const Value* tags = f.find("tags");
  const Value::Array* tagList = tags ? tags->ifArray() : nullptr;
  if (tagList == nullptr) return false;
  bool sale = false;
  for (const Value& tag : *tagList) {
    const std::string* s = tag.ifString();
    if (s && *s == "sale") {
      sale = true;
      break;
    }
  }
  return sale && list->size() >= 3;
}

void BM_CollectionOperatorsVersusHandWritten(benchmark::State& state) {
  againstFloor(state, kCollections, basketFacts(), {}, collectionsByHand);
}
BENCHMARK(BM_CollectionOperatorsVersusHandWritten);

struct Element {
  std::string predicate;
  ValueDictionary vars;
};

void BM_FilterThroughCacheVersusParsedEvaluations(benchmark::State& state) {
  const ValueDictionary f = facts();
  const auto texts = ::bench::twentyPredicateTexts();
  std::vector<Predicate> parsed;
  parsed.reserve(texts.size());
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
