/// @file
/// MediaPlayer and MediaPlayerItem (interfaces of shared objects, held by
/// shared_ptr and never copied; the log events are values): what the library
/// needs of the platform's media player: playback state and waiting reasons,
/// the item's status, duration, current time and buffer, access and error
/// logs, rate, seeking and what happens at the item's end.
///
/// Observers receive every change as a MediaPlayerEvent, on the main context:
///
/// ```
///   auto id = player->addObserver([](MediaPlayerEvent e, const auto& item) {
///     if (e == MediaPlayerEvent::timeControlStatusDidChange) refresh();
///   });
///   player->removeObserver(id);
/// ```
///
/// SimulatedPlayer (simulated_player.h) implements the interface on the
/// injectable clock, for tests and for hosts without a media stack.
///
/// Every observer hears every event, even when an earlier one throws; the
/// first exception then propagates to the command that caused the event. An
/// observer may drop the last reference to the player: an implementation
/// keeps itself alive while it notifies.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quarnkit/core/date.h"
#include "quarnkit/platform/ui/geometry.h"

namespace quarn::platform {

/// Whether playback is under way.
enum class TimeControlStatus { paused, waitingToPlayAtSpecifiedRate, playing };

/// Why a player waits, in the platform's words: to buffer enough that
/// playback will not stall.
inline constexpr std::string_view kWaitingToMinimizeStallsReason =
    "AVPlayerWaitingToMinimizeStallsReason";
/// The player waits while it measures how fast data arrives.
inline constexpr std::string_view kWaitingWhileEvaluatingBufferingRateReason =
    "AVPlayerWaitingWhileEvaluatingBufferingRateReason";
/// The player waits because it has no item.
inline constexpr std::string_view kWaitingWithNoItemToPlayReason =
    "AVPlayerWaitingWithNoItemToPlayReason";

/// Whether an item (or a player) can play.
enum class MediaStatus { unknown, readyToPlay, failed };

/// What the player does when its item plays to the end.
enum class ActionAtItemEnd { advance, pause, none };

/// One entry of an item's access log.
struct MediaAccessLogEvent {
  std::optional<std::string> uri{};                ///< The media's URI.
  std::optional<std::string> serverAddress{};      ///< The server's address.
  std::optional<std::string> playbackSessionID{};  ///< The playback session.
  std::optional<Date> playbackStartDate{};         ///< When playback began.
  double indicatedBitrate = 0;                     ///< The stream's bitrate, bits per second.
  std::int64_t numberOfDroppedVideoFrames = 0;     ///< Video frames dropped.
  std::int64_t numberOfStalls = 0;                 ///< Times playback stalled.
};

/// One entry of an item's error log.
struct MediaErrorLogEvent {
  std::optional<Date> date{};                      ///< When the error happened.
  std::optional<std::string> uri{};                ///< The media's URI.
  std::optional<std::string> serverAddress{};      ///< The server's address.
  std::optional<std::string> playbackSessionID{};  ///< The playback session.
  std::int64_t errorStatusCode = 0;                ///< The error's status code.
  std::optional<std::string> errorDomain{};        ///< The error's domain.
  std::optional<std::string> errorComment{};       ///< The error in words.
};

/// A piece of media a player plays: its status, duration, position, buffer
/// and logs (an interface; SimulatedPlayerItem is the headless one). A
/// unique object, shared by the player that plays it.
class MediaPlayerItem {
 public:
  MediaPlayerItem() = default;
  virtual ~MediaPlayerItem() = default;
  MediaPlayerItem(const MediaPlayerItem&) = delete;
  MediaPlayerItem& operator=(const MediaPlayerItem&) = delete;

  /// Whether the item can play.
  [[nodiscard]] virtual MediaStatus status() const = 0;
  /// Why the item failed, once it has.
  [[nodiscard]] virtual std::optional<std::string> error() const = 0;
  /// Seconds; absent while unknown or for a stream without an end.
  [[nodiscard]] virtual std::optional<double> duration() const = 0;
  /// Seconds from the start.
  [[nodiscard]] virtual double currentTime() const = 0;
  /// Whether enough is buffered to play on without stalling.
  [[nodiscard]] virtual bool isPlaybackLikelyToKeepUp() const = 0;
  /// Whether the buffer is full.
  [[nodiscard]] virtual bool isPlaybackBufferFull() const = 0;
  /// Whether the buffer is empty.
  [[nodiscard]] virtual bool isPlaybackBufferEmpty() const = 0;
  /// The video's size (zero for audio, or while unknown).
  [[nodiscard]] virtual Size presentationSize() const = 0;
  /// The access log, oldest entry first.
  [[nodiscard]] virtual std::vector<MediaAccessLogEvent> accessLog() const = 0;
  /// The error log, oldest entry first.
  [[nodiscard]] virtual std::vector<MediaErrorLogEvent> errorLog() const = 0;
};

/// What a player tells its observers.
enum class MediaPlayerEvent {
  timeControlStatusDidChange,     ///< The time control status (or the waiting reason) changed.
  rateDidChange,                  ///< The rate changed.
  currentItemDidChange,           ///< Another item is current.
  itemStatusDidChange,            ///< The item's status changed.
  itemBufferDidChange,            ///< One of the item's three buffer states changed.
  itemPresentationSizeDidChange,  ///< The item's video size changed.
  itemDidPlayToEndTime,           ///< The item played to its end.
  itemNewAccessLogEntry,          ///< The item's access log has a new entry.
  itemNewErrorLogEntry,           ///< The item's error log has a new entry.
};

/// Plays one item at a time and tells observers what happens (an interface;
/// SimulatedPlayer is the headless one). A unique object, shared by the
/// screens that show it.
class MediaPlayer {
 public:
  /// Told each event, with the item it concerns.
  using Observer = std::function<void(MediaPlayerEvent, const std::shared_ptr<MediaPlayerItem>&)>;
  /// Told the current time, in seconds.
  using TimeObserver = std::function<void(double time)>;
  /// Identifies an observer for removeObserver().
  using ObserverID = std::uint64_t;

  MediaPlayer() = default;
  virtual ~MediaPlayer() = default;
  MediaPlayer(const MediaPlayer&) = delete;
  MediaPlayer& operator=(const MediaPlayer&) = delete;

  /// The item playing, or null.
  [[nodiscard]] virtual std::shared_ptr<MediaPlayerItem> currentItem() const = 0;
  /// Makes `item` (or none) the current item.
  virtual void replaceCurrentItem(std::shared_ptr<MediaPlayerItem> item) = 0;
  /// Whether the player can play its current item.
  [[nodiscard]] virtual MediaStatus status() const = 0;
  /// Whether playback is under way, waiting or paused.
  [[nodiscard]] virtual TimeControlStatus timeControlStatus() const = 0;
  /// Why it waits, while it does.
  [[nodiscard]] virtual std::optional<std::string> reasonForWaitingToPlay() const = 0;
  /// The requested rate: 0 when paused.
  [[nodiscard]] virtual double rate() const = 0;
  /// Plays at `rate` once playback is likely to keep up (0 pauses).
  virtual void setRate(double rate) = 0;
  /// The rate play() uses.
  [[nodiscard]] virtual double defaultRate() const = 0;
  /// Sets the rate play() uses.
  virtual void setDefaultRate(double rate) = 0;
  /// Plays at the default rate.
  void play() { setRate(defaultRate()); }
  /// Pauses (rate 0).
  void pause() { setRate(0); }
  /// Plays at `rate` as soon as anything is buffered, without waiting for
  /// playback to be likely to keep up.
  virtual void playImmediately(double rate) = 0;
  /// Moves to `time` (seconds, clamped to the item); the completion says
  /// whether the seek finished (false when interrupted or impossible).
  virtual void seek(double time, std::function<void(bool finished)> completion) = 0;
  /// What the player does at the item's end.
  [[nodiscard]] virtual ActionAtItemEnd actionAtItemEnd() const = 0;
  /// Sets what the player does at the item's end.
  virtual void setActionAtItemEnd(ActionAtItemEnd action) = 0;
  /// Whether the sound is off.
  [[nodiscard]] virtual bool isMuted() const = 0;
  /// Turns the sound off or on.
  virtual void setMuted(bool muted) = 0;

  /// Calls `observer` with every event until removed.
  ObserverID addObserver(Observer observer);
  /// Removes the observer `id` (either kind); an unknown id changes nothing.
  void removeObserver(ObserverID id);
  /// Calls `observer` with the current time every `interval` seconds while
  /// playing; removed with removeObserver().
  virtual ObserverID addPeriodicTimeObserver(double interval, TimeObserver observer) = 0;

 protected:
  /// Calls the observers (those added or removed meanwhile are not called),
  /// every one even when an earlier one throws; then rethrows the first
  /// exception.
  void notify(MediaPlayerEvent event, std::shared_ptr<MediaPlayerItem> item);
  /// A new observer id, for implementations keeping observers of their own.
  ObserverID nextObserverID() { return ++lastObserverID_; }
  /// For implementations keeping observers of their own.
  virtual void removeOwnObserver(ObserverID) {}

 private:
  struct Registration {
    ObserverID id;
    std::shared_ptr<Observer> observer;
  };
  std::vector<Registration> observers_;
  ObserverID lastObserverID_ = 0;
};

}  // namespace quarn::platform
