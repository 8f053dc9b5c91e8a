/// @file
/// InfiniteScroll: the infinite scrolling of a scroll view.

/// @class quarn::platform::InfiniteScroll
/// The infinite scrolling of a scroll view. When the user
/// scrolls to the end, the scroll view shows its indicator and calls the
/// end-reached handler, which loads more and then calls
/// finishInfiniteScroll(); a show predicate can keep the control away (no
/// more to load).
///
/// ```
///   scrollView->infiniteScroll().addInfiniteScroll([](ScrollView&) { loadMore(); });
///   scrollView->infiniteScroll().setShouldShowInfiniteScrollHandler(
///       [](ScrollView&) { return hasMore(); });
///   scrollView->infiniteScroll().scrollToEnd();   // what the user's scroll does
/// ```
///
/// A unique object, part of its scroll view. scrollToEnd() keeps the scroll
/// view alive while the predicate and the handler run: either may drop it. The
/// handler may finish at once and scroll to the end again (it is called once
/// more, inside). An exception from the handler leaves scrollToEnd() with the
/// animation finished, so that the next scroll to the end loads again.
#pragma once

#include <functional>
#include <memory>

namespace quarn::platform {

class ScrollView;
class View;

class InfiniteScroll {
 public:
  /// Called when the end of the content is reached.
  using Handler = std::function<void(ScrollView&)>;
  /// Whether the control shows.
  using ShowPredicate = std::function<bool(ScrollView&)>;

  /// The control of `owner`.
  explicit InfiniteScroll(ScrollView& owner) : owner_(&owner) {}
  InfiniteScroll(const InfiniteScroll&) = delete;
  InfiniteScroll& operator=(const InfiniteScroll&) = delete;

  /// Installs the end-reached handler (replacing an earlier one).
  void addInfiniteScroll(Handler handler) { handler_ = std::move(handler); }
  /// Removes the handler and stops any animation.
  void removeInfiniteScroll();
  /// Decides whether the control is shown at all (none: always).
  void setShouldShowInfiniteScrollHandler(ShowPredicate predicate) {
    shouldShow_ = std::move(predicate);
  }
  /// The view shown while more loads (an ActivityIndicatorView animates).
  void setInfiniteScrollIndicatorView(std::shared_ptr<View> indicator) {
    indicator_ = std::move(indicator);
  }
  /// The view shown while more loads.
  [[nodiscard]] const std::shared_ptr<View>& infiniteScrollIndicatorView() const {
    return indicator_;
  }

  /// Whether the indicator is animating.
  [[nodiscard]] bool isAnimatingInfiniteScroll() const { return animating_; }
  /// Whether the control would show now (a handler is installed and the
  /// predicate allows it).
  [[nodiscard]] bool isShown() const;
  /// Ends the current animation.
  void finishInfiniteScroll();
  /// What the user's scroll to the end does: unless an animation runs or the
  /// control is not shown, starts the animation and calls the handler.
  /// Returns whether it did.
  bool scrollToEnd();

 private:
  ScrollView* owner_;
  Handler handler_;
  ShowPredicate shouldShow_;
  std::shared_ptr<View> indicator_;
  bool animating_ = false;
};

}  // namespace quarn::platform
