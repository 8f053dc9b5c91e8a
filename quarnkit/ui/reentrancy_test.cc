// What the user-interface components' callbacks into the host allow: for each
// one, the host dropping the object from inside it, calling back into the
// object, and throwing out of it. Time is the manual clock's.
#include "quarnkit/testing/reentrancy.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/ui/view_controller.h"
#include "quarnkit/ui/activity_indicator_manager.h"
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

// The kinds hosts rely on: the interaction comes only from make(), and the
// adapter, which wraps one view, is not copied.
static_assert(!std::is_constructible_v<DismissDragInteraction,
                                       std::shared_ptr<DismissDragInteractionDelegate>>);
static_assert(!std::is_copy_constructible_v<ActivityIndicatorViewAdapter>);

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

// Records what the manager tells it and runs `hook` inside each call.
struct HookedIndicator final : ActivityIndicatorProtocol {
  [[nodiscard]] bool isAnimating() const override { return animating; }
  void startAnimating() override {
    animating = true;
    calls.emplace_back("start");
    if (hook) hook(true);
  }
  void stopAnimating() override {
    animating = false;
    calls.emplace_back("stop");
    if (hook) hook(false);
  }
  bool animating = false;
  std::vector<std::string> calls;
  std::function<void(bool)> hook;
};

// A manager on the manual clock with one activity counted: it shows after
// advance(1.0) and, once the count is back to 0, hides 0.2 s later.
struct ShownManager {
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  platform::ScopedService<platform::Clock> installedClock{clock};
  platform::ScopedService<platform::TimerScheduler> installedScheduler{clock};
  std::shared_ptr<HookedIndicator> indicator = std::make_shared<HookedIndicator>();
  std::unique_ptr<ActivityIndicatorManager> manager =
      std::make_unique<ActivityIndicatorManager>(indicator, nullptr);
  std::vector<bool> told;
  std::function<void(bool)> hook;

  ShownManager() {
    manager->setNetworkActivityIndicatorVisibilityChanged([this](bool shown) {
      told.push_back(shown);
      if (hook) hook(shown);
    });
    manager->incrementActivityCount();
  }
  ~ShownManager() { drainMainContext(); }
  ShownManager(const ShownManager&) = delete;
  ShownManager& operator=(const ShownManager&) = delete;
};

using Calls = std::vector<std::string>;
using Told = std::vector<bool>;

TEST(ActivityIndicatorManagerReentrancyTest, EveryCallbackAndAction) {
  runReentrancyTable({
      {"visibility callback", HostAction::release,
       "dropping the manager from the callback stops everything: no timer stays, nothing is "
       "told afterwards",
       [] {
         ShownManager m;
         m.hook = [&](bool) { m.manager.reset(); };
         m.clock->advance(1.0);
         EXPECT_EQ(m.manager, nullptr);
         EXPECT_EQ(m.clock->pendingCount(), 0u);
         m.clock->advance(5.0);
         EXPECT_EQ(m.indicator->calls, Calls{"start"});
         EXPECT_EQ(m.told, Told{true});
       }},
      {"visibility callback", HostAction::reenter,
       "ending the activity from the show's callback hides the indicator after the completion "
       "delay",
       [] {
         ShownManager m;
         m.hook = [&](bool shown) {
           if (shown) m.manager->decrementActivityCount();
         };
         m.clock->advance(1.0);
         EXPECT_EQ(m.manager->activityIndicatorState(), ActivityIndicatorState::delayingCompletion);
         m.clock->advance(0.2);
         EXPECT_EQ(m.indicator->calls, (Calls{"start", "stop"}));
         EXPECT_EQ(m.told, (Told{true, false}));
       }},
      {"visibility callback", HostAction::raise,
       "the exception leaves whatever runs the main context (here the clock's advance); the "
       "indicator is shown, and the manager still hides it and says so later",
       [] {
         ShownManager m;
         m.hook = [&](bool shown) {
           if (shown) throw HostError();
         };
         EXPECT_THROW(m.clock->advance(1.0), HostError);
         EXPECT_EQ(m.indicator->calls, Calls{"start"});
         EXPECT_TRUE(m.manager->isNetworkActivityIndicatorVisible());
         m.manager->decrementActivityCount();
         m.clock->advance(0.2);
         EXPECT_EQ(m.indicator->calls, (Calls{"start", "stop"}));
         EXPECT_EQ(m.told, (Told{true, false}));
       }},

      {"indicator", HostAction::release,
       "dropping the manager from startAnimating: the indicator is started but the callback is "
       "not told, since the manager is gone",
       [] {
         ShownManager m;
         m.indicator->hook = [&](bool) { m.manager.reset(); };
         m.clock->advance(1.0);
         EXPECT_EQ(m.manager, nullptr);
         EXPECT_EQ(m.indicator->calls, Calls{"start"});
         EXPECT_TRUE(m.told.empty());
         EXPECT_EQ(m.clock->pendingCount(), 0u);
       }},
      {"indicator", HostAction::reenter,
       "swapping the indicator from startAnimating: this show finishes on the old one (and is "
       "told), the hide goes to the new one",
       [] {
         ShownManager m;
         auto next = std::make_shared<HookedIndicator>();
         m.indicator->hook = [&](bool) { m.manager->setActivityIndicatorView(next); };
         m.clock->advance(1.0);
         m.manager->decrementActivityCount();
         m.clock->advance(0.2);
         EXPECT_EQ(m.indicator->calls, Calls{"start"});
         EXPECT_EQ(next->calls, Calls{"stop"});
         EXPECT_EQ(m.told, (Told{true, false}));
       }},
      {"indicator", HostAction::raise,
       "the callback is still told, then the indicator's exception leaves whatever runs the "
       "main context; the hide reaches both later",
       [] {
         ShownManager m;
         m.indicator->hook = [&](bool shown) {
           if (shown) throw HostError();
         };
         EXPECT_THROW(m.clock->advance(1.0), HostError);
         EXPECT_EQ(m.told, Told{true});
         m.manager->decrementActivityCount();
         m.clock->advance(0.2);
         EXPECT_EQ(m.indicator->calls, (Calls{"start", "stop"}));
         EXPECT_EQ(m.told, (Told{true, false}));
       }},
  });
}

}  // namespace
}  // namespace quarn
