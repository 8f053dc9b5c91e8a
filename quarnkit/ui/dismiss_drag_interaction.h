/// @file
/// DismissDragInteraction: closes a presented screen when its content is dragged far enough
/// vertically.

/// @class quarn::DismissDragInteraction
/// Closes a presented screen when its content is
/// dragged far enough vertically. A shared object: made by make(), held by
/// shared_ptr (its view keeps it while it is attached).
///
/// Attached to a view like any interaction, it installs a pan recognizer on
/// that view. While the finger moves, the views the delegate names follow it
/// vertically (all at the first one's starting height plus the drag) and
/// fade: alpha = 1 - |drag| / (window height / 2), which views clamp at 0.
/// When the finger lifts (or the gesture is cancelled) more than 100 points
/// from where it started, the screen that owns the view is dismissed;
/// otherwise the views spring back over 0.3 seconds to full opacity and the
/// first view's starting centre.
///
/// ```
///   auto drag = DismissDragInteraction::make(screen);  // screen is the delegate
///   screen->view()->addInteraction(drag);
/// ```
///
/// A drag begins only with the view, the delegate, the owning screen, a window
/// of positive height, a moving view and a finite touch position. A step that
/// lacks one of them (a window without height, a touch that is not a number,
/// no views) moves nothing, but every drag that began ends either dismissed or
/// sprung back: a lift decides by its own position, or by the last finite one;
/// a lift beyond 100 points whose screen cannot be dismissed (it is not
/// presented, or stays shown) springs back; so does a drag whose interaction is
/// removed from its view or destroyed. The views that spring back are every
/// view the delegate named during the drag; the lift does not ask it again.
///
/// The delegate is asked on the main context from inside the recognizer's
/// touch calls. Inside it the host may remove the interaction from its view
/// (the views spring back and the step does nothing more) or feed the
/// recognizer another touch (a lift ends the drag there; the interrupted step
/// then moves nothing). An exception from it leaves the touch call; the drag
/// stays under way (or, thrown when it would begin, never began).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "quarnkit/platform/ui/gesture_recognizer.h"
#include "quarnkit/platform/ui/view_interaction.h"

namespace quarn {

class DismissDragInteraction;

/// Where a DismissDragInteraction finds the views to move: implemented by
/// the host screen, held weakly, called on the main context during a drag.
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

  /// An interaction whose moving views come from `source`, held weakly.
  static std::shared_ptr<DismissDragInteraction> make(
      const std::shared_ptr<DismissDragInteractionDelegate>& source);
  ~DismissDragInteraction() override;
  DismissDragInteraction(const DismissDragInteraction&) = delete;
  DismissDragInteraction& operator=(const DismissDragInteraction&) = delete;

  /// The source of the views to drag, held weakly.
  std::weak_ptr<DismissDragInteractionDelegate> delegate;
  /// Where the drag began, in window coordinates.
  platform::Point initialTouchPoint;
  /// The first moving view's centre when the drag began.
  platform::Point initialScrollViewCenter;

  /// The view the interaction is attached to, or null.
  [[nodiscard]] std::shared_ptr<platform::View> view() const override { return view_.lock(); }
  /// The pan recognizer installed on the view, or null.
  [[nodiscard]] const std::shared_ptr<platform::PanGestureRecognizer>& gestureRegognizer() const {
    return gestureRegognizer_;
  }
  /// Whether a drag began and has not ended yet.
  [[nodiscard]] bool isDragging() const { return dragging_; }

  /// Removes the recognizer from the view it leaves.
  void willMove(const std::shared_ptr<platform::View>& view) override;
  /// Installs the pan recognizer on `view` (none for null).
  void didMove(const std::shared_ptr<platform::View>& view) override;
  /// Moves the views with the finger, then dismisses the screen or springs them back when the
  /// finger lifts.
  void panGestureRecognizerHandler(platform::PanGestureRecognizer& recognizer);

 private:
  explicit DismissDragInteraction(const std::shared_ptr<DismissDragInteractionDelegate>& source)
      : delegate(source) {}

  // The moving views the delegate names now (and the window's height), or
  // none when the drag cannot be measured: no view, delegate, screen, or
  // window of positive height. What the delegate did meanwhile (another
  // event, the interaction's removal) shows in events_ and
  // gestureRegognizer_, which the callers check afterwards.
  std::vector<std::shared_ptr<platform::View>> movingViews(double& windowHeight);
  void begin(platform::Point touch);
  void follow(platform::Point touch);
  void end(platform::Point touch);
  // Dismisses the owning screen; whether it went.
  bool dismissScreen();
  void springBack();
  void remember(const std::vector<std::shared_ptr<platform::View>>& views);

  std::weak_ptr<platform::View> view_;
  std::shared_ptr<platform::PanGestureRecognizer> gestureRegognizer_;
  // The drag under way: whether there is one, how far it went at its last
  // finite touch, and every view named during it.
  bool dragging_ = false;
  double distance_ = 0;
  std::vector<std::weak_ptr<platform::View>> moved_;
  // Counts the handler's calls, so that a call can tell whether another ran
  // inside the delegate.
  std::uint64_t events_ = 0;
};

}  // namespace quarn
