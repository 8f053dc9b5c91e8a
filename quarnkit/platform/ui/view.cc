#include "quarnkit/platform/ui/view.h"

#include <algorithm>
#include <string>

#include "quarnkit/core/error.h"
#include "quarnkit/platform/ui/application.h"
#include "quarnkit/platform/ui/view_controller.h"

namespace quarn::platform {

void View::requireShared(const char* call) const {
  if (weak_from_this().expired()) {
    fatalError(std::string(call) + ": a view must be held by a std::shared_ptr to be linked");
  }
}

void View::addSubview(const std::shared_ptr<View>& view) {
  if (!view) return;
  requireShared("View::addSubview");
  if (isDescendant(*view)) fatalError("View::addSubview: a view cannot contain its own ancestor");
  if (view->superview().get() == this) {
    // Already here: move it to the top.
    std::erase(subviews_, view);
    subviews_.push_back(view);
    return;
  }
  view->removeFromSuperview();
  view->superview_ = weak_from_this();
  subviews_.push_back(view);
}

void View::removeFromSuperview() {
  auto parent = superview();
  if (!parent) return;
  auto self = shared_from_this();  // keep alive while leaving the parent
  std::erase(parent->subviews_, self);
  superview_.reset();
}

bool View::isDescendant(const View& view) const {
  for (const View* v = this; v != nullptr; v = v->superview_.lock().get()) {
    if (v == &view) return true;
  }
  return false;
}

std::shared_ptr<Window> View::window() const {
  std::shared_ptr<const View> root = shared_from_this();
  while (auto parent = root->superview()) root = std::move(parent);
  return std::const_pointer_cast<Window>(std::dynamic_pointer_cast<const Window>(root));
}

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
  if (controller == rootViewController_) return;
  if (rootViewController_) {
    if (auto old = rootViewController_->viewIfLoaded()) old->removeFromSuperview();
  }
  rootViewController_ = std::move(controller);
  if (rootViewController_) addSubview(rootViewController_->view());
}

void Window::makeKeyAndVisible() {
  isHidden = false;
  Application::shared().makeKey(std::static_pointer_cast<Window>(shared_from_this()));
}

}  // namespace quarn::platform
