/// @file
/// ScrolledPaginatedDataSource<F>: a paginated data source bound to a scrolling list; a shared
/// object like its base (made by make()).

/// @class quarn::ScrolledPaginatedDataSource
/// A paginated data source bound to a
/// scrolling list; a shared object like its base (made by make()). Scrolling
/// to the end loads the next page (while the scheme has more), an optional
/// pull-to-refresh control reloads from the first page, and the list is
/// reloaded after each delivery so that it shows items() as they are.
///
/// ```
///   auto source = ScrolledPaginatedDataSource<ArticleFetcher>::make(
///       collectionView, fetcher, PerPagePagination(20, 1, {"per-page", "page"}),
///       /*refreshControlEnable=*/true,
///       platform::refreshControlType<platform::RefreshControlAdapter>());
/// ```
///
/// The list is a scroll view (for its infinite scrolling and refresh control)
/// that is also a ScrolledList (quarnkit/platform/scrolled_list.h), which is
/// all the data source asks of it besides scrolling: reloadData() after every
/// page, failed page, or fetch that had nothing to request, before the
/// didCompletionFetch callback and the observers hear of it. The data source
/// holds the list strongly.
///
/// The handlers hold the data source weakly and do nothing once it is gone.
/// A refresh ends its animation 0.25 seconds after the reload completes (on
/// the current TimerScheduler); a pull while a page loads, which cannot
/// reload, ends it at once. Likewise an end-of-list scroll that cannot start
/// a fetch finishes its animation at once. A data source released while its
/// page or reload runs (from the host's callbacks too) still ends the
/// animations that page started; a scroll or pull whose fetch throws before
/// starting ends its animation and lets the exception propagate.
#pragma once

#include "quarnkit/paging/paginated_data_source.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/scrolled_list.h"
#include "quarnkit/platform/ui/activity_indicator_view.h"
#include "quarnkit/platform/ui/refresh_control_adapter.h"

namespace quarn {

/// A scroll view that is also a ScrolledList.
template <class List>
concept ScrolledListView =
    std::derived_from<List, platform::ScrollView> && std::derived_from<List, ScrolledList>;

template <PageFetchable F>
class ScrolledPaginatedDataSource : public PaginatedDataSource<F> {
  using Base = PaginatedDataSource<F>;

 public:
  /// `refreshControl`: the type of pull-to-refresh control to make, if any.
  template <ScrolledListView List>
  static std::shared_ptr<ScrolledPaginatedDataSource> make(
      const std::shared_ptr<List>& list, std::shared_ptr<F> fetcher,
      std::shared_ptr<Pagination> pagination, bool refreshControlEnable,
      const platform::RefreshControlType& refreshControl = nullptr) {
    return std::shared_ptr<ScrolledPaginatedDataSource>(
        new ScrolledPaginatedDataSource(list, list, std::move(fetcher), std::move(pagination),
                                        refreshControlEnable, refreshControl));
  }
  /// With a copy of a value scheme.
  template <ScrolledListView List, class P>
  requires(std::derived_from<P, Pagination>&& std::copy_constructible<P>) static std::shared_ptr<
      ScrolledPaginatedDataSource> make(const std::shared_ptr<List>& list,
                                        std::shared_ptr<F> fetcher, P pagination,
                                        bool refreshControlEnable,
                                        const platform::RefreshControlType& refreshControl =
                                            nullptr) {
    return make(list, std::move(fetcher), std::make_shared<P>(std::move(pagination)),
                refreshControlEnable, refreshControl);
  }

  /// The scrolled view whose end loads the next page.
  [[nodiscard]] const std::shared_ptr<platform::ScrollView>& scrollView() const {
    return scrollView_;
  }
  /// The same view as scrollView(), as the list to reload.
  [[nodiscard]] const std::shared_ptr<ScrolledList>& list() const { return list_; }
  /// The pull-to-refresh control, or null.
  [[nodiscard]] const std::shared_ptr<platform::RefreshControlProtocol>& refreshControl() const {
    return refreshControl_;
  }
  /// Whether the refresh control is attached.
  [[nodiscard]] bool refreshControlEnable() const { return refreshControlEnable_; }
  /// Attaches (true) or detaches the refresh control.
  void setRefreshControlEnable(bool enable) {
    refreshControlEnable_ = enable;
    updateRefreshControlState();
  }
  /// Whether scrolling to the end loads more.
  bool infinitiScrollingEnadle = true;

  /// Attaches or detaches the refresh control as refreshControlEnable says.
  virtual void updateRefreshControlState() {
    if (refreshControl_) refreshControl_->setEnabled(refreshControlEnable_, *scrollView_);
  }

  /// Reloads the list, then tells the base's callback and observers; an
  /// exception from the list leaves after them (the first one thrown wins).
  void completionFetch(const std::optional<typename Base::Items>& results,
                       const std::exception_ptr& error) override {
    std::exception_ptr thrown;
    try {
      const std::shared_ptr<ScrolledList> list = list_;  // kept while the host reloads
      list->reloadData();
    } catch (...) {
      thrown = std::current_exception();
    }
    try {
      Base::completionFetch(results, error);
    } catch (...) {
      if (!thrown) thrown = std::current_exception();
    }
    if (thrown) std::rethrow_exception(thrown);
  }

 protected:
  /// `scrollView` and `list` are the same view, seen as each.
  ScrolledPaginatedDataSource(std::shared_ptr<platform::ScrollView> scrollView,
                              std::shared_ptr<ScrolledList> list, std::shared_ptr<F> fetcher,
                              std::shared_ptr<Pagination> pagination, bool refreshControlEnable,
                              const platform::RefreshControlType& refreshControl = nullptr)
      : Base(std::move(fetcher), std::move(pagination)),
        scrollView_(std::move(scrollView)),
        list_(std::move(list)),
        refreshControlEnable_(refreshControlEnable) {
    install(refreshControl);
  }

 private:
  // What the handlers hold: it outlives the data source only as an empty
  // weak reference, and the data source is theirs only while a shared_ptr
  // holds it.
  using Anchor = std::weak_ptr<ScrolledPaginatedDataSource*>;

  // The data source behind a handler's anchor, held for the handler's
  // length, or null.
  static std::shared_ptr<ScrolledPaginatedDataSource> from(const Anchor& anchor) {
    const auto box = anchor.lock();
    if (!box) return nullptr;
    return std::static_pointer_cast<ScrolledPaginatedDataSource>((*box)->weak_from_this().lock());
  }

  void install(const platform::RefreshControlType& refreshControlType) {
    const Anchor anchor = anchor_;
    platform::InfiniteScroll& infinite = scrollView_->infiniteScroll();
    infinite.addInfiniteScroll([anchor](platform::ScrollView& view) {
      if (auto self = from(anchor)) self->loadMore(view);
    });
    infinite.setShouldShowInfiniteScrollHandler([anchor](platform::ScrollView&) {
      auto self = from(anchor);
      return self != nullptr && self->infinitiScrollingEnadle && self->pagination() &&
             !self->pagination()->shouldHidePaginationControl();
    });
    infinite.setInfiniteScrollIndicatorView(std::make_shared<platform::ActivityIndicatorView>(
        platform::ActivityIndicatorView::Style::medium));
    if (refreshControlType) {
      refreshControl_ = refreshControlType(scrollView_, [anchor] {
        if (auto self = from(anchor)) self->refresh();
      });
    }
    updateRefreshControlState();
  }

  // The end of the list reached: the next page, then the end of the
  // animation (on the scroll view, whether or not the data source is still
  // there).
  void loadMore(platform::ScrollView& view) {
    const std::weak_ptr<platform::ScrollView> weakView = scrollView_;
    auto finished = std::make_shared<bool>(false);
    bool started = false;
    try {
      started = this->fetchNextPage([weakView, finished](auto, auto) {
        *finished = true;
        if (auto v = weakView.lock()) v->infiniteScroll().finishInfiniteScroll();
      });
    } catch (...) {
      // Not loading: nothing started that would end the animation.
      if (!*finished && !this->isLoading()) view.infiniteScroll().finishInfiniteScroll();
      throw;
    }
    // Refused while a page loads: the completion will never come.
    if (!started && !*finished) view.infiniteScroll().finishInfiniteScroll();
  }

  // A user's pull: reload, then end the animation.
  void refresh() {
    const std::weak_ptr<platform::ScrollView> weakView = scrollView_;
    auto completed = std::make_shared<bool>(false);
    bool started = false;
    try {
      started = this->reload([weakView, control = refreshControl_, completed](auto, auto) {
        *completed = true;
        if (auto v = weakView.lock()) v->infiniteScroll().finishInfiniteScroll();
        if (!control) return;
        platform::TimerScheduler::current()->scheduleTimer(
            0.25, false, [control](platform::Timer&) { control->endRefreshing(); });
      });
    } catch (...) {
      if (!*completed && !this->isLoading() && refreshControl_) refreshControl_->endRefreshing();
      throw;
    }
    // Refused while a page loads: nothing else would end the animation.
    if (!started && !*completed && refreshControl_) refreshControl_->endRefreshing();
  }

  std::shared_ptr<platform::ScrollView> scrollView_;
  std::shared_ptr<ScrolledList> list_;
  std::shared_ptr<platform::RefreshControlProtocol> refreshControl_;
  bool refreshControlEnable_;
  std::shared_ptr<ScrolledPaginatedDataSource*> anchor_ =
      std::make_shared<ScrolledPaginatedDataSource*>(this);
};

}  // namespace quarn
