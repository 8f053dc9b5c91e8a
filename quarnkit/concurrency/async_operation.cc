#include "quarnkit/concurrency/async_operation.h"

#include <algorithm>
#include <boost/asio/post.hpp>
#include <condition_variable>

#include "quarnkit/core/error.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/runtime/async.h"

namespace quarn {

namespace {
// An observer or a queued operation threw: told to the log, the operation
// goes on (so a queue waiting for it is not stuck).
void logThrown(std::string_view where) {
  defaultLogger().error("[Operation] {} threw: {}", where, describeCurrentException());
}
}  // namespace

// ---------------------------------------------------------------------------
// Operation

bool Operation::isReady() const {
  if (isCancelled()) return true;
  std::lock_guard lock(mutex_);
  return std::all_of(dependencies_.begin(), dependencies_.end(),
                     [](const auto& d) { return d->isFinished(); });
}

bool Operation::isExecuting() const { return executing_.load(); }
bool Operation::isFinished() const { return finished_.load(); }

void Operation::start() {
  const auto self = weak_from_this().lock();  // an observer may drop the last reference
  std::exception_ptr thrown;
  if (!isCancelled()) {
    willChangeValue("isExecuting");
    executing_ = true;
    didChangeValue("isExecuting");
    try {
      main();
    } catch (...) {
      thrown = std::current_exception();  // finished all the same, then passed on
    }
    willChangeValue("isExecuting");
    executing_ = false;
    didChangeValue("isExecuting");
  }
  willChangeValue("isFinished");
  finished_ = true;
  didChangeValue("isFinished");
  if (thrown) std::rethrow_exception(thrown);
}

void Operation::cancel() {
  const auto self = weak_from_this().lock();
  if (cancelled_.load()) return;
  willChangeValue("isCancelled");
  willChangeValue("isReady");
  cancelled_ = true;
  didChangeValue("isReady");
  didChangeValue("isCancelled");
}

void Operation::addDependency(const std::shared_ptr<Operation>& dependency) {
  {
    std::lock_guard lock(mutex_);
    dependencies_.push_back(dependency);
  }
  // Readiness follows the dependency's end.
  std::weak_ptr<Operation> weakSelf = weak_from_this();
  dependency->addObserver([weakSelf](std::string_view key, bool prior) {
    if (key != "isFinished") return;
    if (auto self = weakSelf.lock()) {
      if (prior) {
        self->willChangeValue("isReady");
      } else {
        self->didChangeValue("isReady");
      }
    }
  });
}

std::vector<std::shared_ptr<Operation>> Operation::dependencies() const {
  std::lock_guard lock(mutex_);
  return dependencies_;
}

std::size_t Operation::addObserver(Observer observer) {
  std::lock_guard lock(mutex_);
  observers_.emplace_back(nextToken_, std::move(observer));
  return nextToken_++;
}

void Operation::removeObserver(std::size_t token) {
  std::lock_guard lock(mutex_);
  std::erase_if(observers_, [token](const auto& o) { return o.first == token; });
}

void Operation::willChangeValue(std::string_view key) { announce(key, true); }
void Operation::didChangeValue(std::string_view key) { announce(key, false); }

void Operation::announce(std::string_view key, bool prior) {
  std::vector<std::pair<std::size_t, Observer>> observers;
  {
    std::lock_guard lock(mutex_);
    observers = observers_;
  }
  for (auto& o : observers) {
    try {
      o.second(key, prior);
    } catch (...) {
      logThrown("An observer of \"" + std::string(key) + "\"");
    }
  }
}

// ---------------------------------------------------------------------------
// AsyncOperation

std::string_view AsyncOperation::rawValue(State state) {
  switch (state) {
    case State::ready:
      return "ready";
    case State::executing:
      return "executing";
    case State::finished:
      return "finished";
  }
  return "ready";
}

std::string AsyncOperation::keyPath(State state) {
  std::string raw(rawValue(state));
  raw[0] = static_cast<char>(raw[0] - 'a' + 'A');
  return "is" + raw;
}

void AsyncOperation::setState(State state) {
  const auto self = weak_from_this().lock();  // an observer may drop the last reference
  std::lock_guard lock(changing_);
  const State old = state_.load();
  const std::string newKey = keyPath(state);
  const std::string oldKey = keyPath(old);
  willChangeValue(newKey);
  willChangeValue(oldKey);
  state_ = state;
  didChangeValue(oldKey);
  didChangeValue(newKey);
}

bool AsyncOperation::isReady() const { return Operation::isReady() && state() == State::ready; }

void AsyncOperation::start() {
  const auto self = weak_from_this().lock();
  {
    // Deciding and leaving ready is one step, so a cancel() on another thread
    // comes either before it (and main() never runs) or after it.
    std::lock_guard lock(changing_);
    if (state() != State::ready) return;
    if (isCancelled()) {
      setState(State::finished);
      return;
    }
    setState(State::executing);
  }
  try {
    main();
  } catch (...) {
    setState(State::finished);  // nothing is left to call finish
    throw;
  }
}

void AsyncOperation::cancel() { setState(State::finished); }

std::shared_ptr<AsyncBlockOperation> AsyncBlockOperation::make(Block block) {
  return std::make_shared<AsyncBlockOperation>(Key(), std::move(block));
}

void AsyncBlockOperation::main() {
  const auto keep = shared_from_this();  // the block may drop the last reference
  std::weak_ptr<Operation> weakSelf = keep;
  block_(*this, [weakSelf] {
    if (auto self = weakSelf.lock())
      static_cast<AsyncBlockOperation&>(*self).setState(State::finished);
  });
}

// ---------------------------------------------------------------------------
// OperationQueue

namespace {
class BlockOperation final : public Operation {
 public:
  explicit BlockOperation(std::function<void()> block) : block_(std::move(block)) {}
  void main() override { block_(); }

 private:
  std::function<void()> block_;
};
}  // namespace

struct OperationQueue::State : std::enable_shared_from_this<OperationQueue::State> {
  struct Entry {
    std::shared_ptr<Operation> operation;
    std::size_t observer;
    bool started = false;
  };
  mutable std::mutex mutex;
  mutable std::condition_variable idle;
  std::vector<Entry> entries;

  // Starts `operation` if it became ready; drops it once it has finished.
  void check(Operation* operation) {
    std::shared_ptr<Operation> toStart;
    std::shared_ptr<Operation> finished;
    std::size_t observer = 0;
    {
      std::lock_guard lock(mutex);
      auto it = std::find_if(entries.begin(), entries.end(),
                             [&](const Entry& e) { return e.operation.get() == operation; });
      if (it == entries.end()) return;
      if (operation->isFinished()) {
        finished = std::move(it->operation);
        observer = it->observer;
        entries.erase(it);
        if (entries.empty()) idle.notify_all();
      } else if (!it->started && operation->isReady()) {
        it->started = true;
        toStart = it->operation;
      }
    }
    if (finished) finished->removeObserver(observer);
    if (toStart) {
      boost::asio::post(concurrentExecutor(), [toStart] {
        try {
          toStart->start();
        } catch (...) {
          logThrown("A queued operation");
        }
      });
    }
  }
};

OperationQueue::OperationQueue() : state_(std::make_shared<State>()) {}

OperationQueue::~OperationQueue() = default;

void OperationQueue::addOperation(std::shared_ptr<Operation> operation) {
  Operation* raw = operation.get();
  std::weak_ptr<State> weakState = state_;
  // Observe first: a change before the entry exists is caught by the check below.
  std::size_t observer = operation->addObserver([weakState, raw](std::string_view key, bool prior) {
    if (prior || (key != "isReady" && key != "isFinished")) return;
    if (auto state = weakState.lock()) state->check(raw);
  });
  {
    std::lock_guard lock(state_->mutex);
    state_->entries.push_back({std::move(operation), observer, false});
  }
  state_->check(raw);
}

void OperationQueue::addOperation(std::function<void()> block) {
  addOperation(std::make_shared<BlockOperation>(std::move(block)));
}

std::shared_ptr<AsyncBlockOperation> OperationQueue::addAsyncOperation(
    AsyncBlockOperation::Block block) {
  auto operation = AsyncBlockOperation::make(std::move(block));
  addOperation(operation);
  return operation;
}

std::size_t OperationQueue::operationCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->entries.size();
}

void OperationQueue::waitUntilAllOperationsAreFinished() const {
  std::unique_lock lock(state_->mutex);
  state_->idle.wait(lock, [&] { return state_->entries.empty(); });
}

void OperationQueue::cancelAllOperations() {
  std::vector<std::shared_ptr<Operation>> operations;
  {
    std::lock_guard lock(state_->mutex);
    for (auto& e : state_->entries) operations.push_back(e.operation);
  }
  for (auto& o : operations) o->cancel();
}

}  // namespace quarn
