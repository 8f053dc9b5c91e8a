#include "quarnkit/platform/ui/gesture_recognizer.h"

#include <algorithm>

#include "quarnkit/platform/ui/detail/on_exit.h"
#include "quarnkit/platform/ui/view.h"

namespace quarn::platform {

void GestureRecognizer::addTarget(const std::shared_ptr<void>& target, Action action) {
  targets_.push_back({target, std::move(action)});
}

void GestureRecognizer::setState(State state) {
  state_ = state;
  if (state == State::possible || state == State::failed) return;
  std::erase_if(targets_, [](const Target& t) { return t.target.expired(); });
  // A copy: an action may add targets.
  const std::vector<Target> targets = targets_;
  for (const Target& t : targets) {
    if (auto alive = t.target.lock()) t.action(*this);
  }
}

void GestureRecognizer::finish(State state) {
  const detail::OnExit backToPossible([this, state] {
    if (state_ == state) state_ = State::possible;
  });
  setState(state);
}

std::shared_ptr<PanGestureRecognizer> PanGestureRecognizer::make() {
  return std::shared_ptr<PanGestureRecognizer>(new PanGestureRecognizer());
}

Point PanGestureRecognizer::location(const View* view) const {
  // Window coordinates less the view's origin in the window: the frame
  // origins of the view and its ancestors below the root.
  Point p = location_;
  for (const View* v = view; v != nullptr;) {
    auto parent = v->superview();
    if (!parent) break;
    p.x -= v->frame.origin.x;
    p.y -= v->frame.origin.y;
    v = parent.get();
  }
  return p;
}

// Each touch keeps the recognizer alive until it returns: an action may
// detach it from its view and drop the last reference.

void PanGestureRecognizer::beginTouch(Point inWindow) {
  if (!isEnabled || !view() || tracking()) return;
  const auto self = shared_from_this();
  auto d = delegate.lock();
  if (d && !d->gestureRecognizerShouldBegin(*this)) {
    finish(State::failed);
    return;
  }
  location_ = inWindow;
  setState(State::began);
}

void PanGestureRecognizer::moveTouch(Point inWindow) {
  if (!tracking()) return;
  const auto self = shared_from_this();
  location_ = inWindow;
  setState(State::changed);
}

void PanGestureRecognizer::endTouch(Point inWindow) {
  if (!tracking()) return;
  const auto self = shared_from_this();
  location_ = inWindow;
  finish(State::ended);
}

void PanGestureRecognizer::cancelTouch() {
  if (!tracking()) return;
  const auto self = shared_from_this();
  finish(State::cancelled);
}

// The view's side of attaching recognizers.
void View::addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
  if (!recognizer) return;
  requireShared("View::addGestureRecognizer");
  if (auto old = recognizer->view()) {
    if (old.get() == this) return;
    old->removeGestureRecognizer(recognizer);
  }
  recognizer->view_ = weak_from_this();
  gestureRecognizers_.push_back(recognizer);
}

void View::removeGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
  if (!recognizer || recognizer->view().get() != this) return;
  recognizer->view_.reset();
  std::erase(gestureRecognizers_, recognizer);
}

}  // namespace quarn::platform
