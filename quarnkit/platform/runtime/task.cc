// Task handles and task groups.
#include "quarnkit/platform/runtime/task.h"

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/post.hpp>
#include <deque>
#include <list>
#include <mutex>

#include "quarnkit/platform/runtime/detail/executors.h"
#include "quarnkit/platform/runtime/detail/resumption.h"

namespace asio = boost::asio;

namespace quarn::detail {

Async<Executor> currentExecutor() { co_return co_await asio::this_coro::executor; }

struct TaskCore::Waiter {
  std::shared_ptr<ResumptionImpl> resumption;
  Waiter* next = nullptr;
};

TaskCore::Waiter* TaskCore::waiterAt(std::uintptr_t word) noexcept {
  return reinterpret_cast<Waiter*>(word);  // NOLINT(performance-no-int-to-ptr)
}

TaskCore::~TaskCore() {
  // A task that never ended (its context went away first): dropping the
  // resumptions wakes the awaiters with the cancellation error.
  const std::uintptr_t head = waiters_.load(std::memory_order_acquire);
  if (head == kClosed) return;
  for (Waiter* w = waiterAt(head); w;) delete std::exchange(w, w->next);
}

void TaskCore::wakeWaiters(const Executor* current, const std::exception_ptr& error) {
  Waiter* w = waiterAt(waiters_.exchange(kClosed, std::memory_order_acq_rel));
  // The stack holds the awaiters newest first; wake them in arrival order.
  Waiter* oldestFirst = nullptr;
  while (w) {
    Waiter* next = w->next;
    w->next = oldestFirst;
    oldestFirst = w;
    w = next;
  }
  while (oldestFirst) {
    std::unique_ptr<Waiter> waiter(std::exchange(oldestFirst, oldestFirst->next));
    waiter->resumption->resumeFrom(current, error);
  }
}

void TaskCore::bodyEnded(std::exception_ptr error) {
  bodyDone_ = true;
  Phase expected = Phase::running;
  if (!phase_.compare_exchange_strong(expected, Phase::finished, std::memory_order_acq_rel)) {
    return;  // cancelled first: the outcome is dropped
  }
  error_ = std::move(error);
  wakeWaiters(&executor_, error_);
}

Executor taskExecutor(const Executor& executor, bool inheritLocals) {
  return prepareExecutor(executor, inheritLocals ? currentLocals() : nullptr);
}

void launchTask(const std::shared_ptr<TaskCore>& task, Async<void> body) {
  // The completion handler keeps the task (and so its signal) alive until the
  // body's coroutine is gone. It runs on the task's executor; the body has
  // normally ended the task by then, unless it was stopped before it started.
  asio::co_spawn(task->executor_, std::move(body),
                 asio::bind_cancellation_slot(task->signal_.slot(), [task](std::exception_ptr e) {
                   if (e) task->bodyEnded(std::move(e));
                 }));
}

void cancelTask(const std::shared_ptr<TaskCore>& task) {
  TaskCore::Phase expected = TaskCore::Phase::running;
  if (!task->phase_.compare_exchange_strong(expected, TaskCore::Phase::cancelled,
                                            std::memory_order_acq_rel)) {
    return;  // already ended
  }
  task->wakeWaiters(nullptr, cancellationError());
  // The signal belongs to the body's executor; the body may already be gone.
  asio::post(task->executor_, [task] {
    if (!task->bodyDone_) task->signal_.emit(asio::cancellation_type::terminal);
  });
}

Async<void> awaitTask(std::shared_ptr<TaskCore> task) {
  std::function<void(std::shared_ptr<Resumption>)> wait = [task](std::shared_ptr<Resumption> r) {
    auto* waiter = new TaskCore::Waiter{std::static_pointer_cast<ResumptionImpl>(std::move(r))};
    std::uintptr_t head = task->waiters_.load(std::memory_order_acquire);
    do {
      if (head == TaskCore::kClosed) {
        // It ended meanwhile: resume with its outcome.
        auto resumption = std::move(waiter->resumption);
        delete waiter;
        resumption->resume(task->isCancelled() ? cancellationError() : task->error_);
        return;
      }
      waiter->next = TaskCore::waiterAt(head);
    } while (!task->waiters_.compare_exchange_weak(head, reinterpret_cast<std::uintptr_t>(waiter),
                                                   std::memory_order_release,
                                                   std::memory_order_acquire));
  };
  co_await suspend(std::move(wait), OnCancel::resumeWithCancellation);
}

// Task groups

class TaskGroupCore : public std::enable_shared_from_this<TaskGroupCore> {
 public:
  struct Child {
    Executor executor;
    asio::cancellation_signal signal;  // used on `executor` only
    bool running = true;
  };
  struct Done {
    std::shared_ptr<void> box;
    std::exception_ptr error;
  };

  LocalsPtr locals;
  mutable std::mutex mutex;
  std::list<Child> children;  // signals must outlive the children's frames
  std::deque<Done> done;
  std::size_t running = 0;
  bool cancelled = false;
  std::shared_ptr<Resumption> waiter;

  void childEnded(Child& child, std::shared_ptr<void> box, std::exception_ptr error) {
    std::shared_ptr<Resumption> wake;
    {
      std::lock_guard lock(mutex);
      child.running = false;
      --running;
      done.push_back({error ? nullptr : std::move(box), std::move(error)});
      wake = std::move(waiter);
    }
    if (wake) wake->resume();
  }

  void cancelChild(Child& child) {
    asio::post(child.executor, [self = shared_from_this(), &child] {
      bool stillRunning;
      {
        std::lock_guard lock(self->mutex);
        stillRunning = child.running;
      }
      if (stillRunning) child.signal.emit(asio::cancellation_type::terminal);
    });
  }
};

std::shared_ptr<TaskGroupCore> makeTaskGroup(const Executor& parent) {
  auto group = std::make_shared<TaskGroupCore>();
  group->locals = localsOf(parent);
  return group;
}

void addGroupTask(const std::shared_ptr<TaskGroupCore>& group, const Executor& executor,
                  Async<void> body, std::shared_ptr<void> box) {
  TaskGroupCore::Child* child;
  bool cancelled;
  {
    std::lock_guard lock(group->mutex);
    child = &group->children.emplace_back();
    child->executor = prepareExecutor(executor, group->locals);
    ++group->running;
    cancelled = group->cancelled;
  }
  asio::co_spawn(
      child->executor, std::move(body),
      asio::bind_cancellation_slot(
          child->signal.slot(), [group, child, box = std::move(box)](std::exception_ptr e) mutable {
            group->childEnded(*child, std::move(box), std::move(e));
          }));
  if (cancelled) group->cancelChild(*child);
}

void cancelGroup(TaskGroupCore& group) {
  std::vector<TaskGroupCore::Child*> running;
  {
    std::lock_guard lock(group.mutex);
    group.cancelled = true;
    for (auto& child : group.children) {
      if (child.running) running.push_back(&child);
    }
  }
  for (auto* child : running) group.cancelChild(*child);
}

Async<void> drainGroup(std::shared_ptr<TaskGroupCore> group) {
  for (;;) {
    {
      std::lock_guard lock(group->mutex);
      group->done.clear();
      if (group->running == 0) co_return;
    }
    std::function<void(std::shared_ptr<Resumption>)> wait = [group](std::shared_ptr<Resumption> r) {
      std::unique_lock lock(group->mutex);
      if (group->running == 0) {
        lock.unlock();
        r->resume();
      } else {
        group->waiter = std::move(r);
      }
    };
    co_await suspend(std::move(wait));
  }
}

Async<std::optional<std::shared_ptr<void>>> nextGroupResult(std::shared_ptr<TaskGroupCore> group) {
  for (;;) {
    std::optional<TaskGroupCore::Done> item;
    bool empty = false;
    {
      std::lock_guard lock(group->mutex);
      if (!group->done.empty()) {
        item = std::move(group->done.front());
        group->done.pop_front();
      } else {
        empty = group->running == 0;
      }
    }
    if (item) {
      if (!item->error) co_return std::move(item->box);
      cancelGroup(*group);
      const bool throwIfCancelled = co_await asio::this_coro::throw_if_cancelled();
      co_await asio::this_coro::throw_if_cancelled(false);
      co_await drainGroup(group);
      co_await asio::this_coro::throw_if_cancelled(throwIfCancelled);
      std::rethrow_exception(item->error);
    }
    if (empty) co_return std::nullopt;
    std::function<void(std::shared_ptr<Resumption>)> wait = [group](std::shared_ptr<Resumption> r) {
      std::unique_lock lock(group->mutex);
      if (!group->done.empty() || group->running == 0) {
        lock.unlock();
        r->resume();
      } else {
        group->waiter = std::move(r);
      }
    };
    co_await suspend(std::move(wait), OnCancel::resumeWithCancellation);
  }
}

bool groupIsEmpty(const TaskGroupCore& group) {
  std::lock_guard lock(group.mutex);
  return group.running == 0 && group.done.empty();
}

bool groupIsCancelled(const TaskGroupCore& group) {
  std::lock_guard lock(group.mutex);
  return group.cancelled;
}

}  // namespace quarn::detail
