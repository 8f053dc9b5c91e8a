// Views, windows, view controllers, navigation and presentation.
#include <gtest/gtest.h>

#include "quarnkit/platform/ui/view_controller.h"

namespace quarn::platform {
namespace {

class CountingController : public ViewController {
 public:
  int loads = 0;

 protected:
  void viewDidLoad() override {
    ++loads;
    (void)view();  // the view is already there while it is being set up
  }
};

TEST(ViewTest, HierarchyAndWindowMembership) {
  auto window = std::make_shared<Window>();
  auto a = std::make_shared<View>();
  auto b = std::make_shared<View>();
  a->addSubview(b);
  EXPECT_EQ(b->superview(), a);
  EXPECT_EQ(b->window(), nullptr);
  window->addSubview(a);
  EXPECT_EQ(b->window(), window);
  EXPECT_TRUE(b->isDescendant(*window));

  auto c = std::make_shared<View>();
  c->addSubview(b);  // moves
  EXPECT_TRUE(a->subviews().empty());
  EXPECT_EQ(b->window(), nullptr);
  b->removeFromSuperview();
  EXPECT_EQ(b->superview(), nullptr);
  EXPECT_TRUE(c->subviews().empty());
}

TEST(ViewDeathTest, AddingAnAncestorStops) {
  auto a = std::make_shared<View>();
  auto b = std::make_shared<View>();
  a->addSubview(b);
  EXPECT_DEATH(b->addSubview(a), "cannot contain its own ancestor");
}

// Their links are weak references to them: outside a shared_ptr they would
// be empty, and the view would silently be in no tree and no screen.
TEST(ViewDeathTest, ViewsAndControllersOutsideASharedPointerStopWhenLinked) {
  View loose;
  EXPECT_DEATH(loose.addSubview(std::make_shared<View>()), "must be held by a std::shared_ptr");
  ViewController screen;
  EXPECT_DEATH((void)screen.view(), "must be held by a std::shared_ptr");
  EXPECT_DEATH(screen.addChild(std::make_shared<ViewController>()),
               "must be held by a std::shared_ptr");
}

TEST(ViewControllerTest, LoadsItsViewOnceAndOwnsIt) {
  auto controller = std::make_shared<CountingController>();
  EXPECT_FALSE(controller->isViewLoaded());
  auto view = controller->view();
  EXPECT_EQ(controller->view(), view);
  EXPECT_EQ(controller->loads, 1);
  EXPECT_EQ(view->viewController(), controller);

  auto window = std::make_shared<Window>();
  window->setRootViewController(controller);
  EXPECT_EQ(view->window(), window);
  auto child = std::make_shared<View>();
  view->addSubview(child);
  EXPECT_EQ(enclosingViewController<CountingController>(*child), controller);
  window->setRootViewController(std::make_shared<ViewController>());
  EXPECT_EQ(view->window(), nullptr);
}

TEST(NavigationControllerTest, PushPopAndAncestry) {
  auto root = std::make_shared<ViewController>();
  auto nav = NavigationController::make(root);
  auto window = std::make_shared<Window>();
  window->setRootViewController(nav);
  EXPECT_EQ(root->navigationController(), nav);
  EXPECT_EQ(root->view()->window(), window);

  auto details = std::make_shared<ViewController>();
  nav->pushViewController(details, true);
  EXPECT_EQ(nav->topViewController(), details);
  EXPECT_EQ(details->view()->window(), window);
  EXPECT_EQ(root->view()->window(), nullptr);  // covered by the pushed screen

  auto grandchild = std::make_shared<ViewController>();
  details->addChild(grandchild);
  EXPECT_EQ(grandchild->navigationController(), nav);

  EXPECT_EQ(nav->popViewController(true), details);
  EXPECT_EQ(nav->popViewController(true), nullptr);  // the root stays
  EXPECT_EQ(details->navigationController(), nullptr);
  EXPECT_EQ(root->view()->window(), window);

  nav->setViewControllers({std::make_shared<ViewController>(), details}, false);
  EXPECT_EQ(nav->popToRootViewController(false).size(), 1u);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
}

TEST(ViewControllerTest, PresentAndDismiss) {
  auto home = std::make_shared<ViewController>();
  auto window = std::make_shared<Window>();
  window->setRootViewController(home);
  auto sheet = std::make_shared<ViewController>();
  auto alert = std::make_shared<ViewController>();

  int completions = 0;
  home->present(sheet, true, [&] { ++completions; });
  EXPECT_EQ(home->presentedViewController(), sheet);
  EXPECT_EQ(sheet->presentingViewController(), home);
  EXPECT_EQ(sheet->view()->window(), window);
  home->present(alert, true, [&] { ++completions; });  // already presenting: ignored
  EXPECT_EQ(alert->presentingViewController(), nullptr);
  EXPECT_EQ(completions, 1);

  sheet->present(alert, false);
  sheet->dismiss(true, [&] { ++completions; });  // dismisses what it presents
  EXPECT_EQ(alert->presentingViewController(), nullptr);
  EXPECT_EQ(home->presentedViewController(), sheet);
  sheet->dismiss(true);  // now itself
  EXPECT_EQ(home->presentedViewController(), nullptr);
  EXPECT_EQ(sheet->view()->window(), nullptr);
  EXPECT_EQ(completions, 2);
}

}  // namespace
}  // namespace quarn::platform
