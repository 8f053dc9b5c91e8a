// PaginatedDataSource<F>: the item list of one paged screen. It asks its
// page fetcher F for the next page as its pagination scheme says, merges the
// page into its items (appended or prepended, optionally reversed, shuffled
// and filtered of duplicates), advances the scheme, remembers errors and the
// time of the last page, reloads on demand, and tells a callback, its
// observers and the caller.
//
//   auto source = std::make_shared<PaginatedDataSource<ArticleFetcher>>(
//       fetcher, PerPagePagination(20, 1, {.perPage = "per-page", .page = "page"}));
//   source->fetchNextPage([](auto items, std::exception_ptr error) { ... });
//   std::vector<Article> page = co_await source->fetchNextPage();   // the awaiting form
//
// Everything runs on the main context: the fetcher delivers pages there, and
// the data source has no locks; isLoading() is what keeps requests from
// overlapping. Each fetch is numbered: a fetch superseded by forceReload()
// (or abandoned by a cancelled await) never touches the data source again,
// and its completion runs once with the cancellation error. Log lines go to
// "Velmora/PaginatedDataSource".
//
// A subclass overriding one fetchNextPage() or reload() adds
// `using PaginatedDataSource::fetchNextPage;` to keep the other form.
#pragma once

#include <algorithm>
#include <concepts>
#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <unordered_set>
#include <utility>
#include <vector>

#include "quarnkit/core/error.h"
#include "quarnkit/paging/item_identity.h"
#include "quarnkit/paging/page_fetchable.h"
#include "quarnkit/paging/per_page_pagination.h"
#include "quarnkit/platform/notification_center.h"
#include "quarnkit/platform/runtime/continuation.h"
#include "quarnkit/platform/services.h"

namespace quarn {

/// Told each time a page was merged (or a fetch ended without error).
class PaginatedDataSourceObserver {
 public:
  virtual ~PaginatedDataSourceObserver() = default;
  virtual void paginatedDataSourceDidUpdate() = 0;
};

/// The failure of the awaiting fetchNextPage() while a page is loading.
class PaginatedDataSourceError : public Error {
 public:
  enum class Kind { alreadyLoading };
  explicit PaginatedDataSourceError(Kind kind) : kind_(kind) {}
  [[nodiscard]] Kind kind() const { return kind_; }
  /// "A page is already loading."
  [[nodiscard]] std::string description() const override;

 private:
  Kind kind_;
};

namespace detail {
/// The logger of the data sources ("Velmora", "PaginatedDataSource").
const Logger& paginatedDataSourceLog();
/// The text of an error as "%@" prints it.
std::string describeError(const std::exception_ptr& error);
/// Seconds since 1970 on the current clock.
double nowSince1970();
/// A page from 1 to `pageCount` not in `loaded`, chosen uniformly (1 when
/// every page is loaded); memory does not grow with `pageCount`.
std::int64_t randomUnloadedPage(std::int64_t pageCount, const std::set<std::int64_t>& loaded,
                                platform::RandomSource& random);
/// "[1, 2, 3]".
std::string describePages(const std::set<std::int64_t>& pages);
/// Registers `block` for the foreground notification on the current centre;
/// the returned object unregisters it when destroyed.
std::shared_ptr<void> observeWillEnterForeground(std::function<void()> block);
}  // namespace detail

template <PageFetchable F>
class PaginatedDataSource {
 public:
  using Item = typename F::ResultType;
  using Items = std::vector<Item>;
  /// Receives the page's items (after reversal and shuffling, before the
  /// duplicate filter) or the error.
  using Completion = std::function<void(std::optional<Items>, std::exception_ptr)>;

  /// With a shared scheme (the creator keeps seeing its state), or none.
  explicit PaginatedDataSource(std::shared_ptr<F> fetcher,
                               std::shared_ptr<Pagination> pagination = nullptr)
      : fetcher_(std::move(fetcher)), pagination_(std::move(pagination)) {
    foreground_ = detail::observeWillEnterForeground([alive = std::weak_ptr(alive_)] {
      if (auto self = alive.lock(); self && (*self)->reloadOnDemandEnabled) {
        (*self)->reloadIfNeeded(false, nullptr);
      }
    });
  }
  /// With a copy of a value scheme (PerPagePagination, OffsetLimitPagination,
  /// IDsPagination).
  template <class P>
  requires(std::derived_from<P, Pagination>&& std::copy_constructible<P>)
      PaginatedDataSource(std::shared_ptr<F> fetcher, P pagination)
      : PaginatedDataSource(std::move(fetcher), std::make_shared<P>(std::move(pagination))) {}

  virtual ~PaginatedDataSource() = default;
  PaginatedDataSource(const PaginatedDataSource&) = delete;
  PaginatedDataSource& operator=(const PaginatedDataSource&) = delete;

  /// Called with each page's items or error, before the observers.
  std::function<void(const std::optional<Items>&, const std::exception_ptr&)> didCompletionFetch;
  /// Called with the fetcher when a request has started.
  std::function<void(F&)> willFetch;
  /// Held weakly.
  platform::WeakObserverSet<PaginatedDataSourceObserver> observers;
  /// Insert each page at the front instead of appending it.
  bool inverseInsertPage = false;
  /// Reverse each received page.
  bool reverseFethedPage = false;
  /// Shuffle each page and pick the next page number at random.
  bool randomizationEnabled = false;
  /// Drop received items whose identity is already held.
  bool filterUniqueItems = true;
  /// Seconds after the last page from which reloadIfNeeded() reloads (by
  /// default time alone never does).
  double reloadThreshold = std::numeric_limits<double>::max();
  /// Reload when the application returns to the foreground.
  bool reloadOnDemandEnabled = false;
  /// The random source of shuffling and random next pages.
  std::shared_ptr<platform::RandomSource> randomSource{std::shared_ptr<platform::RandomSource>(),
                                                       &platform::SystemRandomSource::shared()};

  [[nodiscard]] const std::shared_ptr<F>& fetcher() const { return fetcher_; }
  [[nodiscard]] const std::shared_ptr<Pagination>& pagination() const { return pagination_; }
  void setPagination(std::shared_ptr<Pagination> pagination) {
    pagination_ = std::move(pagination);
  }
  [[nodiscard]] const Items& items() const { return items_; }
  void setItems(Items items) { items_ = std::move(items); }
  /// The error of the last failed page.
  [[nodiscard]] const std::exception_ptr& lastError() const { return lastError_; }
  [[nodiscard]] bool isLoading() const { return isLoading_; }
  /// Seconds since 1970 of the last received page (0: none yet).
  [[nodiscard]] double lastReloadTimestamp() const { return lastReloadTimestamp_; }
  /// Page numbers delivered while randomising.
  [[nodiscard]] const std::set<std::int64_t>& loadedPages() const { return loadedPages_; }
  [[nodiscard]] std::int64_t numberOfPages() const {
    return pagination_ ? pagination_->currentPage() : 0;
  }

  /// Abandons the fetcher's running request.
  virtual void cancelFetch() { fetcher_->cancel(); }

  virtual void setNeedsReload() {
    isNeedsReload_ = true;
    lastReloadTimestamp_ = 0;
  }

  /// Back to the first page; the items stay.
  virtual void reset() {
    if (pagination_) pagination_->reset();
    loadedPages_.clear();
    isNeedsReload_ = false;
  }

  /// Reloads when the last page failed, a reload was asked for, or the
  /// threshold has passed; false (no completion) otherwise.
  virtual bool reloadIfNeeded(bool clear, Completion completion) {
    if (lastError_ || isNeedsReload_ ||
        detail::nowSince1970() - lastReloadTimestamp_ >= reloadThreshold) {
      detail::paginatedDataSourceLog().debug("Need to reload, reloading...");
      return forceReload(clear, std::move(completion));
    }
    return false;
  }

  /// Cancels the running fetch (its completion gets the cancellation
  /// error), then reloads; with `clear`, the items go first.
  virtual bool forceReload(bool clear, Completion completion) {
    cancelFetch();
    abandonFetch();
    if (clear) removeAll();
    return reload(std::move(completion));
  }

  /// The first page again; false (no completion) while a page loads.
  virtual bool reload(Completion completion) {
    if (isLoading_) return false;
    reset();
    return fetchNextPage(std::move(completion));
  }

  /// Asks for the next page. False while a page loads (the completion is
  /// not called) and when the fetcher could build no request (the
  /// completion then runs at once with neither items nor error).
  virtual bool fetchNextPage(Completion completion) {
    if (isLoading_) return false;
    isLoading_ = true;
    lastError_ = nullptr;
    const std::uint64_t number = ++fetchNumber_;
    pending_ = Pending{number, std::move(completion)};
    const bool started = fetcher_->fetch(
        pagination_.get(), [alive = std::weak_ptr(alive_), number](
                               std::optional<Items> results, std::exception_ptr error,
                               std::optional<ResponsePaginationInfo> info) {
          if (auto self = alive.lock()) {
            (*self)->deliver(number, std::move(results), std::move(error), info);
          }
        });
    if (started) {
      detail::paginatedDataSourceLog().debug("Begin page fetching");
      if (willFetch) willFetch(*fetcher_);
    } else if (pending_ && pending_->number == number) {
      Completion c = std::move(pending_->completion);
      pending_.reset();
      isLoading_ = false;
      completionFetch(std::nullopt, nullptr);
      if (c) c(std::nullopt, nullptr);
    }
    return isLoading_;
  }

  /// The next page's items; throws its error. Ends with an empty list when
  /// no request could be built and with PaginatedDataSourceError while a
  /// page loads. Cancelling the awaiting coroutine abandons the fetch (it
  /// then ends with the cancellation error). Await it on the main context.
  Async<Items> fetchNextPage() {
    auto called = std::make_shared<bool>(false);
    std::function<void()> onCancel = [alive = std::weak_ptr(alive_)] {
      if (auto self = alive.lock()) {
        (*self)->cancelFetch();
        (*self)->abandonFetch();
      }
    };
    return withCheckedThrowingContinuation<Items>(
        "fetchNextPage()",
        [this, called](CheckedContinuation<Items> c) {
          const bool started =
              fetchNextPage([c, called](std::optional<Items> results, std::exception_ptr error) {
                *called = true;
                if (error) {
                  c.resume(std::move(error));
                } else {
                  c.resume(std::move(results).value_or(Items{}));
                }
              });
          if (!started && !*called) {
            c.resumeThrowing(
                PaginatedDataSourceError(PaginatedDataSourceError::Kind::alreadyLoading));
          }
        },
        std::move(onCancel));
  }

  /// Calls didCompletionFetch, then, unless there is an error, the observers.
  virtual void completionFetch(const std::optional<Items>& results,
                               const std::exception_ptr& error) {
    if (didCompletionFetch) didCompletionFetch(results, error);
    if (!error)
      observers.invoke([](PaginatedDataSourceObserver& o) { o.paginatedDataSourceDidUpdate(); });
  }

  virtual void append(Items items) {
    items_.insert(items_.end(), std::make_move_iterator(items.begin()),
                  std::make_move_iterator(items.end()));
  }
  virtual void remove(std::size_t index) {
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
  }
  virtual void insert(Items items, std::size_t index) {
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index),
                  std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
  }
  /// Empties the items, resets the scheme and forgets the last error.
  virtual void removeAll() {
    items_.clear();
    if (pagination_) pagination_->reset();
    lastError_ = nullptr;
  }
  /// Removes the first item equal to `item`.
  void remove(const Item& item) requires std::equality_comparable<Item> {
    if (auto it = std::find(items_.begin(), items_.end(), item); it != items_.end())
      items_.erase(it);
  }

 protected:
  /// Empty once the data source is gone: handlers that outlive it hold this.
  [[nodiscard]] std::weak_ptr<PaginatedDataSource*> weakSelf() const { return alive_; }

 private:
  struct Pending {
    std::uint64_t number;
    Completion completion;
  };

  // The page handler: runs on the main context with what fetch number
  // `number` brought.
  void deliver(std::uint64_t number, std::optional<Items> results, std::exception_ptr error,
               std::optional<ResponsePaginationInfo> info) {
    if (!pending_ || pending_->number != number) return;  // superseded
    Completion completion = std::move(pending_->completion);
    pending_.reset();
    isLoading_ = false;
    if (results) {
      if (reverseFethedPage) std::reverse(results->begin(), results->end());
      if (randomizationEnabled) shuffle(*results);
      merge(*results, info);
    }
    if (error) {
      lastError_ = error;
      detail::paginatedDataSourceLog().error("Failed load page with error: {}",
                                             detail::describeError(error));
    }
    completionFetch(results, error);
    if (completion) completion(std::move(results), std::move(error));
  }

  void merge(const Items& results, const std::optional<ResponsePaginationInfo>& info) {
    if (!pagination_ || pagination_->isFirstPage()) items_.clear();
    Items added = filterUniqueItems ? unique(results) : results;
    const auto addedCount = static_cast<std::int64_t>(added.size());
    if (inverseInsertPage) {
      items_.insert(items_.begin(), std::make_move_iterator(added.begin()),
                    std::make_move_iterator(added.end()));
    } else {
      items_.insert(items_.end(), std::make_move_iterator(added.begin()),
                    std::make_move_iterator(added.end()));
    }
    lastReloadTimestamp_ = detail::nowSince1970();
    if (!pagination_) return;
    // A total the server did not report is unknown, not 0.
    pagination_->update(static_cast<std::int64_t>(items_.size()), addedCount,
                        info ? info->reportedTotalCount() : std::nullopt);
    if (randomizationEnabled && info && info->pageCount >= 2) {
      if (const auto* scheme = dynamic_cast<const PerPagePagination*>(pagination_.get())) {
        loadedPages_.insert(info->currentPage);
        const std::int64_t next =
            detail::randomUnloadedPage(info->pageCount, loadedPages_, *randomSource);
        auto copy = std::make_shared<PerPagePagination>(*scheme);
        copy->setNextPage(next);
        pagination_ = std::move(copy);
        detail::paginatedDataSourceLog().debug(
            "randomization:\n    - random next page: {}\n    - loaded pages: {}", next,
            detail::describePages(loadedPages_));
      }
    }
  }

  // The received items whose identity is not held (the page is not
  // compared with itself); everything when items have no identity.
  Items unique(const Items& results) const {
    if constexpr (HasStableIdentity<Item>) {
      using Key = typename decltype(itemIdentity(std::declval<const Item&>()))::value_type;
      std::unordered_set<Key> held;
      held.reserve(items_.size());
      for (const Item& item : items_) {
        if (auto id = itemIdentity(item)) held.insert(std::move(*id));
      }
      Items out;
      out.reserve(results.size());
      for (const Item& item : results) {
        const auto id = itemIdentity(item);
        if (!id || !held.contains(*id)) out.push_back(item);
      }
      return out;
    } else {
      return results;
    }
  }

  void shuffle(Items& items) {
    for (std::size_t i = items.size(); i > 1; --i) {
      const auto j = static_cast<std::size_t>(randomSource->nextInt(i));
      std::swap(items[i - 1], items[j]);
    }
  }

  // Forgets the running fetch: whatever it delivers later is dropped, and
  // its completion runs (posted) with the cancellation error.
  void abandonFetch() {
    isLoading_ = false;
    if (!pending_) return;
    Completion completion = std::move(pending_->completion);
    pending_.reset();
    if (completion) postToMain([completion] { completion(std::nullopt, cancellationError()); });
  }

  std::shared_ptr<F> fetcher_;
  std::shared_ptr<Pagination> pagination_;
  Items items_;
  std::exception_ptr lastError_;
  bool isLoading_ = false;
  double lastReloadTimestamp_ = 0;
  std::set<std::int64_t> loadedPages_;
  bool isNeedsReload_ = true;
  std::uint64_t fetchNumber_ = 0;
  std::optional<Pending> pending_;
  // Handlers hold this weakly: they do nothing once the data source is gone.
  std::shared_ptr<PaginatedDataSource*> alive_ = std::make_shared<PaginatedDataSource*>(this);
  std::shared_ptr<void> foreground_;
};

}  // namespace quarn
