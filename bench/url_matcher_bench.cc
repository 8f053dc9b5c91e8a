// URL matching against indexed routing tables, each figure measured next to
// its floor in the same run (1,000,000 matches per table):
// - 10 patterns against Boost.URL's parse of the same URLs alone, which every
//   matcher pays (counter "ratio", target at most 5);
// - 1,000 and 10,000 patterns against 10 patterns (counter "ratio", target
//   at most 2; trying every pattern would be about 100 and 1,000);
// - tables whose patterns differ only in their placeholders' names
//   ("myapp://p/<int:k1>" ... "<int:k10000>") against 10 such patterns
//   (counter "ratio", target at most 2).
// Before timing, every URL's result is checked against the plain scan of the
// table's patterns.
#include <benchmark/benchmark.h>

#include <boost/url/parse.hpp>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "quarnkit/routing/detail/component_match.h"
#include "quarnkit/routing/url_matcher.h"
#include "quarnkit/routing/url_pattern_set.h"

namespace quarn {
namespace {

constexpr std::size_t kURLs = 250;          // distinct URLs per table
constexpr std::size_t kRounds = 4;          // passes over them per iteration
constexpr std::int64_t kIterations = 1000;  // 1,000 × 250 × 4 = 1,000,000 matches

// The routes of one area of an app, and a URL that one of them matches.
const std::vector<std::string> kShapes{
    "myapp://{a}",
    "myapp://{a}/<int:id>",
    "myapp://{a}/<int:id>/edit",
    "myapp://{a}/<int:id>/comments/<int:comment>",
    "myapp://{a}/new",
    "myapp://{a}/search/<path:terms>",
    "myapp://{a}/<uuid:token>/share",
    "https://example.com/{a}/<slug>",
    "https://example.com/{a}/<slug>/reviews",
    "/{a}/settings/<key>",
};
const std::vector<std::string> kInstances{
    "myapp://{a}?ref=push",
    "myapp://{a}/4711",
    "myapp://{a}/4711/edit/",
    "myapp://{a}/12/comments/345?highlight=1",
    "myapp://{a}/new",
    "myapp://{a}/search/red/shoes",
    "myapp://{a}/e621e1f8-c36c-495a-93fc-0c247a3e6e5f/share",
    "https://example.com/{a}/blue-suede-shoes?utm_source=mail",
    "https://example.com/{a}/blue-suede-shoes/reviews#top",
    "/{a}/settings/notifications",
};
// URLs no route takes.
const std::vector<std::string> kStrays{
    "myapp://{a}/abc/edit",
    "myapp://{a}/1/2/3/4/5",
    "other://{a}/1",
};

std::string fill(std::string text, const std::string& area) {
  const auto at = text.find("{a}");
  return text.replace(at, 3, area);
}

std::string areaName(std::size_t i) { return "area" + std::to_string(i); }

std::vector<std::string> table(std::size_t size) {
  std::vector<std::string> out;
  for (std::size_t i = 0; out.size() < size; ++i) {
    for (const auto& shape : kShapes) {
      if (out.size() < size) out.push_back(fill(shape, areaName(i)));
    }
  }
  return out;
}

// URLs for the areas of a table of `size`: nine in ten taken by a route.
std::vector<std::string> urls(std::size_t size) {
  std::mt19937 random(static_cast<unsigned>(size));
  const std::size_t areas = (size + kShapes.size() - 1) / kShapes.size();
  std::vector<std::string> out;
  while (out.size() < kURLs) {
    const std::string area = areaName(random() % areas);
    const auto& from = random() % 10 == 0 ? kStrays : kInstances;
    out.push_back(fill(from[random() % from.size()], area));
  }
  return out;
}

bool sameResult(const std::optional<URLMatchResult>& a, const std::optional<URLMatchResult>& b) {
  if (!a || !b) return !a && !b;
  if (a->pattern != b->pattern || a->values.size() != b->values.size()) return false;
  for (auto i = a->values.begin(), j = b->values.begin(); i != a->values.end(); ++i, ++j) {
    if (i->first != j->first || describeURLValue(i->second) != describeURLValue(j->second)) {
      return false;
    }
  }
  return true;
}

// A table ready to match, checked against the plain scan.
struct Routes {
  std::vector<std::string> patterns;
  URLPatternSet set;
  std::vector<std::string> urls;
  std::size_t matched = 0;

  explicit Routes(std::size_t size)
      : patterns(table(size)), set(patterns), urls(quarn::urls(size)) {}
  Routes(std::vector<std::string> table, std::vector<std::string> taken)
      : patterns(std::move(table)), set(patterns), urls(std::move(taken)) {}

  [[nodiscard]] std::string check(const URLMatcher& matcher) {
    for (const auto& url : urls) {
      const auto indexed = matcher.match(url, set);
      const auto scanned =
          detail::scanMatch(NormalizedURL(url), patterns, *matcher.valueConverters.table());
      if (!sameResult(indexed, scanned) || !sameResult(matcher.match(url, patterns), scanned))
        return "differs from the scan: " + url;
      if (indexed) ++matched;
    }
    return {};
  }
};

void matchAll(const URLMatcher& matcher, const Routes& routes) {
  for (std::size_t r = 0; r < kRounds; ++r) {
    for (const auto& url : routes.urls) benchmark::DoNotOptimize(matcher.match(url, routes.set));
  }
}

void parseAll(const Routes& routes) {
  for (std::size_t r = 0; r < kRounds; ++r) {
    for (const auto& url : routes.urls) {
      benchmark::DoNotOptimize(boost::urls::parse_uri_reference(url));
    }
  }
}

void BM_MatchSmallTableVersusParse(benchmark::State& state) {
  const URLMatcher matcher;
  Routes routes(10);
  if (auto error = routes.check(matcher); !error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  bench::CPUPhaseTimer subject, floor;  // processor time: the machine is shared
  for (auto _ : state) {
    subject.time([&] { matchAll(matcher, routes); });
    floor.time([&] { parseAll(routes); });
  }
  bench::reportRatio(state, subject, floor, "match_ms", "parse_ms");
  state.counters["matched_share"] = static_cast<double>(routes.matched) / kURLs;
}
BENCHMARK(BM_MatchSmallTableVersusParse)->Iterations(kIterations)->Unit(benchmark::kMicrosecond);

// A large table against a small one of the same kind, both checked against
// the scan first; `matchEach` is how each is matched.
void largeVersusSmall(benchmark::State& state, Routes large, Routes small,
                      void (*matchEach)(const URLMatcher&, const Routes&)) {
  const URLMatcher matcher;
  for (auto* routes : {&large, &small}) {
    if (auto error = routes->check(matcher); !error.empty()) {
      state.SkipWithError(error.c_str());
      return;
    }
  }
  bench::CPUPhaseTimer subject, floor;  // processor time: the machine is shared
  for (auto _ : state) {
    subject.time([&] { matchEach(matcher, large); });
    floor.time([&] { matchEach(matcher, small); });
  }
  bench::reportRatio(state, subject, floor, "large_ms", "small_ms");
  state.counters["matched_share"] = static_cast<double>(large.matched) / kURLs;
}

void BM_MatchLargeTableVersusSmall(benchmark::State& state) {
  largeVersusSmall(state, Routes(static_cast<std::size_t>(state.range(0))), Routes(10), matchAll);
}
BENCHMARK(BM_MatchLargeTableVersusSmall)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(kIterations)
    ->Unit(benchmark::kMicrosecond);

// The list form: the patterns passed as a list on every call (the matcher
// keeps the last list indexed, but compares each call's list with it).
void matchAllAsList(const URLMatcher& matcher, const Routes& routes) {
  for (std::size_t r = 0; r < kRounds; ++r) {
    for (const auto& url : routes.urls) {
      benchmark::DoNotOptimize(matcher.match(url, routes.patterns));
    }
  }
}

void BM_MatchLargeListVersusSmall(benchmark::State& state) {
  largeVersusSmall(state, Routes(static_cast<std::size_t>(state.range(0))), Routes(10),
                   matchAllAsList);
}
BENCHMARK(BM_MatchLargeListVersusSmall)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(20)
    ->Unit(benchmark::kMicrosecond);

// `size` patterns "myapp://p/<int:kN>", and URLs nine in ten of which they
// take (the others have no integer where they need one).
Routes typedPlaceholders(std::size_t size) {
  std::vector<std::string> patterns;
  for (std::size_t i = 1; i <= size; ++i)
    patterns.push_back("myapp://p/<int:k" + std::to_string(i) + ">");
  std::mt19937 random(7);
  std::vector<std::string> urls;
  while (urls.size() < kURLs) {
    const std::string n = std::to_string(random() % 100000);
    urls.push_back(random() % 10 == 0 ? "myapp://p/x" + n : "myapp://p/" + n);
  }
  return Routes(std::move(patterns), std::move(urls));
}

void BM_MatchTypedPlaceholderTableVersusSmall(benchmark::State& state) {
  largeVersusSmall(state, typedPlaceholders(static_cast<std::size_t>(state.range(0))),
                   typedPlaceholders(10), matchAll);
}
BENCHMARK(BM_MatchTypedPlaceholderTableVersusSmall)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(100)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quarn

BENCHMARK_MAIN();
