#include "quarnkit/routing/navigator.h"

namespace quarn {

namespace {
// What a URL answered when its handler was resolved: the handler runs later,
// when the caller's URL (a temporary, or a host's object) may be gone.
class URLSnapshot final : public URLConvertible {
 public:
  explicit URLSnapshot(const URLConvertible& url)
      : url_(url.urlValue()),
        text_(url.urlStringValue()),
        queryParameters_(url.queryParameters()),
        queryItems_(url.queryItems()) {}

  std::optional<URL> urlValue() const override { return url_; }
  std::string urlStringValue() const override { return text_; }
  std::map<std::string, std::string> queryParameters() const override { return queryParameters_; }
  std::optional<std::vector<URL::QueryItem>> queryItems() const override { return queryItems_; }

 private:
  std::optional<URL> url_;
  std::string text_;
  std::map<std::string, std::string> queryParameters_;
  std::optional<std::vector<URL::QueryItem>> queryItems_;
};
}  // namespace

std::shared_ptr<Navigator> Navigator::make(TopMostViewControllerLookup topMost) {
  return std::shared_ptr<Navigator>(new Navigator(std::move(topMost)));
}

ViewControllerPtr Navigator::topMostViewController() const {
  if (!topMost_) return nullptr;
  const TopMostViewControllerLookup lookup = topMost_;
  return lookup();
}

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
  return [factory = std::move(factory), url = std::make_shared<const URLSnapshot>(url),
          values = std::move(result->values), context] { return factory(*url, values, context); };
}

ViewControllerPtr Navigator::push(const URLConvertible& url, const std::any& context,
                                  const NavigationControllerPtr& from, bool animated) {
  const auto self = shared_from_this();
  auto screen = viewController(url, context);
  return screen ? push(screen, from, animated) : nullptr;
}

ViewControllerPtr Navigator::push(const ViewControllerPtr& viewController,
                                  const NavigationControllerPtr& from, bool animated) {
  if (!viewController || isNavigationController(viewController.get())) return nullptr;
  const auto self = shared_from_this();  // the lookup or the delegate may drop the navigator
  NavigationControllerPtr stack = from;
  if (!stack) {
    if (auto top = topMostViewController()) stack = top->navigationStack();
  }
  if (!stack) return nullptr;
  if (auto d = delegate(); d && !d->shouldPush(viewController, stack)) return nullptr;
  stack->pushViewController(viewController, animated);
  return viewController;
}

ViewControllerPtr Navigator::present(const URLConvertible& url, const std::any& context,
                                     const NavigationControllerType& wrap,
                                     const ViewControllerPtr& from, bool animated,
                                     const std::function<void()>& completion, bool* presented) {
  const auto self = shared_from_this();
  if (presented) *presented = false;
  auto screen = viewController(url, context);
  return screen ? present(screen, wrap, from, animated, completion, presented) : nullptr;
}

ViewControllerPtr Navigator::present(const ViewControllerPtr& viewController,
                                     const NavigationControllerType& wrap,
                                     const ViewControllerPtr& from, bool animated,
                                     const std::function<void()>& completion, bool* presented) {
  if (presented) *presented = false;
  if (!viewController) return nullptr;
  const auto self = shared_from_this();
  const ViewControllerPtr presenter = from ? from : topMostViewController();
  if (!presenter) return nullptr;
  if (auto d = delegate(); d && !d->shouldPresent(viewController, presenter)) return nullptr;
  ViewControllerPtr shown = viewController;
  if (wrap && !isNavigationController(viewController.get())) shown = wrap(viewController);
  if (!shown) return nullptr;
  const bool taken = presenter->present(shown, animated, completion);
  if (presented) *presented = taken;
  return viewController;
}

bool Navigator::open(const URLConvertible& url, const std::any& context) {
  auto action = handler(url, context);
  return action && (*action)();
}

}  // namespace quarn
