#include "quarnkit/concurrency/async_operation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
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
  // The state changes as "isReady>isExecuting": a change announces the new
  // key, then the old one, before it happens.
  std::vector<std::string> transitions() {
    std::lock_guard lock(mutex);
    std::vector<std::string> out;
    std::vector<std::string> wills;
    for (const auto& line : lines) {
      if (line.rfind("will:", 0) == 0) wills.push_back(line.substr(5));
    }
    for (std::size_t i = 0; i + 1 < wills.size(); i += 2)
      out.push_back(wills[i + 1] + ">" + wills[i]);
    return out;
  }
};

// An AsyncOperation that finishes inside main(); counts main() calls and says
// when start() has returned.
class Probe final : public AsyncOperation {
 public:
  void start() override {
    AsyncOperation::start();
    started = true;
  }
  void main() override {
    ++mainCalls;
    setState(State::finished);
  }
  std::atomic<int> mainCalls{0};
  std::atomic<bool> started{false};
};
}  // namespace

TEST(AsyncOperationTest, StateKeysAndAnnouncementOrder) {
  EXPECT_EQ(AsyncOperation::keyPath(AsyncOperation::State::ready), "isReady");
  EXPECT_EQ(AsyncOperation::keyPath(AsyncOperation::State::executing), "isExecuting");
  EXPECT_EQ(AsyncOperation::keyPath(AsyncOperation::State::finished), "isFinished");
  EXPECT_EQ(AsyncOperation::rawValue(AsyncOperation::State::executing), "executing");

  auto op = AsyncBlockOperation::make([](AsyncBlockOperation&, const std::function<void()>&) {});
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
  auto op =
      AsyncBlockOperation::make([&](AsyncBlockOperation&, const std::function<void()>& finish) {
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

TEST(AsyncOperationTest, FinishedNeverStartsAgain) {
  // Cancelled before start(): start() changes nothing and main() never runs.
  auto cancelled = std::make_shared<Probe>();
  cancelled->cancel();
  Recorder r;
  r.attach(*cancelled);
  cancelled->start();
  EXPECT_TRUE(cancelled->isFinished());
  EXPECT_EQ(cancelled->mainCalls, 0);
  EXPECT_TRUE(r.lines.empty());

  // Finished by its own work: a second start() is ignored too.
  auto done = std::make_shared<Probe>();
  done->start();
  ASSERT_TRUE(done->isFinished());
  done->start();
  EXPECT_TRUE(done->isFinished());
  EXPECT_EQ(done->mainCalls, 1);

  // Still executing: start() does not call main() twice.
  std::function<void()> finish;
  int runs = 0;
  auto running = AsyncBlockOperation::make([&](AsyncBlockOperation&, std::function<void()> f) {
    ++runs;
    finish = std::move(f);
  });
  running->start();
  running->start();
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(running->isExecuting());
  finish();
  EXPECT_TRUE(running->isFinished());
}

TEST(AsyncOperationTest, MadeOnlyThroughItsFactory) {
  // Its finish callback reaches the operation through a weak reference, so an
  // operation not owned by a shared_ptr could never finish.
  static_assert(!std::is_constructible_v<AsyncBlockOperation, AsyncBlockOperation::Block>);
  static_assert(!std::is_default_constructible_v<AsyncBlockOperation>);
  static_assert(!std::is_copy_constructible_v<AsyncBlockOperation>);
  auto op = AsyncBlockOperation::make(
      [](AsyncBlockOperation&, const std::function<void()>& finish) { finish(); });
  op->start();
  EXPECT_TRUE(op->isFinished());
}

// cancel() racing the queue's start on a worker thread: whichever changes the
// state first wins, and an operation cancelled while ready never runs main()
// nor leaves finished.
TEST(OperationQueueTest, CancelRightAfterAddingWinsOrComesAfterTheStart) {
  OperationQueue queue;
  int ranFirst = 0;
  for (int round = 0; round < 2000; ++round) {
    Recorder r;
    auto probe = std::make_shared<Probe>();
    r.attach(*probe);
    queue.addOperation(probe);  // ready: its start is posted to a worker
    probe->cancel();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!probe->started && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
    ASSERT_TRUE(probe->started) << "round " << round;
    const auto t = r.transitions();
    ASSERT_FALSE(t.empty());
    if (t.front() == "isReady>isFinished") {
      ASSERT_EQ(probe->mainCalls, 0) << "round " << round;
      ASSERT_EQ(t.size(), 1u) << "round " << round << ": " << t.back();
    } else {
      ASSERT_EQ(t.front(), "isReady>isExecuting") << "round " << round;
      ASSERT_EQ(probe->mainCalls, 1);
      ++ranFirst;
    }
    ASSERT_TRUE(probe->isFinished());
  }
  queue.waitUntilAllOperationsAreFinished();
  // How often the worker started the operation before cancel() came.
  RecordProperty("startedBeforeCancel", ranFirst);
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
  auto first = AsyncBlockOperation::make([&](AsyncBlockOperation&, std::function<void()> finish) {
    record(1);
    std::lock_guard lock(m);
    finishFirst = std::move(finish);
  });
  auto second =
      AsyncBlockOperation::make([&](AsyncBlockOperation&, const std::function<void()>& finish) {
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
