// DismissDragInteraction: closes a presented screen when its content is
// dragged far enough vertically.
//
// Attached to a view like any interaction, it installs a pan recognizer on
// that view. While the finger moves, the views the delegate names follow it
// vertically (all at the first one's starting height plus the drag) and
// fade: alpha = 1 - |drag| / (window height / 2), which views clamp at 0.
// When the finger lifts (or the gesture is cancelled) more than 100 points
// from where it started, the screen that owns the view is dismissed;
// otherwise the views spring back over 0.3 seconds to full opacity and the
// first view's starting centre.
//
//   auto drag = std::make_shared<DismissDragInteraction>(screen);  // screen is the delegate
//   screen->view()->addInteraction(drag);
//
// Nothing happens without the view, the delegate, the owning screen, a window
// of positive height, a moving view, or a finite touch position.
#pragma once

#include <memory>
#include <vector>

#include "quarnkit/platform/ui/gesture_recognizer.h"
#include "quarnkit/platform/ui/view_interaction.h"

namespace quarn {

class DismissDragInteraction;

class DismissDragInteractionDelegate {
 public:
  virtual ~DismissDragInteractionDelegate() = default;
  /// The views that follow the drag, in order; the first is the reference
  /// for the vertical position.
  virtual std::vector<std::shared_ptr<platform::View>> viewsToDrag(
      DismissDragInteraction& interaction) = 0;
};

class DismissDragInteraction final : public platform::ViewInteraction,
                                     public platform::GestureRecognizerDelegate,
                                     public std::enable_shared_from_this<DismissDragInteraction> {
 public:
  /// Beyond this vertical distance, in points, lifting the finger dismisses.
  static constexpr double kDismissDistance = 100;
  /// How long the views take to spring back, seconds.
  static constexpr double kSpringBackDuration = 0.3;

  explicit DismissDragInteraction(const std::shared_ptr<DismissDragInteractionDelegate>& source)
      : delegate(source) {}

  std::weak_ptr<DismissDragInteractionDelegate> delegate;
  /// Where the drag began, in window coordinates.
  platform::Point initialTouchPoint;
  /// The first moving view's centre when the drag began.
  platform::Point initialScrollViewCenter;

  [[nodiscard]] std::shared_ptr<platform::View> view() const override { return view_.lock(); }
  /// The pan recognizer installed on the view, or null.
  [[nodiscard]] const std::shared_ptr<platform::PanGestureRecognizer>& gestureRegognizer() const {
    return gestureRegognizer_;
  }

  void willMove(const std::shared_ptr<platform::View>& view) override;
  void didMove(const std::shared_ptr<platform::View>& view) override;
  void panGestureRecognizerHandler(platform::PanGestureRecognizer& recognizer);

 private:
  std::weak_ptr<platform::View> view_;
  std::shared_ptr<platform::PanGestureRecognizer> gestureRegognizer_;
};

}  // namespace quarn
