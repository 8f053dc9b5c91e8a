#include "quarnkit/platform/ui/refresh_control.h"

namespace quarn::platform {

void RefreshControl::simulateUserPull() {
  if (isRefreshing_) return;
  isRefreshing_ = true;
  // Copied: an action may add another.
  const std::vector<Action> actions = actions_;
  for (const auto& action : actions) action(*this);
}

}  // namespace quarn::platform
