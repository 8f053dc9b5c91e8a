// Collection views: dequeuing, snapshots and their differences, the diffable
// data source, simulated user events, refresh control and empty state.
#include "quarnkit/platform/ui/collection_view.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "quarnkit/platform/ui/diffable_data_source.h"
#include "quarnkit/platform/ui/empty_state_manager.h"
#include "quarnkit/platform/ui/menu.h"

namespace quarn::platform {
namespace {

using Snapshot = DiffableDataSourceSnapshot<std::string, int>;
using DataSource = CollectionViewDiffableDataSource<std::string, int>;

class LabelCell : public CollectionViewCell {
 public:
  int value = -1;
  int reuses = 0;
  void prepareForReuse() override { ++reuses; }
};

Snapshot make(const std::vector<std::pair<std::string, std::vector<int>>>& sections) {
  Snapshot s;
  for (const auto& [id, items] : sections) {
    s.appendSections({id});
    s.appendItems(items);
  }
  return s;
}

template <class T>
std::vector<T> sorted(std::vector<T> v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST(SnapshotTest, QueriesAndEdits) {
  Snapshot s = make({{"a", {1, 2, 3}}, {"b", {4}}});
  EXPECT_EQ(s.numberOfItems(), 4);
  EXPECT_EQ(s.itemIdentifiers(), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(s.sectionIdentifier(4), "b");
  EXPECT_EQ(s.position(3), std::make_pair(std::int64_t{0}, std::int64_t{2}));
  s.deleteItems({2, 99});
  s.deleteSections({"a"});
  EXPECT_EQ(s.sectionIdentifiers(), std::vector<std::string>{"b"});
  EXPECT_FALSE(s.containsItem(1));
  EXPECT_EQ(s.indexOfSection("b"), 0);
  s.appendItems({1}, "b");  // a deleted item may come back
  EXPECT_EQ(s.numberOfItems("b"), 2);
  // A list handed over to an empty section is indexed like one copied in.
  s.appendSections({"c"});
  std::vector<int> handed{7, 8};
  s.appendItems(std::move(handed), "c");
  s.appendItems(std::vector<int>{9}, "c");
  EXPECT_EQ(s.itemIdentifiers("c"), (std::vector<int>{7, 8, 9}));
  EXPECT_EQ(s.sectionIdentifier(8), "c");
  EXPECT_EQ(s.position(9), std::make_pair(std::int64_t{1}, std::int64_t{2}));
}

TEST(SnapshotDeathTest, DuplicatesAndUnknownIdentifiersStop) {
  Snapshot s = make({{"a", {1}}});
  EXPECT_DEATH(s.appendItems({1}), "item identifiers are not unique");
  EXPECT_DEATH(s.appendItems(std::vector<int>{2, 1}, "a"), "item identifiers are not unique");
  EXPECT_DEATH(s.appendSections({"a"}), "section identifiers are not unique");
  EXPECT_DEATH(s.reloadItems({5}), "does not exist");
  EXPECT_DEATH(s.appendItems({2}, "zz"), "Invalid section identifier");
  EXPECT_DEATH(Snapshot().appendItems({1}), "no sections");
}

TEST(SnapshotDifferenceTest, InsertsDeletesMovesAndReloads) {
  using D = SnapshotDifference<std::string, int>;
  const Snapshot from = make({{"a", {1, 2, 3, 4}}, {"b", {5}}, {"c", {}}});
  Snapshot to = make({{"c", {}}, {"a", {2, 3, 1, 6}}, {"d", {5}}});
  to.reloadItems({3});
  const D d = D::between(from, to);
  EXPECT_EQ(d.insertedSections, std::vector<std::string>{"d"});
  EXPECT_EQ(d.deletedSections, std::vector<std::string>{"b"});
  EXPECT_EQ(d.movedSections.size(), 1u);  // either c or a moved, not both
  EXPECT_EQ(d.insertedItems, std::vector<int>{6});
  EXPECT_EQ(d.deletedItems, std::vector<int>{4});
  EXPECT_EQ(sorted(d.movedItems), (std::vector<int>{1, 5}));  // 1 reordered, 5 changed section
  EXPECT_EQ(d.reloadedItems, std::vector<int>{3});

  const D same = D::between(from, from);
  EXPECT_EQ(same.counts(), CollectionViewUpdate{});
}

TEST(DiffableDataSourceTest, AppliesRecordsAndServesCells) {
  auto view = std::make_shared<CollectionView>();
  view->registerCell<LabelCell>("label");
  int provided = 0;
  DataSource source(view, [&](CollectionView& v, const IndexPath& path, const int& item) {
    ++provided;
    auto cell = std::static_pointer_cast<LabelCell>(v.dequeueReusableCell("label", path));
    cell->value = item;
    return cell;
  });
  EXPECT_EQ(view->dataSource(), &source);

  int completed = 0;
  source.apply(make({{"a", {10, 20}}, {"b", {30}}}), false, [&] { ++completed; });
  EXPECT_EQ(completed, 1);
  EXPECT_EQ(view->numberOfSections(), 2);
  EXPECT_EQ(view->totalNumberOfItems(), 3);
  ASSERT_EQ(view->updates().size(), 1u);
  EXPECT_FALSE(view->updates()[0].animated);
  EXPECT_EQ(view->updates()[0].insertedItems, 3u);

  auto cell = std::static_pointer_cast<LabelCell>(view->cellForItem({1, 0}));
  EXPECT_EQ(cell->value, 30);
  EXPECT_EQ(view->cellForItem({1, 0}), cell);  // realised once
  EXPECT_EQ(view->cellForItem({1, 1}), nullptr);
  EXPECT_EQ(provided, 1);
  EXPECT_EQ(source.indexPath(20), (IndexPath{0, 1}));
  EXPECT_EQ(source.itemIdentifier({0, 0}), 10);

  Snapshot next = source.snapshot();
  next.reloadItems({30});
  source.apply(next, true);
  EXPECT_TRUE(view->updates().back().animated);
  EXPECT_EQ(view->updates().back().reloadedItems, 1u);
  EXPECT_TRUE(source.snapshot().reloadedItemIdentifiers().empty());
  EXPECT_EQ(view->realizedCellCount(), 0u);  // updates drop realised cells...
  auto again = std::static_pointer_cast<LabelCell>(view->cellForItem({1, 0}));
  EXPECT_EQ(again, cell);  // ...into the reuse pool
  EXPECT_EQ(again->reuses, 1);
}

TEST(CollectionViewDeathTest, DequeuingAnUnregisteredIdentifierStops) {
  CollectionView view;
  EXPECT_DEATH(view.dequeueReusableCell("nope", {}),
               "could not dequeue a cell with identifier nope");
}

struct RecordingDelegate : CollectionViewDelegate {
  std::vector<std::string> events;
  void didSelectItem(CollectionView&, const IndexPath& p) override {
    events.push_back("select " + std::to_string(p.item));
  }
  void didHighlightItem(CollectionView&, const IndexPath&) override { events.push_back("high"); }
  void didUnhighlightItem(CollectionView&, const IndexPath&) override { events.push_back("low"); }
  void willDisplayCell(CollectionView&, CollectionViewCell&, const IndexPath& p) override {
    events.push_back("display " + std::to_string(p.item));
  }
  std::optional<ContextMenuConfiguration> contextMenuConfiguration(
      CollectionView&, const std::vector<IndexPath>& paths, Point) override {
    events.push_back("menu " + std::to_string(paths.size()));
    return ContextMenuConfiguration{};
  }
  std::optional<TargetedPreview> previewForHighlightingContextMenu(
      CollectionView&, const ContextMenuConfiguration&) override {
    events.push_back("lift");
    return std::nullopt;
  }
  void willPerformPreviewAction(CollectionView&, const ContextMenuConfiguration& c,
                                ContextMenuCommitAnimator& animator) override {
    events.push_back("commit " + std::to_string(c.indexPaths.size()));
    animator.addCompletion([this] { events.push_back("committed"); });
  }
};

TEST(CollectionViewTest, SimulatedEventsReachTheDelegate) {
  auto view = std::make_shared<CollectionView>();
  view->registerCell<LabelCell>("label");
  DataSource source(view, [](CollectionView& v, const IndexPath& path, const int&) {
    return v.dequeueReusableCell("label", path);
  });
  source.apply(make({{"a", {1, 2}}}));
  RecordingDelegate delegate;
  view->setDelegate(&delegate);
  view->selectItem({0, 1});
  view->highlightItem({0, 1});
  view->unhighlightItem({0, 1});
  view->selectItem({0, 7});  // outside the content: nothing
  auto menu = view->showContextMenu({{0, 0}, {0, 1}});
  ASSERT_TRUE(menu);
  EXPECT_EQ(menu->indexPaths.size(), 2u);
  view->commitContextMenuPreview(*menu);
  EXPECT_EQ(delegate.events, (std::vector<std::string>{"display 1", "select 1", "high", "low",
                                                       "menu 2", "lift", "commit 2", "committed"}));
  EXPECT_FALSE(view->cellForItem({0, 1})->isHighlighted);
  EXPECT_TRUE(view->cellForItem({0, 1})->isSelected);
}

// Context menus offer the toolkit's one kind of menu action, so that a
// screen building both a menu and a context menu sees a single type.
TEST(ContextMenuCommitAnimatorTest, CompletionsAddedWhileFinishingRunAfterTheOthers) {
  ContextMenuCommitAnimator animator;
  std::string order;
  animator.addCompletion([&] {
    order += 'a';
    animator.addCompletion([&] { order += 'c'; });
  });
  animator.addCompletion([&] { order += 'b'; });
  animator.finish();
  EXPECT_EQ(order, "abc");

  // A throwing completion leaves the ones after it for the next finish().
  animator.addCompletion([] { throw std::runtime_error("host"); });
  animator.addCompletion([&] { order += 'd'; });
  EXPECT_THROW(animator.finish(), std::runtime_error);
  EXPECT_EQ(order, "abc");
  animator.finish();
  EXPECT_EQ(order, "abcd");
}

TEST(CollectionViewTest, ContextMenusOfferTheToolkitsMenuActions) {
  struct Offering : CollectionViewDelegate {
    std::optional<ContextMenuConfiguration> contextMenuConfiguration(CollectionView&,
                                                                     const std::vector<IndexPath>&,
                                                                     Point) override {
      ContextMenuConfiguration c;
      c.actions.push_back(MenuAction{"Share", "square.and.arrow.up", false, [this] { ++shared; }});
      return c;
    }
    int shared = 0;
  };
  auto view = std::make_shared<CollectionView>();
  Offering delegate;
  view->setDelegate(&delegate);
  const Menu menu{"More", std::nullopt, {MenuAction{"Copy", std::nullopt, true, nullptr}}};
  auto shown = view->showContextMenu({{0, 0}});
  ASSERT_TRUE(shown);
  ASSERT_EQ(shown->actions.size(), 1u);
  EXPECT_EQ(shown->actions[0].image, "square.and.arrow.up");
  shown->actions[0].handler();
  EXPECT_EQ(delegate.shared, 1);
  EXPECT_TRUE(menu.children[0].isOn);
}

TEST(RefreshControlTest, UserPullStartsRefreshingAndSendsActions) {
  auto scroll = std::make_shared<ScrollView>();
  auto control = std::make_shared<RefreshControl>();
  scroll->setRefreshControl(control);
  EXPECT_EQ(control->superview(), scroll);
  int pulls = 0;
  control->addValueChangedAction([&](RefreshControl& c) {
    ++pulls;
    EXPECT_TRUE(c.isRefreshing());
  });
  control->beginRefreshing();  // by code: no action
  EXPECT_EQ(pulls, 0);
  control->simulateUserPull();  // already refreshing: nothing more
  EXPECT_EQ(pulls, 0);
  control->endRefreshing();
  control->simulateUserPull();
  EXPECT_EQ(pulls, 1);
}

TEST(EmptyStateManagerTest, ShowsWhenThereIsNothingAndRetries) {
  auto view = std::make_shared<CollectionView>();
  view->registerCell<LabelCell>("label");
  DataSource source(view, [](CollectionView& v, const IndexPath& path, const int&) {
    return v.dequeueReusableCell("label", path);
  });
  int retries = 0;
  {
    EmptyStateManager manager(view);
    EXPECT_TRUE(manager.isShowingEmptyState());
    EXPECT_EQ(view->backgroundView, manager.emptyStateView());
    manager.retryAction = [&] { ++retries; };
    source.apply(make({{"a", {}}}));  // a section without items is still empty
    ASSERT_TRUE(manager.isShowingEmptyState());
    EXPECT_EQ(manager.emptyStateView()->retryButtonTitle, "Try again");
    manager.emptyStateView()->onRetry();
    EXPECT_EQ(retries, 1);
    source.apply(make({{"a", {1}}}));
    EXPECT_FALSE(manager.isShowingEmptyState());
    EXPECT_EQ(view->backgroundView, nullptr);
    source.apply(make({}));
    EXPECT_TRUE(manager.isShowingEmptyState());
  }
  EXPECT_EQ(view->backgroundView, nullptr);  // gone with its manager
  source.apply(make({{"a", {1}}}));          // no observer left behind
}

}  // namespace
}  // namespace quarn::platform
