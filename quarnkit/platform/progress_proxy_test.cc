#include "quarnkit/platform/progress_proxy.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "quarnkit/platform/runtime/publisher.h"

using quarn::AnyCancellable;
using quarn::URL;
using quarn::Value;
using quarn::platform::Progress;
using quarn::platform::ProgressProxy;

namespace {

TEST(ProgressProxyTest, UnitCountsFollowTheBaseFraction) {
  // A base of fewer than 2 units counts as 1000; others are copied.
  struct Case {
    std::int64_t total, completed;
    double childFraction;  // of a child standing for 1 unit; < 0: no child
    std::int64_t proxyTotal, proxyCompleted;
  };
  const Case cases[] =
      {
          {1, 0, 0.25, 1000, 250}, {1, 1, -1, 1000, 1000}, {0, 0, -1, 1000, 0},
          {-1, 0, -1, 1000, 0},    {10, 3, -1, 10, 3},     {2, 1, -1, 2, 1},
          {3, 0, 0.5, 3, 0},  // copied counts: the child's share is not in them
      };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.total) + "/" + std::to_string(c.completed));
    auto base = Progress::make(c.total);
    base->setCompletedUnitCount(c.completed);
    if (c.childFraction >= 0) {
      auto child = Progress::make(100);
      base->addChild(child, 1);
      child->setCompletedUnitCount(static_cast<std::int64_t>(c.childFraction * 100));
    }
    auto proxy = ProgressProxy::make(base);
    EXPECT_EQ(proxy->totalUnitCount(), c.proxyTotal);
    EXPECT_EQ(proxy->completedUnitCount(), c.proxyCompleted);
  }

  // And keep following it.
  auto base = Progress::make(1);
  auto child = Progress::make(4);
  base->addChild(child, 1);
  auto proxy = ProgressProxy::make(base);
  child->setCompletedUnitCount(3);
  EXPECT_EQ(proxy->completedUnitCount(), 750);
  base->setTotalUnitCount(8);  // now copied
  EXPECT_EQ(proxy->totalUnitCount(), 8);
  EXPECT_EQ(proxy->completedUnitCount(), 0);
}

TEST(ProgressProxyTest, MirrorsDescriptionsFlagsKindsAndFileURL) {
  auto base = Progress::make(4, {{"origin", "base"}});
  base->setKind("file");
  auto proxy = ProgressProxy::make(base);
  EXPECT_EQ(proxy->kind(), "file");
  EXPECT_EQ(proxy->userInfo(), (Value::Object{{"origin", "base"}}));

  base->setLocalizedDescription("Downloading");
  base->setLocalizedAdditionalDescription("1 MB of 4 MB");
  base->setCancellable(false);
  base->setPausable(true);
  base->setFileOperationKind("downloading");
  base->setFileURL(URL::fileURL("/tmp/a.bin"));
  EXPECT_EQ(proxy->localizedDescription(), "Downloading");
  EXPECT_EQ(proxy->localizedAdditionalDescription(), "1 MB of 4 MB");
  EXPECT_FALSE(proxy->isCancellable());
  EXPECT_TRUE(proxy->isPausable());
  EXPECT_EQ(proxy->fileOperationKind(), "downloading");
  EXPECT_EQ(proxy->fileURL(), URL::fileURL("/tmp/a.bin"));
}

TEST(ProgressProxyTest, ForwardsCancelPauseResumeAndUserInfoAndReadsStatesFromTheBase) {
  auto base = Progress::make(0);
  auto proxy = ProgressProxy::make(base);
  std::vector<std::string> calls;
  base->setCancellationHandler([&] { calls.emplace_back("cancel"); });
  base->setPausingHandler([&] { calls.emplace_back("pause"); });
  base->setResumingHandler([&] { calls.emplace_back("resume"); });
  std::vector<bool> cancelled;
  AnyCancellable c = proxy->isCancelledPublisher().sink([&](bool v) { cancelled.push_back(v); });

  proxy->pause();
  EXPECT_TRUE(base->isPaused());
  EXPECT_TRUE(proxy->isPaused());
  proxy->resume();
  proxy->cancel();
  EXPECT_TRUE(base->isCancelled());
  EXPECT_TRUE(proxy->isCancelled());
  EXPECT_EQ(calls, (std::vector<std::string>{"pause", "resume", "cancel"}));
  EXPECT_EQ(cancelled, (std::vector<bool>{false, true}));

  proxy->setUserInfoObject(Value(7), "bytes");
  EXPECT_EQ(base->userInfo(), (Value::Object{{"bytes", 7}}));
  proxy->setUserInfoObject(std::nullopt, "bytes");
  EXPECT_TRUE(base->userInfo().empty());

  EXPECT_TRUE(proxy->isIndeterminate());  // the base's 0 of 0, not the proxy's 0 of 1000
  base->setUnitCounts(5, 5);
  EXPECT_TRUE(proxy->isFinished());
}

TEST(ProgressProxyTest, StandsForTheBaseInAnotherTree) {
  // The base already has a parent; the proxy joins the caller's progress.
  auto owner = Progress::make(1);
  auto base = Progress::make(1);
  owner->addChild(base, 1);
  auto caller = Progress::make(2);
  auto proxy = ProgressProxy::make(base);
  caller->addChild(proxy, 1);

  auto half = Progress::make(2);
  base->addChild(half, 1);
  half->setCompletedUnitCount(1);
  EXPECT_DOUBLE_EQ(caller->fractionCompleted(), 0.25);
  base->setCompletedUnitCount(1);  // the base finishes, so does the proxy
  EXPECT_EQ(caller->completedUnitCount(), 1);

  // Cancelling the caller's tree cancels the base.
  auto other = Progress::make(1);
  auto caller2 = Progress::make(1);
  caller2->addChild(ProgressProxy::make(other), 1);
  caller2->cancel();
  EXPECT_TRUE(other->isCancelled());
}

TEST(ProgressProxyTest, TheBaseDoesNotKeepTheProxyAlive) {
  auto base = Progress::make(100);
  std::weak_ptr<ProgressProxy> weak;
  {
    auto proxy = ProgressProxy::make(base);
    weak = proxy;
  }
  EXPECT_TRUE(weak.expired());
  base->setCompletedUnitCount(10);
  base->setLocalizedDescription("still fine");

  // Proxies come and go while another thread keeps changing the base.
  std::atomic<bool> stop{false};
  std::thread changer([&] {
    for (std::int64_t i = 0; !stop; ++i) {
      base->setCompletedUnitCount(i % 100);
      base->setKind(i % 2 == 0 ? "file" : "data");
    }
  });
  for (int i = 0; i < 500; ++i) {
    auto proxy = ProgressProxy::make(base);
    EXPECT_EQ(proxy->totalUnitCount(), 100);
  }
  stop = true;
  changer.join();
}

}  // namespace
