/// @file
/// View and Window: the view hierarchy of the headless toolkit.
///
/// Views form a tree: a view has at most one superview and keeps its subviews
/// alive; a view is in a window when the root of its tree is a Window. A view
/// controller's root view knows its controller, so code holding a view can find
/// the screen that shows it (enclosingViewController<T>()).
///
/// ```
///   auto window = std::make_shared<Window>();
///   window->setRootViewController(screen);      // loads the screen's view
///   screen->view()->window() == window;         // true
/// ```
///
/// Views live on the main context, like everything in the toolkit. They are
/// shared objects, held by shared_ptr (std::make_shared): their links to one
/// another (a subview's superview, a recognizer's view, a screen's view) are
/// weak references to them. The constructors stay public for the many view
/// classes built on View; linking a view that no shared_ptr holds stops with a
/// message instead of leaving it silently out of its tree.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "quarnkit/platform/ui/geometry.h"

namespace quarn::platform {

class GestureRecognizer;
class ViewController;
class ViewInteraction;
class Window;

/// A view of the headless toolkit: a frame in its superview, opacity, margins, subviews,
/// interactions and gesture recognizers. A shared object: held in a std::shared_ptr by its
/// superview and its owner.
class View : public std::enable_shared_from_this<View> {
 public:
  View() = default;
  /// A view with `initialFrame`.
  explicit View(Rect initialFrame) : frame(initialFrame) {}
  virtual ~View() = default;
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  /// The view's rectangle in its superview.
  Rect frame;
  /// Whether the view is hidden.
  bool isHidden = false;
  /// The background colour, or none (clear).
  std::optional<Color> backgroundColor;
  /// The margins inside the view.
  EdgeInsets layoutMargins{8, 8, 8, 8};
  /// Whether the view adds its superview's margins to its own.
  bool preservesSuperviewLayoutMargins = false;

  /// Opacity; setAlpha() clamps to 0...1 and ignores a value that is not a
  /// number.
  [[nodiscard]] double alpha() const { return alpha_; }
  /// Sets the opacity.
  void setAlpha(double alpha);
  /// The frame's centre; setting it moves the frame.
  [[nodiscard]] Point center() const;
  /// Moves the frame so that its centre is `center`.
  void setCenter(Point center);

  /// Attached interactions (view_interaction.h), told when they move.
  void addInteraction(const std::shared_ptr<ViewInteraction>& interaction);
  /// Detaches `interaction`, telling it so.
  void removeInteraction(const std::shared_ptr<ViewInteraction>& interaction);
  /// The attached interactions.
  [[nodiscard]] const std::vector<std::shared_ptr<ViewInteraction>>& interactions() const {
    return interactions_;
  }
  /// Attached gesture recognizers (gesture_recognizer.h).
  void addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
  /// Detaches `recognizer`.
  void removeGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
  /// The attached gesture recognizers.
  [[nodiscard]] const std::vector<std::shared_ptr<GestureRecognizer>>& gestureRecognizers() const {
    return gestureRecognizers_;
  }

  /// The superview, or null.
  [[nodiscard]] std::shared_ptr<View> superview() const { return superview_.lock(); }
  /// The subviews, back to front.
  [[nodiscard]] const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
  /// Adds `view` on top of the subviews, taking it from its old superview.
  /// Adding the view itself or one of its ancestors is a programming error.
  void addSubview(const std::shared_ptr<View>& view);
  /// Takes the view out of its superview.
  void removeFromSuperview();
  /// Whether this view is `view` or lies below it.
  [[nodiscard]] bool isDescendant(const View& view) const;

  /// The window at the root of this view's tree, or nothing.
  [[nodiscard]] std::shared_ptr<Window> window() const;
  /// The controller whose root view this is, or nothing.
  [[nodiscard]] std::shared_ptr<ViewController> viewController() const {
    return viewController_.lock();
  }

 private:
  friend class ViewController;
  // Stops unless a shared_ptr holds this view: `call` would link it.
  void requireShared(const char* call) const;

  std::weak_ptr<View> superview_;
  std::vector<std::shared_ptr<View>> subviews_;
  std::weak_ptr<ViewController> viewController_;
  double alpha_ = 1;
  std::vector<std::shared_ptr<ViewInteraction>> interactions_;
  std::vector<std::shared_ptr<GestureRecognizer>> gestureRecognizers_;
};

/// The root of a visible view tree. Setting the root view controller puts its
/// view in the window (loading it) and takes the previous root's view out.
class Window : public View {
 public:
  /// Windows are made like any view.
  using View::View;

  /// The root screen, or null.
  [[nodiscard]] const std::shared_ptr<ViewController>& rootViewController() const {
    return rootViewController_;
  }
  /// Makes `controller` the root screen: its view goes in the window, the previous root's view out.
  void setRootViewController(std::shared_ptr<ViewController> controller);

  /// Whether it is the application's key window.
  [[nodiscard]] bool isKeyWindow() const { return isKeyWindow_; }
  /// Shows the window and makes it the application's key window.
  void makeKeyAndVisible();

 private:
  friend class Application;
  std::shared_ptr<ViewController> rootViewController_;
  bool isKeyWindow_ = false;
};

/// The nearest controller of type T whose root view is `view` or one of its
/// ancestors, or nothing.
template <class T>
std::shared_ptr<T> enclosingViewController(const View& view) {
  for (std::shared_ptr<const View> v = view.shared_from_this(); v; v = v->superview()) {
    if (auto controller = std::dynamic_pointer_cast<T>(v->viewController())) return controller;
  }
  return nullptr;
}

}  // namespace quarn::platform
