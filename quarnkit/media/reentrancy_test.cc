// What a host may do inside every callback of the player screens: drop its
// last reference, call back in, or throw. Each row builds an overlay
// controller or a screen over the simulated player on the manual clock,
// triggers one callback with the action inside it and checks the outcome.
// In the release rows the screen is the player's only owner, so the player
// goes with it.
#include "quarnkit/testing/reentrancy.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "quarnkit/core/log.h"
#include "quarnkit/media/player_base_view_controller.h"
#include "quarnkit/media/player_overlay_controller.h"
#include "quarnkit/platform/application.h"
#include "quarnkit/platform/media/audio_session.h"
#include "quarnkit/platform/media/simulated_player.h"
#include "quarnkit/platform/runtime/clock.h"

namespace quarn {
namespace {

using platform::ManualClock;
using platform::MediaPlayerItem;
using platform::ScopedService;
using platform::SimulatedPlayer;
using platform::SimulatedPlayerItem;
using platform::TimeControlStatus;
using testing::HostAction;

struct HostError : std::runtime_error {
  HostError() : std::runtime_error("thrown by the host") {}
};

// Runs what the host put in `hook`, once.
template <class... Args>
void once(std::function<void(Args...)>& hook, Args... args) {
  if (auto h = std::exchange(hook, nullptr)) h(args...);
}

// Moves time on; what a timer-driven callback throws leaves the timer's
// firing, and what becomes of it there is the scheduler's matter.
void advanceThrough(ManualClock& clock, double seconds) {
  try {
    clock.advance(seconds);
  } catch (const HostError&) {
  }
}

// ---------------------------------------------------------------------------
// The overlay controller alone

struct OverlayRig {
  OverlayRig() {
    overlay->changeOverlayVisibleHandler = [this](bool visible) {
      applied.push_back(visible);
      once(inside, visible);
    };
  }
  std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
  ScopedService<platform::TimerScheduler> scheduler{clock};
  std::shared_ptr<PlayerOverlayController> overlay = PlayerOverlayController::make();
  std::vector<bool> applied;
  std::function<void(bool)> inside;  // what the host does in the handler, once
};

using Applied = std::vector<bool>;

TEST(PlayerOverlayControllerReentrancyTest, EveryCallbackAndAction) {
  const std::string byCall = "changeOverlayVisibleHandler, applying a requested state";
  const std::string byTimer = "changeOverlayVisibleHandler, applying a delayed state";
  testing::runReentrancyTable({
      {byCall, HostAction::release, "the flash shows; the controller goes and never hides",
       [] {
         OverlayRig r;
         r.inside = [&](bool) { r.overlay.reset(); };
         // Called as a host calls through a member it resets inside (and
         // with no weak reference left to keep the storage).
         PlayerOverlayController* const overlay = r.overlay.get();
         overlay->flash(2);
         r.clock->advance(5);
         EXPECT_EQ(r.applied, Applied{true});
         EXPECT_EQ(r.clock->pendingCount(), 0u);
       }},
      {byCall, HostAction::reenter, "a flash requested inside supersedes the outer one's hide",
       [] {
         OverlayRig r;
         r.inside = [&](bool) { r.overlay->flash(5); };
         r.overlay->flash(2);
         r.clock->advance(4.9);
         EXPECT_EQ(r.applied, (Applied{true, true}));
         EXPECT_TRUE(r.overlay->isVisible());
         r.clock->advance(0.1);
         EXPECT_EQ(r.applied, (Applied{true, true, false}));
         EXPECT_FALSE(r.overlay->nextState());
       }},
      {byCall, HostAction::raise, "propagates to the call; the state's reversal still comes",
       [] {
         OverlayRig r;
         r.inside = [](bool) { throw HostError(); };
         EXPECT_THROW(r.overlay->flash(2), HostError);
         EXPECT_TRUE(r.overlay->isVisible());
         EXPECT_EQ(r.overlay->nextState(), (PlayerOverlayController::State{false, false, 0}));
         r.clock->advance(2);
         EXPECT_EQ(r.applied, (Applied{true, false}));
         // An immediate reversal is applied before the exception leaves.
         r.inside = [](bool) { throw HostError(); };
         EXPECT_THROW(r.overlay->flash(0), HostError);
         EXPECT_EQ(r.applied, (Applied{true, false, true, false}));
         EXPECT_FALSE(r.overlay->isVisible());
       }},
      {byTimer, HostAction::release, "the state applies; the controller goes with its reversal",
       [] {
         OverlayRig r;
         std::weak_ptr<PlayerOverlayController> weak = r.overlay;
         r.overlay->setOverlayVisible(false, 1, true, 2);
         r.inside = [&](bool) { r.overlay.reset(); };
         r.clock->advance(1);
         EXPECT_TRUE(weak.expired());
         r.clock->advance(5);
         EXPECT_EQ(r.applied, Applied{false});
         EXPECT_EQ(r.clock->pendingCount(), 0u);
       }},
      {byTimer, HostAction::reenter, "a flash from inside the delayed hide shows and hides again",
       [] {
         OverlayRig r;
         r.overlay->setOverlayVisible(false, 1, false, 0);
         r.inside = [&](bool) { r.overlay->flash(1); };
         r.clock->advance(1);
         EXPECT_EQ(r.applied, (Applied{false, true}));
         r.clock->advance(1);
         EXPECT_EQ(r.applied, (Applied{false, true, false}));
         EXPECT_EQ(r.overlay->timer(), nullptr);
       }},
      {byTimer, HostAction::raise, "leaves the timer's firing; the reversal still comes",
       [] {
         OverlayRig r;
         r.overlay->setOverlayVisible(false, 1, true, 2);
         r.inside = [](bool) { throw HostError(); };
         advanceThrough(*r.clock, 1);
         EXPECT_FALSE(r.overlay->isVisible());
         r.clock->advance(2);
         EXPECT_EQ(r.applied, (Applied{false, true}));
         r.overlay->flash(1);  // and it works on
         r.clock->advance(1);
         EXPECT_FALSE(r.overlay->isVisible());
       }},
  });
}

// ---------------------------------------------------------------------------
// The screen

// A host screen whose hooks run the base's behaviour, then what the host put
// in the matching member, once.
class HostScreen final : public PlayerBaseViewController {
 public:
  using PlayerBaseViewController::PlayerBaseViewController;

  std::function<void()> inStatus, inEnd, inFail, inAccessLog, inBackground;
  std::function<void(double)> inTime;
  std::function<void(bool)> inBuffering, inOverlay;

  void timeControlStatusDidChange() override {
    PlayerBaseViewController::timeControlStatusDidChange();
    once(inStatus);
  }
  void currentTimeDidChange(double time) override {
    PlayerBaseViewController::currentTimeDidChange(time);
    once(inTime, time);
  }
  void bufferingStateDidChange(bool isBuffering) override { once(inBuffering, isBuffering); }
  void itemDidFinishPlaying(const std::shared_ptr<MediaPlayerItem>& item) override {
    PlayerBaseViewController::itemDidFinishPlaying(item);
    once(inEnd);
  }
  void itemDidFail(const std::shared_ptr<MediaPlayerItem>& item) override {
    PlayerBaseViewController::itemDidFail(item);
    once(inFail);
  }
  void itemNewAccessLogEntry(const std::shared_ptr<MediaPlayerItem>& item) override {
    PlayerBaseViewController::itemNewAccessLogEntry(item);
    once(inAccessLog);
  }
  void setOverlayViewVisibility(bool visible) override {
    PlayerBaseViewController::setOverlayViewVisibility(visible);
    once(inOverlay, visible);
  }
  void applicationDidEnterBackground() override {
    PlayerBaseViewController::applicationDidEnterBackground();
    once(inBackground);
  }
};

struct ScreenRig {
  ScreenRig() {
    screen->setPlayer(player);
    screen->loadViewIfNeeded();
    overlay = screen->overlayView.lock();
    surface = screen->playerView;
  }
  // Ready, fully loaded and playing.
  void playing() {
    item->becomeReady();
    item->loadAll();
    screen->play();
  }
  // Leaves the screen as the only owner of the player and of itself.
  void handOver() {
    weakScreen = screen;
    weakPlayer = player;
    player.reset();
  }
  void release() { screen.reset(); }
  // After a release: both went, and time moving on finds nothing to fire.
  void expectGone() {
    EXPECT_TRUE(weakScreen.expired());
    EXPECT_TRUE(weakPlayer.expired());
    clock->advance(20);
    EXPECT_EQ(clock->pendingCount(), 0u);
  }
  bool overlayShown() const { return overlay->alpha() == 1; }
  TimeControlStatus status() const { return player->timeControlStatus(); }
  void post(const char* name) const {
    platform::NotificationCenter::current()->post({name, nullptr, {}});
  }
  // Makes the row's callback happen, with `inside` run in it.
  void fire(std::function<void()> inside) { trigger(*this, std::move(inside)); }
  // The same with a throw inside: direct calls and the player's commands
  // hand the exception on; see advanceThrough() for the timers.
  void raise(bool fromTimer) {
    auto thrower = [] { throw HostError(); };
    if (!fromTimer) {
      EXPECT_THROW(fire(thrower), HostError);
      return;
    }
    try {
      fire(thrower);
    } catch (const HostError&) {
    }
  }

  // How the row makes its callback happen (the table sets it).
  std::function<void(ScreenRig&, std::function<void()>)> trigger;

  std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
  ScopedService<platform::Clock> installedClock{clock};
  ScopedService<platform::TimerScheduler> installedScheduler{clock};
  ScopedService<platform::AudioSession> installedSession{
      std::make_shared<platform::SimulatedAudioSession>()};
  std::shared_ptr<SimulatedPlayerItem> item = SimulatedPlayerItem::make(10.0);
  std::shared_ptr<SimulatedPlayer> player = SimulatedPlayer::make(item);
  std::shared_ptr<HostScreen> screen = PlayerBaseViewController::make<HostScreen>();
  std::shared_ptr<PlayerOverlayView> overlay;
  std::weak_ptr<PlayerView> surface;  // it holds the player
  std::weak_ptr<HostScreen> weakScreen;
  std::weak_ptr<SimulatedPlayer> weakPlayer;
};

// Makes one callback happen on a rig just built, with `inside` run in it.
using Inside = std::function<void()>;
struct Callback {
  std::string name;
  std::function<void(ScreenRig&, Inside)> trigger;
};

TEST(PlayerScreenReentrancyTest, EveryCallbackAndAction) {
  const Callback status{"timeControlStatusDidChange (player status)",
                        [](ScreenRig& r, Inside in) {  // starts playing
                          r.item->becomeReady();
                          r.item->loadAll();
                          r.screen->inStatus = std::move(in);
                          r.screen->play();
                        }};
  const Callback time{"currentTimeDidChange (periodic time)", [](ScreenRig& r, Inside in) {
                        r.playing();
                        r.screen->inTime = [in](double) { in(); };
                        r.clock->advance(0.5);
                      }};
  const Callback buffering{"bufferingStateDidChange (buffering)",
                           [](ScreenRig& r, Inside in) {  // the wait for data ends
                             r.item->becomeReady();
                             r.screen->play();
                             r.screen->inBuffering = [in](bool) { in(); };
                             r.item->setLoadedDuration(4);
                           }};
  const Callback end{"itemDidFinishPlaying (end of item)", [](ScreenRig& r, Inside in) {
                       r.playing();
                       r.screen->inEnd = std::move(in);
                       r.clock->advance(10);
                     }};
  const Callback failure{"itemDidFail (failed item)", [](ScreenRig& r, Inside in) {
                           r.screen->play();
                           r.screen->inFail = std::move(in);
                           r.item->fail("unavailable");
                         }};
  const Callback size{"presentationSizeDidChange", [](ScreenRig& r, Inside in) {
                        r.screen->presentationSizeDidChange = [in](platform::Size) { in(); };
                        r.item->setPresentationSize({640, 360});
                      }};
  const Callback log{"itemNewAccessLogEntry (diagnostics)", [](ScreenRig& r, Inside in) {
                       r.screen->inAccessLog = std::move(in);
                       r.item->addAccessLogEvent({});
                     }};
  const Callback overlay{"setOverlayViewVisibility (timed hide)",
                         [](ScreenRig& r, Inside in) {  // the timed hide while playing
                           r.playing();
                           r.screen->inOverlay = [in](bool) { in(); };
                           r.clock->advance(3);
                         }};
  const Callback seek{"seek completion", [](ScreenRig& r, Inside in) {
                        r.playing();
                        r.screen->seek(5, [in](bool) { in(); });
                      }};
  const Callback background{"applicationDidEnterBackground (notification)",
                            [](ScreenRig& r, Inside in) {
                              r.playing();
                              r.screen->inBackground = std::move(in);
                              r.post(platform::kApplicationDidEnterBackgroundNotification);
                            }};

  std::vector<testing::ReentrancyRow> rows;
  // Each row's body on a rig of its own, whose fire() makes the row's callback happen.
  auto add = [&rows](const Callback& c, HostAction action, std::string expected,
                     std::function<void(ScreenRig&)> body) {
    rows.push_back({c.name, action, std::move(expected), [trigger = c.trigger, body] {
                      ScreenRig r;
                      r.trigger = trigger;
                      body(r);
                    }});
  };
  // Releasing is alike everywhere: the screen, the only owner of the
  // player, finishes the step and goes, and nothing fires afterwards.
  for (const Callback* c :
       {&status, &time, &buffering, &end, &failure, &size, &log, &overlay, &seek, &background}) {
    add(*c, HostAction::release, "the step completes, then the screen and its player go",
        [](ScreenRig& r) {
          r.handOver();
          r.fire([&r] { r.release(); });
          r.expectGone();
        });
  }

  add(status, HostAction::reenter, "pause() inside wins: paused, overlay shown for good",
      [](auto& r) {
        r.fire([&r] { r.screen->pause(); });
        EXPECT_EQ(r.status(), TimeControlStatus::paused);
        EXPECT_FALSE(r.screen->isPlaying());
        r.clock->advance(5);
        EXPECT_TRUE(r.overlayShown());
      });
  add(status, HostAction::raise, "propagates to play(); playing, the overlay still hides",
      [](auto& r) {
        r.raise(false);
        EXPECT_TRUE(r.screen->isPlaying());
        EXPECT_EQ(r.status(), TimeControlStatus::playing);
        r.clock->advance(3);
        EXPECT_FALSE(r.overlayShown());
      });

  add(time, HostAction::reenter, "a seek from inside moves playback on from there", [](auto& r) {
    r.fire([&r] { r.screen->seek(8, nullptr); });
    EXPECT_DOUBLE_EQ(r.item->currentTime(), 8);
    r.clock->advance(2.5);  // the end, without looping
    EXPECT_EQ(r.status(), TimeControlStatus::paused);
    EXPECT_FALSE(r.screen->isPlaying());
  });
  add(time, HostAction::raise, "leaves the period's firing; the next period reports", [](auto& r) {
    r.raise(true);
    EXPECT_EQ(r.overlay->timeLabel()->text, "0:00");
    r.clock->advance(1);
    EXPECT_EQ(r.overlay->timeLabel()->text, "0:01");
  });

  add(buffering, HostAction::reenter, "pause() inside: paused, no spinner, overlay shown",
      [](auto& r) {
        r.fire([&r] { r.screen->pause(); });
        EXPECT_EQ(r.status(), TimeControlStatus::paused);
        EXPECT_FALSE(r.overlay->busyIndicator()->isAnimating());
        r.clock->advance(5);
        EXPECT_TRUE(r.overlayShown());
      });
  add(buffering, HostAction::raise, "propagates to the item's command; the overlay still hides",
      [](auto& r) {
        r.raise(false);
        EXPECT_EQ(r.status(), TimeControlStatus::playing);
        EXPECT_FALSE(r.overlay->busyIndicator()->isAnimating());
        r.clock->advance(3);
        EXPECT_FALSE(r.overlayShown());
      });

  add(end, HostAction::reenter, "play() at the end plays again from the start", [](auto& r) {
    r.fire([&r] { r.screen->play(); });
    EXPECT_TRUE(r.screen->isPlaying());
    r.clock->advance(1);
    EXPECT_DOUBLE_EQ(r.item->currentTime(), 1);
  });
  add(end, HostAction::raise, "leaves the end's timer; paused at the start, plays again",
      [](auto& r) {
        r.raise(true);
        EXPECT_FALSE(r.screen->isPlaying());
        EXPECT_EQ(r.item->currentTime(), 0);
        r.screen->play();
        EXPECT_EQ(r.status(), TimeControlStatus::playing);
      });

  add(failure, HostAction::reenter, "another item put in from inside plays once ready",
      [](auto& r) {
        auto next = SimulatedPlayerItem::make(5.0);
        r.fire([&] { r.screen->replaceCurrentItem(next, true); });
        next->loadAll();
        next->becomeReady();
        EXPECT_EQ(r.player->currentItem(), next);
        EXPECT_EQ(r.status(), TimeControlStatus::playing);
      });
  add(failure, HostAction::raise, "propagates to the item's command; stopped, overlay shown",
      [](auto& r) {
        r.raise(false);
        EXPECT_FALSE(r.screen->isPlaying());
        EXPECT_FALSE(r.screen->playAfterPreparing());
        EXPECT_TRUE(r.overlayShown());
      });

  add(size, HostAction::reenter, "a callback replaced from inside hears the next change",
      [](auto& r) {
        std::vector<platform::Size> sizes;
        auto record = [&sizes](platform::Size s) { sizes.push_back(s); };
        r.screen->presentationSizeDidChange = [&r, &sizes, record](platform::Size s) {
          r.screen->presentationSizeDidChange = record;
          sizes.push_back({-s.width, -s.height});  // after its own replacement
        };
        r.item->setPresentationSize({640, 360});
        r.item->setPresentationSize({1280, 720});
        EXPECT_EQ(sizes, (std::vector<platform::Size>{{-640, -360}, {1280, 720}}));
      });
  add(size, HostAction::raise, "propagates to the item's command; the next is told", [](auto& r) {
    int told = 0;
    r.screen->presentationSizeDidChange = [&](platform::Size) {
      if (++told == 1) throw HostError();
    };
    EXPECT_THROW(r.item->setPresentationSize({640, 360}), HostError);
    r.item->setPresentationSize({1280, 720});
    EXPECT_EQ(told, 2);
  });

  add(log, HostAction::reenter, "stop() from inside empties the player", [](auto& r) {
    r.playing();
    r.fire([&r] { r.screen->stop(); });
    EXPECT_EQ(r.player->currentItem(), nullptr);
    EXPECT_FALSE(r.screen->isPlaying());
  });
  add(log, HostAction::raise, "propagates to the item's command; entries still logged",
      [](auto& r) {
        testing::LogCapture logs;
        r.raise(false);
        r.item->addAccessLogEvent({});
        EXPECT_EQ(logs.texts(LogLevel::debug).size(), 2u);
      });

  add(overlay, HostAction::reenter, "a tap inside the hide shows it for another delay",
      [](auto& r) {
        r.fire([&r] { r.screen->handleTap(); });
        EXPECT_TRUE(r.overlayShown());
        r.clock->advance(3);
        EXPECT_FALSE(r.overlayShown());
      });
  add(overlay, HostAction::raise, "leaves the timer's firing; hidden, pausing shows it",
      [](auto& r) {
        r.raise(true);
        EXPECT_FALSE(r.overlayShown());
        EXPECT_FALSE(r.screen->overlayController->isVisible());
        r.screen->pause();
        EXPECT_TRUE(r.overlayShown());
      });

  add(seek, HostAction::reenter, "a seek from the completion lands; each completes once",
      [](auto& r) {
        int second = 0;
        r.fire([&] { r.screen->seek(7, [&](bool) { ++second; }); });
        EXPECT_EQ(second, 1);
        EXPECT_DOUBLE_EQ(r.item->currentTime(), 7);
        EXPECT_FALSE(r.screen->pendingSeekPosition());
      });
  add(seek, HostAction::raise, "propagates to seek(); no seek is left pending", [](auto& r) {
    r.raise(false);
    EXPECT_FALSE(r.screen->pendingSeekPosition());
    // A hook throwing during the seek: the completion is still called.
    std::vector<bool> done;
    r.screen->inBuffering = [](bool) { throw HostError(); };
    EXPECT_THROW(r.screen->seek(6, [&](bool finished) { done.push_back(finished); }), HostError);
    EXPECT_EQ(done, std::vector<bool>{true});
    EXPECT_FALSE(r.screen->pendingSeekPosition());
  });

  add(background, HostAction::reenter, "pause() inside: paused, not resumed in the foreground",
      [](auto& r) {
        r.fire([&r] { r.screen->pause(); });
        EXPECT_EQ(r.surface.lock()->player(), nullptr);
        r.post(platform::kApplicationWillEnterForegroundNotification);
        EXPECT_EQ(r.surface.lock()->player(), r.player);
        EXPECT_EQ(r.status(), TimeControlStatus::paused);
      });
  add(background, HostAction::raise, "leaves the posting; detached, reattached on return",
      [](auto& r) {
        r.raise(true);
        EXPECT_EQ(r.surface.lock()->player(), nullptr);
        r.post(platform::kApplicationWillEnterForegroundNotification);
        EXPECT_EQ(r.surface.lock()->player(), r.player);
        EXPECT_EQ(r.status(), TimeControlStatus::playing);
      });
  testing::runReentrancyTable(rows);
}

}  // namespace
}  // namespace quarn
