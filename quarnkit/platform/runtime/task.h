/// @file
/// Task<T>: a handle to unstructured asynchronous work; TaskGroup<T>: children that run
/// concurrently and are collected as they complete.

/// @class quarn::Task
/// A handle to unstructured asynchronous work; TaskGroup<T>: children
/// that run concurrently and are collected as they complete.
///
/// Kinds: Task and TaskGroup are handles: a copy refers to the same task or
/// group.
///
/// A task starts at once on its executor and runs whether or not anyone keeps
/// its handle. Awaiting value() gives its result or rethrows its error.
/// cancel() ends the task for everyone awaiting it, at once and for good: they
/// get the cancellation error, and the body is cancelled at its next
/// suspension (its result, if it still produces one, is dropped).
///
/// ```
///   Task<Result> request = Task<Result>::spawn(sendRequest(parameters));
///   currentTask = request;                         // someone may cancel it
///   Result result = co_await request.value();      // or the cancellation error
/// ```
///
/// A task group runs its children on the concurrent executor. next() returns
/// their results in completion order; the first failure cancels the other
/// children, waits until they have ended and is then rethrown.
///
/// ```
///   auto pairs = co_await withThrowingTaskGroup<Pair>(
///       [&](TaskGroup<Pair>& group) -> Async<std::vector<Pair>> {
///         for (std::size_t i = 0; i < items.size(); ++i) group.addTask(build(i, items[i]));
///         std::vector<Pair> out;
///         while (auto pair = co_await group.next()) out.push_back(std::move(*pair));
///         co_return out;
///       });
/// ```
///
/// Children and spawned tasks inherit the task-local values of the code that
/// starts them (detached tasks do not). A body started on the concurrent
/// executor runs on a strand of its own, so it never runs on two threads at once.
#pragma once

#include <atomic>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/this_coro.hpp>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include "quarnkit/platform/runtime/async.h"

namespace quarn {

namespace detail {

/// The shared record of one task: who ended it and how, the coroutines
/// awaiting it, and the signal that cancels its body. TaskState<T> adds the
/// typed result, so a task is one allocation.
///
/// Ending is a small atomic state machine. `phase_` goes once from running to
/// finished (the body's outcome won) or cancelled (cancel() won); the winner
/// then stores the error and closes `waiters_`, waking everyone parked on it.
/// `waiters_` is a lock-free stack of parked awaiters until then, and
/// kClosed afterwards: an awaiter that finds it closed reads the outcome
/// without suspending.
class TaskCore {
 public:
  TaskCore(const TaskCore&) = delete;
  TaskCore& operator=(const TaskCore&) = delete;

  /// Whether the task has ended and its outcome can be read.
  [[nodiscard]] bool isFinished() const noexcept {
    return waiters_.load(std::memory_order_acquire) == kClosed;
  }
  [[nodiscard]] bool isCancelled() const noexcept {
    return phase_.load(std::memory_order_acquire) == Phase::cancelled;
  }
  /// Rethrows the error of an ended task (the cancellation error when it was
  /// cancelled); returns when it produced a value.
  void rethrowError() const {
    if (isCancelled()) throwCancellation();
    if (error_) std::rethrow_exception(error_);
  }

  /// Called by the body, on the task's executor, when it has ended. Unless
  /// the task was cancelled first, ends the task with `error` (null: the
  /// value is already stored) and wakes its awaiters.
  void bodyEnded(std::exception_ptr error);

  /// The Task handles that can still read the outcome (the runtime's own
  /// references to the task never read it).
  std::atomic<std::size_t> handles{1};

 protected:
  explicit TaskCore(Executor executor) noexcept : executor_(std::move(executor)) {}
  ~TaskCore();

 private:
  friend void launchTask(const std::shared_ptr<TaskCore>& task, Async<void> body);
  friend void cancelTask(const std::shared_ptr<TaskCore>& task);
  friend Async<void> awaitTask(std::shared_ptr<TaskCore> task);

  struct Waiter;
  enum class Phase : std::uint8_t { running, finished, cancelled };
  static constexpr std::uintptr_t kClosed = 1;  // never a Waiter's address
  /// The waiter a word of the stack holds (a word other than kClosed).
  static Waiter* waiterAt(std::uintptr_t word) noexcept;

  /// Closes the waiter stack and wakes every coroutine parked on it with
  /// `error` (null: the value). `current` is the executor the caller runs
  /// on, when known: awaiters at home there may continue inline.
  void wakeWaiters(const Executor* current, const std::exception_ptr& error);

  std::atomic<Phase> phase_{Phase::running};
  std::atomic<std::uintptr_t> waiters_{0};   // Waiter* (a stack), 0 or kClosed
  std::exception_ptr error_;                 // written by the winner before kClosed
  const Executor executor_;                  // where the body runs
  boost::asio::cancellation_signal signal_;  // used on executor_ only
  bool bodyDone_ = false;                    // used on executor_ only
};

template <class T>
class TaskState final : public TaskCore {
 public:
  explicit TaskState(Executor executor) noexcept : TaskCore(std::move(executor)) {}
  /// The body's value. Written by the body before it ends the task; read only
  /// once the task has finished with no error, and only through a handle.
  std::optional<T> value;
};

template <>
class TaskState<void> final : public TaskCore {
 public:
  explicit TaskState(Executor executor) noexcept : TaskCore(std::move(executor)) {}
};

/// Where a task started on `executor` runs: a strand of it unless it is the
/// main context, carrying the caller's task-local values when `inheritLocals`.
Executor taskExecutor(const Executor& executor, bool inheritLocals);
/// Starts `body` (which ends by calling bodyEnded()) on the task's executor.
void launchTask(const std::shared_ptr<TaskCore>& task, Async<void> body);
/// Ends the task with the cancellation error, wakes its awaiters and cancels
/// its body at its next suspension. Does nothing once the task has ended.
void cancelTask(const std::shared_ptr<TaskCore>& task);
/// Parks the caller until the task has ended; throws the task's error, or the
/// cancellation error when the caller itself is cancelled while parked.
Async<void> awaitTask(std::shared_ptr<TaskCore> task);

// A task's body. It stores the value and ends the task from inside the body's
// own handler, so an awaiter arriving later finds the outcome without
// suspending. `state` stays alive while this runs: launchTask()'s completion
// handler owns it.
template <class T>
Async<void> runTaskBody(TaskState<T>* state, Async<T> body) {
  std::exception_ptr error;
  try {
    if constexpr (std::is_void_v<T>) {
      co_await std::move(body);
    } else {
      state->value.emplace(co_await std::move(body));
    }
  } catch (...) {
    error = std::current_exception();
  }
  state->bodyEnded(std::move(error));
  // co_spawn() would otherwise post once more, so as not to call its
  // completion handler from inside itself, when the body ended without ever
  // suspending. launchTask()'s handler is ours and may run there: let the
  // coroutine end at once and give its memory back while it is still warm.
  (co_await boost::asio::detail::awaitable_thread_has_context_switched{}) = true;
}

class TaskGroupCore;
std::shared_ptr<TaskGroupCore> makeTaskGroup(const Executor& parent);
void addGroupTask(const std::shared_ptr<TaskGroupCore>& group, const Executor& executor,
                  Async<void> body, std::shared_ptr<void> box);
/// The box of the next completed child; nothing when none is left. A failed
/// child's error is rethrown after the others were cancelled and have ended.
Async<std::optional<std::shared_ptr<void>>> nextGroupResult(std::shared_ptr<TaskGroupCore> group);
void cancelGroup(TaskGroupCore& group);
Async<void> drainGroup(std::shared_ptr<TaskGroupCore> group);
bool groupIsEmpty(const TaskGroupCore& group);
bool groupIsCancelled(const TaskGroupCore& group);
Async<Executor> currentExecutor();

template <class T>
Async<void> storeInBox(std::shared_ptr<std::optional<T>> box, Async<T> body) {
  box->emplace(co_await std::move(body));
}
}  // namespace detail

template <class T = void>
class Task {
 public:
  /// No task: only assigning one makes it usable.
  Task() = default;
  /// Another handle to the same task.
  Task(const Task& other) noexcept : state_(other.state_) { retain(); }
  /// Takes the handle over.
  Task(Task&& other) noexcept = default;
  /// Makes this a handle to `other`'s task.
  Task& operator=(const Task& other) noexcept {
    if (this != &other) {
      release();
      state_ = other.state_;
      retain();
    }
    return *this;
  }
  /// Takes `other`'s handle over.
  Task& operator=(Task&& other) noexcept {
    if (this != &other) {
      release();
      state_ = std::move(other.state_);
    }
    return *this;
  }
  ~Task() { release(); }

  /// Starts `body` on the concurrent executor.
  static Task spawn(Async<T> body) { return spawn(concurrentExecutor(), std::move(body)); }
  /// Starts `body` on `executor`. When the caller already runs on `executor`,
  /// the body runs up to its first suspension before spawn() returns.
  static Task spawn(const Executor& executor, Async<T> body) {
    return start(executor, std::move(body), true);
  }
  /// Like spawn(), without the caller's task-local values.
  static Task detached(const Executor& executor, Async<T> body) {
    return start(executor, std::move(body), false);
  }

  /// The task's value once it has ended; rethrows its error, or the
  /// cancellation error when it was cancelled. Any number of callers may
  /// await it, before or after it ends. (A value that cannot be copied is
  /// moved out to the first of them.)
  Async<T> value() const { return valueOf(*this, false); }
  /// value() for a caller that gives its handle up: when no other handle to
  /// the task is left once it has ended, nobody else can read the value, so
  /// it is moved out instead of copied.
  Async<T> take() && requires(!std::is_void_v<T>) { return valueOf(std::move(*this), true); }
  /// Waits until the task has ended, however it ends. Throws only the
  /// cancellation error when the caller is cancelled while it waits.
  Async<void> wait() const { return waitFor(state_); }
  /// Ends the task with the cancellation error and cancels its body. Does
  /// nothing once it has ended.
  void cancel() const { detail::cancelTask(state_); }
  /// Whether cancel() was called.
  [[nodiscard]] bool isCancelled() const { return state_->isCancelled(); }
  /// Whether the task has ended (with a value, an error or by cancellation).
  [[nodiscard]] bool isFinished() const { return state_->isFinished(); }

  /// Equal when both handle the same task.
  friend bool operator==(const Task& a, const Task& b) { return a.state_ == b.state_; }

 private:
  using State = detail::TaskState<T>;

  void retain() const noexcept {
    if (state_) state_->handles.fetch_add(1, std::memory_order_relaxed);
  }
  void release() noexcept {
    if (state_) state_->handles.fetch_sub(1, std::memory_order_acq_rel);
  }

  // Static coroutines: their frames hold a handle of their own, so awaiting
  // the value of a temporary handle is safe.
  // `taking`: the value may be moved out when `self` is the last handle.
  static Async<T> valueOf(Task self, bool taking) {
    const std::shared_ptr<State>& state = self.state_;
    if (!state->isFinished()) co_await detail::awaitTask(state);
    state->rethrowError();
    if constexpr (!std::is_void_v<T>) {
      if constexpr (std::is_copy_constructible_v<T>) {
        if (!taking || state->handles.load(std::memory_order_acquire) > 1) {
          co_return *state->value;
        }
      }
      co_return std::move(*state->value);
    }
  }

  static Async<void> waitFor(std::shared_ptr<State> state) {
    if (state->isFinished()) co_return;
    try {
      co_await detail::awaitTask(state);
    } catch (...) {
      // The task's own error is for whoever reads its value.
      if (!state->isFinished()) throw;
    }
  }

  static Task start(const Executor& executor, Async<T> body, bool inherit) {
    Task task;
    task.state_ = std::make_shared<State>(detail::taskExecutor(executor, inherit));
    detail::launchTask(task.state_, detail::runTaskBody<T>(task.state_.get(), std::move(body)));
    return task;
  }

  std::shared_ptr<State> state_;
};

/// The children of one withThrowingTaskGroup() call. Use it only inside the
/// body, from the coroutine that runs the body.
template <class T>
class TaskGroup {
 public:
  /// For withThrowingTaskGroup(): a group over `core`.
  explicit TaskGroup(std::shared_ptr<detail::TaskGroupCore> core) : core_(std::move(core)) {}

  /// Starts a child on the concurrent executor. A child added to a cancelled
  /// group starts cancelled.
  void addTask(Async<T> child) { addTask(concurrentExecutor(), std::move(child)); }
  /// Starts a child on `executor`. A child added to a cancelled group starts cancelled.
  void addTask(const Executor& executor, Async<T> child) {
    if constexpr (std::is_void_v<T>) {
      detail::addGroupTask(core_, executor, std::move(child), nullptr);
    } else {
      auto box = std::make_shared<std::optional<T>>();
      detail::addGroupTask(core_, executor, detail::storeInBox(box, std::move(child)), box);
    }
  }

  /// The next child result in completion order, or nothing once every child
  /// has been collected. When a child failed: cancels the others, waits for
  /// them to end, then rethrows that child's error.
  Async<std::optional<std::conditional_t<std::is_void_v<T>, bool, T>>> next() {
    return nextOf(core_);
  }

  /// Cancels every child still running.
  void cancelAll() { detail::cancelGroup(*core_); }
  /// Whether cancelAll() was called (or the group's task was cancelled).
  [[nodiscard]] bool isCancelled() const { return detail::groupIsCancelled(*core_); }
  /// Whether no child is running and no result is waiting to be collected.
  [[nodiscard]] bool isEmpty() const { return detail::groupIsEmpty(*core_); }

  /// The group's shared state.
  std::shared_ptr<detail::TaskGroupCore> core() const { return core_; }

 private:
  static Async<std::optional<std::conditional_t<std::is_void_v<T>, bool, T>>> nextOf(
      std::shared_ptr<detail::TaskGroupCore> core) {
    auto box = co_await detail::nextGroupResult(std::move(core));
    if (!box) co_return std::nullopt;
    if constexpr (std::is_void_v<T>) {
      co_return true;
    } else {
      auto typed = std::static_pointer_cast<std::optional<T>>(*box);
      co_return std::move(**typed);
    }
  }

  std::shared_ptr<detail::TaskGroupCore> core_;
};

/// Runs `body` with a new task group and returns its result. When the body
/// returns, children it did not collect are awaited (their errors dropped);
/// when it throws, they are cancelled and awaited before the error goes on.
template <class T, class Body>
auto withThrowingTaskGroup(Body body) -> std::invoke_result_t<Body&, TaskGroup<T>&> {
  using R = typename std::invoke_result_t<Body&, TaskGroup<T>&>::value_type;
  // (Plain statements: GCC 12 mishandles temporaries inside co_await
  // expressions used as constructor arguments.)
  const Executor parent = co_await detail::currentExecutor();
  const std::shared_ptr<detail::TaskGroupCore> core = detail::makeTaskGroup(parent);
  TaskGroup<T> group(core);
  std::exception_ptr failure;
  if constexpr (std::is_void_v<R>) {
    try {
      co_await body(group);
    } catch (...) {
      failure = std::current_exception();
    }
    if (failure) group.cancelAll();
    // Children are awaited even when the caller has been cancelled.
    const bool throwIfCancelled = co_await boost::asio::this_coro::throw_if_cancelled();
    co_await boost::asio::this_coro::throw_if_cancelled(false);
    co_await detail::drainGroup(core);
    co_await boost::asio::this_coro::throw_if_cancelled(throwIfCancelled);
    if (failure) std::rethrow_exception(failure);
  } else {
    std::optional<R> result;
    try {
      result.emplace(co_await body(group));
    } catch (...) {
      failure = std::current_exception();
    }
    if (failure) group.cancelAll();
    // Children are awaited even when the caller has been cancelled.
    const bool throwIfCancelled = co_await boost::asio::this_coro::throw_if_cancelled();
    co_await boost::asio::this_coro::throw_if_cancelled(false);
    co_await detail::drainGroup(core);
    co_await boost::asio::this_coro::throw_if_cancelled(throwIfCancelled);
    if (failure) std::rethrow_exception(failure);
    co_return std::move(*result);
  }
}

}  // namespace quarn
