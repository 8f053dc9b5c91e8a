/// @file
/// GestureRecognizer and PanGestureRecognizer: touch gestures of the headless
/// toolkit, with target actions and a delegate.
///
/// A recognizer is attached to a view (View::addGestureRecognizer). The
/// headless toolkit has no touch screen: the host or a test feeds touches in
/// window coordinates, and a pan goes through began, changed... and ended or
/// cancelled, calling its targets' actions at each step:
///
/// ```
///   auto pan = PanGestureRecognizer::make();
///   pan->addTarget(owner, [](GestureRecognizer& g) { follow(g.state()); });
///   view->addGestureRecognizer(pan);
///   pan->beginTouch({10, 10});   // began, if the delegate agrees
///   pan->moveTouch({10, 60});    // changed
///   pan->endTouch({10, 80});     // ended
/// ```
///
/// Targets and the delegate are held weakly; an action whose target is gone is
/// skipped. A recognizer that is disabled or attached to no view ignores
/// touches. Used on the main context only.
///
/// Recognizers are shared objects (made by make(), held by shared_ptr): a touch
/// call keeps its recognizer alive until it returns, so an action may detach
/// it from its view and drop it. An action may feed touches itself: a touch
/// begun from the action of a lift starts the next gesture, which goes on after
/// the lift returns. An action's exception leaves the touch call; the actions
/// after it are not called for that step, and a lift or cancel still leaves the
/// recognizer ready for the next gesture.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "quarnkit/platform/ui/geometry.h"

namespace quarn::platform {

class GestureRecognizer;
class View;

/// May stop a gesture recognizer's gestures from beginning (implemented by the host, held weakly).
class GestureRecognizerDelegate {
 public:
  virtual ~GestureRecognizerDelegate() = default;
  /// Whether a gesture may begin; the default agrees.
  virtual bool gestureRecognizerShouldBegin(GestureRecognizer&) { return true; }
};

/// Recognises a gesture from the touches fed to it and calls its targets' actions at every step. A
/// shared object, attached to a view.
class GestureRecognizer : public std::enable_shared_from_this<GestureRecognizer> {
 public:
  /// Where the gesture is.
  enum class State { possible, began, changed, ended, cancelled, failed };
  /// Called with the recognizer at every step of a recognised gesture.
  using Action = std::function<void(GestureRecognizer&)>;

  virtual ~GestureRecognizer() = default;
  GestureRecognizer(const GestureRecognizer&) = delete;
  GestureRecognizer& operator=(const GestureRecognizer&) = delete;

  /// Whether touches are recognised.
  bool isEnabled = true;
  /// May stop gestures from beginning; held weakly.
  std::weak_ptr<GestureRecognizerDelegate> delegate;

  /// Where the gesture is.
  [[nodiscard]] State state() const { return state_; }
  /// The view the recognizer is attached to, or null.
  [[nodiscard]] std::shared_ptr<View> view() const { return view_.lock(); }
  /// Calls `action` at every step of a recognised gesture while `target` lives.
  void addTarget(const std::shared_ptr<void>& target, Action action);

 protected:
  GestureRecognizer() = default;
  /// Moves to `state` and calls the actions (for every state but possible
  /// and failed).
  void setState(State state);
  /// Moves to the final `state` (ended, cancelled or failed), calls the
  /// actions, and returns to possible unless an action began a new gesture;
  /// also when an action throws.
  void finish(State state);

 private:
  friend class View;
  struct Target {
    std::weak_ptr<void> target;
    Action action;
  };
  State state_ = State::possible;
  std::weak_ptr<View> view_;
  std::vector<Target> targets_;
};

/// Recognises a finger dragging: began on the first touch, changed on each move, ended or
/// cancelled. A shared object, made by make().
class PanGestureRecognizer final : public GestureRecognizer {
 public:
  /// A recognizer attached to no view.
  static std::shared_ptr<PanGestureRecognizer> make();

  /// The touch in `view`'s coordinates; in window coordinates for null or
  /// for the window itself.
  [[nodiscard]] Point location(const View* view) const;

  /// Feeds a touch beginning at `inWindow` (window coordinates).
  void beginTouch(Point inWindow);
  /// Feeds the touch moving to `inWindow`.
  void moveTouch(Point inWindow);
  /// Feeds the touch lifting at `inWindow`.
  void endTouch(Point inWindow);
  /// Feeds the touch being cancelled.
  void cancelTouch();

 private:
  PanGestureRecognizer() = default;
  [[nodiscard]] bool tracking() const {
    return state() == State::began || state() == State::changed;
  }
  Point location_;
};

}  // namespace quarn::platform
