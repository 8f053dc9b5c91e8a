/// @file
/// PlayerOverlayController (a shared object, made only by make(): its timer reaches it through a
/// weak reference; its State is a value): when a player's controls overlay shows and hides.

/// @class quarn::PlayerOverlayController
/// When a player's controls overlay shows and hides. A shared object, made
/// only by make() (its timer reaches it through a weak reference); its State
/// is a value. A visibility change can be delayed,
/// suspended while the user interacts, restarted, and can reverse itself after
/// a while:
///
/// ```
///   auto overlay = PlayerOverlayController::make();
///   overlay->changeOverlayVisibleHandler = [&](bool visible) { show(visible); };
///   overlay->flash(2);                                    // show now, hide 2 s later
///   overlay->setOverlayVisible(false, 3, false, 0);       // hide in 3 s
///   overlay->suspend();                                   // ...not while touched
///   overlay->resume();                                    // hide 3 s after this
/// ```
///
/// A requested state waits as nextState: a delayed one behind a one-shot
/// timer (of the current TimerScheduler), or, while suspended, until resume(),
/// which always waits 3 seconds. Applying a state sets isVisible and calls
/// changeOverlayVisibleHandler; an autoreversing state leaves its opposite
/// pending, applied after the delay that applied it (at once when that is
/// not positive). A delay that is not a number counts as none. Main context
/// only.
///
/// Inside changeOverlayVisibleHandler the host may:
/// - drop its last reference: the change under way completes (an immediate
///   reversal included), then the controller goes and its timer never fires;
/// - request again (flash, setOverlayVisible, suspend ...): the newer request
///   supersedes the reversal of the state being applied;
/// - throw: the state stays applied and its reversal pending, then the
///   exception propagates to the call that applied it (setOverlayVisible(),
///   flash(), or the timer's firing for a delayed state).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace quarn::platform {
class Timer;
}

namespace quarn {

class PlayerOverlayController final : public std::enable_shared_from_this<PlayerOverlayController> {
  // Lets make() use std::make_shared while nobody else can construct one.
  class Key {
    friend class PlayerOverlayController;
    Key() = default;
  };

 public:
  /// A visibility to apply: whether shown, and whether it reverses itself after a delay. A value.
  struct State {
    /// Shown or hidden.
    bool isVisible = false;
    /// Whether the opposite state follows.
    bool autoreverse = false;
    /// Seconds before the opposite state follows.
    double autoreverseDelay = 0;
    /// Equal when every field is.
    friend bool operator==(const State&, const State&) = default;
  };
  /// The delay resume() gives a pending state, seconds.
  static constexpr double kResumeDelay = 3.0;

  /// A visible controller with nothing pending.
  static std::shared_ptr<PlayerOverlayController> make();
  /// For std::make_shared only: the key is private, so hosts call make().
  explicit PlayerOverlayController(Key /*key*/) {}
  ~PlayerOverlayController();
  PlayerOverlayController(const PlayerOverlayController&) = delete;
  PlayerOverlayController& operator=(const PlayerOverlayController&) = delete;

  /// Receives every applied visibility.
  std::function<void(bool visible)> changeOverlayVisibleHandler;

  /// Whether the overlay is shown (the last state applied).
  [[nodiscard]] bool isVisible() const { return isVisible_; }
  /// Whether suspend() holds the pending state.
  [[nodiscard]] bool isSuspended() const { return isSuspended_; }
  /// The state waiting to be applied, or nothing.
  [[nodiscard]] const std::optional<State>& nextState() const { return nextState_; }
  /// The interval of the running countdown.
  [[nodiscard]] std::optional<double> timeInterval() const { return timeInterval_; }
  /// The running countdown's timer, or null.
  [[nodiscard]] const std::shared_ptr<platform::Timer>& timer() const { return timer_; }

  /// Shows or hides the overlay after `delay` seconds (at once for 0 or less), then, with
  /// `autoreverse`, the opposite after `autoreverseDelay` seconds; replaces any pending state.
  void setOverlayVisible(bool visible, double delay, bool autoreverse, double autoreverseDelay);
  /// Shows now and hides `duration` seconds later.
  void flash(double duration);
  /// Starts the running countdown again from its full interval.
  void restart();
  /// Stops the countdown; a pending state waits for resume().
  void suspend();
  /// Ends the suspension; a pending state applies kResumeDelay seconds later.
  void resume();

 private:
  void handleNextState(double delay);
  void scheduleTimer(double interval);
  void cancelTimer();

  bool isVisible_ = true;
  bool isSuspended_ = false;
  std::optional<State> nextState_;
  std::optional<double> timeInterval_;
  std::shared_ptr<platform::Timer> timer_;
  // Counts the requests, so that applying a state can tell whether the
  // handler made a newer one.
  std::uint64_t requests_ = 0;
};

}  // namespace quarn

/// Hashes an overlay state by its fields.
template <>
struct std::hash<quarn::PlayerOverlayController::State> {
  /// The hash of the three fields.
  std::size_t operator()(const quarn::PlayerOverlayController::State& state) const noexcept;
};
