#include "quarnkit/platform/media/simulated_player.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "quarnkit/core/error.h"
#include "quarnkit/platform/media/detail/first_error.h"
#include "quarnkit/platform/runtime/clock.h"

namespace quarn::platform {

namespace {
constexpr double kInfinity = std::numeric_limits<double>::infinity();

double now() { return Clock::current()->monotonicNow(); }

std::optional<double> usableDuration(std::optional<double> duration) {
  if (!duration || !std::isfinite(*duration)) return std::nullopt;
  return std::max(*duration, 0.0);
}
}  // namespace

// ---------------------------------------------------------------------------
// Item

std::shared_ptr<SimulatedPlayerItem> SimulatedPlayerItem::make(std::optional<double> duration) {
  return std::make_shared<SimulatedPlayerItem>(Key(), duration);
}

SimulatedPlayerItem::SimulatedPlayerItem(Key /*key*/, std::optional<double> duration)
    : duration_(usableDuration(duration)) {}

double SimulatedPlayerItem::currentTime() const {
  if (auto player = player_.lock()) return player->liveTime();
  return time_;
}

bool SimulatedPlayerItem::isFull() const { return duration_ && loaded_ >= *duration_; }

bool SimulatedPlayerItem::isEmptyAt(double time) const { return !isFull() && loaded_ <= time; }

bool SimulatedPlayerItem::isPlaybackBufferFull() const { return isFull(); }
bool SimulatedPlayerItem::isPlaybackBufferEmpty() const { return isEmptyAt(currentTime()); }
bool SimulatedPlayerItem::isPlaybackLikelyToKeepUp() const {
  return isFull() || (likelyToKeepUp_ && !isEmptyAt(currentTime()));
}

template <class F>
void SimulatedPlayerItem::change(F&& apply, std::optional<MediaPlayerEvent> event) {
  // Held strongly: an observer may drop every other reference to the player.
  auto player = player_.lock();
  if (!player) {
    apply();
    return;
  }
  player->settle();  // the time up to now counts under the old state
  apply();
  detail::FirstError errors;
  player->update(errors);
  if (event) player->post(errors, *event);
  errors.rethrow();
}

void SimulatedPlayerItem::becomeReady() {
  if (status_ != MediaStatus::unknown) return;
  change([&] { status_ = MediaStatus::readyToPlay; }, MediaPlayerEvent::itemStatusDidChange);
}

void SimulatedPlayerItem::fail(std::string error) {
  if (status_ == MediaStatus::failed) return;
  change(
      [&] {
        status_ = MediaStatus::failed;
        error_ = std::move(error);
        if (auto player = player_.lock()) player->rate_ = 0;
      },
      MediaPlayerEvent::itemStatusDidChange);
}

void SimulatedPlayerItem::setLoadedDuration(double seconds) {
  if (std::isnan(seconds)) return;
  change([&] { loaded_ = std::max(seconds, 0.0); }, std::nullopt);
}

void SimulatedPlayerItem::loadAll() { setLoadedDuration(duration_ ? *duration_ : kInfinity); }

void SimulatedPlayerItem::setLikelyToKeepUp(bool likely) {
  change([&] { likelyToKeepUp_ = likely; }, std::nullopt);
}

void SimulatedPlayerItem::setPresentationSize(Size size) {
  change([&] { presentationSize_ = size; }, MediaPlayerEvent::itemPresentationSizeDidChange);
}

void SimulatedPlayerItem::addAccessLogEvent(MediaAccessLogEvent event) {
  change([&] { accessLog_.push_back(std::move(event)); }, MediaPlayerEvent::itemNewAccessLogEntry);
}

void SimulatedPlayerItem::addErrorLogEvent(MediaErrorLogEvent event) {
  change([&] { errorLog_.push_back(std::move(event)); }, MediaPlayerEvent::itemNewErrorLogEntry);
}

// ---------------------------------------------------------------------------
// Player

std::shared_ptr<SimulatedPlayer> SimulatedPlayer::make(std::shared_ptr<SimulatedPlayerItem> item) {
  auto player = std::make_shared<SimulatedPlayer>(Key());
  if (item) player->replaceCurrentItem(std::move(item));
  return player;
}

SimulatedPlayer::~SimulatedPlayer() {
  if (limitTimer_) limitTimer_->invalidate();
  for (auto& entry : timeObservers_) {
    if (entry.timer) entry.timer->invalidate();
  }
}

MediaStatus SimulatedPlayer::status() const {
  return item_ ? item_->status() : MediaStatus::unknown;
}

double SimulatedPlayer::liveTime() const {
  if (!item_) return 0;
  if (!moving_) return item_->time_;
  return std::min(item_->time_ + (now() - anchor_) * rate_, limit());
}

double SimulatedPlayer::limit() const {
  if (!item_) return 0;
  if (item_->isFull()) return item_->duration_.value_or(kInfinity);
  return item_->loaded_;
}

bool SimulatedPlayer::atEnd() const {
  return item_ && item_->duration_ && item_->time_ >= *item_->duration_;
}

void SimulatedPlayer::settle() {
  if (item_) item_->time_ = liveTime();
  anchor_ = now();
}

void SimulatedPlayer::post(detail::FirstError& errors, MediaPlayerEvent event) {
  errors.run([&] { notify(event, item_); });
}

void SimulatedPlayer::update(detail::FirstError& errors) {
  const TimeControlStatus oldStatus = status_;
  const std::optional<std::string> oldReason = reason_;
  std::optional<std::string_view> reason;
  if (!(rate_ > 0)) {
    status_ = TimeControlStatus::paused;
  } else if (!item_) {
    reason = kWaitingWithNoItemToPlayReason;
  } else if (item_->status_ == MediaStatus::unknown) {
    reason = kWaitingWhileEvaluatingBufferingRateReason;
  } else if (item_->status_ == MediaStatus::failed) {
    status_ = TimeControlStatus::paused;
  } else if (atEnd()) {
    status_ = TimeControlStatus::playing;  // stays at the end until a seek
  } else if (item_->isEmptyAt(item_->time_) ||
             (waitingToKeepUp_ && !item_->isPlaybackLikelyToKeepUp())) {
    waitingToKeepUp_ = true;
    reason = kWaitingToMinimizeStallsReason;
  } else {
    status_ = TimeControlStatus::playing;
    waitingToKeepUp_ = false;
  }
  if (reason) status_ = TimeControlStatus::waitingToPlayAtSpecifiedRate;
  reason_ = reason ? std::optional<std::string>(*reason) : std::nullopt;

  // Time moves while playing, but not past the end it rests at.
  moving_ = status_ == TimeControlStatus::playing &&
            !(atEnd() && actionAtItemEnd_ == ActionAtItemEnd::none);
  anchor_ = now();
  if (limitTimer_) limitTimer_->invalidate();
  limitTimer_.reset();
  if (moving_) {
    const double remaining = (limit() - item_->time_) / rate_;
    if (std::isfinite(remaining)) {
      std::weak_ptr<SimulatedPlayer> weak = weak_from_this();
      limitTimer_ =
          TimerScheduler::current()->scheduleTimer(std::max(remaining, 0.0), false, [weak](Timer&) {
            if (auto self = weak.lock()) self->reachedLimit();
          });
    }
  }

  BufferState buffer;
  if (item_) {
    buffer = {item_->isPlaybackLikelyToKeepUp(), item_->isFull(), item_->isEmptyAt(item_->time_)};
  }
  const bool bufferChanged = item_ && buffer != lastBuffer_;
  lastBuffer_ = buffer;
  // Posted last, so that observers see the state complete.
  if (status_ != oldStatus || reason_ != oldReason) {
    post(errors, MediaPlayerEvent::timeControlStatusDidChange);
  }
  if (bufferChanged) post(errors, MediaPlayerEvent::itemBufferDidChange);
}

void SimulatedPlayer::reachedLimit() {
  limitTimer_.reset();
  if (!item_ || !moving_) return;
  // Exactly at the limit: the timer fires at a whole nanosecond.
  item_->time_ = limit();
  anchor_ = now();
  detail::FirstError errors;
  if (!atEnd()) {  // a stall at the end of what is loaded
    waitingToKeepUp_ = true;
    update(errors);
    errors.rethrow();
    return;
  }
  const auto item = item_;
  if (actionAtItemEnd_ != ActionAtItemEnd::none) {
    rate_ = 0;
    update(errors);
    errors.run([&] { notify(MediaPlayerEvent::rateDidChange, item); });
  } else {
    update(errors);
  }
  errors.run([&] { notify(MediaPlayerEvent::itemDidPlayToEndTime, item); });
  errors.rethrow();
}

void SimulatedPlayer::playToEnd() {
  if (!item_ || !item_->duration_) return;
  const auto self = shared_from_this();  // observers may drop the host's references
  settle();
  item_->loaded_ = std::max(item_->loaded_, *item_->duration_);
  item_->time_ = *item_->duration_;
  const bool wasMoving = rate_ > 0 && item_->status_ == MediaStatus::readyToPlay;
  if (wasMoving) {
    moving_ = true;
    reachedLimit();
  } else {
    detail::FirstError errors;
    update(errors);
    post(errors, MediaPlayerEvent::itemDidPlayToEndTime);
    errors.rethrow();
  }
}

void SimulatedPlayer::changeRate(double rate, bool waitToKeepUp) {
  const auto self = shared_from_this();
  settle();
  const double old = rate_;
  rate_ = rate > 0 && std::isfinite(rate) ? rate : 0.0;
  waitingToKeepUp_ = waitToKeepUp && status_ != TimeControlStatus::playing;
  detail::FirstError errors;
  update(errors);
  if (rate_ != old) post(errors, MediaPlayerEvent::rateDidChange);
  errors.rethrow();
}

void SimulatedPlayer::setRate(double rate) { changeRate(rate, true); }

void SimulatedPlayer::playImmediately(double rate) { changeRate(rate, false); }

void SimulatedPlayer::seek(double time, std::function<void(bool finished)> completion) {
  if (!item_ || std::isnan(time)) {
    if (completion) completion(false);
    return;
  }
  const auto self = shared_from_this();
  settle();
  double target = std::max(time, 0.0);
  if (item_->duration_) target = std::min(target, *item_->duration_);
  item_->time_ = target;
  // The seek has finished whatever the observers throw.
  detail::FirstError errors;
  update(errors);
  if (completion) errors.run([&] { completion(true); });
  errors.rethrow();
}

void SimulatedPlayer::setActionAtItemEnd(ActionAtItemEnd action) {
  const auto self = shared_from_this();
  settle();
  actionAtItemEnd_ = action;
  detail::FirstError errors;
  update(errors);
  errors.rethrow();
}

void SimulatedPlayer::replaceCurrentItem(std::shared_ptr<MediaPlayerItem> item) {
  auto simulated = std::dynamic_pointer_cast<SimulatedPlayerItem>(item);
  if (item && !simulated) fatalError("SimulatedPlayer plays SimulatedPlayerItem only");
  if (simulated == item_) return;
  const auto self = shared_from_this();
  detail::FirstError errors;
  if (simulated) {
    if (auto other = simulated->player_.lock()) {
      errors.run([&] { other->replaceCurrentItem(nullptr); });
    }
  }
  settle();
  if (item_) item_->player_.reset();
  item_ = std::move(simulated);
  if (item_) {
    item_->player_ = weak_from_this();
    lastBuffer_ = {item_->isPlaybackLikelyToKeepUp(), item_->isFull(),
                   item_->isEmptyAt(item_->time_)};
  }
  waitingToKeepUp_ = rate_ > 0;
  update(errors);
  post(errors, MediaPlayerEvent::currentItemDidChange);
  errors.rethrow();
}

MediaPlayer::ObserverID SimulatedPlayer::addPeriodicTimeObserver(double interval,
                                                                 TimeObserver observer) {
  const ObserverID id = nextObserverID();
  // An interval that is not a positive number observes nothing.
  if (!(interval > 0) || !std::isfinite(interval)) return id;
  timeObservers_.push_back({id, nullptr});
  armTimeObserver(id, interval, std::make_shared<TimeObserver>(std::move(observer)));
  return id;
}

bool SimulatedPlayer::armTimeObserver(ObserverID id, double interval,
                                      std::shared_ptr<TimeObserver> observer) {
  auto entry = std::find_if(timeObservers_.begin(), timeObservers_.end(),
                            [id](const TimeObserverEntry& e) { return e.id == id; });
  if (entry == timeObservers_.end()) return false;
  // A one-shot timer per period, the next armed before the observer is
  // called: an observer that throws is still called at the next period.
  std::weak_ptr<SimulatedPlayer> weak = weak_from_this();
  entry->timer = TimerScheduler::current()->scheduleTimer(
      interval, false, [weak, id, interval, observer](Timer&) {
        auto self = weak.lock();
        if (!self || !self->armTimeObserver(id, interval, observer)) return;
        if (self->status_ == TimeControlStatus::playing && *observer) {
          (*observer)(self->liveTime());
        }
      });
  return true;
}

void SimulatedPlayer::removeOwnObserver(ObserverID id) {
  std::erase_if(timeObservers_, [id](const TimeObserverEntry& e) {
    if (e.id != id) return false;
    if (e.timer) e.timer->invalidate();
    return true;
  });
}

}  // namespace quarn::platform
