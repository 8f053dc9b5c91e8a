// The navigator over the headless UI toolkit: resolution, handlers, push and
// present with the delegate's veto, wrapping, and the default places.
#include "quarnkit/routing/navigator.h"

#include <gtest/gtest.h>

#include "quarnkit/platform/ui/application.h"

namespace quarn {
namespace {

using platform::NavigationController;
using platform::ViewController;
using platform::Window;

// A screen that remembers what it was made from.
class RoutedScreen : public ViewController {
 public:
  RoutedScreen(std::string routePattern, URLMatchValues routeValues, std::any routeContext)
      : pattern(std::move(routePattern)),
        values(std::move(routeValues)),
        context(std::move(routeContext)) {}
  std::string pattern;
  URLMatchValues values;
  std::any context;

  [[nodiscard]] std::string value(const std::string& key) const {
    auto it = values.find(key);
    return it == values.end() ? "<none>" : describeURLValue(it->second).value_or("?");
  }
};

ViewControllerFactory screenFor(const std::string& pattern) {
  return [pattern](const URLConvertible&, const URLMatchValues& values, const std::any& context) {
    return std::make_shared<RoutedScreen>(pattern, values, context);
  };
}

std::shared_ptr<RoutedScreen> routed(const ViewControllerPtr& screen) {
  return std::dynamic_pointer_cast<RoutedScreen>(screen);
}

class Vetoes : public NavigatorDelegate {
 public:
  bool push = true, present = true;
  ViewControllerPtr askedAbout, askedFrom;
  bool shouldPush(const ViewControllerPtr& screen, const NavigationControllerPtr& from) override {
    askedAbout = screen;
    askedFrom = from;
    return push;
  }
  bool shouldPresent(const ViewControllerPtr& screen, const ViewControllerPtr& from) override {
    askedAbout = screen;
    askedFrom = from;
    return present;
  }
};

// A key window showing a navigation stack with one screen.
class NavigatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_->setRootViewController(stack_);
    window_->makeKeyAndVisible();
  }
  std::shared_ptr<ViewController> home_ = std::make_shared<ViewController>();
  std::shared_ptr<NavigationController> stack_ = NavigationController::make(home_);
  std::shared_ptr<Window> window_ = std::make_shared<Window>();
  std::shared_ptr<Navigator> navigator_ = Navigator::make();
};

TEST_F(NavigatorTest, ResolvesToTheMostLiteralRouteThenTheFirstRegistered) {
  navigator_->register_("app://profile/<id>", screenFor("id"));
  navigator_->register_("app://profile/me", screenFor("me"));
  EXPECT_EQ(routed(navigator_->viewController("app://profile/me", {}))->pattern, "me");
  auto seven = routed(navigator_->viewController("app://profile/7", {}));
  EXPECT_EQ(seven->pattern, "id");
  EXPECT_EQ(seven->value("id"), "7");
  EXPECT_EQ(std::any_cast<std::string>(seven->values.at("id")), "7");  // text, untyped
  EXPECT_EQ(navigator_->viewController("app://other", {}), nullptr);

  // Equal literal counts: registration order decides, whichever it is.
  for (const bool reversed : {false, true}) {
    auto navigator = Navigator::make();
    const std::vector<std::string> both{"app://p/<a>/x", "app://p/y/<b>"};
    navigator->register_(both[reversed ? 1 : 0], screenFor(both[reversed ? 1 : 0]));
    navigator->register_(both[reversed ? 0 : 1], screenFor(both[reversed ? 0 : 1]));
    EXPECT_EQ(routed(navigator->viewController("app://p/y/x", {}))->pattern,
              both[reversed ? 1 : 0]);
  }
}

TEST_F(NavigatorTest, RegisteringAgainReplacesTheFactoryAndKeepsItsPlace) {
  const std::vector<std::string> patterns{"app://a/<x>", "app://b/<x>"};
  navigator_->register_(patterns, screenFor("old"));
  navigator_->register_("app://c/<x>", screenFor("c"));
  navigator_->register_("app://a/<x>", screenFor("new"));
  EXPECT_EQ(routed(navigator_->viewController("app://a/1", {}))->pattern, "new");
  EXPECT_EQ(routed(navigator_->viewController("app://b/1", {}))->pattern, "old");
  const auto& routes = navigator_->viewControllerFactories();
  ASSERT_EQ(routes.size(), 3U);
  EXPECT_EQ(routes.pattern(0), "app://a/<x>");
  EXPECT_EQ(routes.pattern(2), "app://c/<x>");
  EXPECT_NE(routes.find("app://c/<x>"), nullptr);
  EXPECT_EQ(routes.find("app://d/<x>"), nullptr);
}

TEST_F(NavigatorTest, HandlersRunOnlyWhenCalled) {
  int runs = 0;
  std::string seen;
  navigator_->handle(
      "app://logout/<why>",
      [&](const URLConvertible& url, const URLMatchValues& values, const std::any& context) {
        ++runs;
        seen = url.urlStringValue() + " " + std::any_cast<std::string>(values.at("why")) + " " +
               std::any_cast<std::string>(context);
        return true;
      });
  auto action = navigator_->handler("app://logout/expired", std::string("ctx"));
  ASSERT_TRUE(action);
  EXPECT_EQ(runs, 0);
  EXPECT_TRUE((*action)());
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(seen, "app://logout/expired expired ctx");
  EXPECT_TRUE(navigator_->open("app://logout/now", std::string("c")));
  EXPECT_EQ(runs, 2);
  EXPECT_FALSE(navigator_->open("app://login"));
  EXPECT_FALSE(navigator_->handler("app://login", {}));
  EXPECT_EQ(runs, 2);
  navigator_->handle("app://refuse", [](auto&, auto&, auto&) { return false; });
  EXPECT_FALSE(navigator_->open("app://refuse"));
}

// Factories that change the routes while they run: a one-shot route that
// replaces itself, and an area's entry route that registers its sub-routes
// (enough of them to move every stored factory). Each still finishes with its
// own captured state, and the new routes are in force afterwards.
TEST_F(NavigatorTest, FactoriesMayRegisterRoutesWhileTheyRun) {
  const std::string label(64, 'x');  // too long to live inside the std::function
  const ViewControllerFactory oneShot =
      [this, label](const URLConvertible&, const URLMatchValues& values, const std::any& context) {
        navigator_->register_("app://welcome", screenFor("after"));
        return std::make_shared<RoutedScreen>(label, values, context);
      };
  // Small enough to be stored inside the route table itself.
  navigator_->register_("app://area", [this](const URLConvertible&, const URLMatchValues& values,
                                             const std::any& context) {
    for (int i = 0; i < 40; ++i) {
      navigator_->register_("app://area/" + std::to_string(i), screenFor("sub"));
      navigator_->handle("app://area/" + std::to_string(i) + "/do",
                         [](auto&, auto&, auto&) { return true; });
    }
    return std::make_shared<RoutedScreen>("area", values, context);
  });

  navigator_->register_("app://welcome", oneShot);
  EXPECT_EQ(routed(navigator_->viewController("app://welcome", {}))->pattern, label);
  EXPECT_EQ(routed(navigator_->viewController("app://welcome", {}))->pattern, "after");
  navigator_->register_("app://welcome", oneShot);
  EXPECT_EQ(routed(navigator_->push("app://welcome", {}, nullptr, false))->pattern, label);
  navigator_->register_("app://welcome", oneShot);
  EXPECT_EQ(routed(navigator_->present("app://welcome"))->pattern, label);
  EXPECT_EQ(routed(navigator_->viewController("app://welcome", {}))->pattern, "after");

  // The top-most screen is the presented one now, with no stack: push on ours.
  EXPECT_EQ(routed(navigator_->push("app://area", {}, stack_, false))->pattern, "area");
  EXPECT_EQ(routed(navigator_->viewController("app://area/39", {}))->pattern, "sub");
  EXPECT_TRUE(navigator_->open("app://area/7/do"));
  EXPECT_EQ(routed(navigator_->viewController("app://area", {}))->pattern, "area");  // again

  // A handler replacing itself while it runs.
  int runs = 0;
  navigator_->handle("app://once", [this, label, &runs](auto&, auto&, auto&) {
    navigator_->handle("app://once", [](auto&, auto&, auto&) { return false; });
    ++runs;
    return label.size() == 64;
  });
  EXPECT_TRUE(navigator_->open("app://once"));
  EXPECT_FALSE(navigator_->open("app://once"));
  EXPECT_EQ(runs, 1);
}

TEST_F(NavigatorTest, PushesOnTheTopMostStackUnlessVetoed) {
  navigator_->register_("app://item/<int:id>", screenFor("item"));
  auto pushed = routed(navigator_->push("app://item/3", std::string("from test"), nullptr, false));
  ASSERT_TRUE(pushed);
  EXPECT_EQ(stack_->topViewController(), pushed);
  EXPECT_EQ(pushed->value("id"), "3");
  EXPECT_EQ(std::any_cast<std::string>(pushed->context), "from test");

  auto vetoes = std::make_shared<Vetoes>();
  navigator_->setDelegate(vetoes);
  vetoes->push = false;
  EXPECT_EQ(navigator_->push("app://item/4"), nullptr);
  EXPECT_EQ(stack_->viewControllers().size(), 2U);  // unchanged
  EXPECT_EQ(vetoes->askedFrom, stack_);
  vetoes->push = true;
  EXPECT_NE(navigator_->push("app://item/5"), nullptr);
  EXPECT_EQ(stack_->viewControllers().size(), 3U);

  // A navigation controller is not pushed; no route, no push.
  EXPECT_EQ(navigator_->push(NavigationController::make(std::make_shared<ViewController>())),
            nullptr);
  EXPECT_EQ(navigator_->push("app://nothing"), nullptr);
  // An explicit stack is used as given.
  auto other = NavigationController::make(std::make_shared<ViewController>());
  auto screen = std::make_shared<ViewController>();
  EXPECT_EQ(navigator_->push(screen, other, true), screen);
  EXPECT_EQ(other->topViewController(), screen);
  // The delegate is held weakly.
  vetoes.reset();
  EXPECT_EQ(navigator_->delegate(), nullptr);
}

TEST_F(NavigatorTest, PresentsOverTheTopMostScreenWrappingOnce) {
  navigator_->register_("app://sheet", screenFor("sheet"));
  auto vetoes = std::make_shared<Vetoes>();
  navigator_->setDelegate(vetoes);
  vetoes->present = false;
  EXPECT_EQ(navigator_->present("app://sheet"), nullptr);
  EXPECT_EQ(home_->presentedViewController(), nullptr);
  vetoes->present = true;

  bool completed = false;
  auto sheet = navigator_->present("app://sheet", {}, navigationControllerType(), nullptr, true,
                                   [&] { completed = true; });
  ASSERT_TRUE(routed(sheet));
  EXPECT_TRUE(completed);
  EXPECT_EQ(vetoes->askedAbout, sheet);  // the screen, not its wrapper
  EXPECT_EQ(vetoes->askedFrom, home_);
  auto wrapper = std::dynamic_pointer_cast<NavigationController>(home_->presentedViewController());
  ASSERT_TRUE(wrapper);
  EXPECT_EQ(wrapper->topViewController(), sheet);

  // A navigation controller is not wrapped again; the top-most screen is now the sheet.
  auto modal = NavigationController::make(std::make_shared<ViewController>());
  EXPECT_EQ(navigator_->present(modal, navigationControllerType(), nullptr, false, nullptr), modal);
  EXPECT_EQ(sheet->presentedViewController(), modal);

  // No key window, no presenter.
  window_.reset();
  EXPECT_EQ(navigator_->present(std::make_shared<ViewController>()), nullptr);
  EXPECT_EQ(navigator_->push(std::make_shared<ViewController>()), nullptr);
}

}  // namespace
}  // namespace quarn
