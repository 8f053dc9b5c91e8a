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

class PlayerView final : public platform::View {
  // Lets make() use std::make_shared while nobody else can construct one.
  class Key {
    friend class PlayerView;
    Key() = default;
  };

 public:
  static std::shared_ptr<PlayerView> make(platform::Rect frame = {});
  PlayerView(Key /*key*/, platform::Rect initialFrame) : View(initialFrame) {}

  ContentMode contentMode = ContentMode::scaleAspectFit;
  [[nodiscard]] const std::shared_ptr<platform::MediaPlayer>& player() const { return player_; }
  void setPlayer(std::shared_ptr<platform::MediaPlayer> player) { player_ = std::move(player); }

 private:
  std::shared_ptr<platform::MediaPlayer> player_;
};

class PlayerOverlayView final : public platform::View {
  class Key {
    friend class PlayerOverlayView;
    Key() = default;
  };

 public:
  class Button : public View {
   public:
    bool isSelected = false;
  };
  class Label : public View {
   public:
    std::string text;
  };
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
  PlayerOverlayView(Key /*key*/, platform::Rect initialFrame) : View(initialFrame) {}

  [[nodiscard]] const std::shared_ptr<View>& controlsView() const { return controlsView_; }
  [[nodiscard]] const std::shared_ptr<Button>& playButton() const { return playButton_; }
  [[nodiscard]] const std::shared_ptr<Button>& muteButton() const { return muteButton_; }
  [[nodiscard]] const std::shared_ptr<SeekBar>& seekBar() const { return seekBar_; }
  [[nodiscard]] const std::shared_ptr<Label>& timeLabel() const { return timeLabel_; }
  [[nodiscard]] const std::shared_ptr<Label>& durationLabel() const { return durationLabel_; }
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
