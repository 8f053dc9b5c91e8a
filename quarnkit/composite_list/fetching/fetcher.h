/// @file
/// CompositeListFetcher: the fetch pipeline of a composite list screen.

/// @class quarn::CompositeListFetcher
/// The fetch pipeline of a composite list screen. A
/// shared object: made by make<T>() only, as every fetch holds it through
/// shared_from_this() until the fetch ends. It takes a template's items, drops those whose
/// visibility rules fail, expands includes into the items of other templates, works out the
/// entities the items need, obtains them (through one combined request the host performs, or
/// directly through descriptions that fetch for themselves), hands each result to the item that
/// asked for it, fills text placeholders and returns the finished items.
///
/// The host subclasses it and overrides fetchCompositeListTask() to send the
/// combined request; every other stage is virtual too, so a host can replace
/// one and keep the rest:
///
/// ```
///   class HomeFetcher : public CompositeListFetcher {
///    public:
///     using CompositeListFetcher::CompositeListFetcher;   // (Passkey, registry, ...)
///     Async<Task<CompositeListResult>> fetchCompositeListTask(
///         CompositeListRequestParameters parameters, std::int64_t limit) override {
///       co_return Task<CompositeListResult>::spawn(api.post(std::move(parameters), limit));
///     }
///   };
///   auto fetcher = CompositeListFetcher::make<HomeFetcher>(registry, items, templates,
///                                                        CompositeListFetchMode::automatic, 20);
///   fetcher->fetchCompositeList([](Outcome<std::vector<AnyCompositeListItem>> outcome) { ... });
/// ```
///
/// Stages run on the main context (each hops there when called elsewhere);
/// fetchers are read and configured on the main context. A stage under way
/// holds the fetcher, so the host may drop its last reference at any point,
/// from inside any callback: the fetch under way still ends as it would have
/// and hands its outcome on, and the fetcher goes away after it.
///
/// What the host's code may do from inside the fetcher's calls into it:
/// - the completion of fetchCompositeList(completion) may fetch again (the
///   new fetch starts after the completion returns) or drop the fetcher; an
///   exception it throws is logged and goes no further (its caller has long
///   returned), and the fetcher keeps working;
/// - fetchCompositeListTask() may fetch again (the fetches run side by side),
///   call cancal() (the task it returns is cancelled as soon as it is
///   returned) or throw (the fetch ends with that error, whatever
///   ignoreNetworkErrors() says);
/// - a template provider or an entity-providing description may fetch again
///   or throw: the fetch ends with the error thrown. In parallel mode the request items
/// are built by child tasks on the concurrent executor, which come back to the
/// main context to build an item's request, to run a nested fetch and to apply
/// a directly fetched result; the returned request items keep template order.
///
/// Beyond the pipeline's own failures, a template that includes itself
/// (directly or through others) and a template-providing item whose sections
/// lead back to its own description end the fetch with
/// CompositeListFetcherError naming the cycle.
#pragma once

#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "quarnkit/composite_list/fetching/outcome.h"
#include "quarnkit/composite_list/fetching/template_providing.h"
#include "quarnkit/composite_list/model/context.h"
#include "quarnkit/composite_list/model/environment.h"
#include "quarnkit/composite_list/model/registry.h"
#include "quarnkit/composite_list/model/request_parameters.h"
#include "quarnkit/composite_list/model/result.h"
#include "quarnkit/platform/runtime/task.h"

namespace quarn {

class CompositeListFetcher : public std::enable_shared_from_this<CompositeListFetcher> {
 public:
  /// The items of a template.
  using Items = std::vector<AnyCompositeListItem>;
  /// One item's request.
  using RequestItem = CompositeListRequestParameters::Item;
  /// The requests of several items.
  using RequestItems = std::vector<RequestItem>;

  /// What only make() can give: every constructor of a fetcher, a host's
  /// subclass included, takes one, so none is built outside a shared_ptr.
  class Passkey {
    Passkey() = default;
    friend class CompositeListFetcher;
  };

  /// Makes a fetcher of class T (this class or a subclass), passing a
  /// Passkey before `args` to its constructor.
  template <class T = CompositeListFetcher, class... Args>
  requires std::derived_from<T, CompositeListFetcher>
  static std::shared_ptr<T> make(Args&&... args) {
    auto fetcher = std::make_shared<T>(Passkey(), std::forward<Args>(args)...);
    static_cast<CompositeListFetcher&>(*fetcher).asksItemsByDefault_ = !kOverridesItemRequest<T>;
    return fetcher;
  }

  /// Stores its arguments and makes a context whose generator is seeded with
  /// a random integer in 0...100000000.
  CompositeListFetcher(Passkey key, std::shared_ptr<CompositeListItemsRegistry> registry,
                       Items templateItems,
                       std::shared_ptr<CompositeListTemplateProviding> templateProvider,
                       CompositeListFetchMode fetchMode, std::int64_t limit);
  virtual ~CompositeListFetcher() = default;
  CompositeListFetcher(const CompositeListFetcher&) = delete;
  CompositeListFetcher& operator=(const CompositeListFetcher&) = delete;

  /// The template's items, as given.
  [[nodiscard]] const Items& templateItems() const { return templateItems_; }
  /// The registry the items' descriptions come from.
  [[nodiscard]] const std::shared_ptr<CompositeListItemsRegistry>& registry() const {
    return registry_;
  }
  /// Passed unchanged to fetchCompositeListTask().
  [[nodiscard]] std::int64_t limit() const { return limit_; }
  /// Resolves includes; without one includes are dropped.
  [[nodiscard]] const std::shared_ptr<CompositeListTemplateProviding>& templateProvider() const {
    return templateProvider_;
  }
  /// Sets the template provider (null: includes are dropped).
  void setTemplateProvider(std::shared_ptr<CompositeListTemplateProviding> provider) {
    templateProvider_ = std::move(provider);
  }
  /// Predicate facts, the premium flag and text-template values.
  [[nodiscard]] const std::shared_ptr<const CompositeListEnvironment>& environment() const {
    return environment_;
  }
  /// Sets the environment.
  void setEnvironment(std::shared_ptr<const CompositeListEnvironment> environment) {
    environment_ = std::move(environment);
  }
  /// The default mode, for the request override; items decide by their own.
  [[nodiscard]] CompositeListFetchMode fetchMode() const { return fetchMode_; }
  /// Sets the default fetch mode.
  void setFetchMode(CompositeListFetchMode mode) { fetchMode_ = mode; }
  /// Builds request items concurrently, one child task per item.
  [[nodiscard]] bool parallelMode() const { return parallelMode_; }
  /// Sets whether request items are built concurrently.
  void setParallelMode(bool parallel) { parallelMode_ = parallel; }
  /// A failed request gives the items without results instead of the error.
  [[nodiscard]] bool ignoreNetworkErrors() const { return ignoreNetworkErrors_; }
  /// Sets whether a failed request gives the items without results.
  void setIgnoreNetworkErrors(bool ignore) { ignoreNetworkErrors_ = ignore; }
  /// The steps all visibility predicates of one fetch may take together
  /// (included templates and nested fetches share them); once spent, the
  /// remaining predicates count as broken ones, which hide nothing, and the
  /// fetch logs one line saying how many. Default: kEvaluationBudgetPerFetch.
  [[nodiscard]] std::uint64_t predicateBudget() const { return predicateBudget_; }
  /// Sets the predicates' budget of steps.
  void setPredicateBudget(std::uint64_t steps) { predicateBudget_ = steps; }
  /// Becomes the request parameters' key.
  [[nodiscard]] const std::optional<std::string>& templateKey() const { return templateKey_; }
  /// Sets the request parameters' key.
  void setTemplateKey(std::optional<std::string> key) { templateKey_ = std::move(key); }
  /// Passed to every item update; the same for every fetch.
  [[nodiscard]] const std::shared_ptr<CompositeListContext>& context() const { return context_; }
  /// Replaces the context.
  void setContext(std::shared_ptr<CompositeListContext> context) { context_ = std::move(context); }
  /// The network task while it is awaited.
  [[nodiscard]] const std::optional<Task<CompositeListResult>>& currentTask() const {
    return currentTask_;
  }

  /// Fetches templateItems() and calls `completion` on the main context with
  /// the items or the error. Never calls it before returning.
  void fetchCompositeList(std::function<void(Outcome<Items>)> completion);
  /// fetchCompositeList(templateItems()).
  virtual Async<Items> fetchCompositeList();
  /// The whole pipeline over `items`. Logs the elapsed time on every exit.
  virtual Async<Items> fetchCompositeList(Items items);
  /// filterTemplateItems(), then transformTemplateItems().
  virtual Async<Items> processTemplateItems(Items items);
  /// Drops the items whose visibility, dates or predicates fail.
  virtual Async<Items> filterTemplateItems(Items items);
  /// Replaces each include by the items it selects from its template, those
  /// processed in turn.
  virtual Async<Items> transformTemplateItems(Items items);
  /// The request items, one item after another.
  virtual Async<RequestItems> makeRequestParametersItems(Items items);
  /// The same request items, built concurrently.
  virtual Async<RequestItems> makeParallelRequestParametersItems(Items items);
  /// The item's request from its description; nothing (logged) when there is
  /// no description or building it fails.
  virtual Async<std::optional<RequestItem>> requestParametersItem(AnyCompositeListItem item);
  /// Starts the combined request and returns its task. Must be overridden:
  /// the base stops the program.
  virtual Async<Task<CompositeListResult>> fetchCompositeListTask(
      CompositeListRequestParameters parameters, std::int64_t limit);
  /// Applies each result to the first item whose uniqueId is its key.
  virtual Async<void> updateTemplateItems(Items items,
                                          std::vector<CompositeListResult::Item> results,
                                          RequestItems requestParameters);
  /// The items with their texts filled from the environment's values (and
  /// each item's vars); all of them, or on failure none.
  virtual Items performTextTemplates(Items items);
  /// Cancels the network task in flight, if any, and the one being started
  /// (by fetchCompositeListTask()) once it is returned.
  virtual void cancal();

 private:
  // The bodies of the stages and their helpers (fetcher.cc).
  struct Pipeline;

  /// Whether class T overrides (or hides) requestParametersItem(); when that
  /// cannot be told, it is taken to.
  template <class T>
  static constexpr bool kOverridesItemRequest = [] {
    if constexpr (requires { &T::requestParametersItem; }) {
      return !std::is_same_v<decltype(&T::requestParametersItem),
                             decltype(&CompositeListFetcher::requestParametersItem)>;
    } else {
      return true;
    }
  }();
  // True when the fetcher's class keeps this class's requestParametersItem():
  // request building may then call what it does without the call.
  bool asksItemsByDefault_ = false;

  const Items templateItems_;
  const std::shared_ptr<CompositeListItemsRegistry> registry_;
  const std::int64_t limit_;
  std::shared_ptr<CompositeListTemplateProviding> templateProvider_;
  std::shared_ptr<const CompositeListEnvironment> environment_;
  CompositeListFetchMode fetchMode_;
  bool parallelMode_ = false;
  bool ignoreNetworkErrors_ = false;
  std::uint64_t predicateBudget_;
  std::optional<std::string> templateKey_;
  std::shared_ptr<CompositeListContext> context_;
  std::optional<Task<CompositeListResult>> currentTask_;
  // How many times cancal() was called: a task started across a call is
  // cancelled when it comes.
  std::uint64_t cancellations_ = 0;
};

}  // namespace quarn
