/// @file
/// ViewController and NavigationController: screens of the headless toolkit.
///
/// A controller loads its root view on first access to view(): loadView()
/// makes it (a plain View unless overridden), then viewDidLoad() sets it up.
/// Controllers nest as parent and children (a navigation controller's stack is
/// its children) and present one another modally. Transitions are immediate:
/// completion callbacks run before present() or dismiss() returns.
///
/// ```
///   auto nav = NavigationController::make(home);
///   nav->pushViewController(details, true);
///   details->navigationController() == nav;      // true
///   home->present(sheet, true);
///   sheet->presentingViewController() == home;   // true
/// ```
///
/// Controllers are shared objects, held by shared_ptr (std::make_shared), and
/// live on the main context. Their views, children and presented controllers
/// refer back to them weakly; the constructors stay public for the many screen
/// classes built on ViewController, and loading the view of, adding a child
/// to, or presenting from a controller that no shared_ptr holds stops with a
/// message.
///
/// They implement the navigation interfaces (quarnkit/platform/navigation.h):
/// a ViewController is a UIViewControllerType and a NavigationController also
/// a UINavigationControllerType, so the Navigator routes to them as to any
/// host's screens. They present and push only controllers of this toolkit.
///
/// present() and dismiss() call their completion last and touch nothing
/// afterwards: it may drop either controller, present or dismiss again (a
/// second present on a controller that presents one is refused, as always),
/// or throw, which leaves the call with the transition done.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/platform/navigation.h"
#include "quarnkit/platform/ui/view.h"

namespace quarn::platform {

class NavigationController;

/// A screen of the headless toolkit: a root view loaded on first use, child screens, and modal
/// presentation. A shared object: held in a std::shared_ptr (by its parent, its presenter or its
/// window).
class ViewController : public UIViewControllerType,
                       public std::enable_shared_from_this<ViewController> {
 public:
  ViewController() = default;
  virtual ~ViewController() = default;
  ViewController(const ViewController&) = delete;
  ViewController& operator=(const ViewController&) = delete;

  /// The screen's title.
  std::optional<std::string> title;

  /// The root view, loaded on first access.
  const std::shared_ptr<View>& view();
  /// Whether the root view is loaded.
  [[nodiscard]] bool isViewLoaded() const { return view_ != nullptr; }
  /// The root view, or null when it is not loaded.
  [[nodiscard]] const std::shared_ptr<View>& viewIfLoaded() const { return view_; }
  /// Loads the view now if it is not loaded yet.
  void loadViewIfNeeded() { (void)view(); }

  /// The parent screen, or null.
  [[nodiscard]] std::shared_ptr<ViewController> parent() const { return parent_.lock(); }
  /// The child screens, in order.
  [[nodiscard]] const std::vector<std::shared_ptr<ViewController>>& children() const {
    return children_;
  }
  /// Makes `child` a child of this controller (taking it from its old parent).
  void addChild(const std::shared_ptr<ViewController>& child);
  /// Takes this screen (with its view) out of its parent.
  void removeFromParent();
  /// The nearest navigation controller among the ancestors, or nothing.
  [[nodiscard]] std::shared_ptr<NavigationController> navigationController() const;
  /// navigationController(), as the navigation interface sees it.
  [[nodiscard]] std::shared_ptr<UINavigationControllerType> navigationStack() const override;

  /// The screen presented over this one, or null.
  [[nodiscard]] const std::shared_ptr<ViewController>& presentedViewController() const {
    return presented_;
  }
  /// The screen this one is presented over, or null.
  [[nodiscard]] std::shared_ptr<ViewController> presentingViewController() const {
    return presenting_.lock();
  }
  /// Presents `controller` modally over this one; its view joins this view's
  /// window, and `completion` runs before this returns true. A controller
  /// already presenting another, one that is already presented, or one not
  /// of this toolkit, is left as it is: false, and `completion` is not
  /// called.
  bool present(const std::shared_ptr<UIViewControllerType>& controller, bool animated,
               const std::function<void()>& completion = {}) override;
  /// Dismisses the controller this one presents (with everything it presents
  /// in turn) or, when it presents none, this controller itself.
  void dismiss(bool animated, const std::function<void()>& completion = {});

 protected:
  /// Makes the root view; the default is a plain View.
  virtual std::shared_ptr<View> loadView();
  /// Called once, after the root view was loaded.
  virtual void viewDidLoad() {}

  /// Takes every child out (with its view), then adds `controllers` as the children.
  void replaceChildren(const std::vector<std::shared_ptr<ViewController>>& controllers);
  /// Shows `child`'s view alone among the children's views, once this view is loaded.
  void showChildView(const std::shared_ptr<ViewController>& child);

 private:
  void dismissPresented();
  // Stops unless a shared_ptr holds this controller: `call` would link it.
  void requireShared(const char* call) const;

  std::shared_ptr<View> view_;
  std::weak_ptr<ViewController> parent_;
  std::vector<std::shared_ptr<ViewController>> children_;
  std::shared_ptr<ViewController> presented_;
  std::weak_ptr<ViewController> presenting_;
};

/// A stack of controllers; the top one's view is shown inside the
/// navigation controller's view.
class NavigationController : public ViewController, public UINavigationControllerType {
 public:
  /// A navigation controller whose stack holds `root`.
  static std::shared_ptr<NavigationController> make(const std::shared_ptr<ViewController>& root);

  /// The stack, bottom first.
  [[nodiscard]] const std::vector<std::shared_ptr<ViewController>>& viewControllers() const {
    return children();
  }
  /// The top of the stack, or null.
  [[nodiscard]] std::shared_ptr<ViewController> topViewController() const;
  /// Pushes `controller`; one not of this toolkit is left out (and logged).
  void pushViewController(const std::shared_ptr<UIViewControllerType>& controller,
                          bool animated) override;
  /// Pops the top controller unless it is the root; returns it.
  std::shared_ptr<ViewController> popViewController(bool animated);
  /// Pops everything above the root; returns what was popped, bottom first.
  std::vector<std::shared_ptr<ViewController>> popToRootViewController(bool animated);
  /// Replaces the stack with `controllers`.
  void setViewControllers(const std::vector<std::shared_ptr<ViewController>>& controllers,
                          bool animated);

 protected:
  /// Shows the top screen's view.
  void viewDidLoad() override;

 private:
  void showTop();
};

/// A NavigationControllerType making navigation controllers of class T
/// (a NavigationController or a class derived from it).
template <class T = NavigationController>
NavigationControllerType navigationControllerType() {
  return [](const std::shared_ptr<UIViewControllerType>& root)
             -> std::shared_ptr<UIViewControllerType> {
    auto screen = std::dynamic_pointer_cast<ViewController>(root);
    if (!screen) return nullptr;
    auto navigation = std::make_shared<T>();
    navigation->setViewControllers({screen}, false);
    return navigation;
  };
}

}  // namespace quarn::platform
