/// @file
/// The one low-level way the runtime parks a coroutine until something outside
/// it (another thread, a timer, a callback) wakes it. Continuations, task
/// handles, task groups and the manual clock are built on it; library code
/// normally uses those instead.
///
/// Kind: a Resumption is a shared object, made only by suspend().
#pragma once

#include <exception>
#include <functional>
#include <memory>

#include "quarnkit/platform/runtime/async.h"

namespace quarn::detail {

/// One parked coroutine. The first resume() wakes it, with `error` thrown from
/// its co_await when not null; later calls do nothing and return false. The
/// coroutine always resumes later on its own executor, never inside resume().
/// A Resumption dropped without being resumed wakes its coroutine with the
/// cancellation error, so no waiter is lost.
class Resumption {
 public:
  virtual ~Resumption() = default;
  virtual bool resume(std::exception_ptr error = nullptr) = 0;
  /// Like resume(); then calls `ran` on the coroutine's executor once the
  /// coroutine has run up to its next suspension or its end. (Not called when
  /// this returns false.) Lets a test clock wake sleepers one after another.
  virtual bool resume(std::exception_ptr error, std::function<void()> ran) = 0;
  [[nodiscard]] virtual bool isResumed() const = 0;
};

/// What happens when the parked coroutine is cancelled before it is resumed.
enum class OnCancel {
  ignore,                  // keep waiting
  resumeWithCancellation,  // wake at once with the cancellation error
  notify,                  // call `cancelled` and keep waiting
};

/// Parks the calling coroutine and calls `start` with its Resumption; returns
/// (or throws) when that is resumed. If `start` throws, the coroutine resumes
/// with that error.
Async<void> suspend(std::function<void(std::shared_ptr<Resumption>)> start,
                    OnCancel onCancel = OnCancel::ignore, std::function<void()> cancelled = {});

}  // namespace quarn::detail
