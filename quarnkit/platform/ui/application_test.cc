// Windows and the key window, tab bar and page controllers, and the screen
// on top of everything.
#include "quarnkit/platform/ui/application.h"

#include <gtest/gtest.h>

#include "quarnkit/platform/ui/page_view_controller.h"
#include "quarnkit/platform/ui/tab_bar_controller.h"
#include "quarnkit/platform/ui/view_controller.h"

namespace quarn::platform {
namespace {

std::shared_ptr<ViewController> screen() { return std::make_shared<ViewController>(); }

TEST(ApplicationTest, OneKeyWindowAtATime) {
  auto a = std::make_shared<Window>();
  auto b = std::make_shared<Window>();
  a->makeKeyAndVisible();
  b->makeKeyAndVisible();
  EXPECT_FALSE(a->isKeyWindow());
  EXPECT_EQ(Application::shared().keyWindow(), b);
  a->makeKeyAndVisible();
  EXPECT_TRUE(a->isKeyWindow());
  EXPECT_FALSE(b->isKeyWindow());
  EXPECT_EQ(Application::shared().windows(), (std::vector<std::shared_ptr<Window>>{a, b}));
  a.reset();  // held weakly
  EXPECT_EQ(Application::shared().windows(), std::vector<std::shared_ptr<Window>>{b});
  EXPECT_EQ(Application::shared().keyWindow(), nullptr);
  EXPECT_EQ(topMostViewController(), nullptr);  // no key window
}

TEST(TabBarControllerTest, SelectsAndShowsOneTab) {
  auto first = screen();
  auto second = screen();
  auto tabs = std::make_shared<TabBarController>();
  EXPECT_EQ(tabs->selectedViewController(), nullptr);
  tabs->setViewControllers({first, second}, false);
  EXPECT_EQ(tabs->selectedIndex(), 0U);
  auto window = std::make_shared<Window>();
  window->setRootViewController(tabs);
  EXPECT_EQ(first->view()->window(), window);
  tabs->setSelectedViewController(second);
  EXPECT_EQ(tabs->selectedIndex(), 1U);
  EXPECT_EQ(second->view()->window(), window);
  EXPECT_EQ(first->view()->window(), nullptr);
  tabs->setSelectedIndex(7);  // no such tab
  tabs->setSelectedViewController(screen());
  EXPECT_EQ(tabs->selectedViewController(), second);
  EXPECT_EQ(second->parent(), tabs);
  tabs->setViewControllers({}, false);
  EXPECT_FALSE(tabs->selectedIndex());
  EXPECT_EQ(second->parent(), nullptr);
}

TEST(TopMostViewControllerTest, DescendsThroughWhatEachScreenShows) {
  auto window = std::make_shared<Window>();
  auto tabs = std::make_shared<TabBarController>();
  auto details = screen();
  auto navigation = NavigationController::make(screen());
  navigation->pushViewController(details, false);
  auto pages = std::make_shared<PageViewController>();
  auto page = screen();
  pages->setViewControllers({page}, false);
  tabs->setViewControllers({navigation, pages}, false);
  window->setRootViewController(tabs);

  EXPECT_EQ(topMostViewController(), nullptr);  // not key yet
  window->makeKeyAndVisible();
  EXPECT_EQ(topMostViewController(), details);
  auto sheet = screen();
  details->present(sheet, false);
  EXPECT_EQ(topMostViewController(), sheet);
  tabs->setSelectedIndex(1);
  EXPECT_EQ(topMostViewController(), page);
  pages->setViewControllers({page, screen()}, false);  // a spread: the page controller itself
  EXPECT_EQ(topMostViewController(), pages);
  auto modal = NavigationController::make(screen());
  tabs->present(modal, false);
  EXPECT_EQ(topMostViewController(), modal->topViewController());

  // Another key window without a root screen does not count; with one, it does.
  auto empty = std::make_shared<Window>();
  empty->makeKeyAndVisible();
  EXPECT_EQ(topMostViewController(), nullptr);
  auto root = screen();
  empty->setRootViewController(root);
  EXPECT_EQ(topMostViewController(), root);
}

}  // namespace
}  // namespace quarn::platform
