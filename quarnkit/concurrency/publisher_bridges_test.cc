#include "quarnkit/concurrency/publisher_bridges.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "quarnkit/testing/support.h"

using namespace quarn;

using quarn::testing::errorOf;

TEST(AsyncBridgeTest, FirstValueFailureOrFinishedWithoutValue) {
  PassthroughSubject<int> two;
  auto first = Task<int>::spawn(mainExecutor(), async(two.eraseToAnyPublisher()));
  drainMainContext();
  two.send(1);
  two.send(2);
  EXPECT_EQ(runUntilComplete(first.value()), 1);

  PassthroughSubject<int> empty;
  auto none = Task<int>::spawn(mainExecutor(), async(empty.eraseToAnyPublisher()));
  drainMainContext();
  empty.send(Completion<Never>::finished());
  auto error = errorOf([&] { runUntilComplete(none.value()); });
  ASSERT_TRUE(error);
  EXPECT_THROW(std::rethrow_exception(error), AsyncError);

  PassthroughSubject<int, std::exception_ptr> failing;
  auto failed = Task<int>::spawn(mainExecutor(), async(failing.eraseToAnyPublisher()));
  drainMainContext();
  failing.send(
      Completion<std::exception_ptr>::failed(std::make_exception_ptr(std::runtime_error("x"))));
  EXPECT_THROW(runUntilComplete(failed.value()), std::runtime_error);

  // A current value arrives during the subscription itself.
  CurrentValueSubject<int> current(5);
  EXPECT_EQ(runUntilComplete(async(current.eraseToAnyPublisher())), 5);
}

TEST(FutureBridgeTest, FulfilledByAnAsyncFunction) {
  Future<int> future([]() -> Async<int> { co_return 9; });
  EXPECT_EQ(runUntilComplete(async(future.eraseToAnyPublisher())), 9);
  // A late subscriber still sees the value.
  EXPECT_EQ(runUntilComplete(async(future.eraseToAnyPublisher())), 9);

  auto failing = Future<int, std::exception_ptr>::async([]() -> Async<int> {
    throw std::logic_error("no");
    co_return 0;
  });
  EXPECT_THROW(runUntilComplete(async(failing.eraseToAnyPublisher())), std::logic_error);
}

TEST(PublisherUtilitiesTest, WithPreviousForms) {
  PassthroughSubject<int> subject;
  std::vector<std::pair<std::optional<int>, int>> plain;
  std::vector<std::pair<int, int>> seeded;
  auto a =
      withPrevious(subject.eraseToAnyPublisher()).sink([&](const auto& p) { plain.push_back(p); });
  auto b = withPrevious(subject.eraseToAnyPublisher(), 0).sink([&](const auto& p) {
    seeded.push_back(p);
  });
  for (int v : {1, 2, 3}) subject.send(v);
  EXPECT_EQ(plain,
            (std::vector<std::pair<std::optional<int>, int>>{{std::nullopt, 1}, {1, 2}, {2, 3}}));
  EXPECT_EQ(seeded, (std::vector<std::pair<int, int>>{{0, 1}, {1, 2}, {2, 3}}));
}

TEST(PublisherUtilitiesTest, AssignHoldsItsTargetWeaklyAndStoreKeepsSubscriptions) {
  struct Screen {
    int title = 0;
  };
  PassthroughSubject<int> subject;
  auto screen = std::make_shared<Screen>();
  auto other = std::make_shared<Screen>();
  std::weak_ptr<Screen> watch = screen;
  CancellableSet bag;
  {
    CancellableSet local;
    assign(subject.eraseToAnyPublisher(), &Screen::title, screen).store(local);
    assign(subject.eraseToAnyPublisher(), &Screen::title, other).store(local);
    store(local, bag);
  }
  EXPECT_EQ(bag.size(), 2u);
  subject.send(4);
  EXPECT_EQ(screen->title, 4);
  EXPECT_EQ(other->title, 4);
  screen.reset();
  EXPECT_TRUE(watch.expired());  // not retained by the subscription
  subject.send(5);               // skipped for the gone target (a write would be use-after-free)
  EXPECT_EQ(other->title, 5);
  bag.clear();  // dropping the last copy cancels
  subject.send(6);
  EXPECT_EQ(other->title, 5);
}

TEST(PublisherUtilitiesTest, CombineLatestAndCancellation) {
  CurrentValueSubject<double> fraction(0.0);
  CurrentValueSubject<bool> cancelled(false);
  std::vector<std::pair<double, bool>> seen;
  auto c = combineLatest(fraction.eraseToAnyPublisher(), cancelled.eraseToAnyPublisher())
               .sink([&](const auto& p) { seen.push_back(p); });
  fraction.send(0.5);
  c.cancel();
  fraction.send(1.0);
  EXPECT_EQ(seen, (std::vector<std::pair<double, bool>>{{0.0, false}, {0.5, false}}));
}
