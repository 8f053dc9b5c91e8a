// RefreshControl: pull-to-refresh of a scroll view.
//
// A user pull (simulateUserPull()) starts refreshing and sends the
// value-changed actions; the owner ends it with endRefreshing() once the new
// content is in. beginRefreshing() called by code starts refreshing without
// sending the actions.
#pragma once

#include <functional>
#include <vector>

#include "quarnkit/platform/ui/view.h"

namespace quarn::platform {

class RefreshControl : public View {
 public:
  using Action = std::function<void(RefreshControl&)>;

  [[nodiscard]] bool isRefreshing() const { return isRefreshing_; }
  void beginRefreshing() { isRefreshing_ = true; }
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
