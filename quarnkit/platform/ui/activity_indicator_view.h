/// @file
/// ActivityIndicatorView: the spinning busy indicator of the headless toolkit, in a medium or large
/// size.

/// @class quarn::platform::ActivityIndicatorView
/// The spinning busy indicator of the headless toolkit,
/// in a medium or large size. It hides itself while stopped unless told
/// otherwise. A view: a shared object held by shared_ptr.
///
/// ```
///   auto spinner = std::make_shared<ActivityIndicatorView>(ActivityIndicatorView::Style::medium);
///   spinner->startAnimating();   // shown and spinning
///   spinner->stopAnimating();    // hidden again
/// ```
#pragma once

#include "quarnkit/platform/ui/view.h"

namespace quarn::platform {

class ActivityIndicatorView : public View {
 public:
  /// The indicator's size.
  enum class Style { medium, large };

  /// A stopped indicator of `style`.
  explicit ActivityIndicatorView(Style style = Style::medium) : style_(style) {
    isHidden = hidesWhenStopped;
  }

  /// The indicator's size.
  [[nodiscard]] Style style() const { return style_; }
  /// Whether it is spinning.
  [[nodiscard]] bool isAnimating() const { return isAnimating_; }
  /// Starts spinning and shows the indicator.
  void startAnimating() {
    isAnimating_ = true;
    isHidden = false;
  }
  /// Stops spinning (and hides the indicator when hidesWhenStopped).
  void stopAnimating() {
    isAnimating_ = false;
    if (hidesWhenStopped) isHidden = true;
  }

  /// Whether the view hides while it is not animating.
  bool hidesWhenStopped = true;

 private:
  Style style_;
  bool isAnimating_ = false;
};

}  // namespace quarn::platform
