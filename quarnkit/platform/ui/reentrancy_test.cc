// What the toolkit's callbacks into the host allow: for each one, the host
// dropping the object from inside it, calling back into the object, and
// throwing out of it.
#include "quarnkit/testing/reentrancy.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "quarnkit/platform/ui/activity_indicator_view.h"
#include "quarnkit/platform/ui/application.h"
#include "quarnkit/platform/ui/collection_view.h"
#include "quarnkit/platform/ui/diffable_data_source.h"
#include "quarnkit/platform/ui/empty_state_manager.h"
#include "quarnkit/platform/ui/gesture_recognizer.h"
#include "quarnkit/platform/ui/refresh_control_adapter.h"
#include "quarnkit/platform/ui/scroll_view.h"
#include "quarnkit/platform/ui/view_controller.h"

namespace quarn::platform {
namespace {

using quarn::testing::HostAction;
using quarn::testing::runReentrancyTable;
using State = GestureRecognizer::State;
using Snapshot = DiffableDataSourceSnapshot<std::string, int>;
using DataSource = CollectionViewDiffableDataSource<std::string, int>;

// The kinds hosts rely on: shared objects come only from their factories,
// and objects that hand out references to themselves are not copied.
static_assert(!std::is_default_constructible_v<PanGestureRecognizer>);
static_assert(!std::is_default_constructible_v<Application> &&
              !std::is_copy_constructible_v<Application>);
static_assert(!std::is_copy_constructible_v<ContextMenuCommitAnimator>);
static_assert(!std::is_copy_constructible_v<RefreshControlAdapter>);

struct HostError : std::runtime_error {
  HostError() : std::runtime_error("host") {}
};

// A pan recognizer on a view in a window; the view holds the only reference.
struct PanOnAView {
  std::shared_ptr<Window> window = std::make_shared<Window>(Rect{{0, 0}, {320, 480}});
  std::shared_ptr<View> view = std::make_shared<View>(Rect{{0, 0}, {320, 480}});
  std::shared_ptr<int> target = std::make_shared<int>(0);
  PanGestureRecognizer* pan = nullptr;
  std::weak_ptr<GestureRecognizer> watch;
  std::vector<State> states;

  explicit PanOnAView(std::function<void(PanOnAView&, GestureRecognizer&)> onStep) {
    window->addSubview(view);
    auto recognizer = PanGestureRecognizer::make();
    recognizer->addTarget(target, [this, step = std::move(onStep)](GestureRecognizer& g) {
      states.push_back(g.state());
      step(*this, g);
    });
    view->addGestureRecognizer(recognizer);
    pan = recognizer.get();
    watch = recognizer;
  }
};

Snapshot items(std::vector<int> values) {
  Snapshot s;
  s.appendSections({"s"});
  s.appendItems(values);
  return s;
}

// A collection view with `provider` as its diffable data source's cell
// provider, showing items 1 and 2.
struct ListWithProvider {
  std::shared_ptr<CollectionView> view = std::make_shared<CollectionView>();
  std::unique_ptr<DataSource> source;
  explicit ListWithProvider(DataSource::CellProvider provider) {
    view->registerCell<CollectionViewCell>("cell");
    source = std::make_unique<DataSource>(view, std::move(provider));
    source->apply(items({1, 2}), false);
  }
};

struct DisplayCounter : CollectionViewDelegate {
  std::vector<IndexPath> displayed;
  void willDisplayCell(CollectionView&, CollectionViewCell&, const IndexPath& p) override {
    displayed.push_back(p);
  }
};

TEST(ToolkitReentrancyTest, EveryCallbackAndAction) {
  runReentrancyTable({
      // Gesture recognizer targets.
      {"pan target", HostAction::release,
       "removing the recognizer from its view at the lift ends the gesture; it is freed once "
       "the touch call returns",
       [] {
         PanOnAView fixture([](PanOnAView& f, GestureRecognizer& g) {
           if (g.state() == State::ended) {
             f.view->removeGestureRecognizer(f.view->gestureRecognizers().front());
           }
         });
         fixture.pan->beginTouch({0, 0});
         fixture.pan->endTouch({0, 50});
         EXPECT_TRUE(fixture.watch.expired());
         EXPECT_EQ(fixture.states, (std::vector<State>{State::began, State::ended}));
       }},
      {"pan target", HostAction::reenter,
       "a touch begun from inside the lift's action starts the next gesture, which goes on "
       "after the lift returns",
       [] {
         bool again = true;
         PanOnAView fixture([&](PanOnAView& f, GestureRecognizer& g) {
           if (g.state() == State::ended && std::exchange(again, false)) {
             f.pan->beginTouch({0, 10});
           }
         });
         fixture.pan->beginTouch({0, 0});
         fixture.pan->endTouch({0, 50});
         EXPECT_EQ(fixture.pan->state(), State::began);
         fixture.pan->moveTouch({0, 20});
         fixture.pan->endTouch({0, 30});
         EXPECT_EQ(fixture.states, (std::vector<State>{State::began, State::ended, State::began,
                                                       State::changed, State::ended}));
         EXPECT_EQ(fixture.pan->state(), State::possible);
       }},
      {"pan target", HostAction::raise,
       "the exception leaves the touch call; a move keeps the gesture under way, a lift leaves "
       "the recognizer ready for the next one",
       [] {
         PanOnAView fixture([](PanOnAView&, GestureRecognizer& g) {
           if (g.state() == State::changed || g.state() == State::ended) throw HostError();
         });
         fixture.pan->beginTouch({0, 0});
         EXPECT_THROW(fixture.pan->moveTouch({0, 10}), HostError);
         EXPECT_EQ(fixture.pan->state(), State::changed);
         EXPECT_THROW(fixture.pan->endTouch({0, 20}), HostError);
         EXPECT_EQ(fixture.pan->state(), State::possible);
         fixture.pan->beginTouch({0, 0});
         EXPECT_EQ(fixture.pan->state(), State::began);
       }},

      // Refresh control value-changed actions.
      {"refresh action", HostAction::release,
       "dropping the control from the first action still lets the others run with it; it is "
       "freed once the pull returns",
       [] {
         auto scroll = std::make_shared<ScrollView>();
         scroll->setRefreshControl(std::make_shared<RefreshControl>());
         std::weak_ptr<RefreshControl> watch = scroll->refreshControl();
         std::vector<bool> seen;
         scroll->refreshControl()->addValueChangedAction(
             [&](RefreshControl&) { scroll->setRefreshControl(nullptr); });
         scroll->refreshControl()->addValueChangedAction(
             [&](RefreshControl& c) { seen.push_back(c.isRefreshing()); });
         RefreshControl* control = scroll->refreshControl().get();
         control->simulateUserPull();
         EXPECT_EQ(seen, std::vector<bool>{true});
         EXPECT_TRUE(watch.expired());
       }},
      {"refresh action", HostAction::reenter,
       "an action that ends the refresh and pulls again sends the actions once more; the "
       "control ends up refreshing",
       [] {
         auto control = std::make_shared<RefreshControl>();
         int pulls = 0;
         control->addValueChangedAction([&](RefreshControl& c) {
           if (++pulls == 1) {
             c.endRefreshing();
             c.simulateUserPull();
           }
         });
         control->simulateUserPull();
         EXPECT_EQ(pulls, 2);
         EXPECT_TRUE(control->isRefreshing());
       }},
      {"refresh action", HostAction::raise,
       "the exception leaves the pull, which did not start a refresh: the next pull sends the "
       "actions again",
       [] {
         auto control = std::make_shared<RefreshControl>();
         int pulls = 0;
         control->addValueChangedAction([&](RefreshControl&) {
           if (++pulls == 1) throw HostError();
         });
         EXPECT_THROW(control->simulateUserPull(), HostError);
         EXPECT_FALSE(control->isRefreshing());
         control->simulateUserPull();
         EXPECT_EQ(pulls, 2);
         EXPECT_TRUE(control->isRefreshing());
       }},

      // Diffable data source cell providers.
      {"cell provider", HostAction::release,
       "dropping the data source and the view from the provider still hands out the cell it "
       "made; both are freed once the call returns",
       [] {
         std::unique_ptr<ListWithProvider> list;
         const std::string identifier = "cell-identifier-long-enough-to-live-on-the-heap";
         list = std::make_unique<ListWithProvider>(
             [&list, identifier](CollectionView& v, const IndexPath& p, const int&) {
               auto cell = v.dequeueReusableCell("cell", p);
               list.reset();
               cell->isSelected = identifier.size() > 1;
               return cell;
             });
         std::weak_ptr<CollectionView> watch = list->view;
         CollectionView* view = list->view.get();
         auto cell = view->cellForItem({0, 0});
         ASSERT_NE(cell, nullptr);
         EXPECT_TRUE(cell->isSelected);
         EXPECT_TRUE(watch.expired());
       }},
      {"cell provider", HostAction::reenter,
       "a provider that applies new content hands out its cell but the view does not keep it "
       "or announce it: the position may hold another item now",
       [] {
         bool once = true;
         std::unique_ptr<ListWithProvider> list;
         list = std::make_unique<ListWithProvider>(
             [&](CollectionView& v, const IndexPath& p, const int&) {
               auto cell = v.dequeueReusableCell("cell", p);
               if (std::exchange(once, false)) list->source->apply(items({2}), false);
               return cell;
             });
         DisplayCounter delegate;
         list->view->setDelegate(&delegate);
         EXPECT_NE(list->view->cellForItem({0, 0}), nullptr);
         EXPECT_EQ(list->view->realizedCellCount(), 0u);
         EXPECT_TRUE(delegate.displayed.empty());
         EXPECT_NE(list->view->cellForItem({0, 0}), nullptr);  // asked again: kept now
         EXPECT_EQ(list->view->realizedCellCount(), 1u);
         EXPECT_EQ(delegate.displayed.size(), 1u);
       }},
      {"cell provider", HostAction::raise,
       "the exception leaves cellForItem; nothing is kept, and the next request asks again",
       [] {
         int calls = 0;
         ListWithProvider list([&](CollectionView& v, const IndexPath& p, const int&) {
           if (++calls == 1) throw HostError();
           return v.dequeueReusableCell("cell", p);
         });
         EXPECT_THROW(list.view->cellForItem({0, 1}), HostError);
         EXPECT_EQ(list.view->realizedCellCount(), 0u);
         EXPECT_NE(list.view->cellForItem({0, 1}), nullptr);
         EXPECT_EQ(calls, 2);
       }},

      // View controller presentation completions.
      {"present completion", HostAction::release,
       "dropping the presenting screen from the completion leaves the presented one on its own",
       [] {
         auto home = std::make_shared<ViewController>();
         auto sheet = std::make_shared<ViewController>();
         ViewController* presenter = home.get();
         presenter->present(sheet, true, [&] { home.reset(); });
         EXPECT_EQ(home, nullptr);
         EXPECT_EQ(sheet->presentingViewController(), nullptr);
       }},
      {"present completion", HostAction::reenter,
       "dismissing from the completion takes the screen just presented away again; a second "
       "present from it is refused",
       [] {
         auto window = std::make_shared<Window>();
         auto home = std::make_shared<ViewController>();
         window->setRootViewController(home);
         auto sheet = std::make_shared<ViewController>();
         auto other = std::make_shared<ViewController>();
         home->present(sheet, true, [&] {
           home->present(other, false);
           sheet->dismiss(false);
         });
         EXPECT_EQ(home->presentedViewController(), nullptr);
         EXPECT_EQ(sheet->view()->window(), nullptr);
         EXPECT_EQ(other->presentingViewController(), nullptr);
         home->present(other, false);
         EXPECT_EQ(home->presentedViewController(), other);
       }},
      {"present completion", HostAction::raise,
       "the exception leaves present(); the screen stays presented and dismisses normally",
       [] {
         auto home = std::make_shared<ViewController>();
         auto sheet = std::make_shared<ViewController>();
         EXPECT_THROW(home->present(sheet, true, [] { throw HostError(); }), HostError);
         EXPECT_EQ(home->presentedViewController(), sheet);
         EXPECT_THROW(home->dismiss(true, [] { throw HostError(); }), HostError);
         EXPECT_EQ(home->presentedViewController(), nullptr);
         home->present(sheet, false);
         EXPECT_EQ(sheet->presentingViewController(), home);
       }},

      // Infinite scroll's end-reached handler.
      {"infinite scroll handler", HostAction::release,
       "dropping the scroll view from its handler ends the call without touching it",
       [] {
         auto scroll = std::make_shared<ScrollView>();
         std::weak_ptr<ScrollView> watch = scroll;
         scroll->infiniteScroll().addInfiniteScroll([&](ScrollView&) { scroll.reset(); });
         InfiniteScroll& infinite = scroll->infiniteScroll();
         EXPECT_TRUE(infinite.scrollToEnd());
         EXPECT_TRUE(watch.expired());
       }},
      {"infinite scroll handler", HostAction::reenter,
       "a handler that finishes at once and scrolls to the end again loads once more",
       [] {
         auto scroll = std::make_shared<ScrollView>();
         int loads = 0;
         scroll->infiniteScroll().addInfiniteScroll([&](ScrollView& s) {
           ++loads;
           s.infiniteScroll().finishInfiniteScroll();
           if (loads == 1) {
             EXPECT_TRUE(s.infiniteScroll().scrollToEnd());
           }
         });
         EXPECT_TRUE(scroll->infiniteScroll().scrollToEnd());
         EXPECT_EQ(loads, 2);
         EXPECT_FALSE(scroll->infiniteScroll().isAnimatingInfiniteScroll());
       }},
      {"infinite scroll handler", HostAction::raise,
       "the exception leaves scrollToEnd with the indicator stopped, so the next scroll to the "
       "end loads again",
       [] {
         auto scroll = std::make_shared<ScrollView>();
         auto spinner = std::make_shared<ActivityIndicatorView>();
         scroll->infiniteScroll().setInfiniteScrollIndicatorView(spinner);
         int loads = 0;
         scroll->infiniteScroll().addInfiniteScroll([&](ScrollView&) {
           if (++loads == 1) throw HostError();
         });
         EXPECT_THROW(scroll->infiniteScroll().scrollToEnd(), HostError);
         EXPECT_FALSE(scroll->infiniteScroll().isAnimatingInfiniteScroll());
         EXPECT_FALSE(spinner->isAnimating());
         EXPECT_TRUE(scroll->infiniteScroll().scrollToEnd());
         EXPECT_EQ(loads, 2);
       }},

      // The empty state's retry action.
      {"retry action", HostAction::release,
       "dropping the manager from its retry action ends the call without touching it; the "
       "empty view it showed retries nothing afterwards",
       [] {
         auto view = std::make_shared<CollectionView>();
         auto manager = std::make_unique<EmptyStateManager>(view);
         auto shown = manager->emptyStateView();
         const std::string note = "a note long enough to be kept on the heap by the action";
         std::string heard;
         manager->retryAction = [&manager, &heard, note] {
           manager.reset();
           heard = note;
         };
         shown->onRetry();
         EXPECT_EQ(heard, note);
         EXPECT_FALSE(shown->onRetry);
       }},
      {"retry action", HostAction::reenter,
       "an action that replaces itself finishes; the next retry runs its replacement",
       [] {
         auto view = std::make_shared<CollectionView>();
         EmptyStateManager manager(view);
         const std::string first = "first action, captured by value beyond the small buffer";
         std::vector<std::string> heard;
         manager.retryAction = [&, first] {
           manager.retryAction = [&] { heard.emplace_back("second"); };
           manager.reloadEmptyState();
           heard.push_back(first);
         };
         manager.retry();
         manager.emptyStateView()->onRetry();
         EXPECT_EQ(heard, (std::vector<std::string>{first, "second"}));
       }},
      {"retry action", HostAction::raise,
       "the exception leaves retry(); the empty state stays and retries again",
       [] {
         auto view = std::make_shared<CollectionView>();
         EmptyStateManager manager(view);
         int retries = 0;
         manager.retryAction = [&] {
           if (++retries == 1) throw HostError();
         };
         EXPECT_THROW(manager.retry(), HostError);
         EXPECT_TRUE(manager.isShowingEmptyState());
         manager.retry();
         EXPECT_EQ(retries, 2);
       }},
  });
}

}  // namespace
}  // namespace quarn::platform
