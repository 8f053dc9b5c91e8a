// The composite-list pipeline end to end, against Boost.JSON's parse of the
// same template and result bytes measured in the same run: decode a
// 10,000-item template, filter it with predicates, expand includes from an
// in-memory provider, build the combined request, decode and apply a
// 10,000-entity result, fill text templates, make the sections and apply
// their snapshot to a list screen. Reported: "ratio" = pipeline / plain
// parse (boost::json::parse with its default allocator, what a user would
// write), and "ratio_arena" = pipeline / parse into a monotonic buffer.
//
// Also: a typical 100-item screen end to end (no network; in microseconds),
// and request building for 10,000 items in parallel mode against the serial
// mode, with trivial descriptions ("ratio" = parallel / serial) and with
// descriptions that fetch directly after a simulated latency. A breakdown by
// stage shows where the pipeline spends its time.
#include <benchmark/benchmark.h>

#include <boost/json.hpp>
#include <chrono>
#include <map>

#include "bench/allocation_counter.h"
#include "bench/bench_util.h"
#include "bench/composite_list_generator.h"
#include "quarnkit/composite_list/fetching/base_composite_list_view_controller.h"
#include "quarnkit/composite_list/fetching/fetcher.h"
#include "quarnkit/composite_list/model/entity_providing.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/services.h"

namespace {

using namespace quarn;
using Items = std::vector<AnyCompositeListItem>;

// Descriptions that make one base section per item from its entities: each
// entity is copied once, straight into the section's rows.
template <class Description, class Entity>
class SectionDescription : public Description, public CompositeListSectionProviding {
 public:
  std::shared_ptr<BaseCollectionSection> section(
      const AnyCompositeListItem& item, const CompositeListSectionContext&) const override {
    const auto& data = item.data();
    return std::make_shared<BaseCollectionSection>(
        data ? data->title : std::nullopt, data ? data->description : std::nullopt,
        item.entities<Entity>().value_or(std::span<const Entity>()));
  }
};

class RowsSections : public SectionDescription<RowsItemDescription, CompositeListRow> {};
class DividerSections : public SectionDescription<DividerItemDesctiption, CompositeListDivider> {};
class TagsSections : public SectionDescription<TagsItemDescription, CompositeListRow> {};
class BannerSections : public SectionDescription<bench::ProductBannerDescription, bench::Product> {
};
class ListSections : public SectionDescription<bench::ProductListDescription,
                                               CompositeListEntity<bench::Product>> {};

// The generator's registry with the product types' descriptions replaced by
// these (a type takes one description, so they are registered instead).
std::shared_ptr<CompositeListItemsRegistry> pipelineRegistry() {
  auto registry = std::make_shared<CompositeListItemsRegistry>();
  registry->registerEntityClasses(*bench::makeRegistry()->entityClassMap());
  registry->register_<RowsSections>();
  registry->register_<DividerSections>();
  registry->register_<TagsSections>();
  registry->register_<BannerSections>();
  registry->register_<ListSections>();
  return registry;
}

/// The included templates, decoded once and kept in memory by key: small
/// templates without includes.
class Templates : public CompositeListTemplateProviding {
 public:
  using CompositeListTemplateProviding::provideTemplate;
  explicit Templates(const std::shared_ptr<CompositeListItemsRegistry>& registry) {
    for (int k = 0; k < 7; ++k) {
      templates_.emplace("shared_" + std::to_string(k),
                         decodeCompositeListTemplate(bench::makeTemplate(4), registry));
    }
  }
  void provideTemplate(const CompositeListTemplateSource& source, Completion completion) override {
    completion(Outcome<Items>::success(templates_.at(source.rawValue())));
  }

 private:
  std::map<std::string, Items> templates_;
};

class Environment : public CompositeListEnvironment {
 public:
  ValueDictionary environmentValues() const override { return {{"label", "fallback"}}; }
};

/// Answers the combined request by decoding the result document.
class Fetcher : public CompositeListFetcher {
 public:
  Fetcher(Passkey key, std::shared_ptr<CompositeListItemsRegistry> registry, Items items,
          std::string result, std::shared_ptr<Templates> templates = nullptr)
      : CompositeListFetcher(key, std::move(registry), std::move(items), std::move(templates),
                             CompositeListFetchMode::automatic, 20),
        result_(std::move(result)) {
    setEnvironment(std::make_shared<Environment>());
  }
  Async<Task<CompositeListResult>> fetchCompositeListTask(CompositeListRequestParameters,
                                                          std::int64_t) override {
    co_return Task<CompositeListResult>::spawn(mainExecutor(), decode(result_, registry()));
  }

 private:
  static Async<CompositeListResult> decode(std::string json,
                                           std::shared_ptr<CompositeListItemsRegistry> registry) {
    co_return decodeCompositeListResult(json, *registry->entityClassMap());
  }
  std::string result_;
};

class Screen : public BaseCompositeListViewController {
 public:
  using BaseCompositeListViewController::BaseCompositeListViewController;
  void reloadData(std::function<void()> completion) override {
    if (completion) completion();
  }
};

/// The app's bundle, so that the template's "app.build >= n" predicates pass.
struct Bundle {
  platform::ScopedService<platform::BundleInfo> info{
      std::make_shared<platform::BundleInfo>(platform::BundleInfo{std::nullopt, "3.0", "100"})};
};

/// A stage of the pipeline: its time and the allocations it makes.
struct Stage {
  bench::PhaseTimer timer;
  std::uint64_t allocations = 0;
  template <class F>
  void time(F&& f) {
    const std::uint64_t before = bench::allocationCount();
    timer.time(std::forward<F>(f));
    allocations += bench::allocationCount() - before;
  }
};

/// One pass of the whole pipeline; returns the number of rows shown.
std::int64_t runPipeline(const std::string& templateJSON, const std::string& resultJSON,
                         const std::shared_ptr<CompositeListItemsRegistry>& registry,
                         const std::shared_ptr<Templates>& templates) {
  auto fetcher = CompositeListFetcher::make<Fetcher>(
      registry, decodeCompositeListTemplate(templateJSON, registry), resultJSON, templates);
  Items items = runUntilComplete(fetcher->fetchCompositeList());
  auto screen =
      BaseCompositeListViewController::make<Screen>(CompositeListSectionsProvider::make(registry));
  screen->loadViewIfNeeded();
  screen->items = std::move(items);
  screen->reloadSections(false, nullptr);
  return screen->collectionView()->totalNumberOfItems();
}

void BM_PipelineVsParse(benchmark::State& state) {
  const Bundle bundle;
  const std::string templateJSON = bench::makeTemplate(10000);
  const std::string resultJSON = bench::makeResult(10000);
  const auto registry = pipelineRegistry();
  const auto templates = std::make_shared<Templates>(registry);
  // The floor: the plain parse a user would write (values on the heap, each
  // freed with the document), which like the pipeline pays for its
  // allocations and their freeing. "ratio_arena" is the pipeline over
  // Boost.JSON's fastest parse, into a monotonic buffer freed at once.
  bench::PhaseTimer parse, arenaParse;
  Stage pipeline;
  std::int64_t rows = 0;
  for (auto _ : state) {
    arenaParse.time([&] {
      boost::json::monotonic_resource memory;
      auto t = boost::json::parse(templateJSON, &memory);
      auto r = boost::json::parse(resultJSON, &memory);
      benchmark::DoNotOptimize(t);
      benchmark::DoNotOptimize(r);
    });
    parse.time([&] {
      auto t = boost::json::parse(templateJSON);
      auto r = boost::json::parse(resultJSON);
      benchmark::DoNotOptimize(t);
      benchmark::DoNotOptimize(r);
    });
    pipeline.time([&] { rows = runPipeline(templateJSON, resultJSON, registry, templates); });
  }
  bench::reportRatio(state, pipeline.timer, parse, "pipeline_ms", "parse_ms");
  state.counters["ratio_arena"] = pipeline.timer.seconds() / arenaParse.seconds();
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["allocs"] =
      static_cast<double>(pipeline.allocations) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_PipelineVsParse)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_TypicalScreen(benchmark::State& state) {
  const Bundle bundle;
  const std::string templateJSON = bench::makeTemplate(100);
  const std::string resultJSON = bench::makeResult(100);
  const auto registry = pipelineRegistry();
  const auto templates = std::make_shared<Templates>(registry);
  std::int64_t rows = 0;
  for (auto _ : state) rows = runPipeline(templateJSON, resultJSON, registry, templates);
  state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_TypicalScreen)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

/// Banners of type "direct" that fetch their entity themselves after a
/// latency (on the real timers of the main context).
class DirectBanners : public bench::ProductBannerDescription,
                      public EntityProvidingCompositeListItemDescription {
 public:
  static inline std::chrono::microseconds latency{100};
  CompositeListItemType type() const override { return "direct"; }
  Async<std::optional<CompositeListResult::Item>> fetchEntities(
      const CompositeListRequestParameters::Item& request) const override {
    co_await platform::TimerScheduler::current()->sleep(latency);
    co_return CompositeListResult::Item{request.key, {AnyEntity(bench::Product{1, request.key})}};
  }
};

Items banners(const std::shared_ptr<CompositeListItemsRegistry>& registry, const char* type,
              int count) {
  std::string json = "[";
  for (int i = 0; i < count; ++i) {
    json += fmt::format(R"({}{{"type":"{}","uniqueId":"b{}","data":{{"maxItems":3}}}})",
                        i ? "," : "", type, i);
  }
  return decodeCompositeListTemplate(json + "]", registry);
}

/// Parallel / serial request building over the same items.
void compareModes(benchmark::State& state, const char* type) {
  auto registry = bench::makeRegistry();
  registry->register_<DirectBanners>();
  const Items items = banners(registry, type, static_cast<int>(state.range(0)));
  auto fetcher = CompositeListFetcher::make<Fetcher>(registry, Items{}, "[]");
  bench::PhaseTimer serial, parallel;
  for (auto _ : state) {
    serial.time([&] {
      auto built = runUntilComplete(fetcher->makeRequestParametersItems(items));
      benchmark::DoNotOptimize(built);
    });
    parallel.time([&] {
      auto built = runUntilComplete(fetcher->makeParallelRequestParametersItems(items));
      benchmark::DoNotOptimize(built);
    });
  }
  bench::reportRatio(state, parallel, serial, "parallel_ms", "serial_ms");
}

void BM_ParallelVsSerialTrivial(benchmark::State& state) { compareModes(state, "banner"); }
BENCHMARK(BM_ParallelVsSerialTrivial)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ParallelVsSerialDirectFetch(benchmark::State& state) { compareModes(state, "direct"); }
BENCHMARK(BM_ParallelVsSerialDirectFetch)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

/// Where the pipeline's time goes: each stage alone, in milliseconds per
/// pass, and its allocations per pass ("<stage>_allocs") (the screen's set-up, making the sections,
/// applying their snapshot, and freeing everything are separate). Stages get their inputs as the
/// pipeline passes them (moved where it moves them), so the stages add up to
/// about one pipeline pass.
void BM_PipelinePhases(benchmark::State& state) {
  const Bundle bundle;
  const std::string templateJSON = bench::makeTemplate(10000);
  const std::string resultJSON = bench::makeResult(10000);
  const auto registry = pipelineRegistry();
  const auto templates = std::make_shared<Templates>(registry);
  Stage decode, filter, transform, build, network, update, templ, sections, makeSections,
      applySections, teardown;
  for (auto _ : state) {
    Items items;
    decode.time([&] { items = decodeCompositeListTemplate(templateJSON, registry); });
    auto fetcher = CompositeListFetcher::make<Fetcher>(registry, Items{}, resultJSON, templates);
    filter.time([&] { items = runUntilComplete(fetcher->filterTemplateItems(std::move(items))); });
    transform.time(
        [&] { items = runUntilComplete(fetcher->transformTemplateItems(std::move(items))); });
    std::vector<CompositeListRequestParameters::Item> requests;
    build.time([&] { requests = runUntilComplete(fetcher->makeRequestParametersItems(items)); });
    CompositeListResult result;
    network.time(
        [&] { result = decodeCompositeListResult(resultJSON, *registry->entityClassMap()); });
    // As the pipeline does: the items are shared, the results and requests
    // handed over.
    update.time([&] {
      runUntilComplete(
          fetcher->updateTemplateItems(items, std::move(result.items), std::move(requests)));
    });
    templ.time([&] { items = fetcher->performTextTemplates(std::move(items)); });
    std::shared_ptr<Screen> screen;
    std::shared_ptr<CompositeListSectionsProvider> provider;
    sections.time([&] {
      provider = CompositeListSectionsProvider::make(registry);
      screen = BaseCompositeListViewController::make<Screen>(provider);
      screen->loadViewIfNeeded();
    });
    makeSections.time([&] { provider->update(items); });
    applySections.time([&] { screen->updateSections(false, nullptr); });
    // Everything the pass made is freed here, as at the end of a pipeline.
    teardown.time([&] {
      screen.reset();
      provider.reset();
      items.clear();
      items.shrink_to_fit();
      fetcher.reset();
      result = {};
      requests = {};
    });
  }
  const auto n = static_cast<double>(state.iterations());
  const auto report = [&](const char* name, const Stage& stage) {
    state.counters[name] = stage.timer.seconds() * 1000 / n;
    state.counters[std::string(name) + "_allocs"] = static_cast<double>(stage.allocations) / n;
  };
  report("decode", decode);
  report("filter", filter);
  report("transform", transform);
  report("build", build);
  report("result", network);
  report("update", update);
  report("templates", templ);
  report("screen", sections);
  report("make", makeSections);
  report("apply", applySections);
  report("teardown", teardown);
}
BENCHMARK(BM_PipelinePhases)->Unit(benchmark::kMillisecond)->MinTime(3.0);

BENCHMARK_MAIN();
