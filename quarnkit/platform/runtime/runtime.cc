// The runtime's machinery: execution contexts, parked coroutines, task and
// task-group bookkeeping and task-local bindings. Everything that needs Asio's
// heavier headers lives here so the public headers stay light.
#include <algorithm>
#include <any>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/system/system_error.hpp>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "quarnkit/core/error.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/runtime/continuation.h"
#include "quarnkit/platform/runtime/publisher.h"
#include "quarnkit/platform/runtime/suspension.h"
#include "quarnkit/platform/runtime/task.h"
#include "quarnkit/platform/runtime/task_local.h"

namespace asio = boost::asio;

#if defined(__SANITIZE_THREAD__)  // GCC
#define QUARNKIT_THREAD_SANITIZER 1
#elif defined(__has_feature)  // Clang
#if __has_feature(thread_sanitizer)
#define QUARNKIT_THREAD_SANITIZER 1
#endif
#endif

#if defined(QUARNKIT_THREAD_SANITIZER)
// Asio 1.81 frees a shared executor (an any_io_executor holding a strand)
// after a release decrement and an acquire fence (detail::ref_count_down).
// That is correct, but ThreadSanitizer does not model fences and reports the
// free as racing with the other thread's decrement. The runtime moves strand
// executors between threads all the time, so every build that runs it under
// ThreadSanitizer needs this. Likewise the reference count of an exception
// held by exception_ptr lives in the uninstrumented libstdc++, so the free by
// the thread that drops the last reference looks unordered with the other
// thread's earlier reads of the exception. Weak: a program's own suppressions
// win.
extern "C" __attribute__((weak)) const char* __tsan_default_suppressions() {
  return "race:boost::asio::execution::detail::shared_target_executor::~shared_target_executor\n"
         "race:std::__exception_ptr::exception_ptr::_M_release\n";
}
#endif

namespace quarn {

// ---------------------------------------------------------------------------
// Execution contexts

namespace {

// Asio keeps the step that destroys a context's queued work protected.
struct MainContext : asio::io_context {
  using io_context::io_context;
  void destroyPendingWork() { shutdown(); }
};

MainContext& mainContextInstance() {
  static MainContext context(1);
  return context;
}

// The shared pool. It is made on first use, after the main context, so it is
// torn down first at exit (statics go in reverse order of construction), and
// its threads stop before anything made before the pool goes away. Work
// queued on either context holds executors and strands of the other, so the
// pending work of both is destroyed while both still exist; only then are the
// pool's services freed, and later the main context's.
class Pool : public asio::thread_pool {
 public:
  using thread_pool::thread_pool;
  ~Pool() {
    stop();
    join();
    mainContextInstance().destroyPendingWork();
    shutdown();
  }
};

Pool& pool() {
  mainContextInstance();
  static Pool instance(std::max(2u, std::thread::hardware_concurrency()));
  return instance;
}

}  // namespace

asio::io_context& mainContext() { return mainContextInstance(); }

Executor mainExecutor() { return mainContext().get_executor(); }

bool isOnMainContext() { return mainContext().get_executor().running_in_this_thread(); }

Executor concurrentExecutor() { return pool().get_executor(); }

void postToMain(std::function<void()> work) { asio::post(mainContext(), std::move(work)); }

std::exception_ptr cancellationError() {
  return std::make_exception_ptr(boost::system::system_error(asio::error::operation_aborted));
}

void throwCancellation() { throw boost::system::system_error(asio::error::operation_aborted); }

bool isCancellation(const std::exception& error) {
  auto* e = dynamic_cast<const boost::system::system_error*>(&error);
  return e && e->code() == asio::error::operation_aborted;
}

bool isCancellation(const std::exception_ptr& error) {
  if (!error) return false;
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return isCancellation(e);
  } catch (...) {
    return false;
  }
}

Async<bool> isCancelled() {
  auto state = co_await asio::this_coro::cancellation_state;
  co_return state.cancelled() != asio::cancellation_type::none;
}

Async<void> checkCancellation() {
  if (co_await isCancelled()) throwCancellation();
}

std::size_t drainMainContext() {
  if (isOnMainContext()) fatalError("drainMainContext() called from a handler of the main context");
  auto& context = mainContext();
  context.restart();
  std::size_t total = 0;
  while (std::size_t ran = context.poll()) total += ran;
  return total;
}

bool runMainContextUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  if (isOnMainContext())
    fatalError("runMainContextUntil() called from a handler of the main context");
  auto& context = mainContext();
  auto deadline = std::chrono::steady_clock::now() + timeout;
  context.restart();
  auto guard = asio::make_work_guard(context);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    context.run_one_for(std::chrono::milliseconds(2));
  }
  return true;
}

namespace detail {

void runUntilComplete(Async<void> work) {
  if (isOnMainContext()) {
    fatalError("runUntilComplete() called from a handler of the main context it would have to run");
  }
  auto& context = mainContext();
  std::exception_ptr error;
  bool done = false;
  context.restart();
  auto guard = asio::make_work_guard(context);
  asio::co_spawn(context, std::move(work), [&](std::exception_ptr e) {
    error = std::move(e);
    done = true;
  });
  while (!done) context.run_one();
  if (error) std::rethrow_exception(error);
}

// ---------------------------------------------------------------------------
// Task-local bindings
//
// Bindings ride on the coroutine's executor: a LocalsExecutor wraps the real
// one and, around every handler it runs, publishes its bindings in a
// thread-local so that synchronous code inside the coroutine can read them.

struct LocalBinding {
  const void* key;
  std::any value;
  std::shared_ptr<const LocalBinding> parent;
};
using LocalsPtr = std::shared_ptr<const LocalBinding>;

namespace {
thread_local const LocalsPtr* tlsLocals = nullptr;

class LocalsExecutor {
 public:
  LocalsExecutor(Executor inner, LocalsPtr locals)
      : inner_(std::move(inner)), locals_(std::move(locals)) {}

  [[nodiscard]] const Executor& inner() const { return inner_; }
  [[nodiscard]] const LocalsPtr& locals() const { return locals_; }

  template <class Property>
  auto query(const Property& p) const -> decltype(asio::query(std::declval<const Executor&>(), p)) {
    return asio::query(inner_, p);
  }
  template <class Property>
  requires asio::can_require<const Executor&, const Property&>::value LocalsExecutor
  require(const Property& p)
  const { return LocalsExecutor(asio::require(inner_, p), locals_); }
  template <class Property>
  requires asio::can_prefer<const Executor&, const Property&>::value LocalsExecutor
  prefer(const Property& p)
  const { return LocalsExecutor(asio::prefer(inner_, p), locals_); }

  template <class F>
  void execute(F&& f) const {
    inner_.execute([locals = locals_, f = std::forward<F>(f)]() mutable {
      const LocalsPtr* saved = tlsLocals;
      tlsLocals = &locals;
      struct Restore {
        const LocalsPtr* saved;
        ~Restore() { tlsLocals = saved; }
      } restore{saved};
      std::move(f)();
    });
  }

  friend bool operator==(const LocalsExecutor& a, const LocalsExecutor& b) noexcept {
    return a.locals_ == b.locals_ && a.inner_ == b.inner_;
  }
  friend bool operator!=(const LocalsExecutor& a, const LocalsExecutor& b) noexcept {
    return !(a == b);
  }

 private:
  Executor inner_;
  LocalsPtr locals_;
};

LocalsPtr currentLocals() { return tlsLocals ? *tlsLocals : nullptr; }

LocalsPtr localsOf(const Executor& executor) {
  if (auto* w = executor.target<LocalsExecutor>()) return w->locals();
  return nullptr;
}

Executor unwrap(const Executor& executor) {
  if (auto* w = executor.target<LocalsExecutor>()) return w->inner();
  return executor;
}

// Where a body started on `executor` runs: a strand of it unless it is the
// main context (one thread already), carrying `locals` when there are any.
Executor prepareExecutor(const Executor& executor, const LocalsPtr& locals) {
  Executor base = unwrap(executor);
  if (&asio::query(base, asio::execution::context) != &mainContext()) {
    base = asio::make_strand(base);
  }
  if (locals) return LocalsExecutor(std::move(base), locals);
  return base;
}
}  // namespace

const std::any* findTaskLocal(const void* key) {
  for (const LocalBinding* b = tlsLocals ? tlsLocals->get() : nullptr; b; b = b->parent.get()) {
    if (b->key == key) return &b->value;
  }
  return nullptr;
}

namespace {
// What `co_await co_spawn(executor, work, use_awaitable)` does: runs `work` as
// a coroutine of its own on `executor` and resumes the caller at home with its
// outcome; cancelling the caller cancels the work. Asio 1.81 forwards that
// cancellation by dispatching to `executor` a pointer to a signal that dies
// when the caller resumes, so a cancellation that crosses with the work's end
// on another thread emits through freed memory. Here the caller's slot, the
// forwarded emission and the work's completion share the signal instead.
struct SpawnLink {
  asio::cancellation_signal signal;  // used on the work's executor only
  bool ended = false;                // used on the work's executor only
};

Async<void> spawnAndAwait(Executor executor, Async<void> work) {
  auto link = std::make_shared<SpawnLink>();
  co_await asio::async_initiate<const asio::use_awaitable_t<>, void(std::exception_ptr)>(
      [&](auto handler) {
        auto slot = asio::get_associated_cancellation_slot(handler);
        if (slot.is_connected()) {
          slot.assign([link, executor](asio::cancellation_type type) {
            asio::dispatch(executor, [link, type] {
              if (!link->ended) link->signal.emit(type);
            });
          });
        }
        // Like co_spawn, keep the caller's context busy until it resumes.
        Executor home = asio::prefer(asio::get_associated_executor(handler),
                                     asio::execution::outstanding_work.tracked);
        // The completion runs on `executor` (it has no executor of its own).
        asio::co_spawn(
            executor, std::move(work),
            asio::bind_cancellation_slot(
                link->signal.slot(), [link, home = std::move(home),
                                      handler = std::move(handler)](std::exception_ptr e) mutable {
                  link->ended = true;
                  asio::dispatch(
                      home, [h = std::move(handler), e]() mutable { std::move(h)(std::move(e)); });
                }));
      },
      asio::use_awaitable);
}
}  // namespace

Async<void> runWithTaskLocal(const void* key, std::any value, Async<void> body) {
  Executor parent = co_await asio::this_coro::executor;
  LocalsPtr parentLocals = localsOf(parent);
  auto bindings =
      std::make_shared<const LocalBinding>(LocalBinding{key, std::move(value), parentLocals});
  std::exception_ptr failure;
  try {
    co_await spawnAndAwait(Executor(LocalsExecutor(unwrap(parent), std::move(bindings))),
                           std::move(body));
  } catch (...) {
    failure = std::current_exception();
  }
  if (!parentLocals) {
    // The caller may have been resumed inline inside the body's last handler,
    // with the body's bindings still published; continue from a fresh one.
    const bool throwIfCancelled = co_await asio::this_coro::throw_if_cancelled();
    co_await asio::this_coro::throw_if_cancelled(false);
    co_await asio::post(asio::use_awaitable);
    co_await asio::this_coro::throw_if_cancelled(throwIfCancelled);
  }
  if (failure) std::rethrow_exception(failure);
}

Async<void> runOn(Executor executor, Async<void> work) {
  Executor parent = co_await asio::this_coro::executor;
  co_await spawnAndAwait(prepareExecutor(executor, localsOf(parent)), std::move(work));
}

Async<Executor> currentExecutor() { co_return co_await asio::this_coro::executor; }

// ---------------------------------------------------------------------------
// Parked coroutines

namespace {
// The parked coroutine's completion handler, type-erased.
class ErasedHandler {
 public:
  virtual ~ErasedHandler() = default;
  virtual void call(std::exception_ptr error) = 0;
};

template <class H>
class HandlerOf final : public ErasedHandler {
 public:
  explicit HandlerOf(H handler) : handler_(std::move(handler)) {}
  void call(std::exception_ptr error) override { std::move(handler_)(std::move(error)); }

 private:
  H handler_;
};

class ResumptionImpl final : public Resumption {
 public:
  using Handler = std::unique_ptr<ErasedHandler>;

  ResumptionImpl(Handler handler, Executor executor, OnCancel onCancel,
                 std::function<void()> cancelled)
      : handler_(std::move(handler)),
        executor_(std::move(executor)),
        work_(asio::prefer(executor_, asio::execution::outstanding_work.tracked)),
        onCancel_(onCancel),
        cancelled_(std::move(cancelled)) {}

  ~ResumptionImpl() override {
    if (!resumed_ && handler_) {
      asio::post(work_, [h = std::move(handler_)]() mutable { h->call(cancellationError()); });
    }
  }

  bool resume(std::exception_ptr error) override { return resumeFrom(nullptr, std::move(error)); }
  bool resume(std::exception_ptr error, std::function<void()> ran) override {
    return resumeFrom(nullptr, std::move(error), std::move(ran));
  }

  /// Like resume(); when the caller runs on the parked coroutine's own
  /// executor (`current`), the coroutine may continue inline.
  bool resumeFrom(const Executor* current, std::exception_ptr error,
                  std::function<void()> ran = {}) {
    Handler handler;
    Executor work;
    {
      std::lock_guard lock(mutex_);
      if (resumed_) return false;
      resumed_ = true;
      handler = std::move(handler_);
      work = std::move(work_);
    }
    auto call = [h = std::move(handler), error = std::move(error), ran = std::move(ran)]() mutable {
      // The handler resumes the coroutine, which runs until it suspends again
      // or ends before the call returns.
      struct Ran {
        std::function<void()>& ran;
        ~Ran() {
          if (ran) ran();
        }
      } afterwards{ran};
      h->call(error);
    };
    if (current && *current == executor_) {
      asio::dispatch(work, std::move(call));
    } else {
      asio::post(work, std::move(call));
    }
    return true;
  }

  [[nodiscard]] bool isResumed() const override {
    std::lock_guard lock(mutex_);
    return resumed_;
  }

  void cancelSignalled() {
    if (onCancel_ == OnCancel::resumeWithCancellation) {
      resume(cancellationError());
    } else if (onCancel_ == OnCancel::notify) {
      {
        std::lock_guard lock(mutex_);
        if (resumed_ || notified_) return;
        notified_ = true;
      }
      if (cancelled_) cancelled_();
    }
  }

 private:
  mutable std::mutex mutex_;
  Handler handler_;
  Executor executor_;
  Executor work_;
  OnCancel onCancel_;
  std::function<void()> cancelled_;
  bool resumed_ = false;
  bool notified_ = false;
};
}  // namespace

Async<void> suspend(std::function<void(std::shared_ptr<Resumption>)> start, OnCancel onCancel,
                    std::function<void()> cancelled) {
  co_await asio::async_initiate<const asio::use_awaitable_t<>, void(std::exception_ptr)>(
      [&](auto handler) {
        auto slot = asio::get_associated_cancellation_slot(handler);
        Executor executor = asio::get_associated_executor(handler);
        auto resumption = std::make_shared<ResumptionImpl>(
            std::make_unique<HandlerOf<decltype(handler)>>(std::move(handler)), std::move(executor),
            onCancel, std::move(cancelled));
        if (onCancel != OnCancel::ignore && slot.is_connected()) {
          slot.assign([resumption](asio::cancellation_type) { resumption->cancelSignalled(); });
        }
        try {
          start(resumption);
        } catch (...) {
          resumption->resume(std::current_exception());
        }
      },
      asio::use_awaitable);
}

// ---------------------------------------------------------------------------
// Publishers

void futureFunctionThrew(const std::exception_ptr& error) {
  std::string text = "an unknown error";
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    text = describeError(e);
  } catch (...) {
  }
  fatalError("Future(asyncFunc:) of a future that cannot fail threw " + text);
}

// ---------------------------------------------------------------------------
// Continuations

ContinuationCore::~ContinuationCore() {
  if (!claimed_.load() && resumption_) {
    defaultLogger().error("{} leaked its continuation without resuming it", name_);
    resumption_->resume(cancellationError());
  }
}

void ContinuationCore::claim() {
  if (claimed_.exchange(true)) {
    fatalError(name_ + " tried to resume its continuation more than once");
  }
}

// ---------------------------------------------------------------------------
// Tasks

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

// ---------------------------------------------------------------------------
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

}  // namespace detail
}  // namespace quarn
