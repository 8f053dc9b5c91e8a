/// @file
/// Progress operations: the progress the running task reports into, running
/// work with a progress bound to it, and waiting for a progress to get far
/// enough. Free functions over the shared platform::Progress.
///
/// ```
///   auto overall = platform::Progress::make(1);
///   auto file = co_await performAsCurrent(overall, downloader.downloadFile(url));
///   // inside downloadFile(): if (auto p = currentProgress()) p->addChild(task, 1);
///
///   co_await wait(overall, 0.5);   // returns once half done; throws if cancelled
/// ```
///
/// The current progress is a task-local value: it is seen by everything the
/// body runs, including the tasks and group children it starts (see
/// platform/runtime/task_local.h).
#pragma once

#include <functional>
#include <memory>
#include <utility>

#include "quarnkit/platform/progress.h"
#include "quarnkit/platform/runtime/task.h"
#include "quarnkit/platform/runtime/task_local.h"

namespace quarn {

namespace detail {
const TaskLocal<std::shared_ptr<platform::Progress>>& currentProgressLocal();
}  // namespace detail

/// The progress the running task reports into, or null outside any
/// performAsCurrent().
std::shared_ptr<platform::Progress> currentProgress();

/// Runs `body` with `progress` as the current progress and returns its result.
template <class R>
Async<R> performAsCurrent(std::shared_ptr<platform::Progress> progress, Async<R> body) {
  return detail::currentProgressLocal().withValue(std::move(progress), std::move(body));
}

/// Runs `body` as performAsCurrent() does, in a task of its own (on the main
/// context when called there, else on the concurrent executor), and returns
/// its result. The progress becomes cancellable, and cancelling it cancels
/// that task; cancelling the caller cancels the progress.
template <class R>
Async<R> performAsCancellableCurrent(std::shared_ptr<platform::Progress> progress, Async<R> body) {
  const Executor where = isOnMainContext() ? mainExecutor() : concurrentExecutor();
  Task<R> task = Task<R>::spawn(where, performAsCurrent<R>(progress, std::move(body)));
  progress->setCancellable(true);
  std::function<void()> cancelTask = [task] { task.cancel(); };
  progress->setCancellationHandler(std::move(cancelTask));
  try {
    co_return co_await task.value();
  } catch (...) {
    // The task has not ended: it is the caller that was cancelled.
    if (!task.isFinished()) progress->cancel();
    throw;
  }
}

/// Returns once `fractionCompleted` <= the progress's fraction completed (at
/// once when it already is); throws the cancellation error as soon as the
/// progress is cancelled (at once when it already is).
Async<void> wait(std::shared_ptr<platform::Progress> progress, double fractionCompleted);

}  // namespace quarn
