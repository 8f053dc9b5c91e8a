#include "quarnkit/ui/dismiss_drag_interaction.h"

#include <algorithm>
#include <cmath>

#include "quarnkit/platform/ui/view.h"
#include "quarnkit/platform/ui/view_animation.h"
#include "quarnkit/platform/ui/view_controller.h"

namespace quarn {

using platform::GestureRecognizer;
using platform::PanGestureRecognizer;
using platform::Point;
using platform::View;

namespace {
bool finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }
}  // namespace

std::shared_ptr<DismissDragInteraction> DismissDragInteraction::make(
    const std::shared_ptr<DismissDragInteractionDelegate>& source) {
  return std::shared_ptr<DismissDragInteraction>(new DismissDragInteraction(source));
}

DismissDragInteraction::~DismissDragInteraction() {
  if (dragging_) springBack();
}

void DismissDragInteraction::willMove(const std::shared_ptr<View>& view) {
  if (view) return;
  if (dragging_) {
    dragging_ = false;
    springBack();
  }
  if (gestureRegognizer_) {
    if (auto current = view_.lock()) current->removeGestureRecognizer(gestureRegognizer_);
    gestureRegognizer_.reset();
  }
}

void DismissDragInteraction::didMove(const std::shared_ptr<View>& view) {
  view_ = view;
  if (!view) return;
  auto recognizer = PanGestureRecognizer::make();
  std::weak_ptr<DismissDragInteraction> weak = weak_from_this();
  recognizer->addTarget(shared_from_this(), [weak](GestureRecognizer& g) {
    if (auto self = weak.lock()) {
      self->panGestureRecognizerHandler(static_cast<PanGestureRecognizer&>(g));
    }
  });
  recognizer->delegate = weak_from_this();
  view->addGestureRecognizer(recognizer);
  gestureRegognizer_ = std::move(recognizer);
}

void DismissDragInteraction::panGestureRecognizerHandler(PanGestureRecognizer& recognizer) {
  const auto self = shared_from_this();  // the delegate may drop the last reference
  ++events_;
  const Point touch = recognizer.location(nullptr);  // window coordinates
  switch (recognizer.state()) {
    case GestureRecognizer::State::began:
      begin(touch);
      break;
    case GestureRecognizer::State::changed:
      follow(touch);
      break;
    case GestureRecognizer::State::ended:
    case GestureRecognizer::State::cancelled:
      end(touch);
      break;
    default:
      break;
  }
}

std::vector<std::shared_ptr<View>> DismissDragInteraction::movingViews(double& windowHeight) {
  auto view = view_.lock();
  auto source = delegate.lock();
  if (!view || !source) return {};
  auto window = view->window();
  if (!window || !platform::enclosingViewController<platform::ViewController>(*view)) return {};
  windowHeight = window->frame.size.height;
  if (!(windowHeight > 0) || !std::isfinite(windowHeight)) return {};  // no drag to measure
  auto views = source->viewsToDrag(*this);
  if (views.empty() || !views.front()) return {};
  return views;
}

void DismissDragInteraction::begin(Point touch) {
  // A drag whose end never reached the handler (an earlier action threw at
  // the lift) ends before the next one begins.
  if (dragging_) {
    dragging_ = false;
    springBack();
  }
  if (!finite(touch)) return;
  const auto event = events_;
  double windowHeight = 0;
  const auto views = movingViews(windowHeight);
  if (views.empty() || events_ != event || !gestureRegognizer_) return;
  dragging_ = true;
  distance_ = 0;
  initialTouchPoint = touch;
  initialScrollViewCenter = views.front()->center();
  remember(views);
}

void DismissDragInteraction::follow(Point touch) {
  if (!dragging_ || !finite(touch)) return;
  distance_ = touch.y - initialTouchPoint.y;
  const auto event = events_;
  double windowHeight = 0;
  const auto views = movingViews(windowHeight);
  if (views.empty() || events_ != event || !dragging_) return;
  remember(views);
  const double drag = distance_;
  const double alpha = 1 - std::abs(drag) / (windowHeight / 2);
  for (const auto& v : views) {
    if (!v) continue;
    v->setAlpha(alpha);
    v->setCenter({v->center().x, initialScrollViewCenter.y + drag});
  }
}

void DismissDragInteraction::end(Point touch) {
  if (!dragging_) return;
  dragging_ = false;
  if (finite(touch)) distance_ = touch.y - initialTouchPoint.y;
  if (std::abs(distance_) > kDismissDistance && dismissScreen()) {
    moved_.clear();
    return;
  }
  springBack();
}

bool DismissDragInteraction::dismissScreen() {
  auto view = view_.lock();
  if (!view) return false;
  auto screen = platform::enclosingViewController<platform::ViewController>(*view);
  if (!screen) return false;
  const bool presented = screen->presentingViewController() != nullptr;
  const bool shown = view->window() != nullptr;
  screen->dismiss(true);
  return (presented && !screen->presentingViewController()) || (shown && !view->window());
}

void DismissDragInteraction::springBack() {
  std::vector<std::shared_ptr<View>> views;
  for (const auto& weak : moved_) {
    if (auto v = weak.lock()) views.push_back(std::move(v));
  }
  moved_.clear();
  if (views.empty()) return;
  const Point center = initialScrollViewCenter;
  platform::ViewAnimation::animate(kSpringBackDuration, [&] {
    for (const auto& v : views) {
      v->setAlpha(1);
      v->setCenter(center);
    }
  });
}

void DismissDragInteraction::remember(const std::vector<std::shared_ptr<View>>& views) {
  for (const auto& v : views) {
    if (!v) continue;
    const bool known = std::any_of(moved_.begin(), moved_.end(),
                                   [&](const std::weak_ptr<View>& m) { return m.lock() == v; });
    if (!known) moved_.push_back(v);
  }
}

}  // namespace quarn
