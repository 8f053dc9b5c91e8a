/// @file
/// SimulatedPlayer and SimulatedPlayerItem (shared objects, made only by
/// make()): a media player without a media stack, driven by the injectable
/// clock and timer scheduler. It buffers,
/// plays, stalls and ends on command, so that tests (and hosts without a
/// player) see the states a real player goes through:
///
/// ```
///   auto item = SimulatedPlayerItem::make(10.0);   // 10 s long
///   auto player = SimulatedPlayer::make(item);
///   player->play();            // waiting: the item is not ready yet
///   item->becomeReady();
///   item->setLoadedDuration(4);// 4 s buffered: playing
///   clock->advance(4);         // stalls at 4 s, waiting to minimise stalls
///   item->loadAll();           // plays on; at 10 s it ends
/// ```
///
/// Playback model:
/// - time moves at the rate while playing, from the clock; a timer fires when
///   it reaches the end of what is loaded (a stall) or the item's end;
/// - the buffer is empty when nothing is loaded beyond the current time, full
///   when the whole item is loaded, and likely to keep up when it is full or
///   not empty while the network keeps up (setLikelyToKeepUp);
/// - setRate()/play() wait until playback is likely to keep up;
///   playImmediately() plays as soon as anything is loaded; after a stall
///   playback resumes once it is likely to keep up again;
/// - at the item's end the player pauses (actionAtItemEnd pause or advance)
///   or stays playing at the end (none) until a seek moves it, then posts
///   itemDidPlayToEndTime;
/// - seeks clamp to 0...duration and complete at once (a time that is not a
///   number, or no item, completes with false);
/// - rates that are not positive finite numbers pause; an item that fails
///   pauses the player.
/// The player's status is its item's (unknown without one). Main context only.
///
/// The player's timers reach it through weak references, and an item refers
/// back to the player playing it, hence make(). A command keeps the player alive while its
/// observers hear of it, and every observer hears every event before an observer's exception
/// propagates to the command (for a timer's event, out of the timer's firing). A periodic time
/// observer that throws is still called at its next period.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/platform/media/media_player.h"

namespace quarn::platform {

class SimulatedPlayer;
class Timer;
namespace detail {
class FirstError;
}

/// The headless toolkit's media item: a test drives its readiness, loading,
/// failure and logs. A shared object, made by make().
class SimulatedPlayerItem final : public MediaPlayerItem {
  // Lets make() use std::make_shared while nobody else can construct one.
  class Key {
    friend class SimulatedPlayerItem;
    Key() = default;
  };

 public:
  /// An item `duration` seconds long (absent or not a finite number: a
  /// stream without an end; negative: 0), not ready, with nothing loaded.
  static std::shared_ptr<SimulatedPlayerItem> make(std::optional<double> duration);
  /// For std::make_shared only: the key is private, so hosts call make().
  SimulatedPlayerItem(Key /*key*/, std::optional<double> duration);

  [[nodiscard]] MediaStatus status() const override { return status_; }
  [[nodiscard]] std::optional<std::string> error() const override { return error_; }
  [[nodiscard]] std::optional<double> duration() const override { return duration_; }
  [[nodiscard]] double currentTime() const override;
  [[nodiscard]] bool isPlaybackLikelyToKeepUp() const override;
  [[nodiscard]] bool isPlaybackBufferFull() const override;
  [[nodiscard]] bool isPlaybackBufferEmpty() const override;
  [[nodiscard]] Size presentationSize() const override { return presentationSize_; }
  [[nodiscard]] std::vector<MediaAccessLogEvent> accessLog() const override { return accessLog_; }
  [[nodiscard]] std::vector<MediaErrorLogEvent> errorLog() const override { return errorLog_; }

  /// Makes the item ready to play.
  void becomeReady();
  /// Makes the item fail with `error`.
  void fail(std::string error);
  /// Seconds from the start that are loaded (negative counts as 0; not a
  /// number is ignored).
  void setLoadedDuration(double seconds);
  /// Loads the whole item.
  void loadAll();
  /// Seconds from the start that are loaded.
  [[nodiscard]] double loadedDuration() const { return loaded_; }
  /// Whether the network delivers fast enough (initially true).
  void setLikelyToKeepUp(bool likely);
  /// Sets the video's size (the player tells its observers).
  void setPresentationSize(Size size);
  /// Adds an access-log entry (the player tells its observers).
  void addAccessLogEvent(MediaAccessLogEvent event);
  /// Adds an error-log entry (the player tells its observers).
  void addErrorLogEvent(MediaErrorLogEvent event);

 private:
  friend class SimulatedPlayer;
  // Changes state through `change`, telling the player it plays in.
  template <class F>
  void change(F&& change, std::optional<MediaPlayerEvent> event);
  [[nodiscard]] bool isFull() const;
  [[nodiscard]] bool isEmptyAt(double time) const;

  std::weak_ptr<SimulatedPlayer> player_;
  MediaStatus status_ = MediaStatus::unknown;
  std::optional<std::string> error_;
  std::optional<double> duration_;
  double time_ = 0;  // the current time when the player last settled it
  double loaded_ = 0;
  bool likelyToKeepUp_ = true;
  Size presentationSize_;
  std::vector<MediaAccessLogEvent> accessLog_;
  std::vector<MediaErrorLogEvent> errorLog_;
};

/// The headless toolkit's player: plays a SimulatedPlayerItem as time passes
/// on the current clock. A shared object, made by make().
class SimulatedPlayer final : public MediaPlayer,
                              public std::enable_shared_from_this<SimulatedPlayer> {
  class Key {
    friend class SimulatedPlayer;
    Key() = default;
  };

 public:
  /// A paused player of `item` (or none).
  static std::shared_ptr<SimulatedPlayer> make(std::shared_ptr<SimulatedPlayerItem> item = nullptr);
  /// For std::make_shared only: the key is private, so hosts call make().
  explicit SimulatedPlayer(Key /*key*/) {}
  ~SimulatedPlayer() override;

  [[nodiscard]] std::shared_ptr<MediaPlayerItem> currentItem() const override { return item_; }
  /// Takes a SimulatedPlayerItem (or none); another kind of item is a
  /// programming error.
  void replaceCurrentItem(std::shared_ptr<MediaPlayerItem> item) override;
  [[nodiscard]] MediaStatus status() const override;
  [[nodiscard]] TimeControlStatus timeControlStatus() const override { return status_; }
  [[nodiscard]] std::optional<std::string> reasonForWaitingToPlay() const override {
    return reason_;
  }
  [[nodiscard]] double rate() const override { return rate_; }
  void setRate(double rate) override;
  [[nodiscard]] double defaultRate() const override { return defaultRate_; }
  void setDefaultRate(double rate) override { defaultRate_ = rate; }
  void playImmediately(double rate) override;
  void seek(double time, std::function<void(bool finished)> completion) override;
  [[nodiscard]] ActionAtItemEnd actionAtItemEnd() const override { return actionAtItemEnd_; }
  void setActionAtItemEnd(ActionAtItemEnd action) override;
  [[nodiscard]] bool isMuted() const override { return muted_; }
  void setMuted(bool muted) override { muted_ = muted; }
  ObserverID addPeriodicTimeObserver(double interval, TimeObserver observer) override;

  /// Moves the current item to its end now, as if it had loaded and played
  /// there.
  void playToEnd();

 private:
  friend class SimulatedPlayerItem;
  struct TimeObserverEntry {
    ObserverID id;
    std::shared_ptr<Timer> timer;  // the next period's
  };

  void removeOwnObserver(ObserverID id) override;
  // The current time of the item, moved on by the clock while playing.
  [[nodiscard]] double liveTime() const;
  // Where moving time stops: the end of what is loaded, or the item's end.
  [[nodiscard]] double limit() const;
  [[nodiscard]] bool atEnd() const;
  // Brings the item's time up to now.
  void settle();
  // Decides the playback state from the rest, re-arms the timer and posts
  // what changed, keeping what the observers throw in `errors`.
  void update(detail::FirstError& errors);
  // Posts `event` of the current item, keeping what the observers throw.
  void post(detail::FirstError& errors, MediaPlayerEvent event);
  // Schedules the next period of a time observer; false once it is removed.
  bool armTimeObserver(ObserverID id, double interval, std::shared_ptr<TimeObserver> observer);
  void reachedLimit();
  void changeRate(double rate, bool waitToKeepUp);

  std::shared_ptr<SimulatedPlayerItem> item_;
  double rate_ = 0;
  double defaultRate_ = 1.0;
  ActionAtItemEnd actionAtItemEnd_ = ActionAtItemEnd::pause;
  bool muted_ = false;
  TimeControlStatus status_ = TimeControlStatus::paused;
  std::optional<std::string> reason_;
  bool waitingToKeepUp_ = false;
  bool moving_ = false;  // whether time moves
  double anchor_ = 0;    // the clock's monotonic time when the item's time was settled
  std::shared_ptr<Timer> limitTimer_;
  struct BufferState {
    bool likely = false, full = false, empty = true;
    friend bool operator==(const BufferState&, const BufferState&) = default;
  };
  BufferState lastBuffer_;
  std::vector<TimeObserverEntry> timeObservers_;
};

}  // namespace quarn::platform
