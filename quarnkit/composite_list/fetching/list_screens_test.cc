// The collection screen and the composite list screen: view set-up, section
// rebuilds and snapshots, event forwarding, reloads from pull-to-refresh,
// the empty state and the template file observer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "quarnkit/composite_list/fetching/base_composite_list_view_controller.h"
#include "quarnkit/composite_list/testing/section_fixtures.h"
#include "quarnkit/platform/device.h"

namespace quarn {
namespace {

using platform::AnyHashable;
using platform::IndexPath;
using testing::TestListScreen;

/// A section with fixed row identities that records what reaches it.
class FixedSection : public CollectionViewSection {
 public:
  FixedSection(int id, const std::vector<int>& rows) : id_(id) {
    for (int r : rows) rows_.emplace_back(r);
  }
  std::vector<std::string> events;

  const std::vector<AnyHashable>& snapshotItems() const override { return rows_; }
  AnyHashable snapshotSection() const override { return AnyHashable(id_); }
  void register_(const std::shared_ptr<platform::CollectionView>& view) override {
    view->registerCell<platform::CollectionViewCell>("fixed");
  }
  std::shared_ptr<platform::CollectionViewCell> cell(const CollectionViewSectionContext& context,
                                                     const IndexPath& path) override {
    return context.collectionView->dequeueReusableCell("fixed", path);
  }
  void didSelectItem(const IndexPath& path, const CollectionViewSectionContext& context) override {
    events.push_back("select " + std::to_string(path.item));
    EXPECT_TRUE(context.rootViewController);
  }
  void willDisplayCell(platform::CollectionViewCell&, const IndexPath& path) override {
    events.push_back("display " + std::to_string(path.item));
  }
  std::optional<platform::ContextMenuConfiguration> contextMenuConfiguration(
      const IndexPath&, platform::Point, const CollectionViewSectionContext&) override {
    events.push_back("menu one");
    return platform::ContextMenuConfiguration{};
  }
  std::optional<platform::ContextMenuConfiguration> contextMenuConfiguration(
      const std::vector<IndexPath>&, platform::Point,
      const CollectionViewSectionContext&) override {
    events.push_back("menu many");
    return platform::ContextMenuConfiguration{};
  }

 private:
  int id_;
  std::vector<AnyHashable> rows_;
};

class FixedProvider : public SectionProvider {
 public:
  std::vector<std::shared_ptr<CollectionViewSection>> list;
  const std::vector<std::shared_ptr<CollectionViewSection>>& sections() const override {
    return list;
  }
};

TEST(CompositionalLayoutViewControllerTest, AppliesSectionsDroppingDuplicateRows) {
  auto screen = CompositionalLayoutViewController::make();
  int completions = 0;
  screen->updateSections(true, [&] { ++completions; });  // no provider: nothing
  EXPECT_EQ(completions, 0);

  auto provider = std::make_shared<FixedProvider>();
  auto first = std::make_shared<FixedSection>(1, std::vector<int>{10, 11, 10});
  auto second = std::make_shared<FixedSection>(2, std::vector<int>{11, 12});
  provider->list = {first, second};
  screen->setProvider(provider);
  screen->updateSections(true, [&] { ++completions; });
  EXPECT_EQ(completions, 1);
  const auto snapshot = screen->collectionViewDataSource()->snapshot();
  EXPECT_EQ(snapshot.itemIdentifiers(AnyHashable(1)),
            (std::vector<AnyHashable>{AnyHashable(10), AnyHashable(11)}));
  EXPECT_EQ(snapshot.itemIdentifiers(AnyHashable(2)), std::vector<AnyHashable>{AnyHashable(12)});
  EXPECT_TRUE(screen->collectionView()->updates().back().animated);
  EXPECT_EQ(screen->section({1, 0}), second);
  EXPECT_EQ(screen->section({2, 0}), nullptr);

  // Events reach the section at their position.
  screen->highlightedColor = platform::Color{1, 0, 0, 1};
  auto& view = *screen->collectionView();
  view.selectItem({1, 0});
  view.highlightItem({1, 0});
  EXPECT_EQ(view.cellForItem({1, 0})->backgroundColor, screen->highlightedColor);
  view.unhighlightItem({1, 0});
  EXPECT_FALSE(view.cellForItem({1, 0})->backgroundColor);
  view.showContextMenu({{0, 1}});
  view.showContextMenu({{0, 0}, {0, 1}});
  EXPECT_EQ(second->events, (std::vector<std::string>{"display 0", "select 0"}));
  EXPECT_EQ(first->events, (std::vector<std::string>{"menu one", "menu many"}));
}

class ListScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    provider_ = CompositeListSectionsProvider::make(testing::sectionRegistry());
  }
  std::shared_ptr<TestListScreen> makeScreen(platform::UserInterfaceIdiom idiom) {
    platform::ScopedService<platform::Device> device(
        std::make_shared<platform::FixedDevice>(idiom));
    auto screen = BaseCompositeListViewController::make<TestListScreen>(provider_);
    screen->loadViewIfNeeded();
    return screen;
  }
  static std::vector<AnyCompositeListItem> items(const std::string& json) {
    return decodeCompositeListTemplate(json, testing::sectionRegistry());
  }

  std::shared_ptr<CompositeListSectionsProvider> provider_;
};

TEST_F(ListScreenTest, ViewSetUp) {
  auto phone = makeScreen(platform::UserInterfaceIdiom::phone);
  const auto& list = phone->collectionView();
  ASSERT_TRUE(list->refreshControl());
  EXPECT_TRUE(list->preservesSuperviewLayoutMargins);
  EXPECT_TRUE(list->alwaysBounceVertical);
  EXPECT_EQ(list->contentInset, (platform::EdgeInsets{20, 0, 20, 0}));
  EXPECT_EQ(list->selfSizingInvalidation,
            platform::CollectionView::SelfSizingInvalidation::enabledIncludingConstraints);
  // The first rebuild is empty and not animated; the empty state shows.
  ASSERT_EQ(list->updates().size(), 1u);
  EXPECT_FALSE(list->updates()[0].animated);
  EXPECT_EQ(provider_->viewController(), phone);
  ASSERT_TRUE(phone->emptyDataSetManager()->isShowingEmptyState());
  phone->emptyDataSetManager()->retry();
  EXPECT_EQ(phone->reloads, 1);

  auto desktop = makeScreen(platform::UserInterfaceIdiom::desktop);
  EXPECT_FALSE(desktop->collectionView()->refreshControl());
}

TEST_F(ListScreenTest, ReloadShowsTheItemsAnimatingOnlyInAWindow) {
  auto screen = makeScreen(platform::UserInterfaceIdiom::phone);
  screen->nextItems = items(
      R"([{"type":"rows","uniqueId":"a","entity":[{"text":"one"},{"text":"two"}]},)"
      R"( {"type":"divider"},)"
      R"( {"type":"rows","uniqueId":"b","entity":[{"text":"three"}],"data":{"title":"More"}}])");
  screen->reloadData(nullptr);
  const auto& list = screen->collectionView();
  EXPECT_EQ(list->numberOfSections(), 2);
  EXPECT_EQ(list->totalNumberOfItems(), 3);
  EXPECT_FALSE(screen->emptyDataSetManager()->isShowingEmptyState());
  auto cell = std::dynamic_pointer_cast<CompositeListSectionItemCell>(list->cellForItem({1, 0}));
  ASSERT_TRUE(cell && cell->item);
  EXPECT_EQ(cell->item->get<CompositeListRow>()->text, "three");

  screen->reloadSections(true, nullptr);
  EXPECT_FALSE(list->updates().back().animated);  // not in a window
  auto window = std::make_shared<platform::Window>();
  window->setRootViewController(screen);
  screen->reloadSections(true, nullptr);
  EXPECT_TRUE(list->updates().back().animated);
}

TEST_F(ListScreenTest, SectionsReloadThemselvesInTheScreen) {
  auto screen = makeScreen(platform::UserInterfaceIdiom::phone);
  screen->nextItems = items(R"([{"type":"rows","entity":[{"text":"one"},{"text":"two"}]}])");
  screen->reloadData(nullptr);
  auto section = std::static_pointer_cast<BaseCollectionSection>(provider_->sections()[0]);
  const auto* source = screen->collectionViewDataSource();

  section->reloadSection(false);
  EXPECT_EQ(source->lastDifference()->reloadedSections.size(), 1u);
  section->reloadItem(AnyHashable(CompositeListRow(std::nullopt, "two")), true);
  ASSERT_EQ(source->lastDifference()->reloadedItems.size(), 1u);
  EXPECT_EQ(source->lastDifference()->reloadedItems[0], section->snapshotItems()[1]);
  section->reloadItem(AnyHashable(CompositeListRow(std::nullopt, "absent")), true);
  EXPECT_TRUE(source->lastDifference()->reloadedItems.empty());

  // A section no screen shows reloads nothing.
  BaseCollectionSection loose("x", std::nullopt, std::vector<int>{1});
  loose.reloadSection(true);
  EXPECT_EQ(source->lastDifference()->animated, true);
}

TEST_F(ListScreenTest, HeaderTapsReachTheScreen) {
  auto screen = makeScreen(platform::UserInterfaceIdiom::phone);
  screen->nextItems = items(
      R"([{"type":"rows","entity":[{"text":"one"}],"data":{"title":"Top","headerAction":"https://example.com"}}])");
  screen->reloadData(nullptr);
  auto header = std::dynamic_pointer_cast<CompositeListSectionHeaderView>(
      screen->collectionView()->supplementaryView(platform::kElementKindSectionHeader, {0, 0}));
  ASSERT_TRUE(header);
  EXPECT_EQ(header->title, "Top");
  header->tap();
  EXPECT_EQ(screen->headerClicks, std::vector<CompositeListItemType>{"rows"});
}

TEST_F(ListScreenTest, PullToRefreshEndsWhenTheReloadCompletes) {
  auto screen = makeScreen(platform::UserInterfaceIdiom::phone);
  auto control = screen->collectionView()->refreshControl();
  control->simulateUserPull();
  EXPECT_EQ(screen->reloads, 1);
  EXPECT_TRUE(control->isRefreshing());
  ASSERT_EQ(screen->pendingCompletions.size(), 1u);
  screen->pendingCompletions[0]();
  EXPECT_FALSE(control->isRefreshing());
}

TEST_F(ListScreenTest, TemplateFileChangesReload) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("list_screen_" + std::to_string(::getpid()) + ".json");
  std::ofstream(path) << "[]";
  auto screen = makeScreen(platform::UserInterfaceIdiom::phone);
  screen->setTemplateFileObserver(
      std::make_shared<CompositeListTemplateFileObserver>(URL::fileURL(path)));
  std::ofstream(path, std::ios::app) << "\n";
  EXPECT_TRUE(runMainContextUntil([&] { return screen->reloads == 1; }));
  // The observer does not keep the screen alive.
  std::weak_ptr<TestListScreen> weak = screen;
  auto observer = screen->templateFileObserver();
  screen.reset();
  EXPECT_TRUE(weak.expired());
  std::ofstream(path, std::ios::app) << "\n";
  runMainContextUntil([] { return false; }, std::chrono::milliseconds(100));
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace quarn
