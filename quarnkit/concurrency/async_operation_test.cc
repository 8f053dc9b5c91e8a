#include "quarnkit/concurrency/async_operation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

using namespace quarn;

namespace {
// Records the announcements of one operation as "will:isReady" / "did:isReady".
struct Recorder {
  std::mutex mutex;
  std::vector<std::string> lines;
  void attach(Operation& op) {
    op.addObserver([this](std::string_view key, bool prior) {
      std::lock_guard lock(mutex);
      lines.push_back(std::string(prior ? "will:" : "did:") + std::string(key));
    });
  }
};
}  // namespace

TEST(AsyncOperationTest, StateKeysAndAnnouncementOrder) {
  EXPECT_EQ(AsyncOperation::keyPath(AsyncOperation::State::ready), "isReady");
  EXPECT_EQ(AsyncOperation::keyPath(AsyncOperation::State::executing), "isExecuting");
  EXPECT_EQ(AsyncOperation::keyPath(AsyncOperation::State::finished), "isFinished");
  EXPECT_EQ(AsyncOperation::rawValue(AsyncOperation::State::executing), "executing");

  auto op = std::make_shared<AsyncBlockOperation>(
      [](AsyncBlockOperation&, const std::function<void()>&) {});
  Recorder r;
  r.attach(*op);
  EXPECT_TRUE(op->isAsynchronous());
  EXPECT_TRUE(op->isReady());
  op->start();
  EXPECT_TRUE(op->isExecuting());
  EXPECT_FALSE(op->isReady());
  EXPECT_EQ(r.lines, (std::vector<std::string>{"will:isExecuting", "will:isReady", "did:isReady",
                                               "did:isExecuting"}));
}

TEST(AsyncOperationTest, CancelBeforeStartFinishesWithoutRunning) {
  bool ran = false;
  auto op = std::make_shared<AsyncBlockOperation>(
      [&](AsyncBlockOperation&, const std::function<void()>& finish) {
        ran = true;
        finish();
      });
  op->cancel();
  EXPECT_TRUE(op->isFinished());
  EXPECT_FALSE(op->isReady());
  EXPECT_FALSE(op->isCancelled());  // the override leaves the flag alone
  OperationQueue queue;
  queue.addOperation(op);
  queue.waitUntilAllOperationsAreFinished();
  EXPECT_FALSE(ran);
}

TEST(OperationQueueTest, SynchronousFinishReleasesTheQueueAndLaterFinishKeepsItWaiting) {
  OperationQueue queue;
  queue.addAsyncOperation(
      [](AsyncBlockOperation&, const std::function<void()>& finish) { finish(); });
  queue.waitUntilAllOperationsAreFinished();
  EXPECT_EQ(queue.operationCount(), 0u);

  std::function<void()> later;
  std::mutex m;
  std::atomic<bool> started{false};
  auto op = queue.addAsyncOperation([&](AsyncBlockOperation&, std::function<void()> finish) {
    std::lock_guard lock(m);
    later = std::move(finish);
    started = true;
  });
  while (!started) std::this_thread::yield();
  EXPECT_TRUE(op->isExecuting());
  EXPECT_EQ(queue.operationCount(), 1u);
  {
    std::lock_guard lock(m);
    later();
    later();  // a second call only repeats the announcements
  }
  queue.waitUntilAllOperationsAreFinished();
  EXPECT_TRUE(op->isFinished());
}

TEST(OperationQueueTest, DependenciesRunFirst) {
  OperationQueue queue;
  std::mutex m;
  std::vector<int> order;
  auto record = [&](int i) {
    std::lock_guard lock(m);
    order.push_back(i);
  };
  std::function<void()> finishFirst;
  auto first = std::make_shared<AsyncBlockOperation>(
      [&](AsyncBlockOperation&, std::function<void()> finish) {
        record(1);
        std::lock_guard lock(m);
        finishFirst = std::move(finish);
      });
  auto second = std::make_shared<AsyncBlockOperation>(
      [&](AsyncBlockOperation&, const std::function<void()>& finish) {
        record(2);
        finish();
      });
  second->addDependency(first);
  EXPECT_FALSE(second->isReady());
  queue.addOperation(second);
  queue.addOperation(first);
  for (;;) {
    std::lock_guard lock(m);
    if (finishFirst) break;
  }
  EXPECT_EQ(queue.operationCount(), 2u);  // second waits for first to report finished
  {
    std::function<void()> f;
    {
      std::lock_guard lock(m);
      f = finishFirst;
    }
    f();
  }
  queue.waitUntilAllOperationsAreFinished();
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}
