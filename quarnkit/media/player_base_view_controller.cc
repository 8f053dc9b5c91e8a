#include "quarnkit/media/player_base_view_controller.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>

#include "quarnkit/core/error.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/application.h"
#include "quarnkit/platform/media/audio_session.h"
#include "quarnkit/platform/media/detail/first_error.h"
#include "quarnkit/platform/ui/view_animation.h"

namespace quarn {

using platform::MediaPlayerEvent;
using platform::MediaPlayerItem;
using platform::MediaStatus;
using platform::TimeControlStatus;
using platform::detail::FirstError;

namespace {

const Logger& playbackLog() {
  static const Logger log("Velmora", "Playback");
  return log;
}

// How long the overlay takes to show or hide, seconds.
constexpr double kOverlayAnimationDuration = 0.25;
// How often the time labels follow playback, seconds.
constexpr double kTimeObserverInterval = 0.5;
constexpr std::array kPlaybackSpeeds{0.5, 1.0, 1.25, 1.5, 2.0};

// A speed as menus show it: the shortest decimal text and the sign "×".
std::string speedTitle(double speed) { return fmt::format("{}\u00d7", speed); }

// Values that identify the viewer or the server are marked private.
std::string privateValue(const std::optional<std::string>& value) {
  return value ? "<private>" : "nil";
}

std::string publicValue(const std::optional<std::string>& value) { return value.value_or("nil"); }

// "1:05", "1:02:03"; what is not a finite non-negative time reads "0:00".
std::string formatTime(double seconds) {
  const auto total =
      std::isfinite(seconds) && seconds > 0 ? static_cast<long long>(std::min(seconds, 1e12)) : 0LL;
  const long long h = total / 3600, m = total / 60 % 60, s = total % 60;
  return h > 0 ? fmt::format("{}:{:02}:{:02}", h, m, s) : fmt::format("{}:{:02}", m, s);
}

}  // namespace

std::string describeAccessLogEntry(const platform::MediaAccessLogEvent& event) {
  return fmt::format(
      "NewAccessLogEntry: uri: {}, serverAddress: {}, playbackSessionID: {}, playbackStartDate: "
      "{}, indicatedBitrate: {}\n    numberOfDroppedVideoFrames: {}\n    numberOfStalls: {}",
      privateValue(event.uri), privateValue(event.serverAddress),
      privateValue(event.playbackSessionID),
      event.playbackStartDate ? event.playbackStartDate->description() : "nil",
      event.indicatedBitrate, event.numberOfDroppedVideoFrames, event.numberOfStalls);
}

std::string describeErrorLogEntry(const platform::MediaErrorLogEvent& event) {
  return fmt::format(
      "NewErrorLogEntry:\ndate: {}\nuri: {}\nserverAddress: {}\nplaybackSessionID: {}\n"
      "errorStatusCode: {}\nerrorDomain: {}\nerrorComment: {}",
      event.date ? event.date->description() : "nil", privateValue(event.uri),
      privateValue(event.serverAddress), privateValue(event.playbackSessionID),
      event.errorStatusCode, publicValue(event.errorDomain), publicValue(event.errorComment));
}

PlayerBaseViewController::PlayerBaseViewController(Key /*key*/) {}

void PlayerBaseViewController::didMake() {
  if (player_ && !playerObserver_) observePlayer();
}

PlayerBaseViewController::~PlayerBaseViewController() {
  stopObservingPlayer();
  if (notificationCenter_) {
    for (const auto& token : applicationObservers_) notificationCenter_->removeObserver(token);
  }
}

std::shared_ptr<platform::View> PlayerBaseViewController::loadView() {
  auto root = std::make_shared<platform::View>();
  auto zooming = std::make_shared<platform::View>();
  auto surface = PlayerView::make();
  surface->contentMode = contentMode;
  auto overlay = PlayerOverlayView::make();
  zooming->addSubview(surface);
  root->addSubview(zooming);
  root->addSubview(overlay);
  zoomingView = zooming;
  playerView = surface;
  overlayView = overlay;
  return root;
}

void PlayerBaseViewController::viewDidLoad() {
  std::weak_ptr<ViewController> weak = weak_from_this();
  auto self = [weak] { return std::static_pointer_cast<PlayerBaseViewController>(weak.lock()); };
  overlayController->changeOverlayVisibleHandler = [self](bool visible) {
    if (auto s = self()) s->setOverlayViewVisibility(visible);
  };
  if (auto surface = playerView.lock()) surface->setPlayer(player_);
  notificationCenter_ = platform::NotificationCenter::current();
  applicationObservers_.push_back(
      notificationCenter_->addObserver(platform::kApplicationDidEnterBackgroundNotification,
                                       nullptr, [self](const platform::Notification&) {
                                         if (auto s = self()) s->applicationDidEnterBackground();
                                       }));
  applicationObservers_.push_back(
      notificationCenter_->addObserver(platform::kApplicationWillEnterForegroundNotification,
                                       nullptr, [self](const platform::Notification&) {
                                         if (auto s = self()) s->applicationWillEnterForeground();
                                       }));
}

void PlayerBaseViewController::setPlayer(std::shared_ptr<platform::MediaPlayer> player) {
  if (player == player_) return;
  const auto keep = keepAlive();
  stopObservingPlayer();
  player_ = std::move(player);
  if (auto surface = playerView.lock()) surface->setPlayer(player_);
  if (!player_) return;
  // In a subclass constructor nothing could reach the screen yet: make()
  // starts observing.
  if (keep) observePlayer();
  setupLooping();
}

void PlayerBaseViewController::observePlayer() {
  std::weak_ptr<ViewController> weak = weak_from_this();
  playerObserver_ = player_->addObserver(
      [weak](MediaPlayerEvent event, const std::shared_ptr<MediaPlayerItem>& item) {
        if (auto s = std::static_pointer_cast<PlayerBaseViewController>(weak.lock())) {
          s->observe(event, item);
        }
      });
  timeObserver_ = player_->addPeriodicTimeObserver(kTimeObserverInterval, [weak](double time) {
    if (auto s = std::static_pointer_cast<PlayerBaseViewController>(weak.lock())) {
      s->currentTimeDidChange(time);
    }
  });
}

void PlayerBaseViewController::stopObservingPlayer() {
  if (!player_) return;
  if (playerObserver_) player_->removeObserver(*playerObserver_);
  if (timeObserver_) player_->removeObserver(*timeObserver_);
  playerObserver_.reset();
  timeObserver_.reset();
}

void PlayerBaseViewController::setLoopingEnabled(bool enabled) {
  isLoopingEnabled_ = enabled;
  setupLooping();
}

void PlayerBaseViewController::setupLooping() {
  if (!player_) return;
  player_->setActionAtItemEnd(isLoopingEnabled_ ? platform::ActionAtItemEnd::none
                                                : platform::ActionAtItemEnd::pause);
}

void PlayerBaseViewController::observe(MediaPlayerEvent event,
                                       const std::shared_ptr<MediaPlayerItem>& item) {
  // The observer holds the screen for the length of this call.
  switch (event) {
    case MediaPlayerEvent::timeControlStatusDidChange:
      timeControlStatusDidChange();
      break;
    case MediaPlayerEvent::itemBufferDidChange:
      updateBuffering();
      break;
    case MediaPlayerEvent::itemStatusDidChange:
      if (!item) break;
      if (item->status() == MediaStatus::readyToPlay && playAfterPreparing_) {
        playAfterPreparing_ = false;
        player_->playImmediately(1.0);
      } else if (item->status() == MediaStatus::failed) {
        itemDidFail(item);
      }
      break;
    case MediaPlayerEvent::itemDidPlayToEndTime:
      itemDidFinishPlaying(item);
      break;
    case MediaPlayerEvent::itemNewAccessLogEntry:
      itemNewAccessLogEntry(item);
      break;
    case MediaPlayerEvent::itemNewErrorLogEntry:
      itemNewErrorLogEntry(item);
      break;
    case MediaPlayerEvent::itemPresentationSizeDidChange:
      // A copy: the callback may replace itself.
      if (auto callback = presentationSizeDidChange; item && callback) {
        callback(item->presentationSize());
      }
      break;
    case MediaPlayerEvent::currentItemDidChange: {
      FirstError errors;
      errors.run([&] { updateBuffering(); });
      errors.run([&] { currentTimeDidChange(item ? item->currentTime() : 0); });
      errors.rethrow();
      break;
    }
    case MediaPlayerEvent::rateDidChange:
      break;
  }
}

// ---------------------------------------------------------------------------
// Screen and application events

void PlayerBaseViewController::viewWillAppear(bool) {
  if (resumeWhenAppear && needResumeWhenAppear_) play();
}

void PlayerBaseViewController::viewWillDisappear(bool) {
  if (!pauseWhenDisappear) return;
  needResumeWhenAppear_ = isPlaying_;
  pause();
}

void PlayerBaseViewController::applicationDidEnterBackground() {
  if (auto surface = playerView.lock()) surface->setPlayer(nullptr);
  if (!pauseWhenEnterBackground) return;
  needResumeWhenEnterForeground_ = isPlaying_;
  pause();
}

void PlayerBaseViewController::applicationWillEnterForeground() {
  if (auto surface = playerView.lock()) surface->setPlayer(player_);
  if (resumeWhenEnterForeground && needResumeWhenEnterForeground_) {
    needResumeWhenEnterForeground_ = false;
    play();
  }
}

void PlayerBaseViewController::handleTap() {
  const auto overlay = overlayController;
  if (!tapToToggleOverlayVisibility || !overlay) return;
  const auto keep = keepAlive();
  if (overlay->isVisible()) {
    overlay->setOverlayVisible(false, 0, false, 0);
  } else {
    FirstError errors;
    errors.run([&] { overlay->setOverlayVisible(true, 0, false, 0); });
    errors.run([&] { updateOverlayVisibilityIfPlaying(); });
    errors.rethrow();
  }
}

// ---------------------------------------------------------------------------
// Overlay

void PlayerBaseViewController::setOverlayViewVisibility(bool visible) {
  auto overlay = overlayView.lock();
  if (!overlay) return;
  const std::shared_ptr<platform::View> target =
      isInlineMode ? overlay->controlsView() : std::static_pointer_cast<platform::View>(overlay);
  platform::ViewAnimation::animate(kOverlayAnimationDuration,
                                   [&] { target->setAlpha(visible ? 1 : 0); });
}

void PlayerBaseViewController::updateOverlayVisibilityIfPlaying() {
  if (automaticallyUpdateOverlayVisibility) updateOverlayVisibility();
}

void PlayerBaseViewController::updateOverlayVisibility() {
  // A copy: the host may replace the controller from inside its handler.
  const auto overlay = overlayController;
  if (!overlay) return;
  const bool playing = player_ && player_->timeControlStatus() == TimeControlStatus::playing;
  if (playing && hideOverlayViewIfPlaying) {
    overlay->setOverlayVisible(false, hideOverlayDelay, false, 0);
  } else {
    overlay->setOverlayVisible(true, 0, false, 0);
  }
}

void PlayerBaseViewController::updateBuffering() {
  if (!player_) return;
  const auto keep = keepAlive();
  bool buffering = false;
  const auto status = player_->timeControlStatus();
  const auto reason = player_->reasonForWaitingToPlay();
  if (status == TimeControlStatus::waitingToPlayAtSpecifiedRate &&
      (reason == platform::kWaitingToMinimizeStallsReason ||
       reason == platform::kWaitingWhileEvaluatingBufferingRateReason)) {
    buffering = true;
  } else if (status == TimeControlStatus::playing) {
    buffering = false;
  } else if (auto item = player_->currentItem()) {
    if (item->isPlaybackBufferFull()) {
      buffering = false;
    } else if (item->isPlaybackBufferEmpty()) {
      buffering = true;
    } else {
      buffering = !item->isPlaybackLikelyToKeepUp();
    }
  }
  if (auto overlay = overlayView.lock()) {
    if (buffering && !pendingSeekPosition_ && isPlaying_) {
      overlay->busyIndicator()->startAnimating();
    } else {
      overlay->busyIndicator()->stopAnimating();
    }
  }
  FirstError errors;
  errors.run([&] { bufferingStateDidChange(buffering); });
  errors.run([&] { updateOverlayVisibilityIfPlaying(); });
  errors.rethrow();
}

void PlayerBaseViewController::bufferingStateDidChange(bool) {}

// ---------------------------------------------------------------------------
// Playback

void PlayerBaseViewController::tryPlay() {
  if (!player_) return;
  const auto keep = keepAlive();
  auto item = player_->currentItem();
  if (!item || !(item->isPlaybackLikelyToKeepUp() || item->isPlaybackBufferFull())) return;
  if (isPlaying_ && player_->timeControlStatus() == TimeControlStatus::paused) {
    player_->playImmediately(1.0);
  }
}

void PlayerBaseViewController::play() {
  const auto keep = keepAlive();
  try {
    auto session = platform::AudioSession::current();
    session->setCategory(platform::AudioSession::Category::playback);
    session->setActive(true);
  } catch (const std::exception& e) {
    playbackLog().debug("Failed setup audio session: {}", describeError(e));
  }
  FirstError errors;
  if (player_) {
    if (auto item = player_->currentItem()) {
      const auto duration = item->duration();
      if (duration && item->currentTime() >= *duration) {
        errors.run([&] { player_->seek(0, nullptr); });
        errors.run([&] { currentTimeDidChange(0); });
      }
    }
  }
  isPlaying_ = true;
  if (player_ && player_->status() == MediaStatus::readyToPlay) {
    errors.run([&] { player_->playImmediately(1.0); });
  } else {
    playAfterPreparing_ = true;
  }
  errors.run([&] { setupRemoteCommandCenter(); });
  errors.rethrow();
}

void PlayerBaseViewController::pause() {
  const auto keep = keepAlive();
  playAfterPreparing_ = false;
  isPlaying_ = false;
  // The busy indicator spins only while playback is wanted. A player that was
  // not moving reports no change that would stop it.
  if (auto overlay = overlayView.lock(); overlay && overlay->busyIndicator()->isAnimating()) {
    overlay->busyIndicator()->stopAnimating();
    if (!overlay->seekBar()->isTracking) overlay->playButton()->isHidden = false;
  }
  if (player_) player_->pause();
}

void PlayerBaseViewController::stop() {
  const auto keep = keepAlive();
  FirstError errors;
  errors.run([&] { pause(); });
  errors.run([&] {
    if (player_) player_->replaceCurrentItem(nullptr);
  });
  errors.run([&] { invalidateRemoteComands(); });
  errors.rethrow();
}

void PlayerBaseViewController::seek(double time, std::function<void(bool finished)> completion) {
  if (!player_) {
    if (completion) completion(false);
    return;
  }
  const auto keep = keepAlive();
  pendingSeekPosition_ = time;
  std::weak_ptr<ViewController> weak = weak_from_this();
  player_->seek(time, [weak, completion = std::move(completion)](bool finished) {
    // The completion is called once whatever the hooks throw.
    FirstError errors;
    if (auto s = std::static_pointer_cast<PlayerBaseViewController>(weak.lock())) {
      s->pendingSeekPosition_.reset();
      if (auto item = s->player_ ? s->player_->currentItem() : nullptr) {
        errors.run([&] { s->currentTimeDidChange(item->currentTime()); });
      }
      errors.run([&] { s->updateBuffering(); });
    }
    if (completion) errors.run([&] { completion(finished); });
    errors.rethrow();
  });
}

void PlayerBaseViewController::seekInteractionEnded() { tryPlay(); }

void PlayerBaseViewController::replaceCurrentItem(std::shared_ptr<MediaPlayerItem> item,
                                                  bool needPlay) {
  if (!player_) return;
  const auto keep = keepAlive();
  FirstError errors;
  errors.run([&] { player_->replaceCurrentItem(std::move(item)); });
  if (needPlay) errors.run([&] { play(); });
  errors.rethrow();
}

void PlayerBaseViewController::currentTimeDidChange(double time) {
  auto overlay = overlayView.lock();
  if (!overlay) return;
  overlay->timeLabel()->text = formatTime(time);
  auto item = player_ ? player_->currentItem() : nullptr;
  const auto duration = item ? item->duration() : std::nullopt;
  overlay->durationLabel()->text = formatTime(duration.value_or(0));
  if (duration && *duration > 0 && !overlay->seekBar()->isTracking) {
    overlay->seekBar()->value = std::clamp(time / *duration, 0.0, 1.0);
  }
}

void PlayerBaseViewController::timeControlStatusDidChange() {
  const auto keep = keepAlive();
  FirstError errors;
  errors.run([&] { updateBuffering(); });
  auto overlay = overlayView.lock();
  if (overlay && !overlay->seekBar()->isTracking) {
    overlay->playButton()->isHidden = overlay->busyIndicator()->isAnimating();
    overlay->playButton()->isSelected =
        player_ && player_->timeControlStatus() == TimeControlStatus::playing;
  }
  errors.rethrow();
}

void PlayerBaseViewController::itemDidFinishPlaying(const std::shared_ptr<MediaPlayerItem>&) {
  const auto keep = keepAlive();
  FirstError errors;
  errors.run([&] {
    if (player_) player_->seek(0, nullptr);
  });
  if (!isLoopingEnabled_) errors.run([&] { pause(); });
  errors.rethrow();
}

void PlayerBaseViewController::itemDidFail(const std::shared_ptr<MediaPlayerItem>& item) {
  const auto keep = keepAlive();
  playbackLog().error("Player item failed: {}",
                      (item ? item->error() : std::nullopt).value_or("unknown error"));
  FirstError errors;
  errors.run([&] { pause(); });
  errors.run([&] { updateBuffering(); });
  errors.rethrow();
}

// ---------------------------------------------------------------------------
// Menus and diagnostics

platform::Menu PlayerBaseViewController::makeSelectPlaybackSpeedMenu(
    const std::shared_ptr<platform::MediaPlayer>& player) {
  const double current = player ? player->defaultRate() : 1.0;
  platform::Menu menu;
  menu.title = current == 1.0 ? localizedString("player_playback_speed") : speedTitle(current);
  menu.image = "gauge.with.dots.needle.67percent";
  std::weak_ptr<platform::MediaPlayer> weak = player;
  for (const double speed : kPlaybackSpeeds) {
    menu.children.push_back({speedTitle(speed), std::nullopt, speed == current, [weak, speed] {
                               if (auto p = weak.lock()) {
                                 p->setDefaultRate(speed);
                                 p->setRate(speed);
                               }
                             }});
  }
  return menu;
}

platform::Menu PlayerBaseViewController::makeSelectSubtitlesMenu(const MediaSelectionGroup& group) {
  platform::Menu menu;
  menu.title = localizedString("player_subtitles");
  menu.image = "captions.bubble";
  // Each entry holds its own copy of the callback: the group may be gone
  // when the menu is used.
  auto choose = [select = group.select](std::optional<std::size_t> index) {
    return [select, index] {
      if (select) select(index);
    };
  };
  if (group.allowsEmptySelection) {
    menu.children.push_back({localizedString("player_subtitles_off"), std::nullopt,
                             !group.selectedIndex, choose(std::nullopt)});
  }
  for (std::size_t i = 0; i < group.options.size(); ++i) {
    menu.children.push_back(
        {group.options[i].displayName, std::nullopt, group.selectedIndex == i, choose(i)});
  }
  return menu;
}

std::string PlayerBaseViewController::localizedString(const std::string& key) const { return key; }

void PlayerBaseViewController::itemNewAccessLogEntry(const std::shared_ptr<MediaPlayerItem>& item) {
  if (!item) return;
  const auto log = item->accessLog();
  if (!log.empty()) playbackLog().debug("{}", describeAccessLogEntry(log.back()));
}

void PlayerBaseViewController::itemNewErrorLogEntry(const std::shared_ptr<MediaPlayerItem>& item) {
  if (!item) return;
  const auto log = item->errorLog();
  if (!log.empty()) playbackLog().debug("{}", describeErrorLogEntry(log.back()));
}

}  // namespace quarn
