// Doubles for the fetcher tests: a fetcher whose network request answers from
// a result document (or fails, or waits until cancelled), templates kept in
// memory by key, an environment of fixed facts, and descriptions that fetch
// their own entities.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "quarnkit/composite_list/fetching/fetcher.h"
#include "quarnkit/composite_list/model/descriptions.h"
#include "quarnkit/composite_list/model/entity_providing.h"
#include "quarnkit/composite_list/testing/model_fixtures.h"
#include "quarnkit/core/error.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/runtime/continuation.h"

namespace quarn::testing {

using Items = std::vector<AnyCompositeListItem>;

/// The error a failing double throws.
struct TestFailure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

/// What `error` says of itself.
inline std::string errorText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (...) {
    return describeCurrentException();
  }
}

/// Templates by key (and by key reference), decoded on request. An unknown
/// key fails the request.
class InMemoryTemplates : public CompositeListTemplateProviding {
 public:
  using CompositeListTemplateProviding::provideTemplate;
  explicit InMemoryTemplates(std::shared_ptr<CompositeListItemsRegistry> registry)
      : registry_(std::move(registry)) {}

  std::map<std::string, std::string> documents;
  std::vector<std::string> requested;
  bool calledOnMain = true;

  void provideTemplate(const CompositeListTemplateSource& source, Completion completion) override {
    requested.push_back(source.rawValue());
    calledOnMain = calledOnMain && isOnMainContext();
    auto found = documents.find(source.rawValue());
    if (found == documents.end()) {
      completion(Outcome<Items>::failure(
          std::make_exception_ptr(TestFailure("no template " + source.rawValue()))));
      return;
    }
    completion(Outcome<Items>::success(decodeCompositeListTemplate(found->second, registry_)));
  }

 private:
  std::shared_ptr<CompositeListItemsRegistry> registry_;
};

/// A fetcher whose combined request answers with `resultJSON` (decoded with
/// the registry's class map), fails with `failure`, or, with
/// `waitForCancellation`, sleeps on the current timer scheduler until its
/// task is cancelled.
class TestFetcher : public CompositeListFetcher {
 public:
  using CompositeListFetcher::CompositeListFetcher;

  std::string resultJSON = "[]";
  std::optional<std::string> failure;
  bool waitForCancellation = false;
  /// Seconds the request takes on the current timer scheduler.
  double latency = 0;
  std::vector<CompositeListRequestParameters> requests;
  std::vector<std::int64_t> limits;
  /// Requests whose bodies have ended. A cancelled body stops on its own
  /// thread, after the fetch that cancelled it: a test waits for every
  /// request to end before the clock the bodies sleep on goes away.
  [[nodiscard]] std::size_t endedRequests() const { return ended_->load(); }

  Async<Task<CompositeListResult>> fetchCompositeListTask(CompositeListRequestParameters parameters,
                                                          std::int64_t limit) override {
    requests.push_back(parameters);
    limits.push_back(limit);
    co_return Task<CompositeListResult>::spawn(answer(
        resultJSON, failure, waitForCancellation, latency, *registry()->entityClassMap(), ended_));
  }

 private:
  static Async<CompositeListResult> answer(std::string json, std::optional<std::string> failure,
                                           bool wait, double latency,
                                           CompositeListEntityClassMap classMap,
                                           std::shared_ptr<std::atomic<std::size_t>> ended) {
    struct Ending {
      std::atomic<std::size_t>& count;
      ~Ending() { ++count; }
    } ending{*ended};
    if (wait) co_await platform::TimerScheduler::current()->sleep(std::chrono::hours(24 * 365));
    if (latency > 0) {
      co_await platform::TimerScheduler::current()->sleep(
          std::chrono::duration_cast<std::chrono::nanoseconds>(
              std::chrono::duration<double>(latency)));
    }
    if (failure) throw TestFailure(*failure);
    co_return decodeCompositeListResult(json, classMap);
  }

  std::shared_ptr<std::atomic<std::size_t>> ended_ = std::make_shared<std::atomic<std::size_t>>(0);
};

/// Records what a self-fetching description was asked, thread-safely.
struct FetchLog {
  std::mutex mutex;
  std::vector<std::string> keys;
  void add(const std::string& key) {
    std::lock_guard lock(mutex);
    keys.push_back(key);
  }
  std::vector<std::string> all() {
    std::lock_guard lock(mutex);
    return keys;
  }
};

/// Product banners of type "direct" that fetch their own entity: a request
/// whose key starts with "found" gets Product{1, key}; "fail" throws;
/// anything else gets nothing. With a gate, each fetch waits until the test
/// opens it (Gate::open) or the fetch is cancelled.
class DirectBannerDescription : public ProductBannerDescription,
                                public EntityProvidingCompositeListItemDescription {
 public:
  struct Gate {
    std::mutex mutex;
    std::map<std::string, CheckedContinuation<void>> waiting;
    std::size_t size() {
      std::lock_guard lock(mutex);
      return waiting.size();
    }
    void open(const std::string& key) {
      std::optional<CheckedContinuation<void>> c;
      {
        std::lock_guard lock(mutex);
        c = waiting.at(key);
        waiting.erase(key);
      }
      c->resume();
    }
  };

  static inline FetchLog* log = nullptr;
  static inline Gate* gate = nullptr;
  static inline std::atomic<bool> returnNoRequest{false};

  [[nodiscard]] CompositeListItemType type() const override { return "direct"; }

  Async<std::optional<CompositeListRequestParameters::Item>> makeRequestParametersItem(
      const CompositeListItem& item) const override {
    if (returnNoRequest) co_return std::nullopt;
    co_return co_await ProductBannerDescription::makeRequestParametersItem(item);
  }

  Async<std::optional<CompositeListResult::Item>> fetchEntities(
      const CompositeListRequestParameters::Item& request) const override {
    const std::string key = request.key;
    if (gate != nullptr) {
      Gate* g = gate;
      std::function<void(CheckedContinuation<void>)> park = [g, key](CheckedContinuation<void> c) {
        std::lock_guard lock(g->mutex);
        g->waiting.emplace(key, c);
      };
      std::function<void()> onCancel = [g, key] {
        std::optional<CheckedContinuation<void>> c;
        {
          std::lock_guard lock(g->mutex);
          auto it = g->waiting.find(key);
          if (it == g->waiting.end()) return;
          c = it->second;
          g->waiting.erase(it);
        }
        c->resume(cancellationError());
      };
      co_await withCheckedThrowingContinuation<void>("gate", std::move(park), std::move(onCancel));
    }
    if (log != nullptr) log->add(key);
    if (key.starts_with("fail")) throw TestFailure("direct fetch failed for " + key);
    if (!key.starts_with("found")) co_return std::nullopt;
    co_return CompositeListResult::Item{key, {AnyEntity(Product{1, key})}};
  }
};

/// Items of type "promo_template" whose content is the nested template
/// `sectionsJSON`, decoded with the shared registry of the test.
class PromoTemplateDescription : public TemplateProvidingItemDescription {
 public:
  static inline std::string sectionsJSON = "[]";
  static inline std::shared_ptr<CompositeListItemsRegistry> registry;
  [[nodiscard]] CompositeListItemType type() const override { return "promo_template"; }
  Async<std::vector<AnyCompositeListItem>> provideTemplateSections() const override {
    co_return decodeCompositeListTemplate(sectionsJSON, registry);
  }
};

/// A registry with product banners, product lists, self-fetching banners and
/// promo templates, and the test class map.
inline std::shared_ptr<CompositeListItemsRegistry> fetcherRegistry() {
  auto registry = std::make_shared<CompositeListItemsRegistry>();
  registry->register_<ProductBannerDescription>();
  registry->register_<ProductListDescription>();
  registry->register_<DirectBannerDescription>();
  registry->register_<PromoTemplateDescription>();
  registry->registerEntityClasses(testClassMap());
  return registry;
}

}  // namespace quarn::testing
