// What the host may do inside the routing callbacks: drop the navigator (or
// the matcher), call back into it, or throw.
#include "quarnkit/testing/reentrancy.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "quarnkit/platform/ui/application.h"
#include "quarnkit/platform/ui/view_controller.h"
#include "quarnkit/routing/navigator.h"

namespace quarn {
namespace {

using platform::NavigationController;
using platform::ViewController;
using platform::Window;
using testing::HostAction;

// A key window showing a navigation stack with one screen, and a navigator.
struct Stage {
  std::shared_ptr<ViewController> home = std::make_shared<ViewController>();
  std::shared_ptr<NavigationController> stack = NavigationController::make(home);
  std::shared_ptr<Window> window = std::make_shared<Window>();
  std::shared_ptr<Navigator> navigator = Navigator::make(platform::topMostViewController);

  Stage() {
    window->setRootViewController(stack);
    window->makeKeyAndVisible();
  }
};

// A screen that says which route made it.
class Named : public ViewController {
 public:
  explicit Named(std::string routeName) : name(std::move(routeName)) {}
  std::string name;
};

ViewControllerFactory named(const std::string& name) {
  return [name](auto&, auto&, auto&) { return std::make_shared<Named>(name); };
}

std::string nameOf(const ViewControllerPtr& screen) {
  auto n = std::dynamic_pointer_cast<Named>(screen);
  return n ? n->name : "<none>";
}

std::any anyText(std::span<const std::string> c, std::size_t i) { return c[i]; }

TEST(RoutingReentrancyTest, EveryCallbackAndAction) {
  testing::runReentrancyTable({
      // --- screen factories -------------------------------------------------
      {"view-controller factory", HostAction::release,
       "push finishes: the screen is pushed and returned; the navigator is freed when push returns",
       [] {
         Stage stage;
         std::weak_ptr<Navigator> weak = stage.navigator;
         stage.navigator->register_("app://bye", [&stage](auto&, auto&, auto&) {
           stage.navigator.reset();
           return std::make_shared<Named>("bye");
         });
         auto navigator = weak.lock().get();  // no reference of the test's own
         EXPECT_EQ(nameOf(navigator->push("app://bye")), "bye");
         EXPECT_TRUE(weak.expired());
         EXPECT_EQ(nameOf(stage.stack->topViewController()), "bye");
       }},
      {"view-controller factory", HostAction::reenter,
       "the factory replaces its route and pushes another URL: the inner push lands first, the "
       "outer screen goes on top of it, and the new route serves the next push",
       [] {
         Stage stage;
         stage.navigator->register_("app://inner", named("inner"));
         stage.navigator->register_("app://outer", [&stage](auto&, auto&, auto&) {
           stage.navigator->register_("app://outer", named("replaced"));
           EXPECT_EQ(nameOf(stage.navigator->push("app://inner")), "inner");
           return std::make_shared<Named>("outer");
         });
         EXPECT_EQ(nameOf(stage.navigator->push("app://outer")), "outer");
         const auto screens = stage.stack->viewControllers();
         ASSERT_EQ(screens.size(), 3U);
         EXPECT_EQ(nameOf(screens[1]), "inner");
         EXPECT_EQ(nameOf(screens[2]), "outer");
         EXPECT_EQ(nameOf(stage.navigator->push("app://outer")), "replaced");
       }},
      {"view-controller factory", HostAction::raise,
       "the exception leaves push; nothing is pushed and the navigator keeps routing",
       [] {
         Stage stage;
         stage.navigator->register_("app://fail", [](auto&, auto&, auto&) -> ViewControllerPtr {
           throw std::runtime_error("no screen");
         });
         stage.navigator->register_("app://ok", named("ok"));
         EXPECT_THROW(stage.navigator->push("app://fail"), std::runtime_error);
         EXPECT_THROW(stage.navigator->present("app://fail"), std::runtime_error);
         EXPECT_EQ(stage.stack->viewControllers().size(), 1U);
         EXPECT_EQ(stage.home->presentedViewController(), nullptr);
         EXPECT_EQ(nameOf(stage.navigator->push("app://ok")), "ok");
       }},

      // --- URL handlers -----------------------------------------------------
      {"URL handler", HostAction::release,
       "open returns the handler's result; the navigator is freed when open returns",
       [] {
         Stage stage;
         std::weak_ptr<Navigator> weak = stage.navigator;
         stage.navigator->handle("app://logout", [&stage](auto&, auto&, auto&) {
           stage.navigator.reset();
           return true;
         });
         auto navigator = weak.lock().get();
         EXPECT_TRUE(navigator->open("app://logout"));
         EXPECT_TRUE(weak.expired());
       }},
      {"URL handler", HostAction::reenter,
       "the handler registers handlers and opens one of them: both run, the outer's result is "
       "returned",
       [] {
         Stage stage;
         int inner = 0;
         stage.navigator->handle("app://outer", [&](auto&, auto&, auto&) {
           for (int i = 0; i < 20; ++i) {
             stage.navigator->handle("app://inner/" + std::to_string(i), [&](auto&, auto&, auto&) {
               ++inner;
               return true;
             });
           }
           stage.navigator->handle("app://outer", [](auto&, auto&, auto&) { return false; });
           return stage.navigator->open("app://inner/19");
         });
         EXPECT_TRUE(stage.navigator->open("app://outer"));
         EXPECT_EQ(inner, 1);
         EXPECT_FALSE(stage.navigator->open("app://outer"));  // the replacement
       }},
      {"URL handler", HostAction::raise,
       "the exception leaves open (and the resolved handler); the navigator keeps working",
       [] {
         Stage stage;
         stage.navigator->handle("app://fail", [](auto&, auto&, auto&) -> bool {
           throw std::runtime_error("refused");
         });
         stage.navigator->handle("app://ok", [](auto&, auto&, auto&) { return true; });
         EXPECT_THROW(stage.navigator->open("app://fail"), std::runtime_error);
         auto action = stage.navigator->handler("app://fail", {});
         ASSERT_TRUE(action);
         EXPECT_THROW((*action)(), std::runtime_error);
         EXPECT_TRUE(stage.navigator->open("app://ok"));
       }},

      // --- the top-most lookup -----------------------------------------------
      {"top-most lookup", HostAction::release,
       "push finishes on the stack the lookup found; the navigator is freed when push returns",
       [] {
         Stage stage;
         std::weak_ptr<Navigator> weak = stage.navigator;
         stage.navigator->setTopMostViewControllerLookup([&stage] {
           stage.navigator.reset();
           return platform::topMostViewController();
         });
         stage.navigator->setDelegate(std::make_shared<NavigatorDelegate>());
         auto navigator = weak.lock().get();
         auto screen = std::make_shared<Named>("pushed");
         EXPECT_EQ(navigator->push(screen), screen);
         EXPECT_TRUE(weak.expired());
         EXPECT_EQ(stage.stack->topViewController(), screen);
       }},
      {"top-most lookup", HostAction::reenter,
       "the lookup pushes a screen itself: that push lands first, the outer screen on top",
       [] {
         Stage stage;
         bool inside = false;
         stage.navigator->setTopMostViewControllerLookup([&] {
           if (!std::exchange(inside, true)) {
             EXPECT_NE(stage.navigator->push(std::make_shared<Named>("inner")), nullptr);
           }
           return platform::topMostViewController();
         });
         EXPECT_NE(stage.navigator->push(std::make_shared<Named>("outer")), nullptr);
         ASSERT_EQ(stage.stack->viewControllers().size(), 3U);
         EXPECT_EQ(nameOf(stage.stack->viewControllers()[1]), "inner");
         EXPECT_EQ(nameOf(stage.stack->topViewController()), "outer");
       }},
      {"top-most lookup", HostAction::raise,
       "the exception leaves push or present; nothing is shown and the navigator keeps working",
       [] {
         Stage stage;
         bool fail = true;
         stage.navigator->setTopMostViewControllerLookup([&] {
           if (fail) throw std::runtime_error("no window");
           return platform::topMostViewController();
         });
         EXPECT_THROW(stage.navigator->push(std::make_shared<Named>("a")), std::runtime_error);
         EXPECT_THROW(stage.navigator->present(std::make_shared<Named>("b")), std::runtime_error);
         EXPECT_EQ(stage.stack->viewControllers().size(), 1U);
         EXPECT_EQ(stage.home->presentedViewController(), nullptr);
         fail = false;
         EXPECT_NE(stage.navigator->push(std::make_shared<Named>("c")), nullptr);
       }},

      // --- the completion of a presentation ----------------------------------
      {"present completion", HostAction::release,
       "present returns the presented screen; the navigator is freed when present returns",
       [] {
         Stage stage;
         std::weak_ptr<Navigator> weak = stage.navigator;
         stage.navigator->register_("app://sheet", named("sheet"));
         auto navigator = weak.lock().get();
         auto sheet = navigator->present("app://sheet", {}, platform::navigationControllerType(),
                                         nullptr, false, [&stage] { stage.navigator.reset(); });
         EXPECT_EQ(nameOf(sheet), "sheet");
         EXPECT_TRUE(weak.expired());
         auto wrapper =
             std::dynamic_pointer_cast<NavigationController>(stage.home->presentedViewController());
         ASSERT_TRUE(wrapper);
         EXPECT_EQ(wrapper->topViewController(), sheet);
       }},
      {"present completion", HostAction::reenter,
       "the completion presents another URL: it goes over the first screen, which present returns",
       [] {
         Stage stage;
         stage.navigator->register_("app://first", named("first"));
         stage.navigator->register_("app://second", named("second"));
         ViewControllerPtr second;
         auto first = stage.navigator->present("app://first", {}, nullptr, nullptr, false, [&] {
           second = stage.navigator->present("app://second");
         });
         EXPECT_EQ(nameOf(first), "first");
         EXPECT_EQ(nameOf(second), "second");
         EXPECT_EQ(stage.home->presentedViewController(), first);
         EXPECT_EQ(std::dynamic_pointer_cast<ViewController>(first)->presentedViewController(),
                   second);
       }},
      {"present completion", HostAction::raise,
       "the exception leaves present; the screen stays presented and the navigator keeps working",
       [] {
         Stage stage;
         stage.navigator->register_("app://sheet", named("sheet"));
         EXPECT_THROW(stage.navigator->present("app://sheet", {}, nullptr, nullptr, false,
                                               [] { throw std::runtime_error("late"); }),
                      std::runtime_error);
         auto shown = stage.home->presentedViewController();
         EXPECT_EQ(nameOf(shown), "sheet");
         EXPECT_EQ(nameOf(stage.navigator->present("app://sheet")), "sheet");
         EXPECT_EQ(nameOf(shown->presentedViewController()), "sheet");
       }},

      // --- value converters during a dispatch ---------------------------------
      {"navigator's value converter", HostAction::release,
       "the dispatch finishes on the routes it began with; the navigator is freed when it returns",
       [] {
         Stage stage;
         std::weak_ptr<Navigator> weak = stage.navigator;
         stage.navigator->matcher().valueConverters.add(
             "drop", [&stage](std::span<const std::string> c, std::size_t i) -> std::any {
               stage.navigator.reset();
               return c[i];
             });
         stage.navigator->register_("app://p/<drop:x>", named("p"));
         auto navigator = weak.lock().get();
         EXPECT_EQ(nameOf(navigator->viewController("app://p/1", {})), "p");
         EXPECT_TRUE(weak.expired());
       }},
      {"navigator's value converter", HostAction::reenter,
       "the converter registers routes and a converter: the running match keeps its routes and "
       "converters, the next one sees the new",
       [] {
         Stage stage;
         int calls = 0;
         stage.navigator->matcher().valueConverters.add(
             "grow", [&](std::span<const std::string> c, std::size_t i) -> std::any {
               if (++calls == 1) {
                 for (int n = 0; n < 50; ++n) {
                   stage.navigator->register_("app://p/" + std::to_string(n), named("literal"));
                 }
                 stage.navigator->matcher().valueConverters.add("text", anyText);
                 EXPECT_EQ(nameOf(stage.navigator->viewController("app://p/7", {})), "literal");
               }
               return c[i];
             });
         stage.navigator->register_("app://p/<grow:x>", named("typed"));
         EXPECT_EQ(nameOf(stage.navigator->viewController("app://p/7", {})), "typed");
         EXPECT_EQ(nameOf(stage.navigator->viewController("app://p/7", {})), "literal");
         EXPECT_TRUE(stage.navigator->matcher().valueConverters.contains("text"));
       }},
      {"navigator's value converter", HostAction::raise,
       "the exception leaves the dispatch; nothing is shown and the routes stay as they were",
       [] {
         Stage stage;
         stage.navigator->matcher().valueConverters.add(
             "bad", [](std::span<const std::string>, std::size_t) -> std::any {
               throw std::runtime_error("unreadable");
             });
         stage.navigator->register_("app://p/<bad:x>", named("bad"));
         stage.navigator->register_("app://q/<x>", named("q"));
         EXPECT_THROW(stage.navigator->push("app://p/1"), std::runtime_error);
         EXPECT_EQ(stage.stack->viewControllers().size(), 1U);
         EXPECT_EQ(nameOf(stage.navigator->push("app://q/1")), "q");
       }},

      // --- a matcher of its own ------------------------------------------------
      {"matcher's value converter", HostAction::release,
       "the converter destroys the matcher: the match finishes and returns its result",
       [] {
         auto matcher = std::make_unique<URLMatcher>();
         matcher->valueConverters.add(
             "drop", [&matcher](std::span<const std::string> c, std::size_t i) -> std::any {
               matcher.reset();
               return c[i];
             });
         URLPatternSet routes(std::vector<std::string>{"app://a/<drop:x>", "app://a/<y>"});
         URLMatcher* raw = matcher.get();
         const auto result = raw->match("app://a/1", routes);
         ASSERT_TRUE(result);
         EXPECT_EQ(result->pattern, "app://a/<drop:x>");
         EXPECT_EQ(matcher, nullptr);
       }},
      {"matcher's value converter", HostAction::reenter,
       "the converter matches again and changes the registry: each match keeps its own table",
       [] {
         URLMatcher matcher;
         const std::vector<std::string> routes{"app://a/<outer:x>/<inner:y>"};
         int depth = 0;
         matcher.valueConverters.add(
             "outer", [&](std::span<const std::string> c, std::size_t i) -> std::any {
               if (depth++ == 0) {
                 matcher.valueConverters.remove("inner");
                 EXPECT_TRUE(matcher.match("app://a/1/2", routes));  // "inner" now untyped
                 matcher.valueConverters.add("inner", anyText);
               }
               return c[i];
             });
         matcher.valueConverters.add(
             "inner", [](std::span<const std::string>, std::size_t) -> std::any { return {}; });
         EXPECT_FALSE(matcher.match("app://a/1/2", routes));  // its table refuses "inner"
         EXPECT_TRUE(matcher.match("app://a/1/2", routes));   // the new one accepts it
       }},
      {"matcher's value converter", HostAction::raise,
       "the exception leaves match; the matcher and its converters are as before",
       [] {
         URLMatcher matcher;
         bool fail = true;
         matcher.valueConverters.add(
             "flaky", [&](std::span<const std::string> c, std::size_t i) -> std::any {
               if (fail) throw std::runtime_error("flaky");
               return c[i];
             });
         const std::vector<std::string> routes{"app://a/<flaky:x>"};
         EXPECT_THROW((void)matcher.match("app://a/1", routes), std::runtime_error);
         fail = false;
         EXPECT_TRUE(matcher.match("app://a/1", routes));
       }},
  });
}

}  // namespace
}  // namespace quarn
