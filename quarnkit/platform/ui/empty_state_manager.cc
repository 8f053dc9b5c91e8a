#include "quarnkit/platform/ui/empty_state_manager.h"

namespace quarn::platform {

EmptyStateManager::EmptyStateManager(const std::shared_ptr<CollectionView>& collectionView)
    : collectionView_(collectionView) {
  observer_ = collectionView->addContentObserver([this](CollectionView&) { reloadEmptyState(); });
  reloadEmptyState();
}

EmptyStateManager::~EmptyStateManager() {
  if (showing_) showing_->onRetry = nullptr;
  if (auto view = collectionView_.lock()) {
    view->removeContentObserver(observer_);
    if (showing_ && view->backgroundView == showing_) view->backgroundView = nullptr;
  }
}

void EmptyStateManager::reloadEmptyState() {
  auto view = collectionView_.lock();
  if (!view) return;
  const bool empty = view->totalNumberOfItems() == 0;
  if (!empty) {
    if (showing_ && view->backgroundView == showing_) view->backgroundView = nullptr;
    showing_ = nullptr;
    return;
  }
  if (!showing_) showing_ = std::make_shared<EmptyStateView>();
  showing_->title = title;
  showing_->message = message;
  showing_->retryButtonTitle = retryAction ? retryButtonTitle : std::string();
  showing_->onRetry = [this] { retry(); };
  view->backgroundView = showing_;
}

void EmptyStateManager::retry() const {
  // Copied: the action may replace itself or destroy the manager.
  const auto action = retryAction;
  if (action) action();
}

}  // namespace quarn::platform
