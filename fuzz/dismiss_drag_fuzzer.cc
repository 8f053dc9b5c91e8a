// Drives DismissDragInteraction with random sequences of pan events of any
// geometry (began, changed, ended, cancelled at any position, finite or not),
// window resizes (to no height, a negative one, not a number, infinity),
// changes of the moving views, lifts fed from inside the delegate, and the
// interaction's removal and return; on the manual clock.
//
// Checks, after every event: once a gesture is over, its screen was dismissed
// or every view is as it was before the gesture, or back at full opacity
// either where it was or at the first moving view's starting centre.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "fuzz/event_bytes.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/ui/view_controller.h"
#include "quarnkit/ui/dismiss_drag_interaction.h"

namespace {

using quarn::DismissDragInteraction;
using quarn::fuzzing::EventBytes;
using quarn::platform::GestureRecognizer;
using quarn::platform::Point;
using quarn::platform::Rect;
using quarn::platform::View;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// A coordinate: ordinary, extreme, or not finite at all.
double coordinate(EventBytes& in) {
  switch (in.choose(8)) {
    case 0:
      return in.anyDouble();
    case 1:
      return in.between(-1e308, 1e308);
    case 2:
      return in.choose(2) ? kInfinity : -kInfinity;
    case 3:
      return std::nan("");
    case 4:
      return 0;
    default:
      return in.between(-1000, 1000);
  }
}

double height(EventBytes& in) {
  switch (in.choose(7)) {
    case 0:
      return 0;
    case 1:
      return -in.between(0, 1000);
    case 2:
      return std::nan("");
    case 3:
      return kInfinity;
    case 4:
      return in.anyDouble();
    default:
      return in.between(1, 2000);
  }
}

struct Delegate : quarn::DismissDragInteractionDelegate {
  std::vector<std::shared_ptr<View>> views;
  // A lift to feed from inside the next call, when armed.
  bool liftInside = false;
  Point liftAt;
  std::vector<std::shared_ptr<View>> viewsToDrag(DismissDragInteraction& drag) override {
    if (liftInside) {
      liftInside = false;
      if (auto pan = drag.gestureRegognizer()) pan->endTouch(liftAt);
    }
    return views;
  }
};

struct Resting {
  std::shared_ptr<View> view;
  Point center;
  double alpha = 1;
};

class Scene {
 public:
  Scene() {
    window_->setRootViewController(home_);
    home_->present(sheet_, false);
    sheet_->view()->frame = {{0, 0}, {320, 480}};
    sheet_->view()->addSubview(content_);
    sheet_->view()->addSubview(caption_);
    delegate_->views = {content_, caption_};
    attach();
  }

  void run(EventBytes& in) {
    while (!in.empty()) {
      step(in);
      check();
    }
    // Whatever is still under way ends with the interaction's removal.
    if (drag_) sheet_->view()->removeInteraction(drag_);
    check();
  }

 private:
  void attach() {
    drag_ = DismissDragInteraction::make(delegate_);
    sheet_->view()->addInteraction(drag_);
  }
  [[nodiscard]] GestureRecognizer::State state() const {
    return drag_ && drag_->gestureRegognizer() ? drag_->gestureRegognizer()->state()
                                               : GestureRecognizer::State::possible;
  }

  void step(EventBytes& in) {
    auto pan = drag_ ? drag_->gestureRegognizer() : nullptr;
    switch (in.choose(10)) {
      case 0:
      case 1:
        if (!pan) break;
        if (state() == GestureRecognizer::State::possible) startWatching();
        pan->beginTouch({coordinate(in), coordinate(in)});
        break;
      case 2:
      case 3:
        if (pan) pan->moveTouch({coordinate(in), coordinate(in)});
        break;
      case 4:
        if (pan) pan->endTouch({coordinate(in), coordinate(in)});
        break;
      case 5:
        if (pan) pan->cancelTouch();
        break;
      case 6:
        window_->frame.size.height = height(in);
        break;
      case 7:
        switch (in.choose(4)) {
          case 0:
            delegate_->views.clear();
            break;
          case 1:
            delegate_->views = {content_};
            break;
          case 2:
            delegate_->views = {caption_, content_};
            break;
          default:
            delegate_->views = {content_, nullptr, caption_};
            break;
        }
        break;
      case 8:
        delegate_->liftInside = true;
        delegate_->liftAt = {coordinate(in), coordinate(in)};
        break;
      default:
        if (drag_ && in.choose(2)) {
          sheet_->view()->removeInteraction(drag_);
          drag_.reset();
        } else if (!drag_) {
          attach();
        } else if (!watching_ && !home_->presentedViewController()) {
          // The host shows the sheet again, as it was.
          home_->present(sheet_, false);
          content_->setAlpha(1);
          caption_->setAlpha(1);
          content_->frame = {{0, 100}, {320, 200}};
          caption_->frame = {{20, 400}, {100, 20}};
        }
        break;
    }
  }

  // A gesture starts: remember how the views rest and whether the sheet is up.
  void startWatching() {
    if (watching_) return;
    watching_ = true;
    presentedAtStart_ = home_->presentedViewController() != nullptr;
    start_.reset();
    resting_ = {{content_, content_->center(), content_->alpha()},
                {caption_, caption_->center(), caption_->alpha()}};
  }

  void check() {
    if (!watching_) return;
    if (drag_ && drag_->isDragging()) start_ = drag_->initialScrollViewCenter;
    if (presentedAtStart_ && !home_->presentedViewController()) dismissedDuring_ = true;
    if (drag_ && state() != GestureRecognizer::State::possible) return;
    // The gesture is over: so must the drag be.
    if (drag_ && drag_->isDragging()) __builtin_trap();
    watching_ = false;
    if (std::exchange(dismissedDuring_, false)) return;
    for (const auto& r : resting_) {
      const Point now = r.view->center();
      const bool untouched = now == r.center && r.view->alpha() == r.alpha;
      const bool sprungBack =
          r.view->alpha() == 1 && (now == r.center || (start_ && now == *start_));
      if (!untouched && !sprungBack) __builtin_trap();
    }
  }

  std::shared_ptr<quarn::platform::Window> window_ =
      std::make_shared<quarn::platform::Window>(Rect{{0, 0}, {320, 480}});
  std::shared_ptr<quarn::platform::ViewController> home_ =
      std::make_shared<quarn::platform::ViewController>();
  std::shared_ptr<quarn::platform::ViewController> sheet_ =
      std::make_shared<quarn::platform::ViewController>();
  std::shared_ptr<View> content_ = std::make_shared<View>(Rect{{0, 100}, {320, 200}});
  std::shared_ptr<View> caption_ = std::make_shared<View>(Rect{{20, 400}, {100, 20}});
  std::shared_ptr<Delegate> delegate_ = std::make_shared<Delegate>();
  std::shared_ptr<DismissDragInteraction> drag_;
  bool watching_ = false;
  bool presentedAtStart_ = false;
  bool dismissedDuring_ = false;
  std::vector<Resting> resting_;
  // The first moving view's centre when the drag under way began.
  std::optional<Point> start_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto clock = std::make_shared<quarn::platform::ManualClock>();
  quarn::platform::ScopedService<quarn::platform::Clock> installedClock(clock);
  quarn::platform::ScopedService<quarn::platform::TimerScheduler> installedScheduler(clock);
  EventBytes in(data, size);
  Scene scene;
  scene.run(in);
  return 0;
}
