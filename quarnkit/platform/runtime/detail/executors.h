// Where the runtime's coroutines run: the executor a body started elsewhere
// gets (a strand, carrying the caller's task-local bindings), and awaiting a
// body that runs on another executor. Internal to the runtime.
#pragma once

#include <memory>

#include "quarnkit/platform/runtime/async.h"

namespace quarn::detail {

/// A chain of task-local bindings, innermost first (null: none).
struct LocalBinding;
using LocalsPtr = std::shared_ptr<const LocalBinding>;

/// The bindings of the handler running on this thread.
LocalsPtr currentLocals();
/// The bindings `executor` carries.
LocalsPtr localsOf(const Executor& executor);

/// Where a body started on `executor` runs: a strand of it unless it is the
/// main context (one thread already), carrying `locals` when there are any.
Executor prepareExecutor(const Executor& executor, const LocalsPtr& locals);

/// Runs `work` as a coroutine of its own on `executor` and resumes the caller
/// on its own executor with the outcome; cancelling the caller cancels the
/// work.
Async<void> spawnAndAwait(Executor executor, Async<void> work);

}  // namespace quarn::detail
