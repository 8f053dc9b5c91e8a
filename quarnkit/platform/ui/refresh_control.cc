#include "quarnkit/platform/ui/refresh_control.h"

namespace quarn::platform {

void RefreshControl::simulateUserPull() {
  if (isRefreshing_) return;
  const auto self = weak_from_this().lock();  // an action may drop the control
  isRefreshing_ = true;
  // Copied: an action may add another.
  const std::vector<Action> actions = actions_;
  try {
    for (const auto& action : actions) action(*this);
  } catch (...) {
    isRefreshing_ = false;
    throw;
  }
}

}  // namespace quarn::platform
