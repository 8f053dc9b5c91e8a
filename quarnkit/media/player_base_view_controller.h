/// @file
/// PlayerBaseViewController (a shared object, made only by make<Screen>()):
/// the base of the library's video player screens. It owns the player being
/// controlled, a video surface and a controls overlay, and decides when the
/// overlay shows, when the busy indicator spins, and how playback follows the
/// screen appearing and disappearing and the application going to the
/// background and back.
///
/// The player's observers, the overlay's timer and the application's
/// notifications reach the screen through weak references, hence make().
/// Hosts subclass it; a subclass inherits (or forwards) the constructor taking
/// the key that only make() gives:
///
/// ```
///   class MoviePlayerScreen : public PlayerBaseViewController {
///    public:
///     using PlayerBaseViewController::PlayerBaseViewController;
///   };
///   auto screen = PlayerBaseViewController::make<MoviePlayerScreen>();
///   screen->setLoopingEnabled(true);
///   screen->setPlayer(SimulatedPlayer::make(item));
///   window->setRootViewController(screen);                 // loads the view
///   screen->play();
/// ```
///
/// The overlay's timing is a PlayerOverlayController's: while playing (with
/// hideOverlayViewIfPlaying) the overlay hides hideOverlayDelay seconds after
/// the last playback update, otherwise it shows at once. Every operation is
/// virtual so that host screens can refine it. The screen reads the player's
/// changes through its observer, and the application's through the current
/// NotificationCenter; the toolkit (or the host) calls viewWillAppear() and
/// viewWillDisappear(). Main context only.
///
/// The screen calls into the host through its overridable hooks (the player's
/// status, time, buffering, item end, failure and logs, the overlay's
/// visibility, the application's events), presentationSizeDidChange and seek
/// completions. Inside any of them the host may:
/// - drop its last reference: the screen finishes the step under way, then
///   goes and stops observing;
/// - call back in (play, pause, seek, stop, show or hide the overlay): the
///   call takes effect at once, and the rest of the step works on the state
///   it leaves;
/// - throw: the screen still finishes the step (a seek completes and calls its
///   completion once, an item's end still pauses, stop() still empties the
///   player), then the exception propagates to what triggered the hook: the
///   host's call, the player's command, or the timer or notification firing.
///
/// Diagnostics of the item's access and error logs go to the playback log
/// ("Velmora/Playback") at debug level, with the URI, the server address and
/// the session identifier written as "<private>".
#pragma once

#include <concepts>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "quarnkit/media/media_selection.h"
#include "quarnkit/media/player_overlay_controller.h"
#include "quarnkit/media/player_view.h"
#include "quarnkit/platform/media/media_player.h"
#include "quarnkit/platform/notification_center.h"
#include "quarnkit/platform/ui/menu.h"
#include "quarnkit/platform/ui/view_controller.h"

namespace quarn {

/// The base of the library's video player screens (see the file's
/// description). A shared object: made only by make().
class PlayerBaseViewController : public platform::ViewController {
 protected:
  /// The constructor's argument: subclasses pass it on, only make() has one.
  class Key {
    friend class PlayerBaseViewController;
    Key() = default;
  };

 public:
  /// A screen of type `Screen` (this class or a subclass), built from `args`
  /// after the key.
  template <class Screen = PlayerBaseViewController, class... Args>
  requires std::derived_from<Screen, PlayerBaseViewController>
  static std::shared_ptr<Screen> make(Args&&... args) {
    auto screen = std::make_shared<Screen>(Key(), std::forward<Args>(args)...);
    screen->PlayerBaseViewController::didMake();
    return screen;
  }
  /// For make() and subclasses: only make() has a key.
  explicit PlayerBaseViewController(Key key);
  ~PlayerBaseViewController() override;

  /// The view that zooms the video surface, held weakly (the screen's view keeps it).
  std::weak_ptr<platform::View> zoomingView;
  /// The video surface, held weakly (the screen's view keeps it).
  std::weak_ptr<PlayerView> playerView;
  /// The controls overlay, held weakly (the screen's view keeps it).
  std::weak_ptr<PlayerOverlayView> overlayView;

  /// The player controlled, or null.
  [[nodiscard]] const std::shared_ptr<platform::MediaPlayer>& player() const { return player_; }
  /// Observes `player`, shows it on the video surface and applies looping.
  /// A subclass may set it in its constructor: observing starts once make()
  /// has the screen in its shared_ptr.
  void setPlayer(std::shared_ptr<platform::MediaPlayer> player);

  /// Pause when the screen disappears.
  bool pauseWhenDisappear = true;
  /// Play again when the screen reappears, if it was playing when it disappeared.
  bool resumeWhenAppear = false;
  /// Pause when the application goes to the background (the surface lets go
  /// of the player either way).
  bool pauseWhenEnterBackground = false;
  /// Play again when the application returns, if the background paused it.
  bool resumeWhenEnterForeground = true;
  /// For host screens that rotate to landscape; the library does not read it.
  bool rotateWhenAppear = false;
  /// Inline presentation: only the overlay's controls are toggled.
  bool isInlineMode = false;
  /// Whether playback restarts at the item's end.
  [[nodiscard]] bool isLoopingEnabled() const { return isLoopingEnabled_; }
  /// Restart at the item's end instead of stopping there.
  void setLoopingEnabled(bool enabled);
  /// For host screens that zoom the video; the library does not read it.
  bool isZoomEnabled = false;
  /// How the video fills the surface, applied when the view loads.
  ContentMode contentMode = ContentMode::scaleAspectFit;
  /// For hosts that publish now-playing information; the library does not read it.
  bool isNowPlayingUpdatingEnabled = true;
  /// For host screens that raise the volume; the library does not read it.
  bool forceVolumeUpWhenAppear = false;
  /// Let playback drive the overlay.
  bool automaticallyUpdateOverlayVisibility = true;
  /// Hide the overlay while playing (after hideOverlayDelay).
  bool hideOverlayViewIfPlaying = true;
  /// Seconds before the overlay hides while playing.
  double hideOverlayDelay = 3.0;
  /// Told the video's size whenever the current item's changes.
  std::function<void(platform::Size)> presentationSizeDidChange;
  /// A tap shows a hidden overlay, or hides a shown one.
  bool tapToToggleOverlayVisibility = true;
  /// Decides when the overlay shows and hides.
  std::shared_ptr<PlayerOverlayController> overlayController = PlayerOverlayController::make();

  /// Whether playback is wanted (play() called, not paused since).
  [[nodiscard]] bool isPlaying() const { return isPlaying_; }
  /// Whether playback starts once the player is ready.
  [[nodiscard]] bool playAfterPreparing() const { return playAfterPreparing_; }
  /// The position a seek under way goes to, or nothing.
  [[nodiscard]] std::optional<double> pendingSeekPosition() const { return pendingSeekPosition_; }

  /// The screen is about to appear (from the toolkit or the host): plays
  /// again when resumeWhenAppear says so.
  virtual void viewWillAppear(bool animated);
  /// The screen is about to disappear: pauses when pauseWhenDisappear says so.
  virtual void viewWillDisappear(bool animated);
  /// The application went to the background (from the notification centre).
  virtual void applicationDidEnterBackground();
  /// The application is returning to the foreground (from the notification centre).
  virtual void applicationWillEnterForeground();
  /// A tap on the screen.
  virtual void handleTap();

  /// Fades the overlay (only its controls, inline) in or out.
  virtual void setOverlayViewVisibility(bool visible);
  /// updateOverlayVisibility(), when automaticallyUpdateOverlayVisibility is set.
  virtual void updateOverlayVisibilityIfPlaying();
  /// Hides the overlay after hideOverlayDelay while playing (with
  /// hideOverlayViewIfPlaying), else shows it at once.
  virtual void updateOverlayVisibility();
  /// Decides from the player whether it is buffering, spins the busy
  /// indicator accordingly, then calls bufferingStateDidChange().
  virtual void updateBuffering();

  /// Resumes a paused player when playback is wanted and the item can keep up.
  virtual void tryPlay();
  /// Starts playback (from the start at the item's end), or as soon as the
  /// player is ready.
  virtual void play();
  /// Pauses playback.
  virtual void pause();
  /// Pauses and empties the player.
  virtual void stop();
  /// Seeks to `time` seconds; the completion says whether it finished.
  virtual void seek(double time, std::function<void(bool finished)> completion);
  /// The user let go of the seek bar: tryPlay().
  virtual void seekInteractionEnded();
  /// Plays `item` next, at once when `needPlay`.
  virtual void replaceCurrentItem(std::shared_ptr<platform::MediaPlayerItem> item, bool needPlay);
  /// Shows `time` and the duration in the labels and on the seek bar.
  virtual void currentTimeDidChange(double time);
  /// The player started, paused or began waiting: updates the buffering and
  /// the play button.
  virtual void timeControlStatusDidChange();
  /// The item ended: back to its start, paused unless looping.
  virtual void itemDidFinishPlaying(const std::shared_ptr<platform::MediaPlayerItem>& item);
  /// Called after every buffering decision; does nothing here.
  virtual void bufferingStateDidChange(bool isBuffering);
  /// Called when the current item fails: playback stops and the overlay shows.
  virtual void itemDidFail(const std::shared_ptr<platform::MediaPlayerItem>& item);

  // Menus.
  /// The speeds 0.5, 1, 1.25, 1.5 and 2 ("1.25×"), the player's default rate
  /// chosen; choosing one sets the default and the current rate.
  virtual platform::Menu makeSelectPlaybackSpeedMenu(
      const std::shared_ptr<platform::MediaPlayer>& player);
  /// The subtitles of `group`: "player_subtitles" (localised) with the
  /// symbol "captions.bubble"; an "player_subtitles_off" entry first when the
  /// group may have none chosen, then each option by its name; the chosen
  /// one is marked. Choosing an entry calls the group's select with the
  /// option's index (nothing for off).
  virtual platform::Menu makeSelectSubtitlesMenu(const MediaSelectionGroup& group);
  /// The text for a localisation key; the key itself unless overridden.
  [[nodiscard]] virtual std::string localizedString(const std::string& key) const;

  ///@{
  /// Now-playing information and remote commands: hooks for hosts on a
  /// platform that has them; they do nothing here.
  virtual void updateNowPlayingInfo() {}
  virtual void clearNowPlayingInfo() {}
  virtual void setupRemoteCommandCenter() {}
  virtual void invalidateRemoteComands() {}
  ///@}

  /// Logs the item's new access-log entry (debug, private fields hidden).
  virtual void itemNewAccessLogEntry(const std::shared_ptr<platform::MediaPlayerItem>& item);
  /// Logs the item's new error-log entry (debug, private fields hidden).
  virtual void itemNewErrorLogEntry(const std::shared_ptr<platform::MediaPlayerItem>& item);

 protected:
  /// A root view holding the zooming view (with the video surface) and the
  /// overlay.
  std::shared_ptr<platform::View> loadView() override;
  /// Connects the overlay controller, shows the player on the surface and
  /// starts following the application's background and foreground events.
  void viewDidLoad() override;
  /// Applies isLoopingEnabled to the player's action at the item's end.
  virtual void setupLooping();

 private:
  // Starts what needs the screen in its shared_ptr.
  void didMake();
  void observePlayer();
  // Keeps the screen alive through a step that calls into the host (empty
  // while a subclass constructor runs).
  std::shared_ptr<ViewController> keepAlive() { return weak_from_this().lock(); }
  void observe(platform::MediaPlayerEvent event,
               const std::shared_ptr<platform::MediaPlayerItem>& item);
  void stopObservingPlayer();

  std::shared_ptr<platform::MediaPlayer> player_;
  bool isLoopingEnabled_ = false;
  bool needResumeWhenAppear_ = false;
  bool needResumeWhenEnterForeground_ = false;
  bool playAfterPreparing_ = false;
  bool isPlaying_ = false;
  std::optional<double> pendingSeekPosition_;
  std::optional<platform::MediaPlayer::ObserverID> playerObserver_;
  std::optional<platform::MediaPlayer::ObserverID> timeObserver_;
  std::shared_ptr<platform::NotificationCenter> notificationCenter_;
  std::vector<platform::ObserverToken> applicationObservers_;
};

/// The access-log lines of `event`, as the player screen logs them.
std::string describeAccessLogEntry(const platform::MediaAccessLogEvent& event);
/// The error-log lines of `event`, as the player screen logs them.
std::string describeErrorLogEntry(const platform::MediaErrorLogEvent& event);

}  // namespace quarn
