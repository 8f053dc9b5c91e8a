// The navigator: resolution and handlers, then push and present with the
// delegate's veto, wrapping and the default places, run twice: over a host's
// own screens (a fake that records what it is asked) and over the headless
// toolkit's controllers.
#include "quarnkit/routing/navigator.h"

#include <gtest/gtest.h>

#include "quarnkit/platform/ui/application.h"
#include "quarnkit/platform/ui/view_controller.h"

namespace quarn {
namespace {

// What a routed screen was made from.
struct RouteInfo {
  virtual ~RouteInfo() = default;
  std::string pattern;
  URLMatchValues values;
  std::any context;

  [[nodiscard]] std::string value(const std::string& key) const {
    auto it = values.find(key);
    return it == values.end() ? "<none>" : describeURLValue(it->second).value_or("?");
  }
};

template <class Screen>
class Routed : public Screen, public RouteInfo {};

std::shared_ptr<RouteInfo> routed(const ViewControllerPtr& screen) {
  return std::dynamic_pointer_cast<RouteInfo>(screen);
}

// --- A host's own screens ----------------------------------------------------

class FakeStack;

// A screen that presents one screen at a time, unless it refuses all; every
// call is written to the shared log.
class FakeScreen : public UIViewControllerType {
 public:
  std::shared_ptr<std::vector<std::string>> log = std::make_shared<std::vector<std::string>>();
  bool refuses = false;
  std::shared_ptr<UIViewControllerType> presented;
  std::weak_ptr<FakeStack> stack;

  bool present(const std::shared_ptr<UIViewControllerType>& screen, bool animated,
               const std::function<void()>& completion) override {
    log->push_back(std::string("present") + (animated ? " animated" : ""));
    if (refuses || presented) return false;
    presented = screen;
    if (completion) completion();
    return true;
  }
  [[nodiscard]] std::shared_ptr<UINavigationControllerType> navigationStack() const override;
};

class FakeStack : public FakeScreen,
                  public UINavigationControllerType,
                  public std::enable_shared_from_this<FakeStack> {
 public:
  std::vector<std::shared_ptr<UIViewControllerType>> screens;

  void pushViewController(const std::shared_ptr<UIViewControllerType>& screen,
                          bool animated) override {
    log->push_back(std::string("push") + (animated ? " animated" : ""));
    if (auto fake = std::dynamic_pointer_cast<FakeScreen>(screen)) fake->stack = weak_from_this();
    screens.push_back(screen);
  }
};

std::shared_ptr<UINavigationControllerType> FakeScreen::navigationStack() const {
  return stack.lock();
}

// The host's side of the tests: its screens, its stacks, its idea of the top.
struct FakeHost {
  using Screen = FakeScreen;
  using Stack = FakeStack;
  static constexpr const char* name = "host";

  std::shared_ptr<UIViewControllerType> root;

  static std::shared_ptr<Stack> makeStack(const std::shared_ptr<Screen>& first) {
    auto stack = std::make_shared<Stack>();
    first->stack = stack;
    stack->screens.push_back(first);
    return stack;
  }
  static std::shared_ptr<UIViewControllerType> presentedBy(const std::shared_ptr<Screen>& screen) {
    return screen->presented;
  }
  static std::shared_ptr<UIViewControllerType> top(const std::shared_ptr<Stack>& stack) {
    return stack->screens.back();
  }
  static std::size_t depth(const std::shared_ptr<Stack>& stack) { return stack->screens.size(); }
  static NavigationControllerType wrapType() {
    return [](const std::shared_ptr<UIViewControllerType>& first) {
      auto stack = std::make_shared<Stack>();
      stack->screens.push_back(first);
      return std::static_pointer_cast<UIViewControllerType>(stack);
    };
  }
  // Makes the screen the presenter refuses with: one presented already.
  static void occupy(const std::shared_ptr<Screen>& screen) {
    screen->presented = std::make_shared<Screen>();
  }

  void show(const std::shared_ptr<UIViewControllerType>& screen) { root = screen; }
  void hide() { root = nullptr; }
  // Down through what each screen shows: the one it presents, a stack's top.
  TopMostViewControllerLookup lookup() {
    return [this]() -> std::shared_ptr<UIViewControllerType> {
      auto top = root;
      while (top) {
        if (auto fake = std::dynamic_pointer_cast<FakeScreen>(top); fake && fake->presented) {
          top = fake->presented;
        } else if (auto stack = std::dynamic_pointer_cast<FakeStack>(top);
                   stack && !stack->screens.empty()) {
          top = stack->screens.back();
        } else {
          break;
        }
      }
      return top;
    };
  }
};

// --- The headless toolkit ------------------------------------------------------

struct Headless {
  using Screen = platform::ViewController;
  using Stack = platform::NavigationController;
  static constexpr const char* name = "headless";

  std::shared_ptr<platform::Window> window;

  static std::shared_ptr<Stack> makeStack(const std::shared_ptr<Screen>& first) {
    return Stack::make(first);
  }
  static std::shared_ptr<UIViewControllerType> presentedBy(const std::shared_ptr<Screen>& screen) {
    return screen->presentedViewController();
  }
  static std::shared_ptr<UIViewControllerType> top(const std::shared_ptr<Stack>& stack) {
    return stack->topViewController();
  }
  static std::size_t depth(const std::shared_ptr<Stack>& stack) {
    return stack->viewControllers().size();
  }
  static NavigationControllerType wrapType() { return platform::navigationControllerType(); }
  static void occupy(const std::shared_ptr<Screen>& screen) {
    screen->present(std::make_shared<Screen>(), false);
  }

  void show(const std::shared_ptr<platform::ViewController>& screen) {
    window = std::make_shared<platform::Window>();
    window->setRootViewController(screen);
    window->makeKeyAndVisible();
  }
  void hide() { window.reset(); }
  static TopMostViewControllerLookup lookup() { return platform::topMostViewController; }
};

template <class Screen>
ViewControllerFactory screenFor(const std::string& pattern) {
  return [pattern](const URLConvertible&, const URLMatchValues& values, const std::any& context) {
    auto screen = std::make_shared<Routed<Screen>>();
    screen->pattern = pattern;
    screen->values = values;
    screen->context = context;
    return screen;
  };
}

class Vetoes : public NavigatorDelegate {
 public:
  bool push = true, present = true;
  ViewControllerPtr askedAbout, askedFrom;
  NavigationControllerPtr askedStack;
  bool shouldPush(const ViewControllerPtr& screen, const NavigationControllerPtr& from) override {
    askedAbout = screen;
    askedStack = from;
    return push;
  }
  bool shouldPresent(const ViewControllerPtr& screen, const ViewControllerPtr& from) override {
    askedAbout = screen;
    askedFrom = from;
    return present;
  }
};

// Presents `screen` from `from` (the top-most when null): the call returns the
// screen whether or not it was shown, and says so, and completes only if it was.
void expectPresents(Navigator& navigator, const ViewControllerPtr& screen,
                    NavigationControllerType wrap, const ViewControllerPtr& from, bool shown) {
  bool presented = !shown;
  bool completed = false;
  EXPECT_EQ(navigator.present(
                screen, std::move(wrap), from, false, [&] { completed = true; }, &presented),
            screen);
  EXPECT_EQ(presented, shown);
  EXPECT_EQ(completed, shown);
}

// A stack with one screen, shown as the root; a navigator finding the top
// the way the host does.
template <class Host>
class NavigatorTest : public ::testing::Test {
 protected:
  void SetUp() override { host_.show(stack_); }

  Host host_;
  std::shared_ptr<typename Host::Screen> home_ = std::make_shared<typename Host::Screen>();
  std::shared_ptr<typename Host::Stack> stack_ = Host::makeStack(home_);
  std::shared_ptr<Navigator> navigator_ = Navigator::make(host_.lookup());
};

class HostNames {
 public:
  template <class T>
  static std::string GetName(int) {
    return T::name;
  }
};
using Hosts = ::testing::Types<FakeHost, Headless>;
TYPED_TEST_SUITE(NavigatorTest, Hosts, HostNames);

TYPED_TEST(NavigatorTest, PushesOnTheTopMostStackUnlessVetoed) {
  using Screen = typename TypeParam::Screen;
  auto& navigator = this->navigator_;
  auto& stack = this->stack_;
  navigator->register_("app://item/<int:id>", screenFor<Screen>("item"));
  auto pushed = navigator->push("app://item/3", std::string("from test"), nullptr, false);
  ASSERT_TRUE(routed(pushed));
  EXPECT_EQ(TypeParam::top(stack), pushed);
  EXPECT_EQ(routed(pushed)->value("id"), "3");
  EXPECT_EQ(std::any_cast<std::string>(routed(pushed)->context), "from test");

  auto vetoes = std::make_shared<Vetoes>();
  navigator->setDelegate(vetoes);
  vetoes->push = false;
  EXPECT_EQ(navigator->push("app://item/4"), nullptr);
  EXPECT_EQ(TypeParam::depth(stack), 2U);  // unchanged
  EXPECT_EQ(vetoes->askedStack, stack);
  EXPECT_EQ(routed(vetoes->askedAbout)->value("id"), "4");
  vetoes->push = true;
  EXPECT_NE(navigator->push("app://item/5"), nullptr);
  EXPECT_EQ(TypeParam::depth(stack), 3U);

  // A navigation controller is not pushed, and the delegate is not asked.
  vetoes->askedAbout = nullptr;
  EXPECT_EQ(navigator->push(TypeParam::makeStack(std::make_shared<Screen>())), nullptr);
  EXPECT_EQ(vetoes->askedAbout, nullptr);
  EXPECT_EQ(TypeParam::depth(stack), 3U);
  EXPECT_EQ(navigator->push("app://nothing"), nullptr);
  // An explicit stack is used as given.
  auto other = TypeParam::makeStack(std::make_shared<Screen>());
  auto screen = std::make_shared<Screen>();
  EXPECT_EQ(navigator->push(screen, other, true), screen);
  EXPECT_EQ(TypeParam::top(other), screen);
  EXPECT_EQ(TypeParam::depth(stack), 3U);
  // The delegate is held weakly.
  vetoes.reset();
  EXPECT_EQ(navigator->delegate(), nullptr);
}

TYPED_TEST(NavigatorTest, PresentsOverTheTopMostScreenWrappingOnce) {
  using Screen = typename TypeParam::Screen;
  auto& navigator = this->navigator_;
  auto& home = this->home_;
  navigator->register_("app://sheet", screenFor<Screen>("sheet"));
  auto vetoes = std::make_shared<Vetoes>();
  navigator->setDelegate(vetoes);
  vetoes->present = false;
  bool presented = true;
  EXPECT_EQ(navigator->present("app://sheet", {}, nullptr, nullptr, true, nullptr, &presented),
            nullptr);
  EXPECT_FALSE(presented);
  EXPECT_EQ(TypeParam::presentedBy(home), nullptr);
  vetoes->present = true;

  bool completed = false;
  auto sheet = navigator->present(
      "app://sheet", {}, TypeParam::wrapType(), nullptr, true, [&] { completed = true; },
      &presented);
  ASSERT_TRUE(routed(sheet));
  EXPECT_TRUE(presented);
  EXPECT_TRUE(completed);
  EXPECT_EQ(vetoes->askedAbout, sheet);  // the screen, not its wrapper
  EXPECT_EQ(vetoes->askedFrom, home);
  auto wrapper = std::dynamic_pointer_cast<typename TypeParam::Stack>(TypeParam::presentedBy(home));
  ASSERT_TRUE(wrapper);
  EXPECT_EQ(TypeParam::top(wrapper), sheet);

  // A navigation controller is not wrapped again; the top-most screen is now the sheet.
  auto modal = TypeParam::makeStack(std::make_shared<Screen>());
  EXPECT_EQ(navigator->present(modal, TypeParam::wrapType(), nullptr, false, nullptr), modal);
  EXPECT_EQ(TypeParam::presentedBy(std::dynamic_pointer_cast<Screen>(sheet)), modal);

  // Nothing on top: no presenter and no stack.
  this->host_.hide();
  EXPECT_EQ(navigator->present(std::make_shared<Screen>()), nullptr);
  EXPECT_EQ(navigator->push(std::make_shared<Screen>()), nullptr);
}

// A presenter that already presents a screen takes no other: the call still
// returns the screen, but says it was not presented and never completes.
TYPED_TEST(NavigatorTest, ABusyPresenterIsReportedAsNotPresenting) {
  using Screen = typename TypeParam::Screen;
  auto& navigator = this->navigator_;
  auto presenter = std::make_shared<Screen>();
  TypeParam::occupy(presenter);
  const auto already = TypeParam::presentedBy(presenter);
  auto screen = std::make_shared<Screen>();
  expectPresents(*navigator, screen, nullptr, presenter, false);
  EXPECT_EQ(TypeParam::presentedBy(presenter), already);

  // The URL form says the same; a free presenter then takes the screen.
  navigator->register_("app://sheet", screenFor<Screen>("sheet"));
  bool presented = true;
  EXPECT_TRUE(routed(
      navigator->present("app://sheet", {}, nullptr, presenter, false, nullptr, &presented)));
  EXPECT_FALSE(presented);
  expectPresents(*navigator, screen, nullptr, std::make_shared<Screen>(), true);
}

// --- Resolution and handlers, and what only a host's screens can show -----------

TEST(NavigatorHostTest, ResolvesToTheMostLiteralRouteThenTheFirstRegistered) {
  using Screen = FakeScreen;
  auto navigator = Navigator::make();
  navigator->register_("app://profile/<id>", screenFor<Screen>("id"));
  navigator->register_("app://profile/me", screenFor<Screen>("me"));
  EXPECT_EQ(routed(navigator->viewController("app://profile/me", {}))->pattern, "me");
  auto seven = routed(navigator->viewController("app://profile/7", {}));
  EXPECT_EQ(seven->pattern, "id");
  EXPECT_EQ(std::any_cast<std::string>(seven->values.at("id")), "7");  // text, untyped
  EXPECT_EQ(navigator->viewController("app://other", {}), nullptr);

  // Equal literal counts: registration order decides, whichever it is.
  for (const bool reversed : {false, true}) {
    auto other = Navigator::make();
    const std::vector<std::string> both{"app://p/<a>/x", "app://p/y/<b>"};
    other->register_(both[reversed ? 1 : 0], screenFor<Screen>(both[reversed ? 1 : 0]));
    other->register_(both[reversed ? 0 : 1], screenFor<Screen>(both[reversed ? 0 : 1]));
    EXPECT_EQ(routed(other->viewController("app://p/y/x", {}))->pattern, both[reversed ? 1 : 0]);
  }
}

TEST(NavigatorHostTest, PassesTheAnimationFlagAndAsksTheLookupEachTime) {
  FakeHost host;
  auto home = std::make_shared<FakeScreen>();
  auto stack = FakeHost::makeStack(home);
  int lookups = 0;
  auto navigator = Navigator::make([&]() -> std::shared_ptr<UIViewControllerType> {
    ++lookups;
    return host.lookup()();
  });
  EXPECT_EQ(navigator->push(std::make_shared<FakeScreen>()), nullptr);  // nothing shown yet
  EXPECT_EQ(lookups, 1);
  host.show(stack);
  navigator->push(std::make_shared<FakeScreen>(), nullptr, false);
  navigator->push(std::make_shared<FakeScreen>(), nullptr, true);
  EXPECT_EQ(lookups, 3);
  EXPECT_EQ(*stack->log, (std::vector<std::string>{"push", "push animated"}));
  // The pushed screen now knows its stack: a push from it lands on the same one.
  auto third = std::dynamic_pointer_cast<FakeScreen>(stack->screens.back());
  navigator->present(std::make_shared<FakeScreen>(), nullptr, nullptr, true, nullptr);
  EXPECT_EQ(*third->log, (std::vector<std::string>{"present animated"}));
  EXPECT_EQ(lookups, 4);

  // No lookup at all: only calls that name a place show anything.
  auto placeless = Navigator::make();
  EXPECT_EQ(placeless->push(std::make_shared<FakeScreen>()), nullptr);
  EXPECT_EQ(placeless->present(std::make_shared<FakeScreen>()), nullptr);
  auto named = std::make_shared<FakeScreen>();
  EXPECT_EQ(placeless->push(named, stack, true), named);
}

TEST(NavigatorHostTest, ARefusingPresenterShowsNothingAndIsReported) {
  auto presenter = std::make_shared<FakeScreen>();
  presenter->refuses = true;
  auto navigator = Navigator::make([presenter] { return presenter; });
  auto vetoes = std::make_shared<Vetoes>();
  navigator->setDelegate(vetoes);
  // The screen still comes back: the delegate allowed it.
  expectPresents(*navigator, std::make_shared<FakeScreen>(), FakeHost::wrapType(), nullptr, false);
  EXPECT_EQ(presenter->presented, nullptr);
  EXPECT_EQ(vetoes->askedFrom, presenter);
  EXPECT_EQ(*presenter->log, (std::vector<std::string>{"present"}));
}

// A host's screen handed to the headless toolkit is refused, not half-shown.
TEST(NavigatorHostTest, TheHeadlessToolkitRefusesScreensNotItsOwn) {
  auto home = std::make_shared<platform::ViewController>();
  auto stack = platform::NavigationController::make(home);
  auto navigator = Navigator::make();
  auto stranger = std::make_shared<FakeScreen>();
  expectPresents(*navigator, stranger, nullptr, home, false);
  EXPECT_EQ(home->presentedViewController(), nullptr);
  bool presented = true;
  // Wrapping it in a headless navigation controller makes nothing to present.
  EXPECT_EQ(navigator->present(stranger, platform::navigationControllerType(), home, false, nullptr,
                               &presented),
            nullptr);
  navigator->push(stranger, stack, false);
  EXPECT_EQ(stack->viewControllers().size(), 1U);
}

TEST(NavigatorHostTest, HandlersRunOnlyWhenCalled) {
  auto navigator = Navigator::make();
  int runs = 0;
  std::string seen;
  navigator->handle(
      "app://logout/<why>",
      [&](const URLConvertible& url, const URLMatchValues& values, const std::any& context) {
        ++runs;
        seen = url.urlStringValue() + " " + std::any_cast<std::string>(values.at("why")) + " " +
               std::any_cast<std::string>(context);
        return true;
      });
  auto action = navigator->handler("app://logout/expired?now=1", std::string("ctx"));
  ASSERT_TRUE(action);
  EXPECT_EQ(runs, 0);
  EXPECT_TRUE((*action)());
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(seen, "app://logout/expired?now=1 expired ctx");
  EXPECT_TRUE(navigator->open("app://logout/now", std::string("c")));
  EXPECT_EQ(runs, 2);
  EXPECT_FALSE(navigator->open("app://login"));
  EXPECT_FALSE(navigator->handler("app://login", {}));
  EXPECT_EQ(runs, 2);
  navigator->handle("app://refuse", [](auto&, auto&, auto&) { return false; });
  EXPECT_FALSE(navigator->open("app://refuse"));
}

// A host's URL object, gone by the time its resolved handler runs: the
// handler's factory still hears what the URL said.
class HostLink : public URLConvertible {
 public:
  explicit HostLink(std::string path) : path_(std::move(path)) {}
  std::optional<URL> urlValue() const override { return URL::parse(urlStringValue()); }
  std::string urlStringValue() const override { return "app://" + path_ + "?from=push"; }

 private:
  std::string path_;
};

TEST(NavigatorHostTest, AHostsURLTypeRoutesAndItsHandlerKeepsWhatItSaid) {
  auto navigator = Navigator::make();
  navigator->register_("app://article/<int:id>", screenFor<FakeScreen>("article"));
  EXPECT_EQ(routed(navigator->viewController(HostLink("article/9"), {}))->value("id"), "9");
  std::string heard;
  navigator->handle("app://share/<what>",
                    [&](const URLConvertible& url, const URLMatchValues&, const std::any&) {
                      heard = url.urlStringValue() + " " + url.queryParameters().at("from") + " " +
                              (url.urlValue() ? url.urlValue()->host().value_or("?") : "<no url>");
                      return true;
                    });
  std::optional<URLOpenHandler> action;
  {
    auto link = std::make_unique<HostLink>("share/photo");
    action = navigator->handler(*link, {});
  }
  ASSERT_TRUE(action);
  EXPECT_TRUE((*action)());
  EXPECT_EQ(heard, "app://share/photo?from=push push share");
}

TEST(NavigatorHostTest, RegisteringAgainReplacesTheFactoryAndKeepsItsPlace) {
  auto navigator = Navigator::make();
  const std::vector<std::string> patterns{"app://a/<x>", "app://b/<x>"};
  navigator->register_(patterns, screenFor<FakeScreen>("old"));
  navigator->register_("app://c/<x>", screenFor<FakeScreen>("c"));
  navigator->register_("app://a/<x>", screenFor<FakeScreen>("new"));
  EXPECT_EQ(routed(navigator->viewController("app://a/1", {}))->pattern, "new");
  EXPECT_EQ(routed(navigator->viewController("app://b/1", {}))->pattern, "old");
  const auto& routes = navigator->viewControllerFactories();
  ASSERT_EQ(routes.size(), 3U);
  EXPECT_EQ(routes.pattern(0), "app://a/<x>");
  EXPECT_EQ(routes.pattern(2), "app://c/<x>");
  EXPECT_NE(routes.find("app://c/<x>"), nullptr);
  EXPECT_EQ(routes.find("app://d/<x>"), nullptr);
}

// Factories that change the routes while they run: a one-shot route that
// replaces itself, and an area's entry route that registers its sub-routes
// (enough of them to move every stored factory). Each still finishes with its
// own captured state, and the new routes are in force afterwards.
TEST(NavigatorHostTest, FactoriesMayRegisterRoutesWhileTheyRun) {
  FakeHost host;
  auto home = std::make_shared<FakeScreen>();
  auto stack = FakeHost::makeStack(home);
  host.show(stack);
  auto navigator = Navigator::make(host.lookup());
  const std::string label(64, 'x');  // too long to live inside the std::function
  const ViewControllerFactory oneShot = [&navigator, label](const URLConvertible& url,
                                                            const URLMatchValues& values,
                                                            const std::any& context) {
    navigator->register_("app://welcome", screenFor<FakeScreen>("after"));
    return screenFor<FakeScreen>(label)(url, values, context);
  };
  // Small enough to be stored inside the route table itself.
  navigator->register_(
      "app://area", [&navigator](const URLConvertible& url, const URLMatchValues& values,
                                 const std::any& context) {
        for (int i = 0; i < 40; ++i) {
          navigator->register_("app://area/" + std::to_string(i), screenFor<FakeScreen>("sub"));
          navigator->handle("app://area/" + std::to_string(i) + "/do",
                            [](auto&, auto&, auto&) { return true; });
        }
        return screenFor<FakeScreen>("area")(url, values, context);
      });

  navigator->register_("app://welcome", oneShot);
  EXPECT_EQ(routed(navigator->viewController("app://welcome", {}))->pattern, label);
  EXPECT_EQ(routed(navigator->viewController("app://welcome", {}))->pattern, "after");
  navigator->register_("app://welcome", oneShot);
  EXPECT_EQ(routed(navigator->push("app://welcome", {}, nullptr, false))->pattern, label);
  navigator->register_("app://welcome", oneShot);
  EXPECT_EQ(routed(navigator->present("app://welcome"))->pattern, label);
  EXPECT_EQ(routed(navigator->viewController("app://welcome", {}))->pattern, "after");

  // The top-most screen is the presented one now, with no stack: push on ours.
  EXPECT_EQ(routed(navigator->push("app://area", {}, stack, false))->pattern, "area");
  EXPECT_EQ(routed(navigator->viewController("app://area/39", {}))->pattern, "sub");
  EXPECT_TRUE(navigator->open("app://area/7/do"));
  EXPECT_EQ(routed(navigator->viewController("app://area", {}))->pattern, "area");  // again

  // A handler replacing itself while it runs.
  int runs = 0;
  navigator->handle("app://once", [&navigator, label, &runs](auto&, auto&, auto&) {
    navigator->handle("app://once", [](auto&, auto&, auto&) { return false; });
    ++runs;
    return label.size() == 64;
  });
  EXPECT_TRUE(navigator->open("app://once"));
  EXPECT_FALSE(navigator->open("app://once"));
  EXPECT_EQ(runs, 1);
}

}  // namespace
}  // namespace quarn
