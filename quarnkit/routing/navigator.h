/// @file
/// Navigator: routes URLs to screen factories and action handlers registered under URL patterns,
/// and shows the screens by pushing or presenting them.

/// @class quarn::Navigator
/// Routes URLs to screen factories and action handlers registered
/// under URL patterns, and shows the screens by pushing or presenting them.
/// A shared object: made by Navigator::make() and held in a std::shared_ptr.
///
/// ```
///   auto navigator = Navigator::make([&] { return app.topScreen(); });
///   navigator->register_("myapp://profile/<int:id>", [](const URLConvertible&,
///                                                       const URLMatchValues& values,
///                                                       const std::any&) {
///     return ProfileScreen::make(std::any_cast<std::int64_t>(values.at("id")));
///   });
///   navigator->handle("myapp://logout", [&](auto&, auto&, auto&) { return session.logOut(); });
///   navigator->push("myapp://profile/42");   // on the top-most screen's navigation stack
///   navigator->open("myapp://logout");       // true when the handler handled it
/// ```
///
/// Screens are the host's: anything implementing the navigation interfaces
/// of quarnkit/platform/navigation.h (the headless toolkit's controllers do;
/// with them, pass platform::topMostViewController as the top-most lookup).
/// URLs are resolved with the navigator's URLMatcher (url_matcher.h): the
/// pattern with the most literal components wins and, among those, the one
/// registered first (registering a pattern again replaces its factory and
/// keeps its place). Screens go where the caller says or, by default, onto
/// the navigation stack of the top-most screen or over the top-most screen
/// (as the lookup given at creation says; without one there is none); the
/// delegate may veto either. Failures return nothing (or false). Main context
/// only.
///
/// The navigator keeps no screen: it holds the screens of a call strongly
/// until the call returns, and the top-most lookup and the factories (as
/// copies of the callables) for its own life. The delegate is held weakly.
///
/// What the host's callbacks (factories, handlers, the delegate, converters,
/// the top-most lookup, the screens' push and present, a presentation's
/// completion) may do:
/// - register or replace routes, the one running included: a dispatch runs a
///   copy of the factory or handler and matches against the routes as they
///   were when it began; new routes count from the next dispatch on;
/// - drop the host's last reference to the navigator: a dispatch holds one
///   until it returns, and finishes as it would have;
/// - dispatch again (push, present, open) from inside: the inner dispatch
///   runs to its end first, on the routes as they are then;
/// - throw: the exception leaves the call (viewController, push, present,
///   open, or the resolved handler) as it came; nothing was shown, the routes
///   stay as the callback left them and the navigator keeps working.
#pragma once

#include <any>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "quarnkit/platform/navigation.h"
#include "quarnkit/routing/url_matcher.h"
#include "quarnkit/routing/url_pattern_set.h"

namespace quarn {

/// A screen, as the navigator hands it around.
using ViewControllerPtr = std::shared_ptr<UIViewControllerType>;
/// A navigation stack, as the navigator hands it around.
using NavigationControllerPtr = std::shared_ptr<UINavigationControllerType>;

/// Makes the screen of a URL from its placeholder values and the caller's
/// context (empty when none was given); nothing when it cannot.
using ViewControllerFactory = std::function<ViewControllerPtr(
    const URLConvertible& url, const URLMatchValues& values, const std::any& context)>;
/// Handles a URL's action; false when it did not handle it.
using URLOpenHandlerFactory = std::function<bool(
    const URLConvertible& url, const URLMatchValues& values, const std::any& context)>;
/// A resolved action, run when called.
using URLOpenHandler = std::function<bool()>;
/// May veto the navigator's pushes and presentations; both allow by default.
class NavigatorDelegate {
 public:
  virtual ~NavigatorDelegate() = default;
  /// `viewController` is the screen about to be pushed on `from`.
  virtual bool shouldPush(const ViewControllerPtr& viewController,
                          const NavigationControllerPtr& from) {
    (void)viewController, (void)from;
    return true;
  }
  /// `viewController` is the screen before any wrapping.
  virtual bool shouldPresent(const ViewControllerPtr& viewController,
                             const ViewControllerPtr& from) {
    (void)viewController, (void)from;
    return true;
  }
};

/// The routing interface of Navigator: registering routes, resolving URLs, and pushing, presenting
/// and opening (an interface; Navigator is its implementation).
class NavigatorProtocol {
 public:
  virtual ~NavigatorProtocol() = default;

  /// Routes URLs matching `pattern` to `factory`.
  virtual void register_(const std::string& pattern, ViewControllerFactory factory) = 0;
  /// Routes URLs matching `pattern` to the action of `factory`.
  virtual void handle(const std::string& pattern, URLOpenHandlerFactory factory) = 0;
  /// The same factory under each of `patterns`.
  void register_(std::span<const std::string> patterns, const ViewControllerFactory& factory) {
    for (const auto& p : patterns) register_(p, factory);
  }
  /// The same action factory under each of `patterns`.
  void handle(std::span<const std::string> patterns, const URLOpenHandlerFactory& factory) {
    for (const auto& p : patterns) handle(p, factory);
  }

  /// The screen `url` routes to, made now.
  [[nodiscard]] virtual ViewControllerPtr viewController(const URLConvertible& url,
                                                         const std::any& context) const = 0;
  /// The action `url` routes to; its factory runs only when it is called.
  [[nodiscard]] virtual std::optional<URLOpenHandler> handler(const URLConvertible& url,
                                                              const std::any& context) const = 0;

  /// Pushes the screen of `url` on `from` (the top-most screen's stack by
  /// default); the screen, or nothing.
  virtual ViewControllerPtr push(const URLConvertible& url, const std::any& context,
                                 const NavigationControllerPtr& from, bool animated) = 0;
  /// Pushes `viewController`, unless it is a navigation controller itself.
  virtual ViewControllerPtr push(const ViewControllerPtr& viewController,
                                 const NavigationControllerPtr& from, bool animated) = 0;
  /// Presents the screen of `url` from `from` (the top-most screen by
  /// default), wrapped in a `wrap` navigation controller when given; the
  /// screen (not its wrapper), or nothing when there was no screen, no
  /// presenter or a veto. The presenter may still refuse it (it presents
  /// another screen already): the screen is returned all the same, the
  /// completion never runs, and `presented`, when given, says which it was
  /// (it is set on every return: true only when the presenter took it; a
  /// call that throws leaves it false).
  virtual ViewControllerPtr present(const URLConvertible& url, const std::any& context,
                                    const NavigationControllerType& wrap,
                                    const ViewControllerPtr& from, bool animated,
                                    const std::function<void()>& completion,
                                    bool* presented = nullptr) = 0;
  /// Presents `viewController` as the URL form does its screen.
  virtual ViewControllerPtr present(const ViewControllerPtr& viewController,
                                    const NavigationControllerType& wrap,
                                    const ViewControllerPtr& from, bool animated,
                                    const std::function<void()>& completion,
                                    bool* presented = nullptr) = 0;
  /// Runs the action of `url`: its result, or false without one.
  virtual bool open(const URLConvertible& url, const std::any& context) = 0;

  ///@{
  /// The forms with the usual defaults: no context, the top-most screen,
  /// animated, no wrapping, no completion.
  ViewControllerPtr push(const URLConvertible& url) { return push(url, {}, nullptr, true); }
  ViewControllerPtr push(const ViewControllerPtr& viewController) {
    return push(viewController, nullptr, true);
  }
  ViewControllerPtr present(const URLConvertible& url) {
    return present(url, {}, nullptr, nullptr, true, nullptr);
  }
  ViewControllerPtr present(const ViewControllerPtr& viewController) {
    return present(viewController, nullptr, nullptr, true, nullptr);
  }
  bool open(const URLConvertible& url) { return open(url, {}); }
  ///@}
};

class Navigator final : public NavigatorProtocol, public std::enable_shared_from_this<Navigator> {
 public:
  /// The routes of one kind, in the order their patterns were first registered.
  template <class Factory>
  class Routes {
   public:
    /// The number of routes.
    [[nodiscard]] std::size_t size() const { return factories_.size(); }
    /// The pattern of route `index` (0 to size() - 1), in registration order.
    [[nodiscard]] std::string pattern(std::size_t index) const { return patterns_[index]; }
    /// A copy of the factory under `pattern`; empty when there is none.
    [[nodiscard]] Factory find(const std::string& pattern) const {
      auto it = positions_.find(pattern);
      return it == positions_.end() ? Factory() : factories_[it->second];
    }

   private:
    friend class Navigator;
    void set(const std::string& pattern, Factory factory) {
      if (auto it = positions_.find(pattern); it != positions_.end()) {
        factories_[it->second] = std::move(factory);
        return;
      }
      positions_.emplace(pattern, factories_.size());
      patterns_.add(pattern);
      factories_.push_back(std::move(factory));
    }
    URLPatternSet patterns_;
    std::vector<Factory> factories_;
    std::unordered_map<std::string, std::size_t> positions_;
  };

  /// A navigator with no routes and no delegate, finding the top-most screen
  /// with `topMost` (without it, only calls that name a place show anything).
  static std::shared_ptr<Navigator> make(TopMostViewControllerLookup topMost = nullptr);
  Navigator(const Navigator&) = delete;
  Navigator& operator=(const Navigator&) = delete;

  /// The matcher that decides which route a URL takes; change its value
  /// converters here.
  [[nodiscard]] URLMatcher& matcher() { return matcher_; }
  /// The matcher that decides which route a URL takes.
  [[nodiscard]] const URLMatcher& matcher() const { return matcher_; }
  /// The delegate, held weakly.
  [[nodiscard]] std::shared_ptr<NavigatorDelegate> delegate() const { return delegate_.lock(); }
  /// Sets the delegate, held weakly.
  void setDelegate(const std::shared_ptr<NavigatorDelegate>& delegate) { delegate_ = delegate; }
  /// Where screens go when the caller names no place.
  [[nodiscard]] const TopMostViewControllerLookup& topMostViewControllerLookup() const {
    return topMost_;
  }
  /// Sets where screens go when the caller names no place.
  void setTopMostViewControllerLookup(TopMostViewControllerLookup topMost) {
    topMost_ = std::move(topMost);
  }
  /// The screen routes.
  [[nodiscard]] const Routes<ViewControllerFactory>& viewControllerFactories() const {
    return viewControllerFactories_;
  }
  /// The action routes.
  [[nodiscard]] const Routes<URLOpenHandlerFactory>& handlerFactories() const {
    return handlerFactories_;
  }

  ///@{
  /// The protocol's forms with defaults and with several patterns.
  using NavigatorProtocol::handle;
  using NavigatorProtocol::open;
  using NavigatorProtocol::present;
  using NavigatorProtocol::push;
  using NavigatorProtocol::register_;
  ///@}
  void register_(const std::string& pattern, ViewControllerFactory factory) override;
  void handle(const std::string& pattern, URLOpenHandlerFactory factory) override;
  [[nodiscard]] ViewControllerPtr viewController(const URLConvertible& url,
                                                 const std::any& context) const override;
  [[nodiscard]] std::optional<URLOpenHandler> handler(const URLConvertible& url,
                                                      const std::any& context) const override;
  ViewControllerPtr push(const URLConvertible& url, const std::any& context,
                         const NavigationControllerPtr& from, bool animated) override;
  ViewControllerPtr push(const ViewControllerPtr& viewController,
                         const NavigationControllerPtr& from, bool animated) override;
  ViewControllerPtr present(const URLConvertible& url, const std::any& context,
                            const NavigationControllerType& wrap, const ViewControllerPtr& from,
                            bool animated, const std::function<void()>& completion,
                            bool* presented = nullptr) override;
  ViewControllerPtr present(const ViewControllerPtr& viewController,
                            const NavigationControllerType& wrap, const ViewControllerPtr& from,
                            bool animated, const std::function<void()>& completion,
                            bool* presented = nullptr) override;
  bool open(const URLConvertible& url, const std::any& context) override;

 private:
  explicit Navigator(TopMostViewControllerLookup topMost) : topMost_(std::move(topMost)) {}
  // The top-most screen, or nothing (also without a lookup).
  [[nodiscard]] ViewControllerPtr topMostViewController() const;

  URLMatcher matcher_;
  TopMostViewControllerLookup topMost_;
  std::weak_ptr<NavigatorDelegate> delegate_;
  Routes<ViewControllerFactory> viewControllerFactories_;
  Routes<URLOpenHandlerFactory> handlerFactories_;
};

}  // namespace quarn
