/// @file
/// PlayerView and PlayerOverlayView (shared objects, like every view: made
/// only by make()): the video surface of a player screen and the controls
/// drawn over it.
///
/// The surface shows whatever player is attached to it (none while the
/// application is in the background). The overlay holds a controls view (play
/// and mute buttons, the seek bar, the time and duration labels), which inline
/// screens toggle alone, and a busy indicator that spins while playback
/// waits for data.
///
/// ```
///   auto overlay = PlayerOverlayView::make({{0, 0}, {320, 180}});
///   overlay->busyIndicator()->startAnimating();
/// ```
#pragma once

#include <memory>
#include <string>

#include "quarnkit/platform/media/media_player.h"
#include "quarnkit/platform/ui/activity_indicator_view.h"
#include "quarnkit/platform/ui/view.h"

namespace quarn {

/// How a video fills its surface.
enum class ContentMode { scaleToFill, scaleAspectFit, scaleAspectFill };

/// The video surface of a player screen: shows the player attached to it. A shared object, made
/// only by make().
class PlayerView final : public platform::View {
  // Lets make() use std::make_shared while nobody else can construct one.
  class Key {
    friend class PlayerView;
    Key() = default;
  };

 public:
  /// A surface with `frame` and no player.
  static std::shared_ptr<PlayerView> make(platform::Rect frame = {});
  /// For std::make_shared only: the key is private, so hosts call make().
  PlayerView(Key /*key*/, platform::Rect initialFrame) : View(initialFrame) {}

  /// How the video fills the surface.
  ContentMode contentMode = ContentMode::scaleAspectFit;
  /// The player shown, or null.
  [[nodiscard]] const std::shared_ptr<platform::MediaPlayer>& player() const { return player_; }
  /// Shows `player` (null: nothing).
  void setPlayer(std::shared_ptr<platform::MediaPlayer> player) { player_ = std::move(player); }

 private:
  std::shared_ptr<platform::MediaPlayer> player_;
};

/// The controls drawn over a player's video, and its busy indicator. A shared object, made only by
/// make().
class PlayerOverlayView final : public platform::View {
  class Key {
    friend class PlayerOverlayView;
    Key() = default;
  };

 public:
  /// A button of the overlay.
  class Button : public View {
   public:
    /// Whether it is in its selected state (the play button while playing).
    bool isSelected = false;
  };
  /// A text label of the overlay.
  class Label : public View {
   public:
    /// The text shown.
    std::string text;
  };
  /// The seek bar of the overlay.
  class SeekBar : public View {
   public:
    /// The played fraction, 0...1.
    double value = 0;
    /// Whether the user is dragging it.
    bool isTracking = false;
  };
  /// Hidden while it does not spin.
  using BusyIndicator = platform::ActivityIndicatorView;

  /// An overlay with its controls in place.
  static std::shared_ptr<PlayerOverlayView> make(platform::Rect frame = {});
  /// For std::make_shared only: the key is private, so hosts call make().
  PlayerOverlayView(Key /*key*/, platform::Rect initialFrame) : View(initialFrame) {}

  /// The view holding the controls (toggled alone by inline screens).
  [[nodiscard]] const std::shared_ptr<View>& controlsView() const { return controlsView_; }
  /// The play/pause button.
  [[nodiscard]] const std::shared_ptr<Button>& playButton() const { return playButton_; }
  /// The mute button.
  [[nodiscard]] const std::shared_ptr<Button>& muteButton() const { return muteButton_; }
  /// The seek bar.
  [[nodiscard]] const std::shared_ptr<SeekBar>& seekBar() const { return seekBar_; }
  /// The current time ("1:05").
  [[nodiscard]] const std::shared_ptr<Label>& timeLabel() const { return timeLabel_; }
  /// The duration.
  [[nodiscard]] const std::shared_ptr<Label>& durationLabel() const { return durationLabel_; }
  /// Spins while playback waits for data.
  [[nodiscard]] const std::shared_ptr<BusyIndicator>& busyIndicator() const {
    return busyIndicator_;
  }

 private:
  std::shared_ptr<View> controlsView_ = std::make_shared<View>();
  std::shared_ptr<Button> playButton_ = std::make_shared<Button>();
  std::shared_ptr<Button> muteButton_ = std::make_shared<Button>();
  std::shared_ptr<SeekBar> seekBar_ = std::make_shared<SeekBar>();
  std::shared_ptr<Label> timeLabel_ = std::make_shared<Label>();
  std::shared_ptr<Label> durationLabel_ = std::make_shared<Label>();
  std::shared_ptr<BusyIndicator> busyIndicator_ = std::make_shared<BusyIndicator>();
};

}  // namespace quarn
