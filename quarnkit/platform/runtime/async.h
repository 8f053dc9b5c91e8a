/// @file
/// Async<T>, the library's two execution contexts, and the helpers that move
/// work between them.
///
/// An operation that may suspend returns Async<T> (an Asio coroutine) and
/// throws on failure. Two contexts run them:
/// - the main context: an io_context the host runs on its UI thread. State the
///   library confines to the main context is touched only by its handlers, one
///   at a time.
/// - the concurrent executor: a shared thread pool for child tasks.
///
/// A coroutine stays on the executor it was started on. To run a piece of work
/// elsewhere, await runOn(): the work runs there and the caller resumes at home.
///
/// ```
///   Async<Items> Screen::reload() {                 // started on the main context
///     auto parsed = co_await runOn(concurrentExecutor(), parse(bytes));
///     co_return present(parsed);                     // back on the main context
///   }
/// ```
///
/// Tests and the tool run the main context on their own thread:
///
/// ```
///   Items items = runUntilComplete(screen.reload());
/// ```
///
/// A compiler caveat: GCC 12 destroys twice a lambda (or aggregate) temporary
/// with captures created inside a co_await expression. Bind such arguments to a
/// named local first:
///
/// ```
///   std::function<void(Reply)> onReply = [self](Reply r) { ... };
///   co_await send(request, std::move(onReply));   // not send(request, [self]...)
/// ```
///
/// Cancellation is Asio's: once a coroutine is cancelled its next co_await
/// throws boost::system::system_error(error::operation_aborted). That is "the
/// cancellation error" throughout the library; isCancellation() recognises it.
#pragma once

#include <boost/asio/awaitable.hpp>
#include <chrono>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include "quarnkit/platform/runtime/async_fwd.h"

namespace quarn {

// async_fwd.h names the same type without Asio.
static_assert(std::is_same_v<Async<int>, boost::asio::awaitable<int>>);
static_assert(std::is_same_v<Executor, boost::asio::awaitable<int>::executor_type>);

/// The main context. The host runs it (mainContext().run()) on its UI thread.
boost::asio::io_context& mainContext();
/// The executor of the main context.
Executor mainExecutor();
/// Whether the calling thread is running a handler of the main context.
bool isOnMainContext();
/// The shared thread pool that runs child tasks.
Executor concurrentExecutor();

/// Runs `work` on the main context later; never inline.
void postToMain(std::function<void()> work);

/// The cancellation error (operation_aborted), ready to be thrown or stored.
std::exception_ptr cancellationError();
/// Throws the cancellation error.
[[noreturn]] void throwCancellation();
/// Whether `error` is the cancellation error.
bool isCancellation(const std::exception_ptr& error);
/// Whether `error` is the cancellation error.
bool isCancellation(const std::exception& error);

/// Whether the calling coroutine has been cancelled.
Async<bool> isCancelled();
/// Throws the cancellation error when the calling coroutine has been cancelled.
Async<void> checkCancellation();

namespace detail {
Async<void> runOn(Executor executor, Async<void> work);
void runUntilComplete(Async<void> work);

template <class T>
Async<void> storeInto(std::optional<T>& out, Async<T> work) {
  out.emplace(co_await std::move(work));
}
}  // namespace detail

/// Runs `work` on `executor` (on a strand of it, unless it is the main
/// context) and resumes the caller on its own executor with the result.
/// Cancelling the caller cancels the work; task-local values carry over.
template <class T>
Async<T> runOn(Executor executor, Async<T> work) {
  // The branches are exclusive: `executor` is moved once (the use-after-move
  // check reads a coroutine's parameter copies as used twice).
  // NOLINTBEGIN(bugprone-use-after-move)
  if constexpr (std::is_void_v<T>) {
    co_await detail::runOn(std::move(executor), std::move(work));
  } else {
    std::optional<T> out;
    co_await detail::runOn(std::move(executor), detail::storeInto(out, std::move(work)));
    co_return std::move(*out);
  }
  // NOLINTEND(bugprone-use-after-move)
}

/// runOn(mainExecutor(), work).
template <class T>
Async<T> onMain(Async<T> work) {
  return runOn<T>(mainExecutor(), std::move(work));
}

/// Starts `work` on the main context and runs the main context on the calling
/// thread until `work` completes; returns its value or rethrows its error. For
/// the tool and tests, whose own thread runs the main context. Calling it from
/// a handler of the main context is a programming error.
template <class T>
T runUntilComplete(Async<T> work) {
  if constexpr (std::is_void_v<T>) {
    detail::runUntilComplete(std::move(work));
  } else {
    std::optional<T> out;
    detail::runUntilComplete(detail::storeInto(out, std::move(work)));
    return std::move(*out);
  }
}

/// Runs the main context's ready handlers (and those they make ready) on the
/// calling thread until none is left; returns how many ran. Tests use it to
/// let posted work happen without waiting for anything in particular.
std::size_t drainMainContext();

/// Runs the main context on the calling thread until `done()` holds (checked
/// after every handler, and every few milliseconds while idle); false when
/// `timeout` passed first. For tests waiting on work other threads finish.
bool runMainContextUntil(const std::function<bool()>& done,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace quarn
