/// @file
/// EmptyStateManager: shows an empty-state view behind a collection view whenever it has no items,
/// with a retry action the user can trigger.

/// @class quarn::platform::EmptyStateManager
/// Shows an empty-state view behind a collection view
/// whenever it has no items, with a retry action the user can trigger.
///
/// ```
///   auto manager = std::make_shared<EmptyStateManager>(collectionView);
///   manager->retryAction = [weak] { if (auto s = weak.lock()) s->reload(); };
///   ... after an update that leaves no items: manager->isShowingEmptyState() == true
///   manager->retry();   // the user tapped "Try again"
/// ```
///
/// A unique object (it registers itself with the view). The manager watches
/// the collection view's content changes; it holds the view weakly and stops
/// watching when destroyed. The retry action may destroy the manager (the
/// empty view then retries nothing) or replace itself (the next retry runs the
/// replacement); its exception leaves retry() and the empty state stays.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "quarnkit/platform/ui/collection_view.h"

namespace quarn::platform {

/// The view shown when there is nothing to show: a title, a message and a
/// retry button.
class EmptyStateView : public View {
 public:
  /// The title shown.
  std::string title;
  /// The message shown.
  std::string message;
  /// The retry button's title.
  std::string retryButtonTitle;
  /// What the retry button does.
  std::function<void()> onRetry;
};

class EmptyStateManager {
 public:
  /// A manager of `collectionView`'s empty state (held weakly).
  explicit EmptyStateManager(const std::shared_ptr<CollectionView>& collectionView);
  ~EmptyStateManager();
  EmptyStateManager(const EmptyStateManager&) = delete;
  EmptyStateManager& operator=(const EmptyStateManager&) = delete;

  /// The title of the empty state.
  std::string title = "Nothing here yet";
  /// The message of the empty state.
  std::string message = "There is nothing to show right now.";
  /// The retry button's title.
  std::string retryButtonTitle = "Try again";
  /// What the retry button does; without one the button is not offered.
  std::function<void()> retryAction;

  /// Whether the empty state is shown.
  [[nodiscard]] bool isShowingEmptyState() const { return showing_ != nullptr; }
  /// The empty-state view while it is shown.
  [[nodiscard]] const std::shared_ptr<EmptyStateView>& emptyStateView() const { return showing_; }
  /// Shows or hides the empty state for the view's current content.
  void reloadEmptyState();
  /// What tapping the retry button does: runs the retry action.
  void retry() const;

 private:
  std::weak_ptr<CollectionView> collectionView_;
  std::size_t observer_ = 0;
  std::shared_ptr<EmptyStateView> showing_;
};

}  // namespace quarn::platform
