/// @file
/// TaskLocal<T>: a value bound for the duration of an asynchronous operation and visible to
/// everything that operation runs, including the tasks and group children it starts.

/// @class quarn::TaskLocal
/// A value bound for the duration of an asynchronous operation
/// and visible to everything that operation runs, including the tasks and
/// group children it starts.
///
/// Kind: a unique object (not copyable), usually a global.
///
/// ```
///   inline TaskLocal<std::shared_ptr<Progress>> currentProgress;
///
///   co_await currentProgress.withValue(progress, download(url));
///   ...
///   // anywhere inside download(), on any executor it hops to:
///   if (auto p = currentProgress.get()) p->addChild(child, 1);
/// ```
///
/// Bindings travel with the coroutine's executor: withValue() runs its body on
/// an executor that carries the binding, and runOn(), Task::spawn() and task
/// groups pass the bindings of their caller on. get() outside any binding gives
/// the default value. Work started with raw Asio calls (co_spawn on another
/// executor) does not see the caller's bindings.
#pragma once

#include <any>
#include <optional>
#include <type_traits>
#include <utility>

#include "quarnkit/platform/runtime/async.h"

namespace quarn {

namespace detail {
/// The value bound to `key` in the running handler's bindings, or null.
const std::any* findTaskLocal(const void* key);
Async<void> runWithTaskLocal(const void* key, std::any value, Async<void> body);
}  // namespace detail

template <class T>
class TaskLocal {
 public:
  TaskLocal() = default;
  /// A task-local value whose default is `defaultValue`.
  explicit TaskLocal(T defaultValue) : default_(std::move(defaultValue)) {}
  TaskLocal(const TaskLocal&) = delete;
  TaskLocal& operator=(const TaskLocal&) = delete;

  /// The innermost bound value, or the default.
  [[nodiscard]] T get() const {
    if (const std::any* v = detail::findTaskLocal(this)) return std::any_cast<const T&>(*v);
    return default_;
  }

  /// Runs `body` with `value` bound and returns its result.
  template <class R>
  Async<R> withValue(T value, Async<R> body) const {
    if constexpr (std::is_void_v<R>) {
      co_await detail::runWithTaskLocal(this, std::any(std::move(value)), std::move(body));
    } else {
      std::optional<R> out;
      co_await detail::runWithTaskLocal(this, std::any(std::move(value)),
                                        detail::storeInto(out, std::move(body)));
      co_return std::move(*out);
    }
  }

 private:
  T default_{};
};

}  // namespace quarn
