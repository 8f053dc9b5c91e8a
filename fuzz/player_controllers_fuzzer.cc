// Fuzz target of the player screens: the input is a sequence of host actions
// on the manual clock against a screen over the simulated player and against
// an overlay controller of its own (play, pause, seek, stop, taps, screen and
// application events, the item buffering, failing or ending, flashes and
// delayed changes, suspensions, hooks that throw, time passing, releases).
// Beyond not crashing or tripping a sanitizer, it checks after every action:
// - every requested overlay state is applied or superseded: a pending state
//   waits behind a live timer that is due no earlier than now (or for
//   resume()), the handler last heard the visibility the controller holds,
//   and a flash left alone is over once its duration has passed;
// - the screen's overlay shows exactly when its controller says so, and
//   while playing a shown overlay has its hide pending;
// - no seek is left pending, nothing waits to play and the busy indicator
//   is still once the screen is not playing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <utility>

#include "fuzz/event_bytes.h"
#include "quarnkit/core/log.h"
#include "quarnkit/media/player_base_view_controller.h"
#include "quarnkit/media/player_overlay_controller.h"
#include "quarnkit/platform/application.h"
#include "quarnkit/platform/media/audio_session.h"
#include "quarnkit/platform/media/simulated_player.h"
#include "quarnkit/platform/runtime/clock.h"

namespace {

using namespace quarn;
using platform::ManualClock;
using platform::ScopedService;
using platform::SimulatedPlayer;
using platform::SimulatedPlayerItem;
using platform::TimeControlStatus;

constexpr int kMaxActions = 256;

[[noreturn]] void fail(int line) {
  std::fprintf(stderr, "player_controllers: check failed at line %d\n", line);
  std::abort();
}
// Names the line of a failed check, so that a finding says which invariant broke.
#define CHECK(condition) ((condition) ? void() : fail(__LINE__))

struct HostError {};

// A screen whose hooks can be told to throw once.
class FuzzScreen final : public PlayerBaseViewController {
 public:
  using PlayerBaseViewController::PlayerBaseViewController;
  bool throwOnce = false;

  void bufferingStateDidChange(bool) override { maybeThrow(); }
  void currentTimeDidChange(double time) override {
    PlayerBaseViewController::currentTimeDidChange(time);
    maybeThrow();
  }
  void setOverlayViewVisibility(bool visible) override {
    PlayerBaseViewController::setOverlayViewVisibility(visible);
    maybeThrow();
  }

 private:
  void maybeThrow() {
    if (std::exchange(throwOnce, false)) throw HostError{};
  }
};

// A delay as hosts might pass one: mostly a few seconds, at times none, a
// negative one, or one that is not a number.
double delay(fuzzing::EventBytes& in) {
  switch (in.choose(8)) {
    case 0:
      return 0;
    case 1:
      return -1;
    case 2:
      return std::numeric_limits<double>::quiet_NaN();
    case 3:
      return std::numeric_limits<double>::infinity();
    default:
      return in.between(0, 6);
  }
}

class Run {
 public:
  Run() { makeScreen(); }

  void step(fuzzing::EventBytes& in) {
    const auto action = in.choose(28);
    try {
      act(action, in);
    } catch (const HostError&) {
      // Thrown by a hook or handler on request: every check below must
      // still hold.
    }
    checkOverlay(*overlay_, handlerSaw_);
    checkFlash();
    checkScreen();
  }

 private:
  void act(std::size_t action, fuzzing::EventBytes& in) {
    switch (action) {
      case 0:
        screen_->play();
        break;
      case 1:
        screen_->pause();
        break;
      case 2: {
        const double time = in.choose(8) == 0 ? in.anyDouble() : in.between(-2, 14);
        int completions = 0;
        screen_->seek(time, [&completions](bool) { ++completions; });
        CHECK(completions == 1);
        break;
      }
      case 3:
        in.choose(2) ? screen_->tryPlay() : screen_->seekInteractionEnded();
        break;
      case 4:
        screen_->stop();
        break;
      case 5:
        screen_->handleTap();
        break;
      case 6:
        in.choose(2) ? screen_->viewWillAppear(true) : screen_->viewWillDisappear(true);
        break;
      case 7:
        platform::NotificationCenter::current()->post(
            {in.choose(2) ? platform::kApplicationDidEnterBackgroundNotification
                          : platform::kApplicationWillEnterForegroundNotification,
             nullptr,
             {}});
        break;
      case 8:
        screen_->setLoopingEnabled(in.choose(2) == 1);
        break;
      case 9: {
        item_ = SimulatedPlayerItem::make(in.between(0, 12));
        screen_->replaceCurrentItem(item_, in.choose(2) == 1);
        break;
      }
      case 10:
        item_->becomeReady();
        break;
      case 11:
        item_->setLoadedDuration(in.between(-1, 12));
        break;
      case 12:
        item_->loadAll();
        break;
      case 13:
        item_->setLikelyToKeepUp(in.choose(2) == 1);
        break;
      case 14:
        if (in.choose(4) == 0) item_->fail("failed");
        break;
      case 15:
        advance(in.between(0, 5));
        break;
      case 16:
        advance(in.between(0, 0.6));
        break;
      case 17:
        makeScreen();
        break;
      case 18:
        screen_->throwOnce = true;
        break;
      case 19:
        flash(delay(in));
        break;
      case 20: {
        const bool visible = in.choose(2) == 1;
        const double after = delay(in);
        const bool autoreverse = in.choose(2) == 1;
        const double reverseAfter = delay(in);
        flashed_.reset();
        overlay_->setOverlayVisible(visible, after, autoreverse, reverseAfter);
        break;
      }
      case 21:
        flashed_.reset();
        overlay_->suspend();
        break;
      case 22:
        flashed_.reset();
        overlay_->resume();
        break;
      case 23:
        flashed_.reset();
        overlay_->restart();
        break;
      case 24:
        makeOverlay();
        break;
      case 25:
        handlerThrows_ = true;
        break;
      case 26:
        reflash_ = in.between(0, 3);
        break;
      case 27:
        if (auto player = player_.lock()) player->playToEnd();
        break;
      default:
        break;
    }
  }

  // An advance cut short by a throwing timer leaves timers due now unfired
  // until the next one.
  void advance(double seconds) {
    timersBehind_ = true;
    clock_->advance(seconds);
    timersBehind_ = false;
  }

  void makeScreen() {
    item_ = SimulatedPlayerItem::make(kItemDuration);
    auto player = SimulatedPlayer::make(item_);
    player_ = player;
    screen_ = PlayerBaseViewController::make<FuzzScreen>();
    screen_->setPlayer(std::move(player));  // the screen alone holds it
    screen_->loadViewIfNeeded();
    if (!overlay_) makeOverlay();
  }

  void makeOverlay() {
    overlay_ = PlayerOverlayController::make();
    handlerSaw_ = overlay_->isVisible();
    flashed_.reset();
    overlay_->changeOverlayVisibleHandler = [this](bool visible) {
      handlerSaw_ = visible;
      if (reflash_) flash(*std::exchange(reflash_, std::nullopt));  // a newer request
      if (std::exchange(handlerThrows_, false)) throw HostError{};
    };
  }

  void flash(double duration) {
    flashed_.reset();
    try {
      overlay_->flash(duration);
    } catch (const HostError&) {
      noteFlash(duration);
      throw;
    }
    noteFlash(duration);
  }

  // A flash left alone from now on must be over by its timer's fire date.
  void noteFlash(double duration) {
    flashed_.reset();
    if (!(duration > 0)) {
      // Shown and hidden at once (unless a newer request came from inside).
      if (!reflash_) CHECK(!overlay_->isVisible() || overlay_->nextState());
      return;
    }
    if (overlay_->timer()) flashed_ = overlay_->timer()->fireDate();
  }

  void checkFlash() {
    if (!flashed_ || timersBehind_) return;
    if (clock_->now() >= *flashed_) {
      CHECK(!overlay_->isVisible());
      flashed_.reset();
    }
  }

  void checkOverlay(const PlayerOverlayController& overlay, std::optional<bool> heard) {
    if (heard) CHECK(*heard == overlay.isVisible());
    CHECK(overlay.timeInterval().has_value() == (overlay.timer() != nullptr));
    if (overlay.nextState() && !overlay.isSuspended()) {
      const auto& timer = overlay.timer();
      CHECK(timer && timer->isValid());
      CHECK(timer->fireDate() >= clock_->now());
    }
  }

  void checkScreen() {
    CHECK(!screen_->pendingSeekPosition());
    CHECK(screen_->isPlaying() || !screen_->playAfterPreparing());
    const auto& controller = *screen_->overlayController;
    checkOverlay(controller, std::nullopt);
    auto view = screen_->overlayView.lock();
    CHECK(view != nullptr);
    CHECK((view->alpha() == 1) == controller.isVisible());
    CHECK(!view->busyIndicator()->isAnimating() || screen_->isPlaying());
    auto player = player_.lock();
    const bool playing = player && player->timeControlStatus() == TimeControlStatus::playing;
    if (playing && controller.isVisible()) {
      CHECK(controller.nextState() && !controller.nextState()->isVisible);
    }
  }

  static constexpr double kItemDuration = 10.0;

  std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
  ScopedService<platform::Clock> installedClock_{clock_};
  ScopedService<platform::TimerScheduler> installedScheduler_{clock_};
  ScopedService<platform::AudioSession> installedSession_{
      std::make_shared<platform::SimulatedAudioSession>()};
  std::shared_ptr<SimulatedPlayerItem> item_;
  std::weak_ptr<SimulatedPlayer> player_;
  std::shared_ptr<FuzzScreen> screen_;
  std::shared_ptr<PlayerOverlayController> overlay_;
  std::optional<bool> handlerSaw_;
  std::optional<Date> flashed_;
  std::optional<double> reflash_;
  bool handlerThrows_ = false;
  bool timersBehind_ = false;
};

}  // namespace

// Only the fuzzer itself calls this: a failing item is logged as an error,
// and writing that line thousands of times a second would be most of its work.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  setLogLevel(LogLevel::off);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::EventBytes in(data, size);
  Run run;
  for (int i = 0; i < kMaxActions && !in.empty(); ++i) run.step(in);
  return 0;
}
