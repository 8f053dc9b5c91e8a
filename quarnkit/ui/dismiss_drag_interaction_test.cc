// Drag-to-dismiss on the headless toolkit: the 100-point threshold both ways,
// opacity along the drag, the spring back, and the cases without effect.
#include "quarnkit/ui/dismiss_drag_interaction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "quarnkit/platform/ui/view.h"
#include "quarnkit/platform/ui/view_animation.h"
#include "quarnkit/platform/ui/view_controller.h"

namespace quarn {
namespace {

using platform::Point;
using platform::Rect;
using platform::View;
using platform::ViewController;
using platform::Window;

struct Moving : DismissDragInteractionDelegate {
  std::vector<std::shared_ptr<View>> views;
  std::vector<std::shared_ptr<View>> viewsToDrag(DismissDragInteraction&) override { return views; }
};

class DismissDragInteractionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window->setRootViewController(home);
    home->present(sheet, false);
    sheet->view()->frame = {{0, 0}, {320, 480}};
    sheet->view()->addSubview(content);
    sheet->view()->addSubview(caption);
    moving->views = {content, caption};
    sheet->view()->addInteraction(drag);
  }

  // Drags from (100, 200) by `dy` points, lifting the finger when `lift`.
  void dragBy(double dy, bool lift = true) {
    auto pan = drag->gestureRegognizer();
    pan->beginTouch({100, 200});
    pan->moveTouch({100, 200 + dy / 2});
    pan->moveTouch({100, 200 + dy});
    if (lift) pan->endTouch({100, 200 + dy});
  }

  bool dismissed() const { return home->presentedViewController() == nullptr; }

  std::shared_ptr<Window> window = std::make_shared<Window>(Rect{{0, 0}, {320, 480}});
  std::shared_ptr<ViewController> home = std::make_shared<ViewController>();
  std::shared_ptr<ViewController> sheet = std::make_shared<ViewController>();
  std::shared_ptr<View> content = std::make_shared<View>(Rect{{0, 100}, {320, 200}});
  std::shared_ptr<View> caption = std::make_shared<View>(Rect{{20, 400}, {100, 20}});
  std::shared_ptr<Moving> moving = std::make_shared<Moving>();
  std::shared_ptr<DismissDragInteraction> drag = DismissDragInteraction::make(moving);
};

TEST_F(DismissDragInteractionTest, InstallsAndRemovesItsPanRecognizer) {
  ASSERT_NE(drag->gestureRegognizer(), nullptr);
  EXPECT_EQ(drag->view(), sheet->view());
  EXPECT_EQ(sheet->view()->gestureRecognizers().size(), 1u);
  auto pan = drag->gestureRegognizer();
  sheet->view()->removeInteraction(drag);
  EXPECT_TRUE(sheet->view()->gestureRecognizers().empty());
  EXPECT_EQ(drag->gestureRegognizer(), nullptr);
  EXPECT_EQ(pan->view(), nullptr);
}

TEST_F(DismissDragInteractionTest, TheViewsFollowTheFingerAndFade) {
  dragBy(120, false);  // a quarter of the window height
  EXPECT_EQ(drag->initialTouchPoint, (Point{100, 200}));
  EXPECT_EQ(drag->initialScrollViewCenter, (Point{160, 200}));
  EXPECT_NEAR(content->alpha(), 0.5, 1e-9);
  EXPECT_EQ(content->center(), (Point{160, 320}));
  // Every view takes the first one's start plus the drag, keeping its own x.
  EXPECT_EQ(caption->center(), (Point{70, 320}));
  EXPECT_NEAR(caption->alpha(), 0.5, 1e-9);

  drag->gestureRegognizer()->moveTouch({100, 200 - 240});  // half the height, upwards
  EXPECT_EQ(content->alpha(), 0);
  drag->gestureRegognizer()->moveTouch({100, 200 + 300});  // beyond: below 0, clamped
  EXPECT_EQ(content->alpha(), 0);
  EXPECT_EQ(content->center(), (Point{160, 500}));
}

TEST_F(DismissDragInteractionTest, DismissesBeyondOneHundredPointsEitherWay) {
  struct Case {
    double dy;
    bool dismisses;
  };
  for (const Case c :
       {Case{100, false}, Case{-100, false}, Case{101, true}, Case{-101, true}, Case{0, false}}) {
    if (dismissed()) home->present(sheet, false);
    content->frame = {{0, 100}, {320, 200}};
    caption->frame = {{20, 400}, {100, 20}};
    platform::ViewAnimationRecorder recorder;
    dragBy(c.dy);
    EXPECT_EQ(dismissed(), c.dismisses) << c.dy;
    if (!c.dismisses) {
      EXPECT_EQ(recorder.durations(), std::vector<double>{0.3}) << c.dy;
      EXPECT_EQ(content->alpha(), 1) << c.dy;
      EXPECT_EQ(content->center(), (Point{160, 200})) << c.dy;
      // The spring back puts every view at the first one's starting centre.
      EXPECT_EQ(caption->center(), (Point{160, 200})) << c.dy;
    } else {
      EXPECT_TRUE(recorder.durations().empty());
    }
  }
}

TEST_F(DismissDragInteractionTest, CancellingDecidesLikeLifting) {
  auto pan = drag->gestureRegognizer();
  pan->beginTouch({0, 300});
  pan->moveTouch({0, 150});
  pan->cancelTouch();
  EXPECT_TRUE(dismissed());
}

// Whatever changes between the touch and the lift, the views end either with
// the screen dismissed or back in place at full opacity.
TEST_F(DismissDragInteractionTest, EveryDragEndsDismissedOrSprungBack) {
  auto pan = drag->gestureRegognizer();
  auto restored = [&] {
    EXPECT_FALSE(dismissed());
    EXPECT_EQ(content->alpha(), 1);
    EXPECT_EQ(content->center(), (Point{160, 200}));
    EXPECT_EQ(caption->alpha(), 1);
    EXPECT_EQ(caption->center(), (Point{160, 200}));
  };
  auto reset = [&] {
    if (dismissed()) home->present(sheet, false);
    window->frame.size.height = 480;
    moving->views = {content, caption};
    content->frame = {{0, 100}, {320, 200}};
    caption->frame = {{20, 400}, {100, 20}};
  };

  // The window loses its height before a short drag lifts.
  dragBy(50, false);
  window->frame.size.height = 0;
  pan->endTouch({100, 250});
  restored();

  // ... or before a long one lifts: it still dismisses.
  reset();
  dragBy(150, false);
  window->frame.size.height = 0;
  pan->endTouch({100, 350});
  EXPECT_TRUE(dismissed());

  // The delegate stops naming views, or the lift has no position.
  reset();
  dragBy(50, false);
  moving->views.clear();
  pan->endTouch({100, 250});
  restored();
  reset();
  dragBy(50, false);
  pan->endTouch({100, std::nan("")});
  restored();

  // A drag that began without a window height to measure does not move the
  // views once the height is back, and leaves nothing to spring back.
  reset();
  window->frame.size.height = 0;
  pan->beginTouch({100, 0});
  window->frame.size.height = 480;
  pan->moveTouch({100, 60});
  EXPECT_EQ(content->center(), (Point{160, 200}));
  EXPECT_EQ(content->alpha(), 1);
  pan->endTouch({100, 60});
  EXPECT_EQ(content->center(), (Point{160, 200}));
  EXPECT_EQ(caption->center(), (Point{70, 410}));
  EXPECT_FALSE(dismissed());
}

TEST_F(DismissDragInteractionTest, NoEffectWithoutWhatTheDragNeeds) {
  auto unchanged = [&] {
    EXPECT_EQ(content->alpha(), 1);
    EXPECT_EQ(content->center(), (Point{160, 200}));
    EXPECT_FALSE(dismissed());
  };
  moving->views.clear();
  dragBy(150);
  unchanged();

  moving->views = {content};
  window->frame.size.height = 0;  // nothing to measure the fade by
  dragBy(150);
  unchanged();
  window->frame.size.height = 480;

  auto pan = drag->gestureRegognizer();
  pan->beginTouch({100, 200});
  pan->moveTouch({100, std::nan("")});
  pan->endTouch({100, std::nan("")});
  unchanged();

  moving->views = {content};
  auto strong = moving;
  moving.reset();
  strong.reset();  // the delegate is held weakly
  dragBy(150);
  unchanged();
}

TEST(DismissDragInteractionWindowTest, NoEffectOutsideAWindow) {
  auto screen = std::make_shared<ViewController>();
  auto content = std::make_shared<View>(Rect{{0, 0}, {100, 100}});
  screen->view()->addSubview(content);
  struct One : DismissDragInteractionDelegate {
    std::shared_ptr<View> view;
    std::vector<std::shared_ptr<View>> viewsToDrag(DismissDragInteraction&) override {
      return {view};
    }
  };
  auto delegate = std::make_shared<One>();
  delegate->view = content;
  auto drag = DismissDragInteraction::make(delegate);
  screen->view()->addInteraction(drag);
  drag->gestureRegognizer()->beginTouch({0, 0});
  drag->gestureRegognizer()->moveTouch({0, 50});
  EXPECT_EQ(content->alpha(), 1);
  EXPECT_EQ(content->center(), (Point{50, 50}));
}

}  // namespace
}  // namespace quarn
