/// @file
/// RefreshControl: pull-to-refresh of a scroll view.

/// @class quarn::platform::RefreshControl
/// Pull-to-refresh of a scroll view. A view, and like every
/// view a shared object held by shared_ptr.
///
/// A user pull (simulateUserPull()) starts refreshing and sends the
/// value-changed actions; the owner ends it with endRefreshing() once the new
/// content is in. beginRefreshing() called by code starts refreshing without
/// sending the actions.
///
/// The pull keeps the control alive until the actions are done: an action may
/// drop it, and the actions after it still run. An action may end the refresh
/// and pull again (the actions run once more, inside). An action's exception
/// leaves the pull, the actions after it are not called and the control is not
/// left refreshing, since no one would end that refresh.
#pragma once

#include <functional>
#include <vector>

#include "quarnkit/platform/ui/view.h"

namespace quarn::platform {

class RefreshControl : public View {
 public:
  /// Called with the control on every value change.
  using Action = std::function<void(RefreshControl&)>;

  /// Whether it shows the refreshing state.
  [[nodiscard]] bool isRefreshing() const { return isRefreshing_; }
  /// Shows the refreshing state.
  void beginRefreshing() { isRefreshing_ = true; }
  /// Ends the refreshing state.
  void endRefreshing() { isRefreshing_ = false; }

  /// Adds an action called on every value change.
  void addValueChangedAction(Action action) { actions_.push_back(std::move(action)); }
  /// What a user's pull does: starts refreshing (when not already) and sends
  /// the value-changed actions.
  void simulateUserPull();

 private:
  bool isRefreshing_ = false;
  std::vector<Action> actions_;
};

}  // namespace quarn::platform
