/// @file
/// PaginatedDataSource<F>: the item list of one paged screen.

/// @class quarn::PaginatedDataSource
/// The item list of one paged screen. A shared object:
/// it lives in a std::shared_ptr made by make() (fetches and notifications
/// reach it weakly). It asks its page fetcher F for the next page as its
/// pagination scheme says, merges the page into its items (appended or
/// prepended, optionally reversed, shuffled and filtered of duplicates),
/// advances the scheme, remembers errors and the time of the last page,
/// reloads on demand, and tells a callback, its observers and the caller.
///
/// ```
///   auto source = PaginatedDataSource<ArticleFetcher>::make(
///       fetcher, PerPagePagination(20, 1, {.perPage = "per-page", .page = "page"}));
///   source->fetchNextPage([](auto items, std::exception_ptr error) { ... });
///   std::vector<Article> page = co_await source->fetchNextPage();   // the awaiting form
/// ```
///
/// Everything runs on the main context: the fetcher delivers pages there, and
/// the data source has no locks; isLoading() is what keeps requests from
/// overlapping. Each fetch is numbered: a fetch superseded by forceReload()
/// (or abandoned by a cancelled await, or by releasing the data source) never
/// touches the data source again, and its completion runs once, posted, with
/// the cancellation error. Log lines go to "Velmora/PaginatedDataSource".
///
/// The host's callbacks (didCompletionFetch, the observers, willFetch, the
/// caller's completion, the fetcher and the scheme):
/// - may release the data source: it stays alive until its own call returns,
///   and the rest of that delivery still runs;
/// - may call back into it: a page's callbacks run once it is no longer
///   loading, so a fetch, reload or forceReload from there starts the next
///   request; inside fetch() or willFetch a page is loading, so a fetch or
///   reload is refused, forceReload abandons the running fetch as above, and
///   cancelFetch lets the fetcher end it with its cancellation error;
/// - may throw: every other callback of that delivery still runs (the caller's
///   completion always does), then the first exception propagates to whoever
///   delivered the page; the data source is idle and keeps working. A fetcher
///   whose fetch() throws started nothing: the data source is idle, the
///   completion never runs and the exception propagates out of the call (the
///   awaiting form ends with it). willFetch throwing propagates the same way,
///   but the request it announced goes on and completes as usual.
///
/// A subclass is a shared object too (it lives in a std::shared_ptr); one
/// overriding one fetchNextPage() or reload() adds
/// `using PaginatedDataSource::fetchNextPage;` to keep the other form.
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
#include <stdexcept>
#include <unordered_set>
#include <utility>
#include <vector>

#include "quarnkit/core/error.h"
#include "quarnkit/paging/item_identity.h"
#include "quarnkit/paging/page_fetchable.h"
#include "quarnkit/paging/paginated_data_source_protocol.h"
#include "quarnkit/paging/per_page_pagination.h"
#include "quarnkit/platform/notification_center.h"
#include "quarnkit/platform/runtime/continuation.h"
#include "quarnkit/platform/services.h"

namespace quarn {

/// Told each time a page was merged (or a fetch ended without error). An
/// interface the host's shared objects implement: the data source holds
/// them weakly.
class PaginatedDataSourceObserver {
 public:
  virtual ~PaginatedDataSourceObserver() = default;
  /// The data source merged a page or ended a fetch without error; called on the main context.
  virtual void paginatedDataSourceDidUpdate() = 0;
};

/// The failure of the awaiting fetchNextPage() while a page is loading; a
/// value.
class PaginatedDataSourceError : public Error {
 public:
  /// Which failure it is.
  enum class Kind { alreadyLoading };
  /// An error of `kind`.
  explicit PaginatedDataSourceError(Kind kind) : kind_(kind) {}
  /// Which failure it is.
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
class PaginatedDataSource : public PaginatedDataSourceProtocol<typename F::ResultType>,
                            public std::enable_shared_from_this<PaginatedDataSource<F>> {
 public:
  /// The item type of the pages.
  using Item = typename F::ResultType;
  /// The items held.
  using Items = std::vector<Item>;
  /// Receives the page's items (after reversal and shuffling, before the
  /// duplicate filter) or the error.
  using Completion = std::function<void(std::optional<Items>, std::exception_ptr)>;

  /// With a shared scheme (the creator keeps seeing its state), or none.
  static std::shared_ptr<PaginatedDataSource> make(
      std::shared_ptr<F> fetcher, std::shared_ptr<Pagination> pagination = nullptr) {
    return std::shared_ptr<PaginatedDataSource>(
        new PaginatedDataSource(std::move(fetcher), std::move(pagination)));
  }
  /// With a copy of a value scheme (PerPagePagination, OffsetLimitPagination,
  /// IDsPagination).
  template <class P>
  requires(std::derived_from<P, Pagination>&& std::copy_constructible<P>) static std::shared_ptr<
      PaginatedDataSource> make(std::shared_ptr<F> fetcher, P pagination) {
    return make(std::move(fetcher), std::make_shared<P>(std::move(pagination)));
  }

  /// A fetch still running ends: its completion runs, posted, with the
  /// cancellation error (an awaiting caller gets that error).
  ~PaginatedDataSource() override {
    if (pending_ && pending_->completion) {
      postToMain([completion = std::move(pending_->completion)] {
        completion(std::nullopt, cancellationError());
      });
    }
  }
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

  /// The page fetcher.
  [[nodiscard]] const std::shared_ptr<F>& fetcher() const { return fetcher_; }
  /// The pagination scheme, or null.
  [[nodiscard]] const std::shared_ptr<Pagination>& pagination() const { return pagination_; }
  /// Replaces the pagination scheme (null: requests carry no page parameters).
  void setPagination(std::shared_ptr<Pagination> pagination) {
    pagination_ = std::move(pagination);
  }
  [[nodiscard]] const Items& items() const override { return items_; }
  /// Replaces the items held (the duplicate filter then compares against these).
  void setItems(Items items) {
    items_ = std::move(items);
    held_.invalidate();
  }
  /// The error of the last failed page.
  [[nodiscard]] const std::exception_ptr& lastError() const { return lastError_; }
  /// Whether a page is being fetched.
  [[nodiscard]] bool isLoading() const { return isLoading_; }
  /// Seconds since 1970 of the last received page (0: none yet).
  [[nodiscard]] double lastReloadTimestamp() const { return lastReloadTimestamp_; }
  /// Page numbers delivered while randomising.
  [[nodiscard]] const std::set<std::int64_t>& loadedPages() const { return loadedPages_; }
  /// The scheme's current page (0 without a scheme).
  [[nodiscard]] std::int64_t numberOfPages() const {
    return pagination_ ? pagination_->currentPage() : 0;
  }

  /// Abandons the fetcher's running request.
  virtual void cancelFetch() {
    const auto keep = this->weak_from_this().lock();
    fetcher_->cancel();
  }

  /// Makes the next reloadIfNeeded() reload.
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
    const auto keep = this->weak_from_this().lock();
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

  /// Asks for the next page; true when a request started. False while a
  /// page loads (the completion is not called) and when the fetcher could
  /// build no request (the completion then runs at once with neither items
  /// nor error). Throws std::logic_error on a data source that no
  /// std::shared_ptr holds, since no page could reach it.
  virtual bool fetchNextPage(Completion completion) {
    const auto keep = this->weak_from_this().lock();
    if (!keep)
      throw std::logic_error("PaginatedDataSource: fetch on an object no shared_ptr holds");
    if (isLoading_) return false;
    isLoading_ = true;
    lastError_ = nullptr;
    const std::uint64_t number = ++fetchNumber_;
    pending_ = Pending{number, std::move(completion)};
    bool started = false;
    try {
      started = fetcher_->fetch(
          pagination_.get(), [weak = this->weak_from_this(), number](
                                 std::optional<Items> results, std::exception_ptr error,
                                 std::optional<ResponsePaginationInfo> info) {
            if (auto self = weak.lock()) {
              self->deliver(number, std::move(results), std::move(error), info);
            }
          });
    } catch (...) {
      // Nothing started: the caller hears of it through the exception alone.
      if (pending_ && pending_->number == number) {
        pending_.reset();
        isLoading_ = false;
      }
      throw;
    }
    if (!started) {
      if (pending_ && pending_->number == number) {
        Completion c = std::move(pending_->completion);
        pending_.reset();
        isLoading_ = false;
        report(std::nullopt, nullptr, std::move(c), nullptr);
      }
      return false;
    }
    detail::paginatedDataSourceLog().debug("Begin page fetching");
    if (willFetch) {
      const auto call = willFetch;  // the callback may replace itself
      call(*fetcher_);
    }
    return true;
  }

  /// The next page's items; throws its error. Ends with an empty list when
  /// no request could be built, with PaginatedDataSourceError while a page
  /// loads, and with the cancellation error when the data source is
  /// released first. Cancelling the awaiting coroutine abandons the fetch
  /// (it then ends with the cancellation error). Await it on the main
  /// context.
  Async<Items> fetchNextPage() {
    const std::weak_ptr<PaginatedDataSource> weak = this->weak_from_this();
    std::function<void()> onCancel = [weak] {
      if (auto self = weak.lock()) {
        self->cancelFetch();
        self->abandonFetch();
      }
    };
    return withCheckedThrowingContinuation<Items>(
        "fetchNextPage()",
        [weak](CheckedContinuation<Items> c) {
          const auto self = weak.lock();
          if (!self) {
            c.resume(cancellationError());
            return;
          }
          // Set by whichever ends the await first: the completion, or an
          // exception of willFetch after which the page still comes.
          auto ended = std::make_shared<bool>(false);
          bool started = false;
          try {
            started = self->fetchNextPage(
                [c, ended](std::optional<Items> results, std::exception_ptr error) {
                  if (std::exchange(*ended, true)) return;
                  if (error) {
                    c.resume(std::move(error));
                  } else {
                    c.resume(std::move(results).value_or(Items{}));
                  }
                });
          } catch (...) {
            if (!std::exchange(*ended, true)) c.resume(std::current_exception());
            return;
          }
          if (!started && !std::exchange(*ended, true)) {
            c.resumeThrowing(
                PaginatedDataSourceError(PaginatedDataSourceError::Kind::alreadyLoading));
          }
        },
        std::move(onCancel));
  }

  /// Calls didCompletionFetch, then, unless there is an error, each observer;
  /// one that throws does not keep the others from being told, and the
  /// first exception propagates afterwards.
  virtual void completionFetch(const std::optional<Items>& results,
                               const std::exception_ptr& error) {
    std::exception_ptr thrown;
    if (didCompletionFetch) {
      const auto call = didCompletionFetch;  // the callback may replace itself
      try {
        call(results, error);
      } catch (...) {
        thrown = std::current_exception();
      }
    }
    if (!error) {
      observers.invoke([&thrown](PaginatedDataSourceObserver& o) {
        try {
          o.paginatedDataSourceDidUpdate();
        } catch (...) {
          if (!thrown) thrown = std::current_exception();
        }
      });
    }
    if (thrown) std::rethrow_exception(thrown);
  }

  /// Adds `items` at the end.
  virtual void append(Items items) {
    held_.invalidate();
    items_.insert(items_.end(), std::make_move_iterator(items.begin()),
                  std::make_move_iterator(items.end()));
  }
  /// Removes the item at `index` (below items().size()).
  virtual void remove(std::size_t index) {
    held_.invalidate();
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
  }
  /// Inserts `items` before position `index` (at most items().size()).
  virtual void insert(Items items, std::size_t index) {
    held_.invalidate();
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index),
                  std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
  }
  /// Empties the items, resets the scheme and forgets the last error.
  virtual void removeAll() {
    items_.clear();
    held_.clear();
    if (pagination_) pagination_->reset();
    lastError_ = nullptr;
  }
  /// Removes the first item equal to `item`.
  void remove(const Item& item) requires std::equality_comparable<Item> {
    if (auto it = std::find(items_.begin(), items_.end(), item); it != items_.end()) {
      held_.invalidate();
      items_.erase(it);
    }
  }

 protected:
  /// For make() and subclasses, which are made in a std::shared_ptr too.
  explicit PaginatedDataSource(std::shared_ptr<F> fetcher,
                               std::shared_ptr<Pagination> pagination = nullptr)
      : fetcher_(std::move(fetcher)), pagination_(std::move(pagination)) {
    // Registered for as long as the data source lives; it does nothing until
    // a shared_ptr holds the data source, nor once none does.
    foreground_ = detail::observeWillEnterForeground([this] {
      if (auto self = this->weak_from_this().lock(); self && self->reloadOnDemandEnabled) {
        self->reloadIfNeeded(false, nullptr);
      }
    });
  }
  /// With a copy of a value scheme, for subclasses.
  template <class P>
  requires(std::derived_from<P, Pagination>&& std::copy_constructible<P>)
      PaginatedDataSource(std::shared_ptr<F> fetcher, P pagination)
      : PaginatedDataSource(std::move(fetcher), std::make_shared<P>(std::move(pagination))) {}

 private:
  struct Pending {
    std::uint64_t number;
    Completion completion;
  };

  // The page handler: runs on the main context with what fetch number
  // `number` brought. The caller holds the data source for the length of it.
  void deliver(std::uint64_t number, std::optional<Items> results, std::exception_ptr error,
               const std::optional<ResponsePaginationInfo>& info) {
    if (!pending_ || pending_->number != number) return;  // superseded
    Completion completion = std::move(pending_->completion);
    pending_.reset();
    isLoading_ = false;
    std::exception_ptr thrown;  // of the scheme's or random source's code
    if (results) {
      try {
        if (reverseFethedPage) std::reverse(results->begin(), results->end());
        if (randomizationEnabled) shuffle(*results);
        merge(*results, info);
      } catch (...) {
        thrown = std::current_exception();
      }
    }
    if (error) {
      lastError_ = error;
      detail::paginatedDataSourceLog().error("Failed load page with error: {}",
                                             detail::describeError(error));
    }
    report(std::move(results), std::move(error), std::move(completion), thrown);
  }

  // The end of a fetch: didCompletionFetch and the observers, then the
  // caller's completion, each whatever the others throw; then the first
  // exception (`thrown` before any) propagates.
  void report(std::optional<Items> results, std::exception_ptr error, Completion completion,
              std::exception_ptr thrown) {
    try {
      completionFetch(results, error);
    } catch (...) {
      if (!thrown) thrown = std::current_exception();
    }
    if (completion) {
      try {
        completion(std::move(results), std::move(error));
      } catch (...) {
        if (!thrown) thrown = std::current_exception();
      }
    }
    if (thrown) std::rethrow_exception(thrown);
  }

  void merge(const Items& results, const std::optional<ResponsePaginationInfo>& info) {
    // Held here: a key scheme's closure may replace the data source's scheme.
    const std::shared_ptr<Pagination> scheme = pagination_;
    if (!scheme || scheme->isFirstPage()) {
      items_.clear();
      held_.clear();
    }
    Items added = filterUniqueItems ? unique(results) : results;
    if (filterUniqueItems) {
      remember(added);
    } else {
      held_.invalidate();
    }
    const auto addedCount = static_cast<std::int64_t>(added.size());
    if (inverseInsertPage) {
      items_.insert(items_.begin(), std::make_move_iterator(added.begin()),
                    std::make_move_iterator(added.end()));
    } else {
      items_.insert(items_.end(), std::make_move_iterator(added.begin()),
                    std::make_move_iterator(added.end()));
    }
    lastReloadTimestamp_ = detail::nowSince1970();
    if (!scheme) return;
    // A total the server did not report is unknown, not 0.
    scheme->update(static_cast<std::int64_t>(items_.size()), addedCount,
                   info ? info->reportedTotalCount() : std::nullopt);
    if (randomizationEnabled && info && info->pageCount >= 2) {
      if (const auto* perPage = dynamic_cast<const PerPagePagination*>(scheme.get())) {
        loadedPages_.insert(info->currentPage);
        const std::int64_t next =
            detail::randomUnloadedPage(info->pageCount, loadedPages_, *randomSource);
        auto copy = std::make_shared<PerPagePagination>(*perPage);
        copy->setNextPage(next);
        pagination_ = std::move(copy);
        detail::paginatedDataSourceLog().debug(
            "randomization:\n    - random next page: {}\n    - loaded pages: {}", next,
            detail::describePages(loadedPages_));
      }
    }
  }

  // The received items whose identity is not held (the page is not
  // compared with itself); everything when items have no identity. Costs
  // the page's size: the held identities are kept as pages are merged.
  Items unique(const Items& results) {
    if constexpr (HasStableIdentity<Item>) {
      held_.rebuildIfNeeded(items_);
      Items out;
      out.reserve(results.size());
      for (const Item& item : results) {
        const auto id = itemIdentity(item);
        if (!id || !held_.ids.contains(*id)) out.push_back(item);
      }
      return out;
    } else {
      return results;
    }
  }

  // Adds the identities of items just merged to the held ones.
  void remember(const Items& added) {
    if constexpr (HasStableIdentity<Item>) {
      for (const Item& item : added) {
        if (auto id = itemIdentity(item)) held_.ids.insert(std::move(*id));
      }
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
  // The identities of items_, for the duplicate filter.
  detail::HeldIdentities<Item> held_;
  std::exception_ptr lastError_;
  bool isLoading_ = false;
  double lastReloadTimestamp_ = 0;
  std::set<std::int64_t> loadedPages_;
  bool isNeedsReload_ = true;
  std::uint64_t fetchNumber_ = 0;
  std::optional<Pending> pending_;
  std::shared_ptr<void> foreground_;
};

}  // namespace quarn
