#include "quarnkit/composite_list/fetching/fetcher.h"

#include <fmt/format.h>

#include <algorithm>
#include <boost/unordered/unordered_flat_map.hpp>
#include <string_view>

#include "quarnkit/composite_list/fetching/fetcher_error.h"
#include "quarnkit/composite_list/model/descriptions.h"
#include "quarnkit/composite_list/model/element_filter.h"
#include "quarnkit/composite_list/model/entity_providing.h"
#include "quarnkit/composite_list/model/text_template_element.h"
#include "quarnkit/core/error.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/runtime/task_local.h"
#include "quarnkit/platform/services.h"
#include "quarnkit/predicate/evaluation_budget.h"
#include "quarnkit/predicate/limits.h"

namespace quarn {

namespace {

using Items = CompositeListFetcher::Items;

/// The predicate work of one fetch, included templates and nested fetches
/// too: the budget every visibility predicate takes its steps from, and how
/// many were left unevaluated once it was spent. Whoever made it reports it
/// when its work ends.
class PredicateWork {
 public:
  explicit PredicateWork(std::uint64_t steps) : budget_(steps) {}

  EvaluationBudget& budget() { return budget_; }
  void countUnevaluated() { ++unevaluated_; }
  /// One line for all the predicates the spent budget left unevaluated.
  void report() {
    if (unevaluated_ == 0) return;
    defaultLogger().error(
        "[CompositeListFetcher] The predicate budget of {} steps is spent: {} predicates were not "
        "evaluated and hide nothing",
        budget_.steps(), unevaluated_);
    unevaluated_ = 0;
  }

 private:
  EvaluationBudget budget_;
  std::size_t unevaluated_ = 0;
};

/// What the stages of one fetch share: the includes being expanded,
/// outermost first, and the predicate work. Made for each fetch, never kept
/// past it; read and changed on the main context only.
struct FetchScope {
  const CompositeListFetcher* fetcher = nullptr;
  std::vector<CompositeListInclude> includes;
  std::shared_ptr<PredicateWork> predicates;
  bool ownsPredicates = false;  // made them: reports them
};
const TaskLocal<std::shared_ptr<FetchScope>> fetchScope;

/// A scope for a fetch by `fetcher`; a fetch started while includes are
/// being expanded continues their chain and shares their predicate budget.
std::shared_ptr<FetchScope> newFetchScope(const CompositeListFetcher* fetcher) {
  auto scope = std::make_shared<FetchScope>();
  scope->fetcher = fetcher;
  if (const auto outer = fetchScope.get()) {
    scope->includes = outer->includes;
    scope->predicates = outer->predicates;
  } else {
    scope->predicates = std::make_shared<PredicateWork>(fetcher->predicateBudget());
    scope->ownsPredicates = true;
  }
  return scope;
}

/// Runs `body` with `scope` as the fetch scope; a scope that made its
/// predicate work reports it at the end, however the body ends.
Async<Items> runInScope(std::shared_ptr<FetchScope> scope, Async<Items> body) {
  std::exception_ptr failure;
  Items out;
  try {
    out = co_await fetchScope.withValue(scope, std::move(body));
  } catch (...) {
    failure = std::current_exception();
  }
  if (scope->ownsPredicates) scope->predicates->report();
  if (failure) std::rethrow_exception(failure);
  co_return out;
}

/// The scope of the running fetch when `fetcher` runs it, else null.
std::shared_ptr<FetchScope> fetchScopeOf(const CompositeListFetcher* fetcher) {
  auto scope = fetchScope.get();
  return scope && scope->fetcher == fetcher ? scope : nullptr;
}

/// Takes an include off the scope's chain when its expansion ends, however
/// it ends.
class IncludeStep {
 public:
  IncludeStep(std::vector<CompositeListInclude>& chain, CompositeListInclude include)
      : chain_(chain) {
    chain_.push_back(std::move(include));
  }
  ~IncludeStep() { chain_.pop_back(); }
  IncludeStep(const IncludeStep&) = delete;
  IncludeStep& operator=(const IncludeStep&) = delete;

 private:
  std::vector<CompositeListInclude>& chain_;
};

/// The template-providing descriptions whose nested templates the running
/// fetch is inside, outermost first, with the item type that led to each.
struct TemplateStep {
  const CompositeListItemDescriptionBase* description;
  std::string type;
};
using TemplateChain = std::shared_ptr<const std::vector<TemplateStep>>;
const TaskLocal<TemplateChain> templateChain;

template <class T>
std::shared_ptr<const std::vector<T>> extended(const std::shared_ptr<const std::vector<T>>& chain,
                                               T step) {
  auto next = chain ? std::make_shared<std::vector<T>>(*chain) : std::make_shared<std::vector<T>>();
  next->push_back(std::move(step));
  return next;
}

/// `work` made to run on the main context: itself when the caller is there,
/// else a hop there and back. Decided when called, so for work awaited
/// where it is made.
template <class T>
Async<T> toMainContext(Async<T> work) {
  if (isOnMainContext()) return work;
  return onMain(std::move(work));
}

/// The same, decided when awaited: the stages' work may be made in one
/// place and awaited in another.
template <class T>
Async<T> onMainContext(Async<T> work) {
  co_return co_await toMainContext(std::move(work));
}

Async<void> onMainContext(Async<void> work) { co_await toMainContext(std::move(work)); }

/// The default decimal text of a double: shortest round trip, with ".0" on
/// integral values ("0.25", "2.0", "1e-05").
std::string doubleText(double value) {
  std::string text = fmt::format("{}", value);
  if (text.find_first_not_of("-0123456789") == std::string::npos) text += ".0";
  return text;
}

/// Logs the elapsed time of a fetch when it ends, however it ends.
class FetchTimer {
 public:
  FetchTimer() : start_(platform::Clock::current()->monotonicNow()) {}
  ~FetchTimer() {
    const double elapsed = platform::Clock::current()->monotonicNow() - start_;
    defaultLogger().debug("[CompositeListFetcher] Fetch finished, {}", doubleText(elapsed));
  }
  FetchTimer(const FetchTimer&) = delete;
  FetchTimer& operator=(const FetchTimer&) = delete;

 private:
  double start_;
};

/// The items an include selects from its template: those with its uniqueId,
/// else those in its range (nothing unless the whole range lies within the
/// items), else all.
Items selectIncluded(Items provided, const CompositeListInclude& include) {
  if (include.uniqueId) {
    std::erase_if(provided,
                  [&](const AnyCompositeListItem& i) { return i.uniqueId() != *include.uniqueId; });
    return provided;
  }
  if (include.range) {
    const auto count = static_cast<std::int64_t>(provided.size());
    const auto [lower, upper] = *include.range;
    // A negative lower bound is no valid index either.
    if (lower < 0 || lower > upper || upper >= count) return {};
    return Items(provided.begin() + lower, provided.begin() + upper + 1);
  }
  return provided;
}

/// What building the request items does with one item.
enum class ItemWork {
  none,            // no description, or fetching skipped
  nestedTemplate,  // a template-providing description: fetch its sections
  direct,          // the description may fetch the entities itself
  request,         // the item's request goes into the combined request
};

ItemWork itemWork(const AnyCompositeListItem& item, const AnyCompositeListItemDescription* entry) {
  if (entry == nullptr) return ItemWork::none;
  if (entry->templateProviding != nullptr) return ItemWork::nestedTemplate;
  if (item.skipFetching()) return ItemWork::none;
  const auto mode = item.fetchMode();
  const bool direct =
      mode == CompositeListFetchMode::automatic || mode == CompositeListFetchMode::individual;
  return entry->entityProviding != nullptr && direct ? ItemWork::direct : ItemWork::request;
}

/// A description and the roles it plays, kept alive while an item is built.
struct DescriptionRef {
  explicit DescriptionRef(const AnyCompositeListItemDescription& entry)
      : base(entry.base), templates(entry.templateProviding), entities(entry.entityProviding) {}
  std::shared_ptr<const CompositeListItemDescriptionBase> base;
  const TemplateProvidingItemDescription* templates;
  const EntityProvidingCompositeListItemDescription* entities;
};

using RequestItem = CompositeListFetcher::RequestItem;
using RequestItems = CompositeListFetcher::RequestItems;
using IndexedRequest = std::pair<std::size_t, std::optional<RequestItem>>;

}  // namespace

/// The bodies of the stages, run on the main context, and what they share.
/// A stage's body takes the fetcher as a strong reference (Self), which its
/// frame keeps until it ends: the host may drop its own meanwhile. What the
/// bodies call while they run takes it by reference.
struct CompositeListFetcher::Pipeline {
  using Self = std::shared_ptr<CompositeListFetcher>;
  static Async<Items> fetch(Self self, Items items);
  static Async<Items> run(CompositeListFetcher& f, Items items);
  static Async<Items> process(Self self, Items items);
  static Async<Items> filter(Self self, Items items);
  static Async<Items> transform(Self self, Items items);
  static Async<RequestItems> serialRequests(Self self, Items items);
  static Async<RequestItems> parallelRequests(Self self, Items items);
  static Async<std::vector<IndexedRequest>> buildInGroup(CompositeListFetcher& f,
                                                         TaskGroup<IndexedRequest>& group,
                                                         const Items& items);
  static Async<IndexedRequest> buildChild(CompositeListFetcher& f, std::size_t index,
                                          AnyCompositeListItem item, DescriptionRef description,
                                          ItemWork work);
  static Async<std::optional<RequestItem>> build(CompositeListFetcher& f, AnyCompositeListItem item,
                                                 DescriptionRef description, ItemWork work);
  static Async<std::optional<RequestItem>> noRequest();
  static Async<std::optional<RequestItem>> buildDirect(CompositeListFetcher& f,
                                                       AnyCompositeListItem item,
                                                       DescriptionRef description);
  static Async<std::optional<RequestItem>> nestedTemplate(CompositeListFetcher& f,
                                                          AnyCompositeListItem item,
                                                          DescriptionRef description);
  static Async<void> fetchNestedTemplate(CompositeListFetcher& f, AnyCompositeListItem item,
                                         Items sections);
  static Async<bool> fetchDirectly(CompositeListFetcher& f, AnyCompositeListItem item,
                                   DescriptionRef description,
                                   const std::optional<RequestItem>& request);
  static Async<void> applyDirectResult(CompositeListFetcher& f, AnyCompositeListItem item,
                                       DescriptionRef description,
                                       CompositeListResult::Item result);
  static Async<std::optional<RequestItem>> requestItem(Self self, AnyCompositeListItem item);
  static std::optional<RequestItem> defaultRequestItem(const AnyCompositeListItem& item,
                                                       const CompositeListItemDescriptionBase& d);
  static bool buildsByDefault(const CompositeListFetcher& f,
                              const AnyCompositeListItemDescription& entry, ItemWork work) {
    return work == ItemWork::request && f.asksItemsByDefault_ && entry.buildsRequestsByDefault;
  }
  static Async<void> update(Self self, Items items, std::vector<CompositeListResult::Item> results);
  static Async<void> deliver(std::shared_ptr<CompositeListFetcher> self,
                             std::function<void(Outcome<Items>)> completion);
};

CompositeListFetcher::CompositeListFetcher(
    Passkey /*key*/, std::shared_ptr<CompositeListItemsRegistry> registry, Items templateItems,
    std::shared_ptr<CompositeListTemplateProviding> templateProvider,
    CompositeListFetchMode fetchMode, std::int64_t limit)
    : templateItems_(std::move(templateItems)),
      registry_(std::move(registry)),
      limit_(limit),
      templateProvider_(std::move(templateProvider)),
      fetchMode_(fetchMode),
      predicateBudget_(kEvaluationBudgetPerFetch) {
  const std::uint64_t seed = platform::SystemRandomSource::shared().nextInt(100000001);
  context_ = std::make_shared<CompositeListContext>(
      std::make_shared<ArbitraryRandomNumberGenerator>(seed));
}

// ----- The stages: each runs its body on the main context --------------------

void CompositeListFetcher::fetchCompositeList(std::function<void(Outcome<Items>)> completion) {
  // Posted, so the completion never runs inside this call.
  postToMain([self = shared_from_this(), completion = std::move(completion)]() mutable {
    Task<void>::spawn(mainExecutor(), Pipeline::deliver(std::move(self), std::move(completion)));
  });
}

Async<Items> CompositeListFetcher::fetchCompositeList() {
  return fetchCompositeList(templateItems_);
}

Async<Items> CompositeListFetcher::fetchCompositeList(Items items) {
  return onMainContext(Pipeline::fetch(shared_from_this(), std::move(items)));
}

Async<Items> CompositeListFetcher::processTemplateItems(Items items) {
  return onMainContext(Pipeline::process(shared_from_this(), std::move(items)));
}

Async<Items> CompositeListFetcher::filterTemplateItems(Items items) {
  return onMainContext(Pipeline::filter(shared_from_this(), std::move(items)));
}

Async<Items> CompositeListFetcher::transformTemplateItems(Items items) {
  return onMainContext(Pipeline::transform(shared_from_this(), std::move(items)));
}

Async<RequestItems> CompositeListFetcher::makeRequestParametersItems(Items items) {
  return onMainContext(Pipeline::serialRequests(shared_from_this(), std::move(items)));
}

Async<RequestItems> CompositeListFetcher::makeParallelRequestParametersItems(Items items) {
  return onMainContext(Pipeline::parallelRequests(shared_from_this(), std::move(items)));
}

Async<std::optional<RequestItem>> CompositeListFetcher::requestParametersItem(
    AnyCompositeListItem item) {
  return onMainContext(Pipeline::requestItem(shared_from_this(), std::move(item)));
}

// The parameters are taken by value as overrides take them (hosts keep them).
Async<Task<CompositeListResult>> CompositeListFetcher::fetchCompositeListTask(
    CompositeListRequestParameters, std::int64_t) {  // NOLINT(performance-unnecessary-value-param)
  fatalError("Fatal error");
}

// The request items are taken by value as overrides take them.
Async<void> CompositeListFetcher::updateTemplateItems(
    Items items, std::vector<CompositeListResult::Item> results,
    RequestItems) {  // NOLINT(performance-unnecessary-value-param)
  return onMainContext(Pipeline::update(shared_from_this(), std::move(items), std::move(results)));
}

Items CompositeListFetcher::performTextTemplates(Items items) {
  const ValueDictionary values = environment_ ? environment_->resolvedValues() : ValueDictionary{};
  try {
    // The records change only when every item's texts were filled.
    return templateText(items, values);
  } catch (const std::exception& e) {
    defaultLogger().error("[CompositeListFetcher] Could not perform text templates: {}",
                          describeError(e));
  }
  return items;
}

void CompositeListFetcher::cancal() {
  ++cancellations_;
  if (currentTask_) currentTask_->cancel();
}

// ----- The bodies ------------------------------------------------------------

Async<void> CompositeListFetcher::Pipeline::deliver(
    std::shared_ptr<CompositeListFetcher> self, std::function<void(Outcome<Items>)> completion) {
  const Task<Items> fetch = Task<Items>::spawn(mainExecutor(), self->fetchCompositeList());
  std::optional<Outcome<Items>> outcome;
  try {
    outcome = Outcome<Items>::success(co_await fetch.value());
  } catch (...) {
    outcome = Outcome<Items>::failure(std::current_exception());
  }
  if (!completion) co_return;
  try {
    completion(std::move(*outcome));
  } catch (...) {
    // Nobody is left to take it: fetchCompositeList() returned long ago.
    defaultLogger().error("[CompositeListFetcher] The fetch completion threw: {}",
                          describeCurrentException());
  }
}

Async<Items> CompositeListFetcher::Pipeline::fetch(Self self, Items items) {
  const FetchTimer timer;
  co_return co_await runInScope(newFetchScope(self.get()), run(*self, std::move(items)));
}

Async<Items> CompositeListFetcher::Pipeline::run(CompositeListFetcher& f, Items items) {
  Items processed = co_await f.processTemplateItems(std::move(items));
  RequestItems requests;
  if (f.parallelMode_) {
    requests = co_await f.makeParallelRequestParametersItems(processed);
  } else {
    requests = co_await f.makeRequestParametersItems(processed);
  }
  if (requests.empty()) co_return f.performTextTemplates(std::move(processed));

  CompositeListRequestParameters parameters{f.templateKey_, requests};
  // A cancal() while the task is being started cancels it once it is here.
  const std::uint64_t cancellations = f.cancellations_;
  Task<CompositeListResult> task =
      co_await f.fetchCompositeListTask(std::move(parameters), f.limit_);
  if (f.cancellations_ != cancellations) task.cancel();
  f.currentTask_ = task;
  std::optional<CompositeListResult> result;
  std::exception_ptr failure;
  try {
    co_await task.wait();
  } catch (...) {
    failure = std::current_exception();
  }
  // A nested fetch may have taken the slot meanwhile; only this fetch's task
  // is cleared.
  if (f.currentTask_ == task) f.currentTask_.reset();
  if (!failure) {
    try {
      // Usually the last handle by now: the result is taken over, not copied.
      result.emplace(co_await std::move(task).take());
    } catch (...) {
      failure = std::current_exception();
    }
  }
  if (failure) {
    if (!f.ignoreNetworkErrors_) std::rethrow_exception(failure);
    co_return f.performTextTemplates(std::move(processed));
  }
  co_await f.updateTemplateItems(processed, std::move(result->items), std::move(requests));
  co_return f.performTextTemplates(std::move(processed));
}

Async<Items> CompositeListFetcher::Pipeline::process(Self self, Items items) {
  CompositeListFetcher& f = *self;
  Items filtered = co_await f.filterTemplateItems(std::move(items));
  co_return co_await f.transformTemplateItems(std::move(filtered));
}

Async<Items> CompositeListFetcher::Pipeline::filter(Self self, Items items) {
  CompositeListFetcher& f = *self;
  // Filtered outside a fetch: the call's own budget.
  const auto scope = fetchScopeOf(&f);
  const std::shared_ptr<PredicateWork> work =
      scope ? scope->predicates : std::make_shared<PredicateWork>(f.predicateBudget_);
  // One check per list: the premium flag, the facts and now are taken for
  // each list filtered, included templates too.
  const CompositeListElementVisibilityCheck check(std::nullopt, f.environment_.get(),
                                                  &work->budget());
  // In place: the items are this call's own.
  std::erase_if(items, [&check, &work](const AnyCompositeListItem& item) {
    const CompositeListElementVisibility visibility = check.visibility(elementFields(item));
    if (visibility.budgetSpent) work->countUnevaluated();
    return !visibility.isShown();
  });
  if (!scope) work->report();
  co_return items;
}

Async<Items> CompositeListFetcher::Pipeline::transform(Self self, Items items) {
  CompositeListFetcher& f = *self;
  const auto isInclude = [](const AnyCompositeListItem& item) {
    return item.type() == CompositeListItemType::include;
  };
  if (std::none_of(items.begin(), items.end(), isInclude)) co_return items;
  auto scope = fetchScopeOf(&f);
  if (!scope) {
    // Expanded outside a fetch: the expansion is a scope of its own.
    co_return co_await runInScope(newFetchScope(&f), transform(self, std::move(items)));
  }
  Items out;
  out.reserve(items.size());
  for (auto& item : items) {
    if (!isInclude(item)) {
      out.push_back(std::move(item));
      continue;
    }
    const auto* record =
        dynamic_cast<const CompositeListSectionItem<CompositeListInclude>*>(item.base().get());
    const auto provider = f.templateProvider_;
    if (!record || !record->entity() || !provider) continue;
    CompositeListInclude include = *record->entity();

    const auto& chain = scope->includes;
    if (const auto from = std::find(chain.begin(), chain.end(), include); from != chain.end()) {
      std::vector<std::string> cycle;
      for (auto it = from; it != chain.end(); ++it) cycle.push_back(describeInclude(*it));
      cycle.push_back(describeInclude(include));
      throw CompositeListFetcherError(CompositeListFetcherError::Kind::includeCycle,
                                      std::move(cycle));
    }
    Items provided = co_await provider->provideTemplate(include.templateSource);
    Items kept = selectIncluded(std::move(provided), include);
    const IncludeStep step(scope->includes, std::move(include));
    Items expanded = co_await f.processTemplateItems(std::move(kept));
    out.insert(out.end(), std::make_move_iterator(expanded.begin()),
               std::make_move_iterator(expanded.end()));
  }
  co_return out;
}

Async<RequestItems> CompositeListFetcher::Pipeline::serialRequests(Self self, Items items) {
  CompositeListFetcher& f = *self;
  RequestItems out;
  out.reserve(items.size());
  for (const auto& item : items) {
    const AnyCompositeListItemDescription* entry = f.registry_->description(item.type());
    const ItemWork work = itemWork(item, entry);
    if (work == ItemWork::none) continue;
    // What requestParametersItem() would make, made here without its
    // suspensions: neither the fetcher nor the description changes it.
    // (Not a conditional expression: GCC miscompiles a co_await in one.)
    std::optional<RequestItem> request;
    if (buildsByDefault(f, *entry, work)) {
      request = defaultRequestItem(item, *entry->base);
    } else {
      request = co_await build(f, item, DescriptionRef(*entry), work);
    }
    if (request) out.push_back(std::move(*request));
  }
  co_return out;
}

Async<RequestItems> CompositeListFetcher::Pipeline::parallelRequests(Self self, Items items) {
  CompositeListFetcher& f = *self;
  const Items& list = items;
  std::function<Async<std::vector<IndexedRequest>>(TaskGroup<IndexedRequest>&)> body =
      [&f, &list](TaskGroup<IndexedRequest>& group) { return buildInGroup(f, group, list); };
  std::vector<IndexedRequest> built =
      co_await withThrowingTaskGroup<IndexedRequest>(std::move(body));
  // Built inline, the requests come in template order; children's come after.
  const auto byIndex = [](const IndexedRequest& a, const IndexedRequest& b) {
    return a.first < b.first;
  };
  if (!std::is_sorted(built.begin(), built.end(), byIndex)) {
    std::stable_sort(built.begin(), built.end(), byIndex);
  }
  RequestItems out;
  out.reserve(built.size());
  for (auto& [index, request] : built) out.push_back(std::move(*request));
  co_return out;
}

Async<std::vector<IndexedRequest>> CompositeListFetcher::Pipeline::buildInGroup(
    CompositeListFetcher& f, TaskGroup<IndexedRequest>& group, const Items& items) {
  std::vector<IndexedRequest> built;
  built.reserve(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    const AnyCompositeListItem& item = items[i];
    const AnyCompositeListItemDescription* entry = f.registry_->description(item.type());
    const ItemWork work = itemWork(item, entry);
    if (work == ItemWork::none) continue;
    if (work == ItemWork::request) {
      // All of this item's work happens on the main context, where this loop
      // runs: a child would only hop back here to do it.
      std::optional<RequestItem> request;
      if (buildsByDefault(f, *entry, work)) {
        request = defaultRequestItem(item, *entry->base);
      } else {
        request = co_await build(f, item, DescriptionRef(*entry), work);
      }
      if (request) built.emplace_back(i, std::move(request));
    } else {
      group.addTask(buildChild(f, i, item, DescriptionRef(*entry), work));
    }
  }
  while (auto child = co_await group.next()) {
    if (child->second) built.push_back(std::move(*child));
  }
  co_return built;
}

Async<IndexedRequest> CompositeListFetcher::Pipeline::buildChild(CompositeListFetcher& f,
                                                                 std::size_t index,
                                                                 AnyCompositeListItem item,
                                                                 DescriptionRef description,
                                                                 ItemWork work) {
  auto request = co_await build(f, std::move(item), std::move(description), work);
  co_return IndexedRequest{index, std::move(request)};
}

// Not a coroutine: most items take the request way, which needs no frame here.
Async<std::optional<RequestItem>> CompositeListFetcher::Pipeline::build(CompositeListFetcher& f,
                                                                        AnyCompositeListItem item,
                                                                        DescriptionRef description,
                                                                        ItemWork work) {
  switch (work) {
    case ItemWork::request:
      // On the main context, also for an override (the call only makes the work).
      return toMainContext(f.requestParametersItem(std::move(item)));
    case ItemWork::direct:
      return buildDirect(f, std::move(item), std::move(description));
    case ItemWork::nestedTemplate:
      return nestedTemplate(f, std::move(item), std::move(description));
    case ItemWork::none:
      break;
  }
  return noRequest();
}

Async<std::optional<RequestItem>> CompositeListFetcher::Pipeline::noRequest() {
  co_return std::nullopt;
}

Async<std::optional<RequestItem>> CompositeListFetcher::Pipeline::buildDirect(
    CompositeListFetcher& f, AnyCompositeListItem item, DescriptionRef description) {
  auto make = toMainContext(f.requestParametersItem(item));
  std::optional<RequestItem> request = co_await std::move(make);
  if (co_await fetchDirectly(f, std::move(item), std::move(description), request)) {
    co_return std::nullopt;
  }
  co_return std::move(request);
}

Async<std::optional<RequestItem>> CompositeListFetcher::Pipeline::nestedTemplate(
    CompositeListFetcher& f, AnyCompositeListItem item, DescriptionRef description) {
  const TemplateChain chain = templateChain.get();
  if (chain) {
    auto from = std::find_if(chain->begin(), chain->end(), [&](const TemplateStep& s) {
      return s.description == description.base.get();
    });
    if (from != chain->end()) {
      std::vector<std::string> cycle;
      for (auto it = from; it != chain->end(); ++it) cycle.push_back(it->type);
      cycle.push_back(item.type().rawValue);
      throw CompositeListFetcherError(CompositeListFetcherError::Kind::templateCycle,
                                      std::move(cycle));
    }
  }
  Items sections = co_await description.templates->provideTemplateSections();
  TemplateChain next = extended(chain, TemplateStep{description.base.get(), item.type().rawValue});
  auto nested = fetchNestedTemplate(f, std::move(item), std::move(sections));
  co_await templateChain.withValue(std::move(next), onMainContext(std::move(nested)));
  co_return std::nullopt;  // the nested template's items are the entity, no request
}

Async<void> CompositeListFetcher::Pipeline::fetchNestedTemplate(CompositeListFetcher& f,
                                                                AnyCompositeListItem item,
                                                                Items sections) {
  Items nested = co_await f.fetchCompositeList(std::move(sections));
  if (auto record = item.base<std::vector<AnyCompositeListItem>>()) {
    record->setEntity(std::move(nested));
  }
}

Async<bool> CompositeListFetcher::Pipeline::fetchDirectly(
    CompositeListFetcher& f, AnyCompositeListItem item, DescriptionRef description,
    const std::optional<RequestItem>& request) {
  const auto& provider = *description.entities;
  const RequestItem asked = request ? *request
                                    : RequestItem(platform::randomUUID().uuidString(), item.type(),
                                                  std::nullopt, std::nullopt, std::nullopt);
  std::optional<CompositeListResult::Item> result = co_await provider.fetchEntities(asked);
  if (!result) co_return false;
  auto apply = applyDirectResult(f, std::move(item), std::move(description), std::move(*result));
  co_await toMainContext(std::move(apply));
  co_return true;
}

Async<void> CompositeListFetcher::Pipeline::applyDirectResult(CompositeListFetcher& f,
                                                              AnyCompositeListItem item,
                                                              DescriptionRef description,
                                                              CompositeListResult::Item result) {
  // On the main context: the context's generator is not shared across threads.
  description.base->updateAny(item, result, *f.context_);
  co_return;
}

Async<std::optional<RequestItem>> CompositeListFetcher::Pipeline::requestItem(
    Self self, AnyCompositeListItem item) {
  CompositeListFetcher& f = *self;
  const AnyCompositeListItemDescription* entry = f.registry_->description(item.type());
  if (entry == nullptr) {
    defaultLogger().error(
        "[CompositeListFetcher] Failed to create CompositeListRequestParameters.Item from '{}'",
        item.type().rawValue);
    co_return std::nullopt;
  }
  // Kept alive while the request is built.
  const std::shared_ptr<const CompositeListItemDescriptionBase> description = entry->base;
  // The same request as the base class's members make, without suspending.
  if (entry->buildsRequestsByDefault) co_return defaultRequestItem(item, *description);
  std::string error;
  try {
    co_return co_await entry->makeRequestParametersItem(*item.base());
  } catch (...) {
    error = describeCurrentException();
  }
  defaultLogger().error(
      "[CompositeListFetcher] Failed to create CompositeListRequestParameters.Item from '{}' with "
      "error: {}",
      item.type().rawValue, error);
  co_return std::nullopt;
}

std::optional<RequestItem> CompositeListFetcher::Pipeline::defaultRequestItem(
    const AnyCompositeListItem& item, const CompositeListItemDescriptionBase& description) {
  try {
    return description.defaultRequestParametersItem(*item.base());
  } catch (...) {
    defaultLogger().error(
        "[CompositeListFetcher] Failed to create CompositeListRequestParameters.Item from '{}' "
        "with error: {}",
        item.type().rawValue, describeCurrentException());
  }
  return std::nullopt;
}

Async<void> CompositeListFetcher::Pipeline::update(Self self, Items items,
                                                   std::vector<CompositeListResult::Item> results) {
  CompositeListFetcher& f = *self;
  // The first item of each uniqueId.
  boost::unordered_flat_map<std::string_view, std::size_t> byId;
  byId.reserve(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) byId.emplace(items[i].uniqueId(), i);
  for (const auto& result : results) {
    const auto found = byId.find(result.key);
    const AnyCompositeListItemDescription* entry =
        found == byId.end() ? nullptr : f.registry_->description(items[found->second].type());
    if (entry == nullptr) {
      defaultLogger().error(
          "[CompositeListFetcher] Could not process the composite list result with key '{}'",
          result.key);
      continue;
    }
    entry->update(items[found->second], result, *f.context_);
  }
  co_return;
}

}  // namespace quarn
