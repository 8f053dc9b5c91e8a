#include "quarnkit/ui/dismiss_drag_interaction.h"

#include <cmath>

#include "quarnkit/platform/ui/view.h"
#include "quarnkit/platform/ui/view_animation.h"
#include "quarnkit/platform/ui/view_controller.h"

namespace quarn {

using platform::GestureRecognizer;
using platform::PanGestureRecognizer;
using platform::View;

void DismissDragInteraction::willMove(const std::shared_ptr<View>& view) {
  if (view) return;
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
  auto view = view_.lock();
  auto source = delegate.lock();
  if (!view || !source) return;
  auto screen = platform::enclosingViewController<platform::ViewController>(*view);
  auto window = view->window();
  if (!screen || !window) return;
  const double windowHeight = window->frame.size.height;
  if (!(windowHeight > 0) || !std::isfinite(windowHeight)) return;  // no drag to measure
  const auto views = source->viewsToDrag(*this);
  if (views.empty() || !views.front()) return;
  const platform::Point touch = recognizer.location(window.get());
  if (!std::isfinite(touch.x) || !std::isfinite(touch.y)) return;

  const double drag = touch.y - initialTouchPoint.y;
  switch (recognizer.state()) {
    case GestureRecognizer::State::began:
      initialTouchPoint = touch;
      initialScrollViewCenter = views.front()->center();
      break;
    case GestureRecognizer::State::changed: {
      const double alpha = 1 - std::abs(drag) / (windowHeight / 2);
      for (const auto& v : views) {
        if (!v) continue;
        v->setAlpha(alpha);
        v->setCenter({v->center().x, initialScrollViewCenter.y + drag});
      }
      break;
    }
    case GestureRecognizer::State::ended:
    case GestureRecognizer::State::cancelled:
      if (std::abs(drag) > kDismissDistance) {
        screen->dismiss(true);
      } else {
        platform::ViewAnimation::animate(kSpringBackDuration, [&] {
          for (const auto& v : views) {
            if (!v) continue;
            v->setAlpha(1);
            v->setCenter(initialScrollViewCenter);
          }
        });
      }
      break;
    default:
      break;
  }
}

}  // namespace quarn
