// The main context, the shared pool, cancellation, and running work on
// another executor.
#include "quarnkit/platform/runtime/async.h"

#include <algorithm>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/system/system_error.hpp>
#include <thread>

#include "quarnkit/core/error.h"
#include "quarnkit/platform/runtime/detail/executors.h"

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
  // (Awaited into a variable first: with the co_await in the condition, the
  // GCC 12 build stopped here on an illegal instruction.)
  const bool cancelled = co_await isCancelled();
  if (cancelled) throwCancellation();
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
}  // namespace

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

Async<void> runOn(Executor executor, Async<void> work) {
  Executor parent = co_await asio::this_coro::executor;
  co_await spawnAndAwait(prepareExecutor(executor, localsOf(parent)), std::move(work));
}

}  // namespace detail
}  // namespace quarn
