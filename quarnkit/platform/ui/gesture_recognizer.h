// GestureRecognizer and PanGestureRecognizer: touch gestures of the headless
// toolkit, with target actions and a delegate.
//
// A recognizer is attached to a view (View::addGestureRecognizer). The
// headless toolkit has no touch screen: the host or a test feeds touches in
// window coordinates, and a pan goes through began, changed... and ended or
// cancelled, calling its targets' actions at each step:
//
//   auto pan = std::make_shared<PanGestureRecognizer>();
//   pan->addTarget(owner, [](GestureRecognizer& g) { follow(g.state()); });
//   view->addGestureRecognizer(pan);
//   pan->beginTouch({10, 10});   // began, if the delegate agrees
//   pan->moveTouch({10, 60});    // changed
//   pan->endTouch({10, 80});     // ended
//
// Targets and the delegate are held weakly; an action whose target is gone is
// skipped. A recognizer that is disabled or attached to no view ignores
// touches. Used on the main context only.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "quarnkit/platform/ui/geometry.h"

namespace quarn::platform {

class GestureRecognizer;
class View;

class GestureRecognizerDelegate {
 public:
  virtual ~GestureRecognizerDelegate() = default;
  /// Whether a gesture may begin; the default agrees.
  virtual bool gestureRecognizerShouldBegin(GestureRecognizer&) { return true; }
};

class GestureRecognizer {
 public:
  enum class State { possible, began, changed, ended, cancelled, failed };
  using Action = std::function<void(GestureRecognizer&)>;

  GestureRecognizer() = default;
  virtual ~GestureRecognizer() = default;
  GestureRecognizer(const GestureRecognizer&) = delete;
  GestureRecognizer& operator=(const GestureRecognizer&) = delete;

  bool isEnabled = true;
  std::weak_ptr<GestureRecognizerDelegate> delegate;

  [[nodiscard]] State state() const { return state_; }
  /// The view the recognizer is attached to, or null.
  [[nodiscard]] std::shared_ptr<View> view() const { return view_.lock(); }
  /// Calls `action` at every step of a recognised gesture while `target` lives.
  void addTarget(const std::shared_ptr<void>& target, Action action);

 protected:
  /// Moves to `state` and calls the actions (for every state but possible
  /// and failed).
  void setState(State state);

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

class PanGestureRecognizer : public GestureRecognizer {
 public:
  /// The touch in `view`'s coordinates; in window coordinates for null or
  /// for the window itself.
  [[nodiscard]] Point location(const View* view) const;

  void beginTouch(Point inWindow);
  void moveTouch(Point inWindow);
  void endTouch(Point inWindow);
  void cancelTouch();

 private:
  [[nodiscard]] bool tracking() const {
    return state() == State::began || state() == State::changed;
  }
  Point location_;
};

}  // namespace quarn::platform
