// What the user-interface components' callbacks into the host allow: for each
// one, the host dropping the object from inside it, calling back into the
// object, and throwing out of it.
#include "quarnkit/testing/reentrancy.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "quarnkit/platform/ui/view_controller.h"
#include "quarnkit/ui/dismiss_drag_interaction.h"

namespace quarn {
namespace {

using platform::Point;
using platform::Rect;
using platform::View;
using platform::ViewController;
using platform::Window;
using quarn::testing::HostAction;
using quarn::testing::runReentrancyTable;

// The kind hosts rely on: the interaction comes only from make().
static_assert(!std::is_constructible_v<DismissDragInteraction,
                                       std::shared_ptr<DismissDragInteractionDelegate>>);

struct HostError : std::runtime_error {
  HostError() : std::runtime_error("host") {}
};

// Names one view and runs `hook` (with the call's number, from 1) inside
// every call.
struct HookedDelegate : DismissDragInteractionDelegate {
  std::vector<std::shared_ptr<View>> views;
  std::function<void(int)> hook;
  int calls = 0;
  std::vector<std::shared_ptr<View>> viewsToDrag(DismissDragInteraction&) override {
    ++calls;
    if (hook) hook(calls);
    return views;
  }
};

// A sheet presented over a home screen in a 480-point window, whose content
// view is dragged. The sheet's view holds the only reference to the
// interaction; `pan` is the recognizer the touches go to.
struct DraggedSheet {
  std::shared_ptr<Window> window = std::make_shared<Window>(Rect{{0, 0}, {320, 480}});
  std::shared_ptr<ViewController> home = std::make_shared<ViewController>();
  std::shared_ptr<ViewController> sheet = std::make_shared<ViewController>();
  std::shared_ptr<View> content = std::make_shared<View>(Rect{{0, 100}, {320, 200}});
  std::shared_ptr<HookedDelegate> delegate = std::make_shared<HookedDelegate>();
  std::weak_ptr<DismissDragInteraction> drag;
  platform::PanGestureRecognizer* pan = nullptr;

  DraggedSheet() {
    window->setRootViewController(home);
    home->present(sheet, false);
    sheet->view()->frame = {{0, 0}, {320, 480}};
    sheet->view()->addSubview(content);
    delegate->views = {content};
    auto interaction = DismissDragInteraction::make(delegate);
    sheet->view()->addInteraction(interaction);
    pan = interaction->gestureRegognizer().get();
    drag = interaction;
  }
  // Touches at y = 200, then moves to 220 and 240 (three delegate calls).
  void touchAndMove() {
    pan->beginTouch({100, 200});
    pan->moveTouch({100, 220});
    pan->moveTouch({100, 240});
  }
  [[nodiscard]] bool dismissed() const { return home->presentedViewController() == nullptr; }
  [[nodiscard]] bool restored() const {
    return content->alpha() == 1 && content->center() == Point{160, 200};
  }
};

TEST(DismissDragInteractionReentrancyTest, EveryCallbackAndAction) {
  runReentrancyTable({
      {"viewsToDrag", HostAction::release,
       "removing the interaction from its view mid-drag springs the views back; the step "
       "moves nothing more and the interaction is freed with its recognizer",
       [] {
         DraggedSheet s;
         std::weak_ptr<platform::GestureRecognizer> recognizer = s.drag.lock()->gestureRegognizer();
         s.delegate->hook = [&](int call) {
           if (call == 3) s.sheet->view()->removeInteraction(s.drag.lock());
         };
         s.touchAndMove();
         EXPECT_TRUE(s.drag.expired());
         EXPECT_TRUE(recognizer.expired());
         EXPECT_TRUE(s.restored());
         EXPECT_FALSE(s.dismissed());
       }},
      {"viewsToDrag", HostAction::reenter,
       "a lift from inside the delegate ends the drag there (sprung back, 40 points); the step "
       "it interrupted moves nothing afterwards, and the next drag works",
       [] {
         DraggedSheet s;
         s.delegate->hook = [&](int call) {
           if (call == 3) s.pan->endTouch({100, 240});
         };
         s.touchAndMove();
         EXPECT_TRUE(s.restored());
         EXPECT_FALSE(s.dismissed());
         s.delegate->hook = nullptr;
         s.pan->beginTouch({100, 200});
         s.pan->moveTouch({100, 350});
         s.pan->endTouch({100, 350});
         EXPECT_TRUE(s.dismissed());
       }},
      {"viewsToDrag", HostAction::raise,
       "the exception leaves the touch call; the drag is still under way and the next lift "
       "springs the views back",
       [] {
         DraggedSheet s;
         s.delegate->hook = [&](int call) {
           if (call == 3) throw HostError();
         };
         s.pan->beginTouch({100, 200});
         s.pan->moveTouch({100, 220});
         EXPECT_THROW(s.pan->moveTouch({100, 240}), HostError);
         EXPECT_EQ(s.content->center(), (Point{160, 220}));
         s.pan->endTouch({100, 240});
         EXPECT_TRUE(s.restored());
         EXPECT_FALSE(s.dismissed());
       }},
  });
}

}  // namespace
}  // namespace quarn
