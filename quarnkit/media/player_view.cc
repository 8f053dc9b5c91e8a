#include "quarnkit/media/player_view.h"

#include <vector>

namespace quarn {

std::shared_ptr<PlayerView> PlayerView::make(platform::Rect frame) {
  return std::make_shared<PlayerView>(Key(), frame);
}

std::shared_ptr<PlayerOverlayView> PlayerOverlayView::make(platform::Rect frame) {
  auto overlay = std::make_shared<PlayerOverlayView>(Key(), frame);
  overlay->controlsView_->frame = {{}, frame.size};
  const std::vector<std::shared_ptr<View>> controls{overlay->playButton_, overlay->muteButton_,
                                                    overlay->seekBar_, overlay->timeLabel_,
                                                    overlay->durationLabel_};
  for (const auto& control : controls) {
    overlay->controlsView_->addSubview(control);
  }
  overlay->addSubview(overlay->controlsView_);
  overlay->addSubview(overlay->busyIndicator_);
  return overlay;
}

}  // namespace quarn
