#include "quarnkit/routing/navigator.h"

#include "quarnkit/platform/ui/application.h"

namespace quarn {

namespace {
bool isNavigationController(const ViewControllerPtr& screen) {
  return std::dynamic_pointer_cast<platform::NavigationController>(screen) != nullptr;
}
}  // namespace

std::shared_ptr<Navigator> Navigator::make() { return std::shared_ptr<Navigator>(new Navigator()); }

void Navigator::register_(const std::string& pattern, ViewControllerFactory factory) {
  viewControllerFactories_.set(pattern, std::move(factory));
}

void Navigator::handle(const std::string& pattern, URLOpenHandlerFactory factory) {
  handlerFactories_.set(pattern, std::move(factory));
}

// Dispatches hold the navigator (the host may drop it inside a callback) and
// call copies of the factories (a factory may replace itself or add routes,
// which moves the stored ones).

ViewControllerPtr Navigator::viewController(const URLConvertible& url,
                                            const std::any& context) const {
  const auto self = shared_from_this();
  const auto result = matcher_.match(url, viewControllerFactories_.patterns_);
  if (!result) return nullptr;
  const ViewControllerFactory factory = viewControllerFactories_.find(result->pattern);
  if (!factory) return nullptr;
  return factory(url, result->values, context);
}

std::optional<URLOpenHandler> Navigator::handler(const URLConvertible& url,
                                                 const std::any& context) const {
  const auto self = shared_from_this();
  auto result = matcher_.match(url, handlerFactories_.patterns_);
  if (!result) return std::nullopt;
  URLOpenHandlerFactory factory = handlerFactories_.find(result->pattern);
  if (!factory) return std::nullopt;
  return [factory = std::move(factory), url, values = std::move(result->values), context] {
    return factory(url, values, context);
  };
}

ViewControllerPtr Navigator::push(const URLConvertible& url, const std::any& context,
                                  const NavigationControllerPtr& from, bool animated) {
  const auto self = shared_from_this();
  auto screen = viewController(url, context);
  return screen ? push(screen, from, animated) : nullptr;
}

ViewControllerPtr Navigator::push(const ViewControllerPtr& viewController,
                                  const NavigationControllerPtr& from, bool animated) {
  if (!viewController || isNavigationController(viewController)) return nullptr;
  NavigationControllerPtr stack = from;
  if (!stack) {
    if (auto top = platform::topMostViewController()) stack = top->navigationController();
  }
  if (!stack) return nullptr;
  if (auto d = delegate(); d && !d->shouldPush(viewController, stack)) return nullptr;
  stack->pushViewController(viewController, animated);
  return viewController;
}

ViewControllerPtr Navigator::present(const URLConvertible& url, const std::any& context,
                                     const NavigationControllerType& wrap,
                                     const ViewControllerPtr& from, bool animated,
                                     const std::function<void()>& completion) {
  const auto self = shared_from_this();
  auto screen = viewController(url, context);
  return screen ? present(screen, wrap, from, animated, completion) : nullptr;
}

ViewControllerPtr Navigator::present(const ViewControllerPtr& viewController,
                                     const NavigationControllerType& wrap,
                                     const ViewControllerPtr& from, bool animated,
                                     const std::function<void()>& completion) {
  if (!viewController) return nullptr;
  const ViewControllerPtr presenter = from ? from : platform::topMostViewController();
  if (!presenter) return nullptr;
  if (auto d = delegate(); d && !d->shouldPresent(viewController, presenter)) return nullptr;
  ViewControllerPtr shown = viewController;
  if (wrap && !isNavigationController(viewController)) shown = wrap(viewController);
  if (!shown) return nullptr;
  presenter->present(shown, animated, completion);
  return viewController;
}

bool Navigator::open(const URLConvertible& url, const std::any& context) {
  auto action = handler(url, context);
  return action && (*action)();
}

}  // namespace quarn
