/// @file
/// What the Navigator needs from the host's screens, as interfaces the host
/// implements with its own classes (the headless toolkit in platform/ui is
/// one implementation):
///
/// - UIViewControllerType (interface, shared object): a screen that can
///   present another one and knows the navigation stack it is on;
/// - UINavigationControllerType (interface, shared object): a navigation
///   stack a screen can be pushed on; the class that implements it is
///   usually a screen too (it also implements UIViewControllerType), and
///   that is how the Navigator tells a navigation controller from a screen;
/// - TopMostViewControllerLookup (callable): the screen on top of
///   everything, where screens go when the caller names no place;
/// - NavigationControllerType (callable): makes a navigation controller of
///   one kind with a given root screen, to wrap a presented screen in.
///
/// ```
///   class Screen : public quarn::UIViewControllerType { ... };
///   class Stack : public Screen, public quarn::UINavigationControllerType { ... };
/// ```
///
/// Screens are held by std::shared_ptr. The Navigator holds a screen strongly
/// only for the length of the call that shows it; it keeps none. A host's
/// implementation may call back into the Navigator from push or present (the
/// inner call runs to its end first), drop its own references to the screens
/// involved (the call holds them), or throw (the exception leaves the
/// Navigator's call; the delegate already said yes, nothing else changed).
/// Main context only, like every screen.
#pragma once

#include <functional>
#include <memory>

namespace quarn {

class UINavigationControllerType;

/// A screen that can present another one and knows its navigation stack (an
/// interface the host implements; see the file's description).
class UIViewControllerType {
 public:
  virtual ~UIViewControllerType() = default;

  /// Presents `viewController` over this screen. True when the screen is
  /// shown or on its way: `completion` (when given) then runs once, when it
  /// is shown. False when this screen cannot present it now (it presents
  /// another, or cannot show that kind of screen): nothing is shown and
  /// `completion` never runs.
  virtual bool present(const std::shared_ptr<UIViewControllerType>& viewController, bool animated,
                       const std::function<void()>& completion) = 0;
  /// The navigation stack this screen is on, or nothing.
  [[nodiscard]] virtual std::shared_ptr<UINavigationControllerType> navigationStack() const = 0;
};

/// A navigation stack screens are pushed on (an interface the host
/// implements; see the file's description).
class UINavigationControllerType {
 public:
  virtual ~UINavigationControllerType() = default;

  /// Pushes `viewController` on top of the stack.
  virtual void pushViewController(const std::shared_ptr<UIViewControllerType>& viewController,
                                  bool animated) = 0;
};

/// The screen on top of everything, or nothing.
using TopMostViewControllerLookup = std::function<std::shared_ptr<UIViewControllerType>()>;

/// Makes a navigation controller with `root` as its only screen, returned as
/// the screen to present; nothing when it cannot.
using NavigationControllerType = std::function<std::shared_ptr<UIViewControllerType>(
    const std::shared_ptr<UIViewControllerType>& root)>;

/// Whether `viewController` is a navigation controller.
inline bool isNavigationController(const UIViewControllerType* viewController) {
  return dynamic_cast<const UINavigationControllerType*>(viewController) != nullptr;
}

}  // namespace quarn
