// The wait that several callers share on one download task: each caller
// awaits the task; a caller that is cancelled stops waiting at once, and the
// download is cancelled only when no caller waits any more.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "quarnkit/core/url.h"
#include "quarnkit/platform/runtime/task.h"

namespace quarn::detail {

/// Awaits `task` as one of the callers counted by `waiting`; runs
/// `cancelDownload` when this caller is cancelled while the task runs and
/// no other caller is waiting.
inline Async<URL> awaitSharedDownload(Task<URL> task, std::shared_ptr<std::atomic<int>> waiting,
                                      std::function<void()> cancelDownload) {
  waiting->fetch_add(1);
  try {
    URL url = co_await task.value();
    waiting->fetch_sub(1);
    co_return url;
  } catch (...) {
    const bool last = waiting->fetch_sub(1) == 1;
    if (last && !task.isFinished() && cancelDownload) cancelDownload();
    throw;
  }
}

}  // namespace quarn::detail
