// The simulated player on the manual clock: buffering, stalls, the item's end
// with and without looping, seeking, failures and observers.
#include "quarnkit/platform/media/simulated_player.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "quarnkit/platform/runtime/clock.h"

namespace quarn::platform {
namespace {

using Event = MediaPlayerEvent;

class SimulatedPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    player->addObserver(
        [this](Event e, const std::shared_ptr<MediaPlayerItem>&) { events.push_back(e); });
  }
  std::string state() const {
    switch (player->timeControlStatus()) {
      case TimeControlStatus::paused:
        return "paused";
      case TimeControlStatus::playing:
        return "playing";
      case TimeControlStatus::waitingToPlayAtSpecifiedRate:
        return "waiting:" + player->reasonForWaitingToPlay().value_or("?");
    }
    return "?";
  }
  int count(Event e) const { return static_cast<int>(std::count(events.begin(), events.end(), e)); }

  std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
  ScopedService<Clock> installedClock{clock};
  ScopedService<TimerScheduler> installedScheduler{clock};
  std::shared_ptr<SimulatedPlayerItem> item = SimulatedPlayerItem::make(10.0);
  std::shared_ptr<SimulatedPlayer> player = SimulatedPlayer::make(item);
  std::vector<Event> events;
};

TEST_F(SimulatedPlayerTest, BuffersPlaysStallsAndEnds) {
  EXPECT_EQ(state(), "paused");
  EXPECT_EQ(player->status(), MediaStatus::unknown);
  player->play();
  EXPECT_EQ(state(), "waiting:AVPlayerWaitingWhileEvaluatingBufferingRateReason");
  item->becomeReady();
  EXPECT_EQ(player->status(), MediaStatus::readyToPlay);
  EXPECT_EQ(state(), "waiting:AVPlayerWaitingToMinimizeStallsReason");
  EXPECT_TRUE(item->isPlaybackBufferEmpty());

  item->setLoadedDuration(4);
  EXPECT_EQ(state(), "playing");
  EXPECT_TRUE(item->isPlaybackLikelyToKeepUp());
  clock->advance(2.5);
  EXPECT_DOUBLE_EQ(item->currentTime(), 2.5);
  clock->advance(2);  // the loaded 4 s run out at 4
  EXPECT_EQ(state(), "waiting:AVPlayerWaitingToMinimizeStallsReason");
  EXPECT_DOUBLE_EQ(item->currentTime(), 4);
  EXPECT_TRUE(item->isPlaybackBufferEmpty());
  EXPECT_FALSE(item->isPlaybackLikelyToKeepUp());

  events.clear();
  item->loadAll();
  EXPECT_EQ(state(), "playing");
  EXPECT_TRUE(item->isPlaybackBufferFull());
  EXPECT_EQ(count(Event::itemBufferDidChange), 1);
  clock->advance(6);
  EXPECT_EQ(state(), "paused");
  EXPECT_EQ(player->rate(), 0);
  EXPECT_DOUBLE_EQ(item->currentTime(), 10);
  EXPECT_EQ(count(Event::itemDidPlayToEndTime), 1);
  EXPECT_EQ(events.back(), Event::itemDidPlayToEndTime);
  clock->advance(5);
  EXPECT_EQ(count(Event::itemDidPlayToEndTime), 1);
}

TEST_F(SimulatedPlayerTest, LoopingStaysAtTheEndUntilASeek) {
  player->setActionAtItemEnd(ActionAtItemEnd::none);
  item->becomeReady();
  item->loadAll();
  // What a looping screen does: back to the start at the end.
  player->addObserver([&](Event e, const auto&) {
    if (e == Event::itemDidPlayToEndTime) player->seek(0, nullptr);
  });
  player->play();
  clock->advance(25);
  EXPECT_EQ(count(Event::itemDidPlayToEndTime), 2);
  EXPECT_EQ(state(), "playing");
  EXPECT_DOUBLE_EQ(item->currentTime(), 5);
}

TEST_F(SimulatedPlayerTest, AtTheEndWithoutASeekItRests) {
  player->setActionAtItemEnd(ActionAtItemEnd::none);
  item->becomeReady();
  item->loadAll();
  player->play();
  clock->advance(30);
  EXPECT_EQ(state(), "playing");
  EXPECT_DOUBLE_EQ(item->currentTime(), 10);
  EXPECT_EQ(count(Event::itemDidPlayToEndTime), 1);
}

TEST_F(SimulatedPlayerTest, PlayWaitsToKeepUpAndPlayImmediatelyDoesNot) {
  item->becomeReady();
  item->setLoadedDuration(5);
  item->setLikelyToKeepUp(false);
  player->play();
  EXPECT_EQ(state(), "waiting:AVPlayerWaitingToMinimizeStallsReason");
  player->playImmediately(2);
  EXPECT_EQ(state(), "playing");
  clock->advance(1);
  EXPECT_DOUBLE_EQ(item->currentTime(), 2);  // at rate 2
  clock->advance(2);                         // stalls at 5 after 1.5 s
  EXPECT_DOUBLE_EQ(item->currentTime(), 5);
  EXPECT_EQ(state(), "waiting:AVPlayerWaitingToMinimizeStallsReason");
  item->setLoadedDuration(8);  // loaded, but the network still lags
  EXPECT_EQ(state(), "waiting:AVPlayerWaitingToMinimizeStallsReason");
  item->setLikelyToKeepUp(true);
  EXPECT_EQ(state(), "playing");
}

TEST_F(SimulatedPlayerTest, SeeksClampToTheItem) {
  item->becomeReady();
  item->loadAll();
  std::vector<bool> done;
  auto record = [&](bool finished) { done.push_back(finished); };
  player->seek(25, record);
  EXPECT_DOUBLE_EQ(item->currentTime(), 10);
  player->seek(-3, record);
  EXPECT_DOUBLE_EQ(item->currentTime(), 0);
  player->seek(std::nan(""), record);
  player->replaceCurrentItem(nullptr);
  player->seek(1, record);
  EXPECT_EQ(done, (std::vector<bool>{true, true, false, false}));
  EXPECT_EQ(count(Event::currentItemDidChange), 1);
}

TEST_F(SimulatedPlayerTest, FailuresAndMissingItems) {
  player->play();
  item->fail("The server is unreachable");
  EXPECT_EQ(player->status(), MediaStatus::failed);
  EXPECT_EQ(item->error(), "The server is unreachable");
  EXPECT_EQ(state(), "paused");
  EXPECT_EQ(count(Event::itemStatusDidChange), 1);

  player->replaceCurrentItem(nullptr);
  player->play();
  EXPECT_EQ(state(), "waiting:AVPlayerWaitingWithNoItemToPlayReason");
  for (double bad : {-1.0, double(NAN), double(INFINITY)}) {
    player->setRate(bad);
    EXPECT_EQ(state(), "paused") << bad;
  }
}

TEST_F(SimulatedPlayerTest, StreamsWithoutAnEnd) {
  auto stream = SimulatedPlayerItem::make(std::nullopt);
  player->replaceCurrentItem(stream);
  EXPECT_EQ(item->currentTime(), 0);  // the old item stays where it was
  stream->becomeReady();
  stream->loadAll();
  player->play();
  clock->advance(1000);
  EXPECT_DOUBLE_EQ(stream->currentTime(), 1000);
  EXPECT_FALSE(stream->isPlaybackBufferFull());
  EXPECT_EQ(count(Event::itemDidPlayToEndTime), 0);
  EXPECT_EQ(clock->pendingCount(), 0u);  // no end to wait for
}

TEST_F(SimulatedPlayerTest, ObserversAndLogs) {
  std::vector<double> times;
  auto id = player->addPeriodicTimeObserver(0.5, [&](double t) { times.push_back(t); });
  item->becomeReady();
  item->loadAll();
  clock->advance(1);  // paused: nothing
  player->play();
  clock->advance(1);
  EXPECT_EQ(times, (std::vector<double>{0.5, 1.0}));
  player->removeObserver(id);
  clock->advance(1);
  EXPECT_EQ(times.size(), 2u);
  EXPECT_EQ(player->addPeriodicTimeObserver(0, [&](double) { FAIL(); }), id + 1);

  item->addAccessLogEvent({.numberOfStalls = 2});
  item->addErrorLogEvent({.errorStatusCode = 404});
  item->setPresentationSize({1920, 1080});
  EXPECT_EQ(count(Event::itemNewAccessLogEntry), 1);
  EXPECT_EQ(count(Event::itemNewErrorLogEntry), 1);
  EXPECT_EQ(count(Event::itemPresentationSizeDidChange), 1);
  EXPECT_EQ(item->accessLog().back().numberOfStalls, 2);
  EXPECT_EQ(item->errorLog().back().errorStatusCode, 404);
  EXPECT_EQ(item->presentationSize(), (Size{1920, 1080}));
}

TEST_F(SimulatedPlayerTest, PlayToEndOnCommand) {
  item->becomeReady();
  item->setLoadedDuration(2);
  player->play();
  player->playToEnd();
  EXPECT_DOUBLE_EQ(item->currentTime(), 10);
  EXPECT_EQ(state(), "paused");
  EXPECT_EQ(count(Event::itemDidPlayToEndTime), 1);
}

}  // namespace
}  // namespace quarn::platform
