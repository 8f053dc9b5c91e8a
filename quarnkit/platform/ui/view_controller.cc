#include "quarnkit/platform/ui/view_controller.h"

#include <algorithm>
#include <string>

#include "quarnkit/core/error.h"
#include "quarnkit/core/log.h"

namespace quarn::platform {

void ViewController::requireShared(const char* call) const {
  if (weak_from_this().expired()) {
    fatalError(std::string(call) +
               ": a view controller must be held by a std::shared_ptr to be linked");
  }
}

const std::shared_ptr<View>& ViewController::view() {
  if (!view_) {
    requireShared("ViewController::view");
    view_ = loadView();
    if (!view_) view_ = std::make_shared<View>();
    view_->viewController_ = weak_from_this();
    viewDidLoad();
  }
  return view_;
}

std::shared_ptr<View> ViewController::loadView() { return std::make_shared<View>(); }

void ViewController::addChild(const std::shared_ptr<ViewController>& child) {
  if (!child || child.get() == this) return;
  requireShared("ViewController::addChild");
  if (child->parent().get() == this) return;
  child->removeFromParent();
  child->parent_ = weak_from_this();
  children_.push_back(child);
}

void ViewController::removeFromParent() {
  auto parent = parent_.lock();
  if (!parent) return;
  auto self = shared_from_this();
  std::erase(parent->children_, self);
  parent_.reset();
}

std::shared_ptr<NavigationController> ViewController::navigationController() const {
  for (auto p = parent(); p; p = p->parent()) {
    if (auto nav = std::dynamic_pointer_cast<NavigationController>(p)) return nav;
  }
  return nullptr;
}

std::shared_ptr<UINavigationControllerType> ViewController::navigationStack() const {
  return navigationController();
}

bool ViewController::present(const std::shared_ptr<UIViewControllerType>& screen, bool,
                             const std::function<void()>& completion) {
  if (!screen) return false;
  requireShared("ViewController::present");
  const auto controller = std::dynamic_pointer_cast<ViewController>(screen);
  if (!controller) {
    defaultLogger().error("Attempt to present a screen that is not a view controller");
    return false;
  }
  if (presented_ || controller->presentingViewController()) {
    defaultLogger().error("Attempt to present a view controller on one that is already presenting");
    return false;
  }
  presented_ = controller;
  controller->presenting_ = weak_from_this();
  if (auto window = view()->window()) window->addSubview(controller->view());
  if (completion) completion();
  return true;
}

void ViewController::dismissPresented() {
  if (!presented_) return;
  presented_->dismissPresented();
  if (auto v = presented_->viewIfLoaded()) v->removeFromSuperview();
  presented_->presenting_.reset();
  presented_.reset();
}

void ViewController::dismiss(bool, const std::function<void()>& completion) {
  if (presented_) {
    dismissPresented();
  } else if (auto presenter = presentingViewController()) {
    presenter->dismissPresented();
  }
  if (completion) completion();
}

void ViewController::replaceChildren(
    const std::vector<std::shared_ptr<ViewController>>& controllers) {
  for (const auto& child : std::vector(children_)) {
    if (auto v = child->viewIfLoaded()) v->removeFromSuperview();
    child->removeFromParent();
  }
  for (const auto& c : controllers) addChild(c);
}

void ViewController::showChildView(const std::shared_ptr<ViewController>& child) {
  if (!isViewLoaded()) return;
  for (const auto& c : children_) {
    if (auto v = c->viewIfLoaded()) v->removeFromSuperview();
  }
  if (child) view()->addSubview(child->view());
}

std::shared_ptr<NavigationController> NavigationController::make(
    const std::shared_ptr<ViewController>& root) {
  auto nav = std::make_shared<NavigationController>();
  if (root) nav->addChild(root);
  return nav;
}

std::shared_ptr<ViewController> NavigationController::topViewController() const {
  return children().empty() ? nullptr : children().back();
}

void NavigationController::pushViewController(const std::shared_ptr<UIViewControllerType>& screen,
                                              bool) {
  if (!screen) return;
  const auto controller = std::dynamic_pointer_cast<ViewController>(screen);
  if (!controller) {
    defaultLogger().error("Attempt to push a screen that is not a view controller");
    return;
  }
  addChild(controller);
  showTop();
}

std::shared_ptr<ViewController> NavigationController::popViewController(bool) {
  if (children().size() < 2) return nullptr;
  auto top = children().back();
  if (auto v = top->viewIfLoaded()) v->removeFromSuperview();
  top->removeFromParent();
  showTop();
  return top;
}

std::vector<std::shared_ptr<ViewController>> NavigationController::popToRootViewController(
    bool animated) {
  std::vector<std::shared_ptr<ViewController>> popped;
  while (auto top = popViewController(animated)) popped.insert(popped.begin(), top);
  return popped;
}

void NavigationController::setViewControllers(
    const std::vector<std::shared_ptr<ViewController>>& controllers, bool) {
  replaceChildren(controllers);
  showTop();
}

void NavigationController::viewDidLoad() { showTop(); }

void NavigationController::showTop() { showChildView(topViewController()); }

}  // namespace quarn::platform
