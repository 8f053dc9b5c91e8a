#include "quarnkit/platform/progress.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "quarnkit/platform/runtime/publisher.h"

using quarn::AnyCancellable;
using quarn::URL;
using quarn::Value;
using quarn::platform::Progress;

namespace {

TEST(ProgressTest, FractionOfOwnUnits) {
  struct Case {
    std::int64_t total, completed;
    double fraction;
    bool indeterminate, finished;
  };
  const Case cases[] = {
      {0, 0, 0.0, true, false},    {4, 1, 0.25, false, false}, {4, 4, 1.0, false, true},
      {4, 6, 1.5, false, true},    {-1, 3, 0.0, true, false},  {0, 3, 0.0, false, false},
      {10, -1, -0.1, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.total) + "/" + std::to_string(c.completed));
    auto p = Progress::make(c.total);
    p->setCompletedUnitCount(c.completed);
    EXPECT_DOUBLE_EQ(p->fractionCompleted(), c.fraction);
    EXPECT_EQ(p->isIndeterminate(), c.indeterminate);
    EXPECT_EQ(p->isFinished(), c.finished);
  }
}

TEST(ProgressTest, ChildrenAreWeightedByTheirPendingUnits) {
  auto parent = Progress::make(10);
  auto a = Progress::make(100);
  auto b = Progress::make(4);
  parent->setCompletedUnitCount(2);
  parent->addChild(a, 3);
  parent->addChild(b, 5);
  a->setCompletedUnitCount(50);  // 1.5 units
  b->setCompletedUnitCount(1);   // 1.25 units
  EXPECT_DOUBLE_EQ(parent->fractionCompleted(), (2 + 1.5 + 1.25) / 10);
  EXPECT_EQ(parent->completedUnitCount(), 2);
  EXPECT_EQ(parent->children().size(), 2U);

  // Grandchildren count through their parent.
  auto grandchild = Progress::make(2);
  auto c = Progress::make(1);
  parent->addChild(c, 2);
  c->addChild(grandchild, 1);
  grandchild->setCompletedUnitCount(1);  // c at 0.5: 1 unit of the parent
  EXPECT_DOUBLE_EQ(parent->fractionCompleted(), (2 + 1.5 + 1.25 + 1) / 10);
}

TEST(ProgressTest, AFinishedChildCountsItsPendingUnitsAsCompletedAndLeaves) {
  auto parent = Progress::make(4);
  auto child = Progress::make(8);
  parent->addChild(child, 2);
  child->setCompletedUnitCount(8);
  EXPECT_EQ(parent->completedUnitCount(), 2);
  EXPECT_DOUBLE_EQ(parent->fractionCompleted(), 0.5);
  EXPECT_TRUE(parent->children().empty());
  // Later changes of the child no longer reach the parent.
  child->setCompletedUnitCount(0);
  EXPECT_DOUBLE_EQ(parent->fractionCompleted(), 0.5);

  // A child that is finished when it is added counts at once; the parent
  // finishes in turn and reaches its own parent.
  auto top = Progress::make(1);
  auto middle = Progress::make(1);
  top->addChild(middle, 1);
  auto done = Progress::make(3);
  done->setCompletedUnitCount(3);
  middle->addChild(done, 1);
  EXPECT_TRUE(middle->isFinished());
  EXPECT_TRUE(top->isFinished());
  EXPECT_EQ(top->completedUnitCount(), 1);
}

TEST(ProgressTest, CancelRunsTheHandlerAndReachesChildren) {
  auto parent = Progress::make(2);
  auto child = Progress::make(1);
  auto grandchild = Progress::make(1);
  parent->addChild(child, 1);
  child->addChild(grandchild, 1);
  std::vector<std::string> calls;
  parent->setCancellationHandler([&] { calls.emplace_back("parent"); });
  grandchild->setCancellationHandler([&] { calls.emplace_back("grandchild"); });

  parent->cancel();
  parent->cancel();  // once only
  EXPECT_TRUE(parent->isCancelled());
  EXPECT_TRUE(child->isCancelled());
  EXPECT_TRUE(grandchild->isCancelled());
  EXPECT_EQ(calls, (std::vector<std::string>{"parent", "grandchild"}));

  // A handler set after the cancel runs at once; a child added later is
  // cancelled as it joins.
  int late = 0;
  child->setCancellationHandler([&] { ++late; });
  EXPECT_EQ(late, 1);
  auto latecomer = Progress::make(1);
  parent->addChild(latecomer, 1);
  EXPECT_TRUE(latecomer->isCancelled());
}

TEST(ProgressTest, PauseAndResumeRunTheirHandlersOnChanges) {
  auto parent = Progress::make(1);
  auto child = Progress::make(1);
  parent->addChild(child, 1);
  std::vector<std::string> calls;
  parent->setPausingHandler([&] { calls.emplace_back("pause"); });
  parent->setResumingHandler([&] { calls.emplace_back("resume"); });
  child->setPausingHandler([&] { calls.emplace_back("child pause"); });
  parent->resume();  // not paused: nothing
  parent->pause();
  parent->pause();
  EXPECT_TRUE(child->isPaused());
  parent->resume();
  EXPECT_FALSE(parent->isPaused());
  EXPECT_FALSE(child->isPaused());
  EXPECT_EQ(calls, (std::vector<std::string>{"pause", "child pause", "resume"}));
}

TEST(ProgressTest, FractionAndCancelledPublishersGiveTheCurrentValueThenChanges) {
  auto p = Progress::make(4);
  std::vector<double> fractions;
  std::vector<bool> cancelled;
  AnyCancellable a =
      p->fractionCompletedPublisher().sink([&](double f) { fractions.push_back(f); });
  AnyCancellable b = p->isCancelledPublisher().sink([&](bool c) { cancelled.push_back(c); });
  p->setCompletedUnitCount(1);
  p->setCompletedUnitCount(1);  // no change
  p->setUnitCounts(8, 2);       // counts change, fraction stays: sent again
  p->cancel();
  EXPECT_EQ(fractions, (std::vector<double>{0.0, 0.25, 0.25}));
  EXPECT_EQ(cancelled, (std::vector<bool>{false, true}));
}

TEST(ProgressTest, DescriptionsUserInfoAndFileProperties) {
  auto p = Progress::make(4, {{"a", 1}});
  p->setCompletedUnitCount(1);
  EXPECT_EQ(p->localizedDescription(), "25% completed");
  EXPECT_EQ(p->localizedAdditionalDescription(), "1 of 4");
  std::vector<std::string> descriptions;
  AnyCancellable c = p->localizedDescriptionPublisher().sink(
      [&](const std::string& d) { descriptions.push_back(d); });
  p->setLocalizedDescription("Fetching");
  p->setLocalizedDescription(std::nullopt);
  EXPECT_EQ(descriptions, (std::vector<std::string>{"25% completed", "Fetching", "25% completed"}));

  p->setUserInfoObject(Value("x"), "b");
  p->setUserInfoObject(std::nullopt, "a");
  EXPECT_EQ(p->userInfo(), (Value::Object{{"b", "x"}}));

  p->setKind("file");
  p->setFileOperationKind("downloading");
  p->setFileURL(URL::fileURL("/tmp/x.bin"));
  EXPECT_EQ(p->kind(), "file");
  EXPECT_EQ(p->fileOperationKind(), "downloading");
  EXPECT_EQ(p->fileURL()->lastPathComponent(), "x.bin");
  EXPECT_TRUE(p->isCancellable());
  EXPECT_FALSE(p->isPausable());
}

TEST(ProgressDeathTest, AChildHasOneParentAndNoCycles) {
  auto a = Progress::make(1);
  auto b = Progress::make(1);
  auto child = Progress::make(1);
  a->addChild(child, 1);
  EXPECT_DEATH(b->addChild(child, 1), "already has a parent");
  EXPECT_DEATH(child->addChild(a, 1), "ancestor");
  EXPECT_DEATH(a->addChild(a, 1), "ancestor");
}

}  // namespace
