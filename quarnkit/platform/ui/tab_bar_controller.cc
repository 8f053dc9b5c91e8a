#include "quarnkit/platform/ui/tab_bar_controller.h"

#include <algorithm>

namespace quarn::platform {

void TabBarController::setViewControllers(
    const std::vector<std::shared_ptr<ViewController>>& controllers, bool) {
  replaceChildren(controllers);
  selectedIndex_ = children().empty() ? std::nullopt : std::optional<std::size_t>(0);
  showSelected();
}

void TabBarController::setSelectedIndex(std::size_t index) {
  if (index >= children().size()) return;
  selectedIndex_ = index;
  showSelected();
}

std::shared_ptr<ViewController> TabBarController::selectedViewController() const {
  return selectedIndex_ ? children()[*selectedIndex_] : nullptr;
}

void TabBarController::setSelectedViewController(
    const std::shared_ptr<ViewController>& controller) {
  const auto it = std::find(children().begin(), children().end(), controller);
  if (it != children().end()) setSelectedIndex(static_cast<std::size_t>(it - children().begin()));
}

void TabBarController::viewDidLoad() { showSelected(); }

void TabBarController::showSelected() { showChildView(selectedViewController()); }

}  // namespace quarn::platform
