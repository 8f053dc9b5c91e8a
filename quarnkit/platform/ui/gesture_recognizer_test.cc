// Pan recognizers, interactions, alpha, centre and the recorded animation
// call of the headless toolkit.
#include "quarnkit/platform/ui/gesture_recognizer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "quarnkit/platform/ui/view.h"
#include "quarnkit/platform/ui/view_animation.h"
#include "quarnkit/platform/ui/view_interaction.h"

namespace quarn::platform {
namespace {

using State = GestureRecognizer::State;

struct Refusing : GestureRecognizerDelegate {
  bool gestureRecognizerShouldBegin(GestureRecognizer&) override { return false; }
};

TEST(PanGestureRecognizerTest, StepsThroughAGestureAndCallsLiveTargets) {
  auto window = std::make_shared<Window>(Rect{{0, 0}, {320, 480}});
  auto content = std::make_shared<View>(Rect{{10, 20}, {100, 100}});
  auto inner = std::make_shared<View>(Rect{{5, 5}, {50, 50}});
  window->addSubview(content);
  content->addSubview(inner);
  auto pan = PanGestureRecognizer::make();
  auto target = std::make_shared<int>(0);
  std::vector<State> states;
  std::vector<Point> locations;
  pan->addTarget(target, [&](GestureRecognizer& g) {
    states.push_back(g.state());
    locations.push_back(static_cast<PanGestureRecognizer&>(g).location(window.get()));
  });
  pan->beginTouch({1, 1});  // not attached: ignored
  EXPECT_TRUE(states.empty());

  inner->addGestureRecognizer(pan);
  EXPECT_EQ(pan->view(), inner);
  pan->beginTouch({50, 60});
  pan->moveTouch({50, 90});
  EXPECT_EQ(pan->location(inner.get()), (Point{35, 65}));
  EXPECT_EQ(pan->location(nullptr), (Point{50, 90}));
  pan->endTouch({50, 100});
  EXPECT_EQ(states, (std::vector<State>{State::began, State::changed, State::ended}));
  EXPECT_EQ(locations.back(), (Point{50, 100}));
  EXPECT_EQ(pan->state(), State::possible);

  pan->moveTouch({0, 0});  // no gesture under way
  pan->beginTouch({0, 0});
  pan->cancelTouch();
  EXPECT_EQ(states.back(), State::cancelled);

  auto refusing = std::make_shared<Refusing>();
  pan->delegate = refusing;
  states.clear();
  pan->beginTouch({0, 0});
  pan->moveTouch({0, 10});
  EXPECT_TRUE(states.empty());
  pan->delegate.reset();

  target.reset();  // the target is gone: its action is skipped
  pan->beginTouch({0, 0});
  EXPECT_TRUE(states.empty());

  inner->removeGestureRecognizer(pan);
  EXPECT_EQ(pan->view(), nullptr);
  EXPECT_TRUE(inner->gestureRecognizers().empty());
}

class RecordingInteraction : public ViewInteraction {
 public:
  std::shared_ptr<View> view() const override { return view_.lock(); }
  void willMove(const std::shared_ptr<View>& view) override { log += view ? "will+" : "will-"; }
  void didMove(const std::shared_ptr<View>& view) override {
    view_ = view;
    log += view ? "did+" : "did-";
  }
  std::string log;

 private:
  std::weak_ptr<View> view_;
};

TEST(ViewInteractionTest, AddingAndRemovingTellTheInteraction) {
  auto a = std::make_shared<View>();
  auto b = std::make_shared<View>();
  auto interaction = std::make_shared<RecordingInteraction>();
  a->addInteraction(interaction);
  a->addInteraction(interaction);  // already there
  EXPECT_EQ(interaction->log, "will+did+");
  b->addInteraction(interaction);  // moves
  EXPECT_EQ(interaction->log, "will+did+will-did-will+did+");
  EXPECT_TRUE(a->interactions().empty());
  EXPECT_EQ(b->interactions().size(), 1u);
  b->removeInteraction(interaction);
  EXPECT_EQ(interaction->view(), nullptr);
  EXPECT_TRUE(b->interactions().empty());
}

TEST(ViewPropertiesTest, AlphaIsClampedAndCentreMovesTheFrame) {
  View view(Rect{{0, 0}, {40, 20}});
  EXPECT_EQ(view.alpha(), 1);
  view.setAlpha(-0.5);
  EXPECT_EQ(view.alpha(), 0);
  view.setAlpha(0.25);
  view.setAlpha(std::nan(""));
  EXPECT_EQ(view.alpha(), 0.25);
  view.setAlpha(3);
  EXPECT_EQ(view.alpha(), 1);
  EXPECT_EQ(view.center(), (Point{20, 10}));
  view.setCenter({100, 100});
  EXPECT_EQ(view.frame, (Rect{{80, 90}, {40, 20}}));
}

TEST(ViewAnimationTest, AppliesAtOnceAndRecordsTheDuration) {
  int applied = 0;
  std::vector<bool> completions;
  {
    ViewAnimationRecorder recorder;
    ViewAnimation::animate(
        0.3, [&] { ++applied; }, [&](bool f) { completions.push_back(f); });
    ViewAnimation::animate(0.25, nullptr);
    EXPECT_EQ(recorder.durations(), (std::vector<double>{0.3, 0.25}));
  }
  EXPECT_EQ(applied, 1);
  EXPECT_EQ(completions, std::vector<bool>{true});
  ViewAnimation::animate(1, nullptr);  // no recorder: nothing kept
}

}  // namespace
}  // namespace quarn::platform
