// What a host may do inside the simulated player's callbacks (its observers,
// its periodic time observers and seek completions): drop the last reference
// to the player, call back into it, or throw.
#include "quarnkit/testing/reentrancy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "quarnkit/platform/media/simulated_player.h"
#include "quarnkit/platform/runtime/clock.h"

namespace quarn::platform {
namespace {

using quarn::testing::HostAction;
using Event = MediaPlayerEvent;

struct HostError : std::runtime_error {
  HostError() : std::runtime_error("thrown by the host") {}
};

struct PlayerRig {
  // Ready and fully loaded.
  PlayerRig() {
    item->becomeReady();
    item->loadAll();
  }
  // An observer that records the events it hears.
  void listen(std::vector<Event>& heard) {
    player->addObserver(
        [&heard](Event e, const std::shared_ptr<MediaPlayerItem>&) { heard.push_back(e); });
  }

  std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
  ScopedService<Clock> installedClock{clock};
  ScopedService<TimerScheduler> installedScheduler{clock};
  std::shared_ptr<SimulatedPlayerItem> item = SimulatedPlayerItem::make(10.0);
  std::shared_ptr<SimulatedPlayer> player = SimulatedPlayer::make(item);
};

TEST(SimulatedPlayerReentrancyTest, EveryCallbackAndAction) {
  const std::string observer = "observer";
  const std::string time = "periodic time observer";
  const std::string seek = "seek completion";
  quarn::testing::runReentrancyTable({
      {observer, HostAction::release, "the command completes, then the player goes",
       [] {
         PlayerRig r;
         r.item->setLoadedDuration(4);
         r.player->play();
         std::weak_ptr<SimulatedPlayer> weak = r.player;
         r.player->addObserver([&](Event, const auto&) { r.player.reset(); });
         // Called as a host calls through a member it resets inside.
         SimulatedPlayer* const player = r.player.get();
         std::vector<bool> done;
         player->seek(6, [&](bool finished) { done.push_back(finished); });  // beyond the loaded
         EXPECT_EQ(done, std::vector<bool>{true});
         EXPECT_TRUE(weak.expired());
         r.clock->advance(20);
         EXPECT_EQ(r.clock->pendingCount(), 0u);
       }},
      {observer, HostAction::reenter, "a pause from inside wins; the others hear both changes",
       [] {
         PlayerRig r;
         std::vector<Event> heard;
         bool paused = false;
         r.player->addObserver([&](Event e, const auto&) {
           if (e == Event::timeControlStatusDidChange && !paused) {
             paused = true;
             r.player->pause();
           }
         });
         r.listen(heard);
         r.player->play();
         EXPECT_EQ(r.player->timeControlStatus(), TimeControlStatus::paused);
         EXPECT_EQ(r.player->rate(), 0);
         EXPECT_EQ(std::count(heard.begin(), heard.end(), Event::timeControlStatusDidChange), 2);
         r.clock->advance(20);
         EXPECT_EQ(r.item->currentTime(), 0);
       }},
      {observer, HostAction::raise, "the others still hear every event; it reaches the command",
       [] {
         PlayerRig r;
         std::vector<Event> heard;
         int calls = 0;
         r.player->addObserver([&](Event, const auto&) {
           if (calls++ == 0) throw HostError();
         });
         r.listen(heard);
         EXPECT_THROW(r.player->play(), HostError);
         EXPECT_EQ(heard,
                   (std::vector<Event>{Event::timeControlStatusDidChange, Event::rateDidChange}));
         // From a timer: the item's end is still told in full.
         calls = 0;
         heard.clear();
         try {
           r.clock->advance(10);
         } catch (const HostError&) {
         }
         EXPECT_EQ(r.player->timeControlStatus(), TimeControlStatus::paused);
         EXPECT_EQ(heard, (std::vector<Event>{Event::timeControlStatusDidChange,
                                              Event::rateDidChange, Event::itemDidPlayToEndTime}));
       }},
      {seek, HostAction::release, "the player goes once the seek is over",
       [] {
         PlayerRig r;
         std::weak_ptr<SimulatedPlayer> weak = r.player;
         SimulatedPlayer* const player = r.player.get();
         player->seek(3, [&](bool) { r.player.reset(); });
         EXPECT_TRUE(weak.expired());
       }},
      {seek, HostAction::reenter, "a seek from the completion lands; each completes once",
       [] {
         PlayerRig r;
         std::vector<double> done;
         r.player->seek(3, [&](bool) {
           done.push_back(3);
           r.player->seek(7, [&](bool) { done.push_back(7); });
         });
         EXPECT_EQ(done, (std::vector<double>{3, 7}));
         EXPECT_EQ(r.item->currentTime(), 7);
       }},
      {seek, HostAction::raise, "propagates to seek(); the seek is done all the same",
       [] {
         PlayerRig r;
         EXPECT_THROW(r.player->seek(3, [](bool) { throw HostError(); }), HostError);
         EXPECT_EQ(r.item->currentTime(), 3);
         // An observer throwing during the seek: the completion is still called.
         r.item->setLoadedDuration(5);
         int calls = 0;
         r.player->addObserver([&](Event, const auto&) {
           if (calls++ == 0) throw HostError();
         });
         std::vector<bool> done;
         EXPECT_THROW(r.player->seek(7, [&](bool finished) { done.push_back(finished); }),
                      HostError);  // past the loaded part: the buffer empties
         EXPECT_EQ(done, std::vector<bool>{true});
         EXPECT_EQ(r.item->currentTime(), 7);
       }},
      {time, HostAction::release, "the player goes; no period fires again",
       [] {
         PlayerRig r;
         std::weak_ptr<SimulatedPlayer> weak = r.player;
         int calls = 0;
         r.player->addPeriodicTimeObserver(1, [&](double) {
           ++calls;
           r.player.reset();
         });
         r.player->play();
         r.clock->advance(5);
         EXPECT_EQ(calls, 1);
         EXPECT_TRUE(weak.expired());
         EXPECT_EQ(r.clock->pendingCount(), 0u);
       }},
      {time, HostAction::reenter, "one removed from inside is never called again",
       [] {
         PlayerRig r;
         std::vector<double> times;
         MediaPlayer::ObserverID id = 0;
         id = r.player->addPeriodicTimeObserver(1, [&](double t) {
           times.push_back(t);
           if (t >= 2) r.player->removeObserver(id);
         });
         r.player->play();
         r.clock->advance(5);
         EXPECT_EQ(times, (std::vector<double>{1, 2}));
       }},
      {time, HostAction::raise, "leaves the period's firing; called again at the next period",
       [] {
         PlayerRig r;
         std::vector<double> times;
         r.player->addPeriodicTimeObserver(1, [&](double t) {
           times.push_back(t);
           if (t == 1) throw HostError();
         });
         r.player->play();
         try {
           r.clock->advance(1);
         } catch (const HostError&) {
         }
         r.clock->advance(2);
         EXPECT_EQ(times, (std::vector<double>{1, 2, 3}));
       }},
  });
}

}  // namespace
}  // namespace quarn::platform
