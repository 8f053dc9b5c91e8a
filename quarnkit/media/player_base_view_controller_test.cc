// The player screen over the simulated player on the manual clock: overlay
// timing while playing, the busy indicator, playing again at the end,
// looping, tryPlay, preparation, screen and application events, the speed
// menu, refusals and failures, and the private diagnostics.
#include "quarnkit/media/player_base_view_controller.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "quarnkit/core/log.h"
#include "quarnkit/platform/application.h"
#include "quarnkit/platform/media/audio_session.h"
#include "quarnkit/platform/media/simulated_player.h"
#include "quarnkit/platform/runtime/clock.h"

namespace quarn {
namespace {

using platform::ManualClock;
using platform::MediaStatus;
using platform::ScopedService;
using platform::SimulatedPlayer;
using platform::SimulatedPlayerItem;
using platform::TimeControlStatus;

class RecordingScreen : public PlayerBaseViewController {
 public:
  using PlayerBaseViewController::PlayerBaseViewController;
  std::vector<bool> buffering;
  void bufferingStateDidChange(bool isBuffering) override { buffering.push_back(isBuffering); }
};

class PlayerScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    screen->setPlayer(player);
    screen->loadViewIfNeeded();
    overlay = screen->overlayView.lock();
    ASSERT_NE(overlay, nullptr);
  }
  void ready() {
    item->becomeReady();
    item->loadAll();
  }
  bool overlayShown() const { return overlay->alpha() == 1; }
  bool spinning() const { return overlay->busyIndicator()->isAnimating(); }
  TimeControlStatus status() const { return player->timeControlStatus(); }

  std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
  ScopedService<platform::Clock> installedClock{clock};
  ScopedService<platform::TimerScheduler> installedScheduler{clock};
  std::shared_ptr<platform::SimulatedAudioSession> session =
      std::make_shared<platform::SimulatedAudioSession>();
  ScopedService<platform::AudioSession> installedSession{session};
  std::shared_ptr<SimulatedPlayerItem> item = SimulatedPlayerItem::make(10.0);
  std::shared_ptr<SimulatedPlayer> player = SimulatedPlayer::make(item);
  std::shared_ptr<RecordingScreen> screen = PlayerBaseViewController::make<RecordingScreen>();
  std::shared_ptr<PlayerOverlayView> overlay;
};

// A host screen as hosts write one: it inherits the base's constructors.
class HostScreen : public PlayerBaseViewController {
 public:
  using PlayerBaseViewController::PlayerBaseViewController;
};

// The player's observers and the overlay's timer find the screen through weak
// references: neither the base nor a host's subclass can be built outside a
// shared_ptr.
template <class T>
concept BuildableByValue = std::is_default_constructible_v<T> || requires {
  T{{}};
};

TEST(PlayerScreenKindTest, ScreensAreMadeOnlyAsSharedObjects) {
  EXPECT_FALSE(BuildableByValue<PlayerBaseViewController>);
  EXPECT_FALSE(BuildableByValue<HostScreen>);
  EXPECT_FALSE(std::is_copy_constructible_v<HostScreen>);
}

// A host screen that takes its player (and more) in its constructor.
class PresetScreen : public PlayerBaseViewController {
 public:
  PresetScreen(Key key, std::shared_ptr<platform::MediaPlayer> player, bool looping)
      : PlayerBaseViewController(key) {
    setPlayer(std::move(player));
    setLoopingEnabled(looping);
  }
};

TEST_F(PlayerScreenTest, AScreenGivenItsPlayerInItsConstructorHearsIt) {
  auto otherItem = SimulatedPlayerItem::make(4.0);
  auto other = SimulatedPlayer::make(otherItem);
  auto preset = PlayerBaseViewController::make<PresetScreen>(other, true);
  EXPECT_EQ(other->actionAtItemEnd(), platform::ActionAtItemEnd::none);
  preset->loadViewIfNeeded();
  preset->play();  // not ready: it plays once the item is
  otherItem->loadAll();
  otherItem->becomeReady();
  EXPECT_EQ(other->timeControlStatus(), TimeControlStatus::playing);
  clock->advance(1);
  EXPECT_EQ(preset->overlayView.lock()->timeLabel()->text, "0:01");
}

TEST_F(PlayerScreenTest, WhilePlayingTheOverlayHidesAfterTheLastUpdate) {
  ready();
  screen->play();
  EXPECT_EQ(status(), TimeControlStatus::playing);
  EXPECT_EQ(session->category(), platform::AudioSession::Category::playback);
  EXPECT_TRUE(session->isActive());
  clock->advance(2);
  screen->updateBuffering();  // another update: the countdown starts over
  clock->advance(2.999);
  EXPECT_TRUE(overlayShown());
  clock->advance(0.001);
  EXPECT_FALSE(overlayShown());
  screen->pause();  // shows at once
  EXPECT_TRUE(overlayShown());
  EXPECT_FALSE(screen->isPlaying());

  screen->hideOverlayViewIfPlaying = false;
  screen->play();
  clock->advance(5);
  EXPECT_TRUE(overlayShown());
}

TEST_F(PlayerScreenTest, InlineModeTogglesOnlyTheControls) {
  ready();
  screen->isInlineMode = true;
  screen->play();
  clock->advance(3);
  EXPECT_EQ(overlay->controlsView()->alpha(), 0);
  EXPECT_TRUE(overlayShown());
}

TEST_F(PlayerScreenTest, TheBusyIndicatorSpinsWhileWaitingForData) {
  item->becomeReady();
  screen->updateBuffering();
  EXPECT_FALSE(spinning());  // empty, but nobody asked to play
  EXPECT_EQ(screen->buffering.back(), true);

  screen->play();
  EXPECT_EQ(status(), TimeControlStatus::waitingToPlayAtSpecifiedRate);
  EXPECT_TRUE(spinning());
  EXPECT_TRUE(overlay->playButton()->isHidden);
  EXPECT_TRUE(overlayShown());

  item->setLoadedDuration(4);
  EXPECT_EQ(status(), TimeControlStatus::playing);
  EXPECT_FALSE(spinning());
  EXPECT_FALSE(overlay->playButton()->isHidden);
  EXPECT_TRUE(overlay->playButton()->isSelected);
  EXPECT_EQ(screen->buffering.back(), false);

  clock->advance(4);  // stalls
  EXPECT_TRUE(spinning());
  EXPECT_TRUE(overlayShown());            // not playing any more
  overlay->seekBar()->isTracking = true;  // the play button is left alone while seeking
  item->loadAll();
  EXPECT_FALSE(spinning());
  EXPECT_TRUE(overlay->playButton()->isHidden);
}

TEST_F(PlayerScreenTest, PausingStopsTheBusyIndicatorWhenThePlayerHasNothingToReport) {
  // Asked to play an item that is not ready: the player itself stays paused,
  // and the indicator spins over the empty buffer in its place.
  screen->play();
  screen->timeControlStatusDidChange();
  ASSERT_TRUE(spinning());
  ASSERT_TRUE(overlay->playButton()->isHidden);
  screen->pause();  // no change of the player's to tell of
  EXPECT_FALSE(spinning());
  EXPECT_FALSE(overlay->playButton()->isHidden);
}

TEST_F(PlayerScreenTest, PlayingAtTheEndStartsAgainFromTheBeginning) {
  ready();
  player->seek(10, nullptr);
  screen->play();
  EXPECT_EQ(item->currentTime(), 0);
  EXPECT_EQ(overlay->timeLabel()->text, "0:00");
  EXPECT_EQ(overlay->durationLabel()->text, "0:10");
  EXPECT_EQ(status(), TimeControlStatus::playing);
}

TEST_F(PlayerScreenTest, LoopingPlaysOnAtTheEnd) {
  ready();
  screen->setLoopingEnabled(true);
  EXPECT_EQ(player->actionAtItemEnd(), platform::ActionAtItemEnd::none);
  screen->play();
  clock->advance(12);
  EXPECT_DOUBLE_EQ(item->currentTime(), 2);
  EXPECT_EQ(status(), TimeControlStatus::playing);
  EXPECT_TRUE(screen->isPlaying());
}

TEST_F(PlayerScreenTest, WithoutLoopingTheEndPausesAtZero) {
  ready();
  EXPECT_EQ(player->actionAtItemEnd(), platform::ActionAtItemEnd::pause);
  screen->play();
  clock->advance(12);
  EXPECT_EQ(item->currentTime(), 0);
  EXPECT_EQ(status(), TimeControlStatus::paused);
  EXPECT_FALSE(screen->isPlaying());
  EXPECT_TRUE(overlayShown());
}

TEST_F(PlayerScreenTest, TryPlayOnlyResumesAnIntendedPlayback) {
  ready();
  screen->tryPlay();  // isPlaying is false
  EXPECT_EQ(status(), TimeControlStatus::paused);

  screen->play();
  player->pause();  // paused behind the screen's back, say by a seek
  EXPECT_TRUE(screen->isPlaying());
  item->setLikelyToKeepUp(false);
  item->setLoadedDuration(5);  // neither full nor likely to keep up
  screen->tryPlay();
  EXPECT_EQ(status(), TimeControlStatus::paused);
  item->loadAll();
  screen->seekInteractionEnded();
  EXPECT_EQ(status(), TimeControlStatus::playing);
}

TEST_F(PlayerScreenTest, PlayBeforeTheItemIsReadyStartsOnceItIs) {
  screen->play();
  EXPECT_TRUE(screen->playAfterPreparing());
  EXPECT_EQ(player->rate(), 0);
  item->loadAll();
  item->becomeReady();
  EXPECT_FALSE(screen->playAfterPreparing());
  EXPECT_EQ(status(), TimeControlStatus::playing);
  screen->stop();
  EXPECT_EQ(player->currentItem(), nullptr);
  EXPECT_FALSE(screen->isPlaying());
}

TEST_F(PlayerScreenTest, ARefusingAudioSessionDoesNotStopPlayback) {
  testing::LogCapture logs;
  session->setRefusal("The audio route is taken");
  ready();
  screen->play();
  EXPECT_EQ(status(), TimeControlStatus::playing);
  const auto lines = logs.texts(LogLevel::debug);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("Failed setup audio session: ", 0), 0u);
  EXPECT_NE(lines[0].find("The audio route is taken"), std::string::npos);
}

TEST_F(PlayerScreenTest, AFailingItemStopsPlaybackAndShowsTheOverlay) {
  testing::LogCapture logs;
  screen->play();
  item->fail("The resource is unavailable");
  EXPECT_FALSE(screen->isPlaying());
  EXPECT_FALSE(screen->playAfterPreparing());
  EXPECT_FALSE(spinning());
  EXPECT_TRUE(overlayShown());
  EXPECT_EQ(logs.count("Player item failed: The resource is unavailable"), 1u);
}

TEST_F(PlayerScreenTest, ScreenEventsCarryThePlayingState) {
  ready();
  screen->play();
  screen->viewWillDisappear(true);
  EXPECT_EQ(status(), TimeControlStatus::paused);
  screen->viewWillAppear(true);  // resumeWhenAppear is off
  EXPECT_EQ(status(), TimeControlStatus::paused);
  screen->resumeWhenAppear = true;
  screen->viewWillAppear(true);
  EXPECT_EQ(status(), TimeControlStatus::playing);

  screen->pause();
  screen->viewWillDisappear(true);  // was not playing: stays paused on return
  screen->viewWillAppear(true);
  EXPECT_EQ(status(), TimeControlStatus::paused);
}

TEST_F(PlayerScreenTest, ApplicationEventsDetachAndResume) {
  ready();
  auto surface = screen->playerView.lock();
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(surface->player(), player);
  auto center = platform::NotificationCenter::current();
  screen->play();
  center->post({platform::kApplicationDidEnterBackgroundNotification, nullptr, {}});
  EXPECT_EQ(surface->player(), nullptr);
  EXPECT_EQ(status(), TimeControlStatus::playing);  // pauseWhenEnterBackground is off
  center->post({platform::kApplicationWillEnterForegroundNotification, nullptr, {}});
  EXPECT_EQ(surface->player(), player);

  screen->pauseWhenEnterBackground = true;
  center->post({platform::kApplicationDidEnterBackgroundNotification, nullptr, {}});
  EXPECT_EQ(status(), TimeControlStatus::paused);
  center->post({platform::kApplicationWillEnterForegroundNotification, nullptr, {}});
  EXPECT_EQ(status(), TimeControlStatus::playing);
  screen->pause();
  center->post({platform::kApplicationWillEnterForegroundNotification, nullptr, {}});
  EXPECT_EQ(status(), TimeControlStatus::paused);  // resumes once only

  screen.reset();  // a released screen no longer listens
  center->post({platform::kApplicationDidEnterBackgroundNotification, nullptr, {}});
}

TEST_F(PlayerScreenTest, PlaybackSpeedMenu) {
  auto menu = screen->makeSelectPlaybackSpeedMenu(player);
  EXPECT_EQ(menu.title, "player_playback_speed");
  EXPECT_EQ(menu.image, "gauge.with.dots.needle.67percent");
  std::vector<std::string> titles;
  for (const auto& action : menu.children)
    titles.push_back(action.title + (action.isOn ? "*" : ""));
  EXPECT_EQ(titles, (std::vector<std::string>{"0.5\u00d7", "1\u00d7*", "1.25\u00d7", "1.5\u00d7",
                                              "2\u00d7"}));
  ready();
  menu.children[2].handler();
  EXPECT_EQ(player->defaultRate(), 1.25);
  EXPECT_EQ(player->rate(), 1.25);
  menu = screen->makeSelectPlaybackSpeedMenu(player);
  EXPECT_EQ(menu.title, "1.25\u00d7");
  EXPECT_TRUE(menu.children[2].isOn);
}

TEST_F(PlayerScreenTest, SubtitlesMenu) {
  std::vector<std::optional<std::size_t>> chosen;
  MediaSelectionGroup group{.options = {{"English", "en"}, {"Deutsch", "de"}},
                            .selectedIndex = 1,
                            .select = [&](std::optional<std::size_t> i) { chosen.push_back(i); }};
  auto titles = [](const platform::Menu& menu) {
    std::vector<std::string> out;
    for (const auto& action : menu.children) out.push_back(action.title + (action.isOn ? "*" : ""));
    return out;
  };
  auto menu = screen->makeSelectSubtitlesMenu(group);
  EXPECT_EQ(menu.title, "player_subtitles");
  EXPECT_EQ(menu.image, "captions.bubble");
  EXPECT_EQ(titles(menu),
            (std::vector<std::string>{"player_subtitles_off", "English", "Deutsch*"}));
  group = {};  // the menu keeps what it needs
  menu.children[1].handler();
  menu.children[0].handler();
  EXPECT_EQ(chosen, (std::vector<std::optional<std::size_t>>{0, std::nullopt}));

  // Off marked when nothing is chosen; no off entry when one must be.
  MediaSelectionGroup english;
  english.options = {{"English", "en"}};
  EXPECT_EQ(titles(screen->makeSelectSubtitlesMenu(english)),
            (std::vector<std::string>{"player_subtitles_off*", "English"}));
  english.allowsEmptySelection = false;
  english.selectedIndex = 0;
  const auto required = screen->makeSelectSubtitlesMenu(english);
  EXPECT_EQ(titles(required), (std::vector<std::string>{"English*"}));
  required.children[0].handler();  // no select callback: nothing happens
}

TEST_F(PlayerScreenTest, DiagnosticsAreLoggedWithPrivateValues) {
  testing::LogCapture logs;
  testing::StdoutCapture out;
  platform::MediaAccessLogEvent access;
  access.uri = "https://media.example/v/12345.m3u8?token=secret";
  access.serverAddress = "203.0.113.7";
  access.playbackSessionID = "6E1F-SESSION";
  access.numberOfDroppedVideoFrames = 3;
  access.numberOfStalls = 1;
  item->addAccessLogEvent(access);
  platform::MediaErrorLogEvent error;
  error.uri = access.uri;
  error.serverAddress = access.serverAddress;
  error.errorStatusCode = -12938;
  error.errorDomain = "CoreMediaErrorDomain";
  item->addErrorLogEvent(error);

  EXPECT_TRUE(out.lines().empty());
  const auto lines = logs.texts(LogLevel::debug);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0],
            "NewAccessLogEntry: uri: <private>, serverAddress: <private>, playbackSessionID: "
            "<private>, playbackStartDate: nil, indicatedBitrate: 0\n"
            "    numberOfDroppedVideoFrames: 3\n    numberOfStalls: 1");
  EXPECT_EQ(lines[1],
            "NewErrorLogEntry:\ndate: nil\nuri: <private>\nserverAddress: <private>\n"
            "playbackSessionID: nil\nerrorStatusCode: -12938\nerrorDomain: CoreMediaErrorDomain\n"
            "errorComment: nil");
  for (const auto& line : logs.lines()) {
    EXPECT_EQ(line.logger, "Velmora/Playback");
    EXPECT_EQ(line.text.find("203.0.113.7"), std::string::npos);
    EXPECT_EQ(line.text.find("secret"), std::string::npos);
  }
}

TEST_F(PlayerScreenTest, TapsToggleTheOverlayAndSizesAreReported) {
  ready();
  screen->handleTap();
  EXPECT_FALSE(overlayShown());
  screen->handleTap();
  EXPECT_TRUE(overlayShown());
  screen->tapToToggleOverlayVisibility = false;
  screen->handleTap();
  EXPECT_TRUE(overlayShown());

  std::vector<platform::Size> sizes;
  screen->presentationSizeDidChange = [&](platform::Size s) { sizes.push_back(s); };
  item->setPresentationSize({1280, 720});
  EXPECT_EQ(sizes, (std::vector<platform::Size>{{1280, 720}}));
}

TEST_F(PlayerScreenTest, SeeksReportTheirCompletionAndTheNewTime) {
  ready();
  std::vector<bool> done;
  screen->seek(7.5, [&](bool finished) { done.push_back(finished); });
  screen->seek(99, [&](bool finished) { done.push_back(finished); });  // beyond the end
  EXPECT_EQ(done, (std::vector<bool>{true, true}));
  EXPECT_EQ(item->currentTime(), 10);
  EXPECT_EQ(overlay->seekBar()->value, 1.0);
  EXPECT_FALSE(screen->pendingSeekPosition());
  screen->setPlayer(nullptr);
  screen->seek(1, [&](bool finished) { done.push_back(finished); });
  EXPECT_EQ(done.back(), false);
}

}  // namespace
}  // namespace quarn
