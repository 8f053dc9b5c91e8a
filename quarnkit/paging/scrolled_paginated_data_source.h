// ScrolledPaginatedDataSource<F>: a paginated data source bound to a
// scrolling list. Scrolling to the end loads the next page (while the scheme
// has more), and an optional pull-to-refresh control reloads from the first
// page.
//
//   auto source = std::make_shared<ScrolledPaginatedDataSource<ArticleFetcher>>(
//       collectionView, fetcher, PerPagePagination(20, 1, {"per-page", "page"}),
//       /*refreshControlEnable=*/true,
//       platform::refreshControlType<platform::RefreshControlAdapter>());
//
// The handlers hold the data source weakly and do nothing once it is gone.
// A refresh ends its animation 0.25 seconds after the reload completes (on
// the current TimerScheduler); a pull while a page loads, which cannot
// reload, ends it at once. Likewise an end-of-list scroll that cannot start
// a fetch finishes its animation at once.
#pragma once

#include "quarnkit/paging/paginated_data_source.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/ui/activity_indicator_view.h"
#include "quarnkit/platform/ui/refresh_control_adapter.h"

namespace quarn {

template <PageFetchable F>
class ScrolledPaginatedDataSource : public PaginatedDataSource<F> {
  using Base = PaginatedDataSource<F>;

 public:
  /// `refreshControl`: the type of pull-to-refresh control to make, if any.
  ScrolledPaginatedDataSource(std::shared_ptr<platform::ScrollView> scrollView,
                              std::shared_ptr<F> fetcher, std::shared_ptr<Pagination> pagination,
                              bool refreshControlEnable,
                              const platform::RefreshControlType& refreshControl = nullptr)
      : Base(std::move(fetcher), std::move(pagination)),
        scrollView_(std::move(scrollView)),
        refreshControlEnable_(refreshControlEnable) {
    install(refreshControl);
  }
  /// With a copy of a value scheme.
  template <class P>
  requires(std::derived_from<P, Pagination>&& std::copy_constructible<P>)
      ScrolledPaginatedDataSource(std::shared_ptr<platform::ScrollView> scrollView,
                                  std::shared_ptr<F> fetcher, P pagination,
                                  bool refreshControlEnable,
                                  const platform::RefreshControlType& refreshControl = nullptr)
      : ScrolledPaginatedDataSource(std::move(scrollView), std::move(fetcher),
                                    std::make_shared<P>(std::move(pagination)),
                                    refreshControlEnable, refreshControl) {}

  [[nodiscard]] const std::shared_ptr<platform::ScrollView>& scrollView() const {
    return scrollView_;
  }
  [[nodiscard]] const std::shared_ptr<platform::RefreshControlProtocol>& refreshControl() const {
    return refreshControl_;
  }
  [[nodiscard]] bool refreshControlEnable() const { return refreshControlEnable_; }
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

 private:
  // The data source behind a handler's weak reference, or null.
  static ScrolledPaginatedDataSource* from(const std::weak_ptr<Base*>& weak) {
    const auto self = weak.lock();
    return self ? static_cast<ScrolledPaginatedDataSource*>(*self) : nullptr;
  }

  void install(const platform::RefreshControlType& refreshControlType) {
    const std::weak_ptr<Base*> weak = this->weakSelf();
    platform::InfiniteScroll& infinite = scrollView_->infiniteScroll();
    infinite.addInfiniteScroll([weak](platform::ScrollView& view) {
      auto* self = from(weak);
      if (self == nullptr) return;
      auto finished = std::make_shared<bool>(false);
      const bool started = self->fetchNextPage([weak, finished](auto, auto) {
        *finished = true;
        if (auto* s = from(weak)) s->scrollView_->infiniteScroll().finishInfiniteScroll();
      });
      // Refused while a page loads: the completion will never come.
      if (!started && !*finished) view.infiniteScroll().finishInfiniteScroll();
    });
    infinite.setShouldShowInfiniteScrollHandler([weak](platform::ScrollView&) {
      auto* self = from(weak);
      return self != nullptr && self->infinitiScrollingEnadle && self->pagination() &&
             !self->pagination()->shouldHidePaginationControl();
    });
    infinite.setInfiniteScrollIndicatorView(std::make_shared<platform::ActivityIndicatorView>(
        platform::ActivityIndicatorView::Style::medium));
    if (refreshControlType) {
      refreshControl_ = refreshControlType(scrollView_, [weak] {
        if (auto* self = from(weak)) self->refresh();
      });
    }
    updateRefreshControlState();
  }

  // A user's pull: reload, then end the animation.
  void refresh() {
    const std::weak_ptr<Base*> weak = this->weakSelf();
    auto completed = std::make_shared<bool>(false);
    const bool started = this->reload([weak, completed](auto, auto) {
      *completed = true;
      auto* self = from(weak);
      if (self == nullptr) return;
      self->scrollView_->infiniteScroll().finishInfiniteScroll();
      platform::TimerScheduler::current()->scheduleTimer(0.25, false, [weak](platform::Timer&) {
        if (auto* s = from(weak); s && s->refreshControl_) s->refreshControl_->endRefreshing();
      });
    });
    // Refused while a page loads: nothing else would end the animation.
    if (!started && !*completed && refreshControl_) refreshControl_->endRefreshing();
  }

  std::shared_ptr<platform::ScrollView> scrollView_;
  std::shared_ptr<platform::RefreshControlProtocol> refreshControl_;
  bool refreshControlEnable_;
};

}  // namespace quarn
