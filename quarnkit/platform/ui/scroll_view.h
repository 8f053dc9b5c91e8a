/// @file
/// ScrollView: a view whose content can be larger than its bounds, with content insets, bouncing,
/// an optional pull-to-refresh control and infinite scrolling (infinite_scroll.h).

/// @class quarn::platform::ScrollView
/// A view whose content can be larger than its bounds, with
/// content insets, bouncing, an optional pull-to-refresh control and infinite
/// scrolling (infinite_scroll.h). A view: a shared object held by shared_ptr.
#pragma once

#include <memory>

#include "quarnkit/platform/ui/infinite_scroll.h"
#include "quarnkit/platform/ui/refresh_control.h"
#include "quarnkit/platform/ui/view.h"

namespace quarn::platform {

class ScrollView : public View {
 public:
  /// Scroll views are made like any view.
  using View::View;

  /// Insets around the content.
  EdgeInsets contentInset;
  /// How far the content is scrolled.
  Point contentOffset;
  /// Whether it bounces vertically even when the content fits.
  bool alwaysBounceVertical = false;
  /// Whether it bounces horizontally even when the content fits.
  bool alwaysBounceHorizontal = false;

  /// The refresh control, or null.
  [[nodiscard]] const std::shared_ptr<RefreshControl>& refreshControl() const {
    return refreshControl_;
  }
  /// Installs the control as a subview (removing the previous one).
  void setRefreshControl(std::shared_ptr<RefreshControl> control) {
    if (refreshControl_) refreshControl_->removeFromSuperview();
    refreshControl_ = std::move(control);
    if (refreshControl_) addSubview(refreshControl_);
  }

  /// Loading more at the end of the content.
  [[nodiscard]] InfiniteScroll& infiniteScroll() { return infiniteScroll_; }

 private:
  std::shared_ptr<RefreshControl> refreshControl_;
  InfiniteScroll infiniteScroll_{*this};
};

}  // namespace quarn::platform
