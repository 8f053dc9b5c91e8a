// The overlay's visibility state machine on the manual clock: flashes,
// delayed changes while suspended, restart, and a released controller.
#include "quarnkit/media/player_overlay_controller.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <type_traits>
#include <unordered_set>
#include <vector>

#include "quarnkit/platform/runtime/clock.h"

namespace quarn {
namespace {

using platform::ManualClock;
using platform::ScopedService;
using platform::TimerScheduler;

class PlayerOverlayControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    overlay->changeOverlayVisibleHandler = [this](bool v) { applied.push_back(v); };
  }
  std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
  ScopedService<TimerScheduler> scheduler{clock};
  std::shared_ptr<PlayerOverlayController> overlay = PlayerOverlayController::make();
  std::vector<bool> applied;
};

TEST_F(PlayerOverlayControllerTest, FlashShowsAtOnceAndHidesAfterItsDuration) {
  EXPECT_TRUE(overlay->isVisible());
  overlay->flash(2);
  EXPECT_EQ(applied, std::vector<bool>{true});
  EXPECT_EQ(overlay->nextState(), (PlayerOverlayController::State{false, false, 0}));
  clock->advance(1.999);
  EXPECT_EQ(applied.size(), 1u);
  clock->advance(0.001);
  EXPECT_EQ(applied, (std::vector<bool>{true, false}));
  EXPECT_FALSE(overlay->isVisible());
  EXPECT_FALSE(overlay->nextState());
  EXPECT_FALSE(overlay->timeInterval());
  // Without a delay the reversal follows at once.
  overlay->flash(0);
  EXPECT_EQ(applied, (std::vector<bool>{true, false, true, false}));
}

TEST_F(PlayerOverlayControllerTest, DelayedChangesWaitForTheirTimer) {
  overlay->setOverlayVisible(false, 3, false, 0);
  EXPECT_EQ(overlay->timeInterval(), 3.0);
  clock->advance(2);
  overlay->setOverlayVisible(false, 3, false, 0);  // a later request starts over
  clock->advance(2.5);
  EXPECT_TRUE(applied.empty());
  clock->advance(0.5);
  EXPECT_EQ(applied, std::vector<bool>{false});
  // A delayed autoreversing change reverses after the delay that applied it.
  overlay->setOverlayVisible(true, 1, true, 5);
  clock->advance(1);
  EXPECT_EQ(applied, (std::vector<bool>{false, true}));
  clock->advance(1);
  EXPECT_EQ(applied, (std::vector<bool>{false, true, false}));
  // Delays that are not positive numbers apply at once.
  overlay->setOverlayVisible(true, -1, false, 0);
  overlay->setOverlayVisible(false, std::nan(""), false, 0);
  EXPECT_EQ(applied, (std::vector<bool>{false, true, false, true, false}));
}

TEST_F(PlayerOverlayControllerTest, WhileSuspendedADelayedChangeWaitsForResume) {
  overlay->suspend();
  overlay->setOverlayVisible(false, 3, false, 0);
  EXPECT_EQ(overlay->timer(), nullptr);
  clock->advance(60);
  EXPECT_TRUE(applied.empty());
  overlay->resume();
  clock->advance(2.999);
  EXPECT_TRUE(applied.empty());
  clock->advance(0.001);
  EXPECT_EQ(applied, std::vector<bool>{false});

  // Suspending stops a running countdown; resuming waits 3 s, not the rest.
  overlay->setOverlayVisible(true, 10, false, 0);
  clock->advance(9);
  overlay->suspend();
  clock->advance(5);
  EXPECT_EQ(applied.size(), 1u);
  EXPECT_TRUE(overlay->nextState());
  overlay->resume();
  clock->advance(3);
  EXPECT_EQ(applied, (std::vector<bool>{false, true}));
  // An immediate change is applied even while suspended.
  overlay->suspend();
  overlay->setOverlayVisible(false, 0, false, 0);
  EXPECT_EQ(applied.back(), false);
  overlay->resume();  // nothing pending: no timer
  EXPECT_EQ(overlay->timer(), nullptr);
}

TEST_F(PlayerOverlayControllerTest, RestartBeginsTheCountdownAgain) {
  overlay->restart();  // none running
  EXPECT_EQ(overlay->timer(), nullptr);
  overlay->setOverlayVisible(false, 3, false, 0);
  clock->advance(2);
  overlay->restart();
  clock->advance(2.999);
  EXPECT_TRUE(applied.empty());
  clock->advance(0.001);
  EXPECT_EQ(applied, std::vector<bool>{false});
  overlay->restart();  // the countdown is over
  EXPECT_EQ(overlay->timer(), nullptr);
}

TEST_F(PlayerOverlayControllerTest, AReleasedControllerIgnoresItsTimer) {
  overlay->setOverlayVisible(false, 1, false, 0);
  overlay.reset();
  clock->advance(2);
  EXPECT_TRUE(applied.empty());
  EXPECT_EQ(clock->pendingCount(), 0u);
}

// Whether anything outside the class can build a T by value, a key argument
// brace-initialised included.
template <class T>
concept BuildableByValue = std::is_default_constructible_v<T> || requires {
  T{{}};
};

// Its timer finds it through a weak reference, so a controller built outside
// a shared_ptr would never apply a delayed state: there is no way to build one.
TEST(PlayerOverlayControllerKindTest, MadeOnlyAsASharedObject) {
  EXPECT_FALSE(BuildableByValue<PlayerOverlayController>);
  EXPECT_FALSE(std::is_copy_constructible_v<PlayerOverlayController>);
  EXPECT_FALSE(std::is_move_constructible_v<PlayerOverlayController>);
}

TEST(PlayerOverlayControllerStateTest, EqualAndHashedByValue) {
  using State = PlayerOverlayController::State;
  std::unordered_set<State> states{{true, false, 0}, {true, false, 0}, {true, true, 2}};
  EXPECT_EQ(states.size(), 2u);
}

}  // namespace
}  // namespace quarn
