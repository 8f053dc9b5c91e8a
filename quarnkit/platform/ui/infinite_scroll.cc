#include "quarnkit/platform/ui/infinite_scroll.h"

#include "quarnkit/platform/ui/activity_indicator_view.h"
#include "quarnkit/platform/ui/scroll_view.h"

namespace quarn::platform {

namespace {
void animate(const std::shared_ptr<View>& indicator, bool on) {
  if (auto* spinner = dynamic_cast<ActivityIndicatorView*>(indicator.get())) {
    on ? spinner->startAnimating() : spinner->stopAnimating();
  } else if (indicator) {
    indicator->isHidden = !on;
  }
}
}  // namespace

void InfiniteScroll::removeInfiniteScroll() {
  handler_ = nullptr;
  finishInfiniteScroll();
}

bool InfiniteScroll::isShown() const {
  if (!handler_) return false;
  const ShowPredicate shouldShow = shouldShow_;  // it may replace itself
  return !shouldShow || shouldShow(*owner_);
}

void InfiniteScroll::finishInfiniteScroll() {
  if (!animating_) return;
  animating_ = false;
  animate(indicator_, false);
}

bool InfiniteScroll::scrollToEnd() {
  const auto keep = owner_->weak_from_this().lock();  // the host may drop the scroll view
  if (animating_ || !isShown()) return false;
  animating_ = true;
  animate(indicator_, true);
  // Copied: the handler may replace itself.
  const Handler handler = handler_;
  try {
    handler(*owner_);
  } catch (...) {
    finishInfiniteScroll();  // nothing will finish a load that did not start
    throw;
  }
  return true;
}

}  // namespace quarn::platform
