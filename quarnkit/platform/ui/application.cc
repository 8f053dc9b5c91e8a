#include "quarnkit/platform/ui/application.h"

#include <algorithm>

#include "quarnkit/platform/ui/page_view_controller.h"
#include "quarnkit/platform/ui/tab_bar_controller.h"
#include "quarnkit/platform/ui/view_controller.h"

namespace quarn::platform {

Application& Application::shared() {
  static Application application;
  return application;
}

std::vector<std::shared_ptr<Window>> Application::windows() const {
  std::vector<std::shared_ptr<Window>> out;
  for (const auto& w : windows_) {
    if (auto window = w.lock()) out.push_back(std::move(window));
  }
  return out;
}

std::shared_ptr<Window> Application::keyWindow() const {
  for (const auto& window : windows()) {
    if (window->isKeyWindow()) return window;
  }
  return nullptr;
}

void Application::makeKey(const std::shared_ptr<Window>& window) {
  std::erase_if(windows_, [](const std::weak_ptr<Window>& w) { return w.expired(); });
  for (const auto& other : windows()) other->isKeyWindow_ = other == window;
  const bool known =
      std::any_of(windows_.begin(), windows_.end(),
                  [&](const std::weak_ptr<Window>& w) { return w.lock() == window; });
  if (!known) windows_.push_back(window);
  window->isKeyWindow_ = true;
}

// What `controller` shows in its place, or nothing when it shows itself.
std::shared_ptr<ViewController> shownInstead(const ViewController& controller) {
  if (auto presented = controller.presentedViewController()) return presented;
  if (const auto* tabs = dynamic_cast<const TabBarController*>(&controller)) {
    return tabs->selectedViewController();
  }
  if (const auto* navigation = dynamic_cast<const NavigationController*>(&controller)) {
    return navigation->topViewController();
  }
  if (const auto* pages = dynamic_cast<const PageViewController*>(&controller)) {
    if (pages->viewControllers().size() == 1) return pages->viewControllers().front();
  }
  return nullptr;
}

std::shared_ptr<ViewController> topMostViewController() {
  std::shared_ptr<ViewController> top;
  for (const auto& window : Application::shared().windows()) {
    if (window->isKeyWindow() && window->rootViewController()) {
      top = window->rootViewController();
      break;
    }
  }
  if (!top) return nullptr;
  while (auto next = shownInstead(*top)) top = std::move(next);
  return top;
}

}  // namespace quarn::platform
